// The serial line of the simulated controller: a pseudo-terminal served in one poll loop, with the
// line's pacing and the faults the options ask for (dropped, damaged, late or missing packets, an
// unplugged adapter).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/simController.h"
#include "sim/simOptions.h"
#include "sim/simPortLink.h"

namespace sim {

class TSimLine {
public:
    explicit TSimLine(const TSimOptions& options);
    ~TSimLine();
    TSimLine(const TSimLine&) = delete;
    TSimLine& operator=(const TSimLine&) = delete;

    // Opens the pseudo-terminal, prints its path as the first line of stdout and serves it until
    // SIGINT/SIGTERM or the unplug time. Returns the process exit code.
    int Run();

private:
    struct TTimedByte {
        int64_t AtUs;
        uint8_t Byte;
    };
    struct TDelayed {
        int64_t AtUs;
        std::vector<uint8_t> Bytes;
    };

    bool Open(std::string& error);
    void Send(uint8_t channel, const std::vector<uint8_t>& payload);
    void Queue(std::vector<uint8_t> bytes, int64_t nowUs);
    void ReadInput(int64_t nowUs);
    void FeedDueInput(int64_t nowUs);
    void WriteOutput(int64_t nowUs);
    int64_t NextWakeUs(int64_t nowUs) const;
    void Trace(const std::string& line);
    void DumpImage(const std::vector<uint8_t>& image);

    TSimOptions options_;
    std::unique_ptr<TSimController> controller_;
    TSimPortLink link_;
    std::string portName_;
    int master_ = -1;
    bool peerPresent_ = false;
    double byteUs_ = 0;  // wire time of one byte, 0 = unpaced
    double inClock_ = 0;
    double outClock_ = 0;
    std::deque<TTimedByte> input_;
    std::deque<TDelayed> delayed_;
    std::deque<uint8_t> output_;
    long packetsIn_ = 0;
    bool silent_ = false;
    bool writeBlocked_ = false;  // the terminal's buffer was full at the last write
    std::mt19937 random_;
};

}  // namespace sim
