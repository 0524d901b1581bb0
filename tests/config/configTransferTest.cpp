// The transfer unit driven through a recording port: a script of requests, replies and ticks in; the
// packets sent, the unit's callbacks and its log lines out.
#include <gtest/gtest.h>

#include <map>

#include "config/configTransfer.h"
#include "transferScript.h"

namespace {

using TDir = TConfigTransfer::TDirection;

struct TRig {
    TRig() {
        unit.Initialize(link);
        unit.OnLog = [this](const QString& line) { log << line; };
        unit.OnTransferStarted = [this](TDir) { events << "start"; };
        unit.OnRecordDone = [this](int n, bool ok) { events << QString(ok ? "ok %1" : "fail %1").arg(n); };
        unit.OnSelectRecord = [this](int n) { events << QString("select %1").arg(n); };
        unit.OnTransferEnded = [this](auto e) {
            events << QString("finished failed abandoned").split(' ')[int(e)];
        };
    }
    bool Reply(std::vector<uint8_t> p) { return unit.HandleReply(p.data(), uint8_t(p.size())); }
    void Expire() {
        for (int i = 0; i < TConfigTransfer::WaitTicks; ++i) unit.Tick();
    }
    // A reply with `value` at payload byte `at`, zeros between.
    static std::vector<uint8_t> Packet(uint8_t code, size_t at, int value) {
        std::vector<uint8_t> payload(at + 1);
        payload[0] = code, payload[at] = uint8_t(value);
        return payload;
    }
    // Steps separated by ";", each optionally repeated with "xN": get/set/flash N [M] (read, write to RAM,
    // to flash), stop, expire (the wait's ticks), data N, bad N (spoiled signature), answer (the record
    // last asked for), ack [code], link N (the active link), edit N (record N in memory gets poles 99 and
    // number 0), detect, status MODE, step (a detection tick), close (the port), echo.
    void Run(const QString& script) {
        const std::map<QString, std::function<void(int, int)>> verbs = {
            {"get", [&](int a, int b) { unit.Read(a, b); }},
            {"set", [&](int a, int b) { unit.Write(a, b, TDir::WriteRam); }},
            {"flash", [&](int a, int b) { unit.Write(a, b, TDir::WriteFlash); }},
            {"stop", [&](int, int) { unit.Abandon(); }},
            {"expire", [&](int, int) { Expire(); }},
            {"data", [&](int a, int) { Reply(DataReply(a)); }},
            {"bad", [&](int a, int) { Reply(DataReply(a, 12, true)); }},
            {"answer",
             [&](int, int) { Reply(DataReply(link.Packets(zuq::Cmd::ConfigGet).back().Payload[1])); }},
            {"ack", [&](int a, int) { Reply(Packet(zuq::Cmd::ConfigUploaded, 1, a ? a : 0x18)); }},
            {"edit", [&](int a, int) { unit.Records()[a].poles = 99, unit.Records()[a].Number = 0; }},
            {"detect", [&](int, int) { Reply({zuq::Cmd::Detected}); }},
            {"status",
             [&](int a, int) { EXPECT_TRUE(Reply(Packet(zuq::Cmd::Status, 17, a))) << "passed on"; }},
            {"link", [&](int a, int) { link.ActiveLink = uint8_t(a); }},
            {"step", [&](int, int) { unit.DetectionTick(); }},
            {"close", [&](int, int) { link.Open = false; }},
            {"echo", [&](int, int) { Reply({zuq::Cmd::Echo}); }},
        };
        for (const QString& part : script.split(';', Qt::SkipEmptyParts)) {
            QStringList w = part.simplified().split(' ');
            const int times = w.size() > 1 && w.last().startsWith('x') ? w.takeLast().mid(1).toInt() : 1;
            const int a = w.value(1).toInt(), b = w.size() > 2 ? w[2].toInt() : a;
            for (int i = 0; i < times; ++i) verbs.at(w[0])(a, b);
        }
        events << (unit.Busy() ? "(busy)" : "") << (unit.Detecting() ? "(detecting)" : "");
    }

    TRecordingLink link;
    TConfigTransfer unit;
    QStringList log, events;
};

const char* const GetAll =
    "get 0, get 1, get 2, get 3, get 4, get 5, get 6, get 7, get 8, get 9, get 10, "
    "get 11, get 12, get 13, get 14, get 15, get 16";
const char* const FlashAll =
    "flash 0, flash 1, flash 2, flash 3, flash 4, flash 5 p99, flash 6, flash 7, "
    "flash 8, flash 9, flash 10, flash 11, flash 12, flash 13, flash 14, flash 15, flash 16";

TEST(ConfigTransfer, Scripts) {
    struct Case {
        const char* script;
        const char* sent;    // patterns: "*" is any text
        const char* events;  // then "(busy)" and "(detecting)" when so at the end, else empty
        const char* log;
    };
    const Case cases[] = {
        {"get 0 16; answer x17", GetAll, "start, ok 0, *, ok 16, finished, , ",
         "Downloading CONFIG #0 data...\nConfig #0 v0.3 downloaded.\nDownloading CONFIG #1 data...\n*\n"
         "Config #16 v0.3 downloaded."},
        // A silent record is asked four times, or three after the first of a transfer, then given up.
        {"get 0 1; expire x7", "get 0, get 0, get 0, get 0, get 1, get 1, get 1",
         "start, fail 0, fail 1, failed, , ",
         "Downloading CONFIG #0 data...\nCONFIG downloading failed!\nDownloading CONFIG #0 data...\n"
         "CONFIG downloading failed!\nRetry downloading CONFIG #0 data...\nCONFIG downloading failed!\n"
         "Retry downloading CONFIG #0 data...\nCONFIG downloading failed!\nDownloading CONFIG #1 data...\n"
         "CONFIG downloading failed!\nRetry downloading CONFIG #1 data...\nCONFIG downloading failed!\n"
         "Retry downloading CONFIG #1 data...\nCONFIG downloading failed!"},
        // A corrupted answer is asked again; unasked records are kept only while nothing runs.
        {"data 5; data 17; get 2; bad 2; data 7; data 2", "get 2, get 2", "start, ok 2, finished, , ",
         "Config #5 v0.3 downloaded.\nConfig #17 is corrupted.\nDownloading CONFIG #2 data...\n"
         "Config #2 is corrupted.\nDownloading CONFIG #2 data...\nConfig #2 v0.3 downloaded."},
        {"flash 1; expire x4", "flash 1, flash 1, flash 1, flash 1", "start, fail 1, failed, , ",
         "Uploading CONFIG #1 data...\nCONFIG uploading failed!\nUploading CONFIG #1 data...\n"
         "CONFIG uploading failed!\nRetry uploading CONFIG #1 data...\nCONFIG uploading failed!\n"
         "Retry uploading CONFIG #1 data...\nCONFIG uploading failed!"},
        // A write to RAM goes once; only 0x18 acknowledges, and only a write in flight.
        {"set 1; expire; flash 2; ack 23; ack 1; expire; ack; ack", "set 1, flash 2, flash 2",
         "start, fail 1, failed, start, ok 2, finished, , ",
         "*CONFIG uploading failed!\nUploading CONFIG #2 data...\nConfig #2 uploaded."},
        // Flash All sends the records as they were when it started.
        {"edit 5; flash 0 16; edit 6; ack x17", FlashAll, "start, ok 0, ok 1, *, ok 16, finished, , ",
         "Uploading CONFIG #0 data...\nConfig #0 uploaded.\n*"},
        // Stopped: the late answer to the request in flight is nobody's, and nothing is asked again.
        // A corrupted record during a write leaves the write alone.
        {"flash 2; stop; flash 4; ack; flash 4; bad 3; ack", "flash 2, flash 4",
         "start, abandoned, start, ok 4, finished, , ",
         "Uploading CONFIG #2 data...\nCONFIG transfer abandoned.\nUploading CONFIG #4 data...\n"
         "Config #3 is corrupted.\nConfig #4 uploaded."},
        {"flash 0 16; stop; expire; set 2; expire", "flash 0, set 2",
         "start, abandoned, start, fail 2, failed, , ", "*"},
        {"edit 5; get 0 16; stop; data 0; flash 5; data 5; ack", "get 0, flash 5 p99",
         "start, abandoned, start, ok 5, finished, , ",
         "Downloading CONFIG #0 data...\nCONFIG transfer abandoned.\nUploading CONFIG #5 data...\nConfig #5 "
         "uploaded."},
        {"get 0 16; close; expire; get 1", "get 0", "start, failed, , ", "*"},
        // Detection polls the status and reads the record in use, unless a transfer runs.
        {"link 2; detect; step x3; status 3; step x3", "status, status, get 3", "select 3, start, (busy), ",
         "Vek#2: Vek detected.\nVek#2: Downloading CONFIG #3 data..."},
        {"get 1; detect; step; status 9; step x3", "get 1", "start, (busy), ", "*"},
        {"detect; step; status 16; step x2", "get 16", "select 16, start, (busy), (detecting)", "*"},
        {"close; detect; step x2; echo", "", ", ", "Vek detected.\nEcho is received."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TRig rig;
        rig.Run(c.script);
        EXPECT_TRUE(Matches(Sent(rig.link), c.sent)) << Sent(rig.link).toStdString();
        EXPECT_TRUE(Matches(rig.events.join(", "), c.events)) << rig.events.join(", ").toStdString();
        EXPECT_TRUE(Matches(rig.log.join('\n'), c.log)) << rig.log.join('\n').toStdString();
    }
}

}  // namespace
