// The judge: reads the simulators' traces as they grow and checks every packet that reached a
// controller, every completed firmware image and every success the log claims.
#include <QRegularExpression>
#include <cstdio>
#include <sstream>

#include "link/littleEndian.h"
#include "link/zuq.h"
#include "randomOperator.h"
#include "support/simProcess.h"

namespace {
std::string Ms(int64_t us) {
    return std::to_string(us / 1000) + " ms";
}
}  // namespace

void TJudge::AddSim(TSimProcess* sim, int step) {
    // Before its first marker, what it received was queued after the previous step ended.
    sims_.push_back({sim, 0, {}, 2 * step - 1, {}, false, -1});
}

void TJudge::SimEnded(TSimProcess* sim) {
    Read();
    for (TSim& s : sims_)
        if (s.Process == sim) s.Ended = true;
}

bool TJudge::Read(int seq) {
    for (TSim& sim : sims_) {
        const std::string text = sim.Process->StderrFrom(sim.Offset);
        sim.Offset += text.size();
        sim.Partial += text;
        size_t start = 0;
        for (size_t end; (end = sim.Partial.find('\n', start)) != std::string::npos; start = end + 1) {
            std::istringstream in(sim.Partial.substr(start, end - start));
            TLine line;
            if (!(in >> line.Us >> line.Dir)) continue;
            if (line.Dir == "note") {
                std::getline(in, line.Note);
            } else {
                std::string channel, length, word;
                if (!(in >> line.Name >> channel >> length) || channel.size() < 5 || length.size() < 5)
                    continue;
                line.Channel = uint8_t(std::stoul(channel.substr(3), nullptr, 16));
                for (size_t n = std::stoul(length.substr(4)); n > 0 && in >> word; --n)
                    line.Bytes.push_back(uint8_t(std::stoul(word, nullptr, 16)));
                while (in >> word) {
                    if (word.rfind("to=", 0) == 0) line.To = word.substr(3);
                    line.Lost = line.Lost || word == "(dropped)" || word == "(corrupted)";
                }
                if (line.Dir == "in" && line.Bytes.size() == 5 && line.Bytes[0] == MarkerCode)
                    seen_ = std::max(seen_, int(le::U32(&line.Bytes[1])));
            }
            sim.Pending.push_back(line);
        }
        sim.Partial.erase(0, start);
    }
    return seq >= 0 && seen_ >= seq;
}

void TJudge::AskWrite(int step, const std::string& target, uint8_t command, int first, int last, int requests,
                      int screenRecord, int maxCurrent, int minPwm) {
    writes_.push_back({step, target, command, first, last, screenRecord, maxCurrent, minPwm,
                       std::vector<int>(17, requests), INT_MAX});
}

void TJudge::EndWrites(int seq) {
    for (TWrite& w : writes_) w.Until = std::min(w.Until, seq);
}

void TJudge::AskUpdate(int step, const QString& file, const std::vector<uint8_t>& image) {
    updates_.push_back({step, file, image.size(), Crc32(image)});
}

void TJudge::Claim(const QString& logLine) {
    static const QRegularExpression prefix(QStringLiteral("^Vek#\\d+: "));
    QString text = logLine;
    text.remove(prefix);
    static const QRegularExpression success(QStringLiteral(
        "^(Config #\\d+ uploaded\\.|Config #\\d+ v\\d+\\.\\d+ downloaded\\.|Echo is received\\.|Finish\\.|"
        "BOOT detected!!!|BOOT v\\d+\\.\\d+ Prepare \\d+ bytes|"
        "LINK: Scan complete \\([0-9a-f]+\\)\\.|LINK: Active link #\\d+\\.|LINK: No active link)$"));
    if (success.match(text).hasMatch()) claims_.push_back(text.toStdString());
}

void TJudge::Check(int step, bool synced) {
    Read();
    for (TSim& sim : sims_) {
        size_t done = 0;
        for (size_t i = 0; i < sim.Pending.size(); ++i) {
            const TLine& line = sim.Pending[i];
            const bool marker = line.Dir == "in" && line.Bytes.size() == 5 && line.Bytes[0] == MarkerCode;
            if (!marker && !(sim.Ended && i + 1 == sim.Pending.size())) continue;
            // Every packet since the last marker was queued between it and this one.
            const int hi = marker ? int(le::U32(&line.Bytes[1])) : 2 * step + 1;
            for (size_t j = done; j <= i; ++j) Judge(sim, sim.Pending[j], sim.Marker, hi);
            sim.Marker = hi;
            done = i + 1;
        }
        sim.Pending.erase(sim.Pending.begin(), sim.Pending.begin() + std::ptrdiff_t(done));
    }
    if (!synced) return;
    for (const std::string& claim : claims_) {
        ++Checks["log claim"];
        if (answers_[claim]-- <= 0)
            Fail("the log says \"" + claim + "\", but no answer in the simulator's trace says so");
    }
    claims_.clear();
}

void TJudge::Judge(TSim& sim, const TLine& line, int lo, int hi) {
    const std::vector<uint8_t>& b = line.Bytes;
    if (line.Dir == "note") {
        size_t size = 0;
        unsigned crc = 0;
        const size_t at = line.Note.find("image of ");
        if (at == std::string::npos ||
            std::sscanf(line.Note.c_str() + at, "image of %zu bytes complete, crc %x", &size, &crc) != 2)
            return;
        ++Checks["firmware image"];
        const TUpdate* asked = nullptr;
        for (const TUpdate& u : updates_)
            if (2 * u.Step <= hi) asked = &u;
        char text[160];
        std::snprintf(text, sizeof text, "%zu bytes, crc %08x", size, crc);
        if (asked == nullptr)
            return Fail(std::string("the controller completed an image (") + text + ") nobody sent");
        if (asked->Size != size || asked->Crc != crc) {
            char want[96];
            std::snprintf(want, sizeof want, "%zu bytes, crc %08x", asked->Size, asked->Crc);
            return Fail("the controller completed an image of " + std::string(text) + ", but Update FW at " +
                        States[size_t(asked->Step)].Action + " sent " + asked->File.toStdString() + " (" +
                        want + ")");
        }
        if (line.Note.find("flash error") == std::string::npos) ++answers_["Finish."];
    } else if (line.Dir == "in" && !b.empty()) {
        if (b[0] == zuq::Cmd::Throttle) return Throttle(line, lo, hi);
        if (b[0] == zuq::Cmd::ConfigSet || b[0] == zuq::Cmd::ConfigFlash) {
            sim.LastWrite = b.size() > 7 ? b[7] : -1;
            return Write(line, lo, hi);
        }
        if (b[0] == zuq::Cmd::FetTest && b.size() >= 3) {
            ++Checks["FET pattern"];
            const unsigned pattern = le::U16(&b[1]);
            for (int phase = 0; phase < 3; ++phase)
                if (((pattern >> (10 - 2 * phase)) & 3) != 0 && ((pattern >> (4 - 2 * phase)) & 3) != 0) {
                    char text[128];
                    std::snprintf(text, sizeof text,
                                  "FetTest pattern 0x%04x turns on both switches of phase %c", pattern,
                                  'A' + phase);
                    return Fail(text + std::string(" (") + line.To + ")");
                }
        }
    } else if (line.Dir == "out" && !line.Lost && !b.empty()) {
        char text[64] = "";
        if (b[0] == zuq::Cmd::ConfigUploaded && sim.LastWrite >= 0)
            std::snprintf(text, sizeof text, "Config #%d uploaded.", sim.LastWrite);
        else if (b[0] == zuq::Cmd::ConfigData && b.size() > 7)
            std::snprintf(text, sizeof text, "Config #%d v%d.%d downloaded.", b[7], b[6], b[5]);
        else if (b[0] == zuq::Cmd::Echo)
            std::snprintf(text, sizeof text, "Echo is received.");
        else if (b[0] == zuq::Cmd::BootReady && line.Channel == zuq::ChannelBoot)
            std::snprintf(text, sizeof text, "BOOT detected!!!");
        else if (b[0] == zuq::Cmd::BootInfo && b.size() >= 7)
            std::snprintf(text, sizeof text, "BOOT v%d.%d Prepare %u bytes", b[2], b[1] & 0x0F,
                          unsigned(le::U32(&b[3])));
        else if (b[0] == zuq::Cmd::ScanLinks && b.size() >= 5)
            std::snprintf(text, sizeof text, "LINK: Scan complete (%x).", unsigned(le::U32(&b[1])));
        else if (b[0] == zuq::Cmd::ActiveLink && b.size() >= 2)
            std::snprintf(text, sizeof text, b[1] == 255 ? "LINK: No active link" : "LINK: Active link #%d.",
                          b[1]);
        if (text[0] != 0) ++answers_[text];
    }
}

// RUN: a Throttle goes only to the controller selected when RUN was pressed, and none reaches a
// controller later than 100 ms after the action that released RUN. A Throttle between markers lo
// and hi was queued while the operator had left RUN as one of the states lo/2..hi/2 say.
void TJudge::Throttle(const TLine& line, int lo, int hi) {
    if (line.To == "nobody") return;
    ++Checks["throttle"];
    const size_t first = size_t(std::max(0, lo / 2)),
                 last = std::min(size_t(std::max(0, hi / 2)), States.size() - 1);
    const TStepState* running = nullptr;
    for (size_t k = first; k <= last; ++k) {
        if (States[k].Running && States[k].Target == line.To) return;
        if (States[k].Running) running = &States[k];
    }
    if (running != nullptr)
        return Fail("Throttle reached " + line.To + " while RUN was down for " + running->Target + " (" +
                    States[first].Action + " .. " + States[last].Action + ")");
    const TStepState& state = States[last];
    if (state.ReleasedUs == 0)
        return Fail("Throttle reached " + line.To + ", but RUN was never pressed (" + States[first].Action +
                    " .. " + state.Action + ")");
    if (line.Us - state.ReleasedUs > 100'000)
        return Fail("Throttle reached " + line.To + " " + Ms(line.Us - state.ReleasedUs) + " after " +
                    state.ReleasedBy + " released RUN, queued after that action");
    if (line.To != state.Target)
        Fail("Throttle reached " + line.To + " after " + state.ReleasedBy +
             " released RUN, which was down for " + state.Target);
}

// Configuration writes: each one asked for by a Set, Flash or Flash All still running, for the controller
// selected when it was asked, carrying the values the screen showed then.
void TJudge::Write(const TLine& line, int lo, int hi) {
    if (line.To == "nobody") return;
    ++Checks["config write"];
    const std::vector<uint8_t>& b = line.Bytes;
    const int record = b.size() >= 52 ? b[7] : -1;
    const std::string what = line.Name + " of record " + std::to_string(record) + " to " + line.To;
    for (TWrite& w : writes_) {
        if (w.Command != b[0] || w.Target != line.To || record < w.First || record > w.Last ||
            w.Left[size_t(record)] <= 0 || hi < 2 * w.Step || lo >= w.Until)
            continue;
        --w.Left[size_t(record)];
        if (std::string(b.begin() + 1, b.begin() + 5) != "QEZO")
            return Fail(what + " does not carry a record (signature)");
        const int maxCurrent = le::U16(&b[21]), minPwm = le::U16(&b[27]);
        if (w.ScreenRecord == record &&
            ((w.MaxCurrent >= 0 && w.MaxCurrent != maxCurrent) || (w.MinPwm >= 0 && w.MinPwm != minPwm)))
            return Fail(what + " carries Max_Current " + std::to_string(maxCurrent) + ", min_PWM " +
                        std::to_string(minPwm) + "; the screen showed " + std::to_string(w.MaxCurrent) +
                        ", " + std::to_string(w.MinPwm) + " when " + States[size_t(w.Step)].Action +
                        " asked for it");
        return;
    }
    Fail(what + " that no Set, Flash or Flash All asked for there (queued between " +
         States[size_t(std::max(0, lo / 2))].Action + " and the end of " +
         States[std::min(size_t(std::max(0, hi / 2)), States.size() - 1)].Action + ")");
}
