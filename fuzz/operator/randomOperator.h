// The random operator: seeded sequences of operator actions performed on the real main window against
// vek-sim, judged after every step by what reached the controllers (the simulator's trace) and by what
// the window's log claims. Markers (an unknown command the simulator traces and ignores) are queued on
// the program's port after every action and after every pause: the line keeps the program's order, so
// a packet's place between two markers in the trace says between which two points it was queued,
// however late a busy machine delivered it.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

class TFormMainQox;
class TSimProcess;

int64_t NowUs();  // CLOCK_MONOTONIC in microseconds, the clock of the simulator's trace
constexpr uint8_t MarkerCode = 0xEE;
uint32_t Crc32(const std::vector<uint8_t>& data);

// One operator action: its name in the catalogue, two random arguments and the pause after it.
struct TAction {
    std::string Name;
    uint32_t A = 0, B = 0;
    int PauseMs = 0;
    std::string Text() const;
    static bool Parse(const std::string& line, TAction& action);
};
// A run draws its actions from a random half of the catalogue (a swarm), so that the actions it has
// meet each other often.
uint64_t RandomSwarm(std::mt19937& random);
TAction RandomAction(std::mt19937& random, uint64_t swarm);

// What the operator had done to RUN when an action was over.
struct TStepState {
    std::string Action;      // "#12 esc"
    bool Running = false;    // RUN down
    std::string Target;      // the controller selected when RUN was pressed: "line", "node2"
    int64_t ReleasedUs = 0;  // the start of the action that last released RUN; 0: never pressed
    std::string ReleasedBy;
};

class TJudge {
public:
    std::vector<TStepState> States{1};   // [k]: after action k; [0]: before the first
    std::map<std::string, long> Checks;  // rule checks made, by rule
    std::vector<std::string> Violations;

    void AddSim(TSimProcess* sim, int step);
    void SimEnded(TSimProcess* sim);
    // Reads what the simulators traced since; true once marker `seq` has been seen.
    bool Read(int seq = -1);
    // A Set, Flash or Flash All: `command` for records first..last of `target`, at most `requests` each,
    // asked by action `step`; the screen showed `screenRecord` with Max_Current and min_PWM (-1: not known).
    void AskWrite(int step, const std::string& target, uint8_t command, int first, int last, int requests,
                  int screenRecord, int maxCurrent, int minPwm);
    // The transfer is over: no request queued after marker `seq` belongs to an earlier ask.
    void EndWrites(int seq);
    void AskUpdate(int step, const QString& file, const std::vector<uint8_t>& image);
    void Claim(const QString& logLine);
    // Judges every traced packet up to the last marker of each simulator (all of an ended one), and,
    // when `synced`, the log lines claimed so far.
    void Check(int step, bool synced);
    void Fail(const std::string& text) { Violations.push_back(text); }

private:
    struct TLine {
        int64_t Us = 0;
        std::string Dir, Name, To, Note;
        uint8_t Channel = 0;
        std::vector<uint8_t> Bytes;
        bool Lost = false;  // dropped or damaged on the way to the program
    };
    struct TSim {
        TSimProcess* Process;
        size_t Offset = 0;
        std::string Partial;
        int Marker;                  // the last marker judged up to
        std::vector<TLine> Pending;  // read, not judged yet
        bool Ended = false;
        int LastWrite = -1;  // the record of the last ConfigSet/ConfigFlash it took
    };
    struct TWrite {
        int Step;
        std::string Target;
        uint8_t Command;
        int First, Last, ScreenRecord, MaxCurrent, MinPwm;
        std::vector<int> Left;
        int Until = INT_MAX;
    };
    struct TUpdate {
        int Step;
        QString File;
        size_t Size;
        uint32_t Crc;
    };
    void Judge(TSim& sim, const TLine& line, int lo, int hi);
    void Throttle(const TLine& line, int lo, int hi);
    void Write(const TLine& line, int lo, int hi);

    std::vector<TSim> sims_;
    std::vector<TWrite> writes_;
    std::vector<TUpdate> updates_;
    std::map<std::string, int> answers_;  // log lines the traced answers justify, by text
    std::vector<std::string> claims_;
    int seen_ = -1;
};

struct TOptions {
    uint32_t Seed = 0;
    bool SeedGiven = false;
    double Seconds = 20;
    int Actions = 120;
    std::string Sim;  // simulator options; empty: chosen by the seed
    double ShrinkSeconds = 0;
    std::string Replay, Break;
};

// One run: a simulator, the window connected to it as the operator chooses, the judge.
class TSession {
public:
    TSession(const TOptions& options, uint32_t seed);
    ~TSession();
    bool Start();
    // Performs the action, pauses, queues the markers and judges; false after a violation.
    bool Step(const TAction& action);
    bool Finish();  // closes the window; judges the rest of the traces and the threads left

    TFormMainQox& W() { return *Window; }
    QString SimLink() const;
    QString File(const QString& name) const { return dir_.filePath(name); }
    void Unplug();
    // A packet queued past the operator: the fault switches break the rules with it.
    void Inject(uint8_t channel, std::vector<uint8_t> payload);

    uint32_t Seed;
    std::vector<std::string> SimArgs;
    std::unique_ptr<TFormMainQox> Window;
    TJudge Judge;
    std::vector<TAction> Done;
    std::map<QString, std::vector<uint8_t>> Images;  // firmware files as the operator wrote them
    QString LoadedImage;                             // the one the firmware frame holds
    bool RunPress = false, Release = false;          // set by the action being performed
    int StepNo = 0;
    QString LogText;

private:
    bool Marker(int seq);
    void StartSim();
    void Watch();
    void Rearm();

    QTemporaryDir dir_;
    std::vector<std::unique_ptr<TSimProcess>> sims_;
    int logBlocks_ = 0;
    int64_t lastTickUs_ = 0, lastRunDelayNs_ = 0;  // the watch's last tick
};

// Performs an action of the catalogue through the controls a person uses.
void PerformAction(TSession& session, const TAction& action);
