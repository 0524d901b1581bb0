// Firmware update against vek-sim: the time per page of an unpaced transfer (the program's share of the
// round trip), and a transfer at 115200 baud against the wire time of the bytes exchanged.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "support/kwyFile.h"
#include "support/simProcess.h"

namespace {
using Clock = std::chrono::steady_clock;

struct TRun {
    bool finished = false;
    std::string error;
    uint32_t pages = 0;
    double pageSeconds = 0;  // first page request received .. last page reported written
    uint64_t wireBytes = 0;  // every byte on the line within that window, both directions
    double medianGap = 0;    // median time from one page request to the next, in seconds
};

// Bytes on the line for one page: BootPage out, BootPageWritten and the next BootPageRequest in.
constexpr int PageExchangeBytes = zuq::HeaderSize + 131 + 2 * (zuq::HeaderSize + 3);

constexpr uint16_t SimDeviceCode = 0x5645;
constexpr int OutPageBytes = zuq::HeaderSize + 1 + 2 + TFirmwareImage::PageSize;  // BootPage packet

TRun RunUpdate(uint32_t imageSize, const std::vector<std::string>& simArgs) {
    TRun run;
    TSimProcess sim(simArgs);
    if (!sim.Started()) {
        run.error = "vek-sim: " + sim.Error();
        return run;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.kwy");
    if (!WriteKwy(path, SimDeviceCode, KwyPattern(imageSize, 7))) {
        run.error = "cannot write the image";
        return run;
    }

    TFrameConnectPort link;
    TFrameUpdateFW frame;
    QEventLoop loop;
    Clock::time_point first{}, last{};
    bool counting = false;
    uint64_t inBytes = 0;
    std::vector<Clock::time_point> requests;
    requests.reserve(imageSize / TFirmwareImage::PageSize + 1);
    link.InitPort(
        [&](const uint8_t* payload, uint8_t length, uint8_t) {
            const bool request = length >= 1 && payload[0] == zuq::Cmd::BootPageRequest;
            if (counting) inBytes += zuq::HeaderSize + length;
            if (request) requests.push_back(Clock::now());
            if (request && !counting) {
                counting = true;
                first = Clock::now();
            }
            const bool written = length >= 3 && payload[0] == zuq::Cmd::BootPageWritten;
            frame.HandleReply(payload, length);
            if (written && (payload[2] & 0x80)) {
                last = Clock::now();
                run.finished = true;
                loop.quit();
            }
        },
        nullptr, [&] { frame.DeviceLost(); });
    link.ComRW->PortName = sim.PortName();
    link.ComRW->SetActive(true);
    if (!link.IsConnected()) {
        run.error = "cannot open " + sim.PortName();
        return run;
    }
    frame.Initialize(link.Port(), 0, "Vek", [](const QString&) {});
    if (!frame.LoadImage(path)) {
        run.error = "image refused";
        return run;
    }
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    frame.ActionUpdateFWExecute();
    loop.exec();
    link.ComRW->SetActive(false);
    if (!run.finished) {
        run.error = "the update did not finish";
        return run;
    }
    run.pages = (imageSize + TFirmwareImage::PageSize - 1) / TFirmwareImage::PageSize;
    run.pageSeconds = std::chrono::duration<double>(last - first).count();
    run.wireBytes = inBytes + uint64_t(run.pages) * OutPageBytes;
    std::vector<double> gaps;
    for (size_t i = 1; i < requests.size(); ++i)
        gaps.push_back(std::chrono::duration<double>(requests[i] - requests[i - 1]).count());
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
        run.medianGap = gaps[gaps.size() / 2];
    }
    return run;
}

// Time per page against the page count, unpaced: what the program adds to each round trip shows as the
// whole per-page time less what vek-sim and the pseudo-terminal need.
void BM_UpdateUnpaced(benchmark::State& state) {
    const uint32_t size = uint32_t(state.range(0)) * TFirmwareImage::PageSize;
    double seconds = 0, median = 0;
    uint32_t pages = 0;
    for (auto _ : state) {
        const TRun run = RunUpdate(size, {});
        if (!run.finished) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        state.SetIterationTime(run.pageSeconds);
        seconds += run.pageSeconds;
        pages += run.pages;
        median += run.medianGap;
    }
    state.counters["pages"] = double(state.range(0));
    state.counters["us_per_page"] = pages ? seconds * 1e6 / pages : 0;
    state.counters["median_us_per_page"] = median * 1e6 / double(state.iterations());
}
BENCHMARK(BM_UpdateUnpaced)
    ->Arg(512)
    ->Arg(2048)
    ->Arg(8192)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A 64 KiB image at 115200 baud, 8N1: transfer time against the wire time of the bytes exchanged.
void BM_UpdateAt115200(benchmark::State& state) {
    constexpr int Baud = 115200;
    double seconds = 0, wire = 0, median = 0;
    for (auto _ : state) {
        const TRun run = RunUpdate(64 * 1024, {"--baud", std::to_string(Baud)});
        if (!run.finished) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        state.SetIterationTime(run.pageSeconds);
        seconds += run.pageSeconds;
        wire += double(run.wireBytes) * 10 / Baud;
        median += run.medianGap;
    }
    const double pageWire = double(PageExchangeBytes) * 10 / Baud;
    state.counters["wire_ms"] = wire * 1e3 / double(state.iterations());
    state.counters["percent_of_wire"] = wire > 0 ? 100 * seconds / wire : 0;
    // Scheduling hiccups of a loaded machine land in the mean; the median page shows the design.
    state.counters["median_page_percent_of_wire"] = 100 * median / double(state.iterations()) / pageWire;
}
BENCHMARK(BM_UpdateAt115200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
