// random_operator: runs seeded random operator sessions against vek-sim and judges each step; on a
// violation prints the seed and the actions, and can shrink them. See docs/ARCHITECTURE.md, Testing.
#include "randomOperator.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/comLink.h"
#include "link/littleEndian.h"
#include "link/simPortFolder.h"
#include "link/zuq.h"
#include "sim/simRecord.h"
#include "support/kwyFile.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

int64_t NowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

uint32_t Crc32(const std::vector<uint8_t>& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data)
        for (int k = 0; k < 8; ++k, b >>= 1) crc = (crc >> 1) ^ (0xEDB88320u & (0u - ((crc ^ b) & 1u)));
    return ~crc;
}

namespace {
TSession* Current = nullptr;  // for the report of a crash or a sanitizer

std::vector<std::string> Threads() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir)) {
            std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string name;
            // Qt's own pool workers (image conversion) expire by themselves; the program makes none.
            if (e->d_name[0] != '.' && std::getline(comm, name) && name != "Thread (pooled)")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

int64_t RunDelayNs(long tid) {  // how long the thread waited for a processor, as the kernel counts it
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    int64_t run = 0, wait = 0;
    in >> run >> wait;
    return wait;
}

void PrintRun(FILE* out, const TSession& s) {
    std::string sim;
    for (const std::string& a : s.SimArgs) sim += " " + a;
    std::fprintf(
        out,
        "random_operator: seed %u, vek-sim%s\nactions (rerun: --seed %u; replay: --seed %u --replay FILE "
        "with these lines):\n",
        s.Seed, sim.c_str(), s.Seed, s.Seed);
    for (size_t i = 0; i < s.Done.size(); ++i)
        std::fprintf(out, "#%zu %s\n", i + 1, s.Done[i].Text().c_str());
    std::fflush(out);
}

std::vector<uint8_t> RecordPacket(int number, int maxCurrent) {
    sim::TConfigBytes record = sim::DefaultRecord(uint8_t(number));
    if (maxCurrent >= 0) le::Put16(&record[sim::Rec::MaxCurrent], uint16_t(maxCurrent));
    std::vector<uint8_t> packet(1 + record.size(), zuq::Cmd::ConfigFlash);
    std::copy(record.begin(), record.end(), packet.begin() + 1);
    return packet;
}

// Fault switches: each breaks one rule on purpose, so that a run shows the judge catching it.
const std::map<std::string, std::function<void(TSession&)>> Breaks = {
    {"throttle-late",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 300});
         s.Step({"run", 0, 0, 200});
         s.Step({"esc", 0, 0, 300});
         s.Inject(zuq::ChannelApp, {zuq::Cmd::Throttle, 100, 0});
     }},
    {"throttle-other",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 300});
         s.Step({"run", 0, 0, 100});
         s.Inject(zuq::ChannelApp, {zuq::Cmd::SelectLink, 2});
         s.Inject(zuq::ChannelApp | zuq::NetBit, {zuq::Cmd::Throttle, 100, 0});
     }},
    {"config-unasked",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 300});
         s.Inject(zuq::ChannelApp, RecordPacket(3, -1));
     }},
    {"config-content",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 2000});
         s.Step({"field", 1, 100, 0});
         s.Step({"flash", 0, 0, 0});
         s.Inject(zuq::ChannelApp, RecordPacket(s.W().FrameConfigVek1->MaskEditUpDown2->GetIntValue(), 999));
     }},
    {"firmware-image",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 300});
         s.Step({"open-fw", 0, 0, 0});
         WriteKwy(s.File("a.kwy"), 0x5645, KwyPattern(6144, 99));  // behind the operator's back
         s.Step({"update-fw", 0, 0, 3000});
     }},
    {"log-claim", [](TSession& s) { s.W().Log(QStringLiteral("Config #3 uploaded.")); }},
    {"fet-short",
     [](TSession& s) {
         s.Step({"connect", 0, 0, 300});
         s.Inject(zuq::ChannelApp, {zuq::Cmd::FetTest, 0x10, 0x04, 10, 0, 10, 0});
     }},
    {"event-loop",
     [](TSession&) {
         QTimer::singleShot(0, [] {
             timespec t{};
             clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
             const double end = double(t.tv_sec) + t.tv_nsec * 1e-9 + 1.5;
             while (double(t.tv_sec) + t.tv_nsec * 1e-9 < end) clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
         });
     }},
    {"thread-left", [](TSession&) { std::thread([] { pause(); }).detach(); }},
    {"asan",
     [](TSession&) {
         static int* volatile stale;
         stale = new int[4];
         delete[] stale;
         std::printf("%d\n", stale[1]);
     }},
};
}  // namespace

TSession::TSession(const TOptions& options, uint32_t seed) : Seed(seed) {
    if (!options.Sim.empty()) {
        for (const QString& a : QString::fromStdString(options.Sim).split(' ', Qt::SkipEmptyParts))
            SimArgs.push_back(a.toStdString());
    } else {
        SimArgs = {"--nodes", "0,2,5"};
        if (seed % 2) SimArgs.insert(SimArgs.end(), {"--drop", "0.1", "--reply-delay", "30"});
        if (seed % 3 == 0) SimArgs.insert(SimArgs.end(), {"--flash-error-page", "5"});
        if (seed % 4 == 3) SimArgs.insert(SimArgs.end(), {"--baud", "9600"});  // a slow line backs up
    }
    SimArgs.insert(SimArgs.end(), {"--seed", std::to_string(seed), "--trace"});
    Current = this;
}

TSession::~TSession() {
    Current = nullptr;
}

bool TSession::Start() {
    const std::pair<const char*, int> images[] = {
        {"a.kwy", 6144}, {"b.kwy", 6144}, {"c.kwy", 20000}, {"other.kwy", 700}};
    for (const auto& [name, size] : images) {
        Images[name] = KwyPattern(size_t(size), uint8_t(Seed + uint32_t(size) + uint8_t(name[0])));
        WriteKwy(File(name), name[0] == 'o' ? 0x1234 : 0x5645, Images[name]);
    }
    WriteKwy(File("bad.kwy"), 0x5645, 4, {1, 2, 3, 4}, "XXXX");
    QFile bad(File("bad.cfg"));
    if (!bad.open(QIODevice::WriteOnly) || bad.write("[Config]\nMax_Current=\xff\xfe\n[\n") < 0) return false;
    bad.close();
    StartSim();
    Window = std::make_unique<TFormMainQox>();
    Window->IniPath = File("vektool.ini");
    Window->Beep = [] {};
    Window->FrameConfigVek1->ShowError = [](const QString&) {};
    Window->show();
    Window->activateWindow();
    if (!QTest::qWaitForWindowActive(Window.get())) return false;
    Window->ViewNetCAN->trigger();  // the operator opens the panels the actions use
    Window->ViewFETest->trigger();
    Judge.States[0].Action = "the start";
    auto* watch = new QTimer(Window.get());
    QObject::connect(watch, &QTimer::timeout, watch, [this] { Watch(); });
    watch->start(100);
    Rearm();
    return sims_.back()->Started();
}

void TSession::StartSim() {
    sims_.push_back(std::make_unique<TSimProcess>(SimArgs, true));
    Judge.AddSim(sims_.back().get(), std::max(1, StepNo));
    Rearm();  // the operator's own wait is not the program's
}

void TSession::Rearm() {
    lastTickUs_ = NowUs();
    lastRunDelayNs_ = RunDelayNs(syscall(SYS_gettid));
}

QString TSession::SimLink() const {
    const QDir folder(QString::fromStdString(SimPortFolder()));
    for (const QFileInfo& entry : folder.entryInfoList(QDir::System | QDir::Files))
        if (entry.symLinkTarget().toStdString() == sims_.back()->PortName()) return entry.absoluteFilePath();
    return QString::fromStdString(sims_.back()->PortName());
}

void TSession::Unplug() {
    TSimProcess* old = sims_.back().get();
    old->Stop();  // the simulator closes its port, as a pulled adapter does
    old->WaitForStderr(" note stopped", 10000);
    Judge.SimEnded(old);
    StartSim();
}

void TSession::Inject(uint8_t channel, std::vector<uint8_t> payload) {
    W().Port()->QueuePacket(0, payload.data(), payload.size(), channel);
}

bool TSession::Marker(int seq) {
    uint8_t data[4];
    le::Put32(data, uint32_t(seq));
    return W().IsConnected() && W().Port()->SendCommandData(zuq::ChannelApp, MarkerCode, data, 4);
}

// Every 100 ms of the event loop: a gap of over a second that the machine's load does not explain is
// an event loop that did not answer.
void TSession::Watch() {
    static const long guiThread = syscall(SYS_gettid);
    const int64_t now = NowUs(), delay = RunDelayNs(guiThread);
    const int64_t stalled = now - lastTickUs_ - (delay - lastRunDelayNs_) / 1000;
    if (stalled > 1'100'000)
        Judge.Fail("the event loop did not answer for " + std::to_string(stalled / 1000) + " ms (besides " +
                   std::to_string((delay - lastRunDelayNs_) / 1'000'000) +
                   " ms waiting for a processor) up to " + Judge.States.back().Action);
    lastTickUs_ = now;
    lastRunDelayNs_ = delay;
}

bool TSession::Step(const TAction& action) {
    TTestControl* control = W().GroupBox2;
    TConfigTransfer& transfer = W().FrameConfigVek1->Transfer;
    const int k = ++StepNo;
    Done.push_back(action);
    TStepState state = Judge.States.back();
    state.Action = "#" + std::to_string(k) + " " + action.Name;
    if (state.Running && !control->Running()) {  // the program let go of RUN by itself
        state.Running = false;
        state.ReleasedUs = NowUs();
        state.ReleasedBy = "the program (before " + state.Action + ")";
    }
    const bool wasRunning = state.Running;
    const uint8_t before = W().FrameLinkScan1->SelectedLink();
    RunPress = Release = false;
    const int64_t start = NowUs();
    PerformAction(*this, action);
    if (RunPress && !wasRunning) {
        state.Running = control->Running();
        state.Target = before == 255 ? "line" : "node" + std::to_string(before);
    } else {
        state.Running = wasRunning && !RunPress && !Release && control->Running() && W().IsConnected() &&
                        W().FrameLinkScan1->SelectedLink() == before;
    }
    if (wasRunning && !state.Running) {
        state.ReleasedUs = start;
        state.ReleasedBy = state.Action;
    }
    Judge.States.push_back(state);
    if (!transfer.Running()) Judge.EndWrites(2 * k);
    Marker(2 * k);
    ProcessEventsFor(action.PauseMs);
    // What the log says, and whether a transfer still runs, as of the marker that ends the step.
    QTextDocument* log = W().ListBoxLog->document();
    for (QTextBlock b = log->findBlockByNumber(logBlocks_); b.isValid(); b = b.next()) Judge.Claim(b.text());
    logBlocks_ = log->blockCount();
    if (!transfer.Running()) Judge.EndWrites(2 * k + 1);
    // An action without a pause follows at once: what this one queued may still be on its way.
    const bool sent = Marker(2 * k + 1), wait = sent && action.PauseMs > 0;
    if (wait && !ProcessEventsUntil([&] { return Judge.Read(2 * k + 1) || !W().IsConnected(); }, 60000))
        Judge.Fail("a packet queued at the end of " + state.Action +
                   " did not reach the controller within 60 s");
    const bool synced = sent && Judge.Read(2 * k + 1);
    Judge.Check(k, synced);
    ++Judge.Checks["event loop"];
    Rearm();
    return Judge.Violations.empty();
}

bool TSession::Finish() {
    if (Window) {
        QTextDocument* log = W().ListBoxLog->document();
        for (QTextBlock b = log->findBlockByNumber(logBlocks_); b.isValid(); b = b.next())
            Judge.Claim(b.text());
        LogText = W().ListBoxLog->toPlainText();
        Window->close();
        Window.reset();
    }
    for (auto& sim : sims_) {
        sim->Stop();
        sim->WaitForStderr(" note stopped", 10000);
        Judge.SimEnded(sim.get());
    }
    Judge.Check(StepNo, true);
    sims_.clear();
    return Judge.Violations.empty();
}

namespace {
struct TResult {
    bool Failed = false;
    long Actions = 0;
    std::map<std::string, long> Checks;
};

std::string Describe(const std::map<std::string, long>& checks) {
    std::string text;
    for (const auto& [rule, n] : checks) text += (text.empty() ? "" : ", ") + rule + " " + std::to_string(n);
    return text.empty() ? "no rule checks" : "rule checks: " + text;
}

TResult Run(const TOptions& o, uint32_t seed, const std::vector<TAction>* replay, int64_t deadlineUs,
            bool report) {
    const size_t threads = Threads().size();
    TResult result;
    {
        TSession s(o, seed);
        if (!s.Start()) {
            std::fprintf(stderr, "random_operator: cannot start the simulator and the window\n");
            std::exit(2);
        }
        if (!o.Break.empty()) Breaks.at(o.Break)(s);
        std::mt19937 random(seed);
        const uint64_t swarm = RandomSwarm(random);
        for (size_t i = 0; s.Judge.Violations.empty(); ++i) {
            if (replay ? i >= replay->size() : (int(i) >= o.Actions || NowUs() > deadlineUs)) break;
            s.Step(replay ? (*replay)[i] : RandomAction(random, swarm));
        }
        s.Finish();
        const std::vector<std::string> left = Threads();
        ++s.Judge.Checks["threads"];
        if (left.size() > threads) {
            std::string names;
            for (const std::string& n : left) names += " " + n;
            s.Judge.Fail(std::to_string(left.size() - threads) +
                         " thread(s) left running after the window closed "
                         "(threads now:" +
                         names + ")");
        }
        result = {!s.Judge.Violations.empty(), long(s.Done.size()), s.Judge.Checks};
        if (result.Failed && report) {
            const QStringList log = s.LogText.split(QLatin1Char('\n'));
            std::printf("the window's log, last lines:\n%s\n",
                        log.mid(std::max(0, int(log.size()) - 30)).join('\n').toLocal8Bit().constData());
            std::printf("random_operator: seed %u FAILED after %zu actions:\n", seed, s.Done.size());
            for (const std::string& v : s.Judge.Violations) std::printf("  %s\n", v.c_str());
            PrintRun(stdout, s);
        }
        if (result.Failed && o.ShrinkSeconds > 0) {
            // Drop chunks of actions while the run still fails, halving the chunks when none can go.
            std::vector<TAction> list = s.Done;
            const int64_t end = NowUs() + int64_t(o.ShrinkSeconds * 1e6);
            for (size_t parts = 2; list.size() >= 2 && NowUs() < end;) {
                const size_t chunk = (list.size() + parts - 1) / parts;
                bool dropped = false;
                for (size_t at = 0; at < list.size() && NowUs() < end && !dropped; at += chunk) {
                    std::vector<TAction> fewer(list.begin(), list.begin() + std::ptrdiff_t(at));
                    fewer.insert(fewer.end(),
                                 list.begin() + std::ptrdiff_t(std::min(at + chunk, list.size())),
                                 list.end());
                    TOptions plain = o;
                    plain.ShrinkSeconds = 0;
                    if ((dropped = Run(plain, seed, &fewer, INT64_MAX, false).Failed)) list = fewer;
                }
                if (dropped)
                    parts = std::max<size_t>(parts - 1, 2);
                else if (chunk == 1)
                    break;
                else
                    parts = std::min(parts * 2, list.size());
            }
            std::printf("shrunk to %zu actions (replay with --seed %u --replay FILE):\n", list.size(), seed);
            for (size_t i = 0; i < list.size(); ++i) std::printf("#%zu %s\n", i + 1, list[i].Text().c_str());
        }
    }
    return result;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}
}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;  // settings, files and the simulators' port links stay private to the run
    const QByteArray root = home.path().toLocal8Bit();
    for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        setenv(v, root.constData(), 1);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Random operator sessions against vek-sim, judged after every step.");
    parser.addHelpOption();
    parser.addOptions(
        {{"seed", "First seed (default: random); run n uses seed + n.", "N"},
         {"seconds", "Stop starting actions after S seconds (default 20).", "S"},
         {"actions", "Actions per run (default 120).", "N"},
         {"sim", "vek-sim options (default: --nodes 0,2,5, drops and delays by seed).", "OPTIONS"},
         {"shrink", "After a failure, drop actions for up to S seconds while it fails.", "S"},
         {"replay", "Perform the actions listed in FILE instead of random ones.", "FILE"},
         {"break",
          "Break a rule on purpose: throttle-late, throttle-other, config-unasked, "
          "config-content, firmware-image, log-claim, fet-short, event-loop, "
          "thread-left, asan.",
          "RULE"}});
    parser.process(app);
    TOptions o;
    o.SeedGiven = parser.isSet("seed");
    o.Seed = o.SeedGiven ? parser.value("seed").toUInt() : std::random_device{}();
    o.Seconds = parser.isSet("seconds") ? parser.value("seconds").toDouble() : 20;
    o.Actions = parser.isSet("actions") ? parser.value("actions").toInt() : 120;
    o.Sim = parser.value("sim").toStdString();
    o.ShrinkSeconds = parser.value("shrink").toDouble();
    o.Break = parser.value("break").toStdString();
    if (!o.Break.empty() && !Breaks.count(o.Break)) parser.showHelp(2);
    if (__sanitizer_set_death_callback != nullptr) {
        __sanitizer_set_death_callback([] {
            if (Current != nullptr) PrintRun(stderr, *Current);
        });
    } else {
        for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE})
            std::signal(sig, [](int sig) {
                if (Current != nullptr) PrintRun(stderr, *Current);
                std::_Exit(128 + sig);
            });
    }

    std::printf("random_operator: first seed %u, load average %s\n", o.Seed, LoadAverage().c_str());
    std::fflush(stdout);
    if (parser.isSet("replay")) {
        std::ifstream in(parser.value("replay").toStdString());
        std::vector<TAction> actions;
        for (std::string line; std::getline(in, line);)
            if (TAction a; TAction::Parse(line, a)) actions.push_back(a);
        const TResult r = Run(o, o.Seed, &actions, INT64_MAX, true);
        std::printf("random_operator: replayed %ld actions, %s, %s\n", r.Actions, Describe(r.Checks).c_str(),
                    r.Failed ? "FAILED" : "no violation");
        return r.Failed ? 1 : 0;
    }
    const int64_t deadline = NowUs() + int64_t(o.Seconds * 1e6);
    long runs = 0, actions = 0;
    std::map<std::string, long> checks;
    for (uint32_t seed = o.Seed; runs == 0 || NowUs() < deadline; ++seed, ++runs) {
        const TResult r = Run(o, seed, nullptr, deadline, true);
        actions += r.Actions;
        for (const auto& [rule, n] : r.Checks) checks[rule] += n;
        if (r.Failed) return 1;
        std::printf("seed %u: %ld actions, %s, no violation\n", seed, r.Actions, Describe(r.Checks).c_str());
        std::fflush(stdout);
    }
    std::printf("random_operator: %ld runs (seeds %u..%u), %ld actions, %s, no violation; load average %s\n",
                runs, o.Seed, o.Seed + uint32_t(runs) - 1, actions, Describe(checks).c_str(),
                LoadAverage().c_str());
    return 0;
}
