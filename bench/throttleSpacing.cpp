// Spacing of the Throttle stream as the controller sees it: the test control runs at its default
// interval of 50 ms against vek-sim --trace while a graph frame repaints at full rate, and the
// simulator's time stamps of 200 consecutive Throttle packets give the figures.
// Usage: bench_throttleSpacing [packets]   (prints median, p90, p99, min and max of the spacing)
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "support/simProcess.h"
#include "telemetry/fGraph.h"

namespace {

// Time stamps (microseconds) of the Throttle packets in vek-sim's trace.
std::vector<int64_t> ThrottleStamps(const std::string& trace) {
    std::vector<int64_t> stamps;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        long long us = 0;
        std::string direction, name;
        if (words >> us >> direction >> name && direction == "in" && name == "Throttle") stamps.push_back(us);
    }
    return stamps;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(std::lrint(p * double(v.size() - 1))))];
}

const char* PriorityText(TRunThread::TPriority priority) {
    switch (priority) {
        case TRunThread::PriorityRealtime:
            return "real-time (SCHED_FIFO)";
        case TRunThread::PriorityNice:
            return "raised nice value";
        case TRunThread::PriorityNormal:
            return "normal (the system refused a higher one)";
        default:
            return "not yet set";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int spacings = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

    TSimProcess sim({"--trace"}, true);
    if (!sim.Started()) {
        std::fprintf(stderr, "vek-sim did not start: %s\n", sim.Error().c_str());
        return 1;
    }

    QWidget window;
    window.resize(1280, 800);
    auto* layout = new QVBoxLayout(&window);
    auto* link = new TFrameConnectPort(&window);
    auto* control = new TTestControl(&window);
    layout->addWidget(link);
    layout->addWidget(control);
    auto* graph = new TFrameGraph(&window);
    layout->addWidget(graph, 1);
    graph->InitGraph();
    for (int i = 0; i < 13; ++i)
        graph->SetChannel(i, true, QColor::fromHsv(i * 27 % 360, 255, 200), true, QString::number(i), 1.0);
    // New samples faster than the 20 ms repaint tick, so that every tick repaints.
    QTimer feeder;
    int sample = 0;
    QObject::connect(&feeder, &QTimer::timeout, [&]() {
        ++sample;
        for (int i = 0; i < 13; ++i)
            graph->AddValue(i,
                            float(1000.0 * std::sin(sample * 0.02 + i) + 100.0 * i + (sample * 7919 % 97)));
    });
    feeder.start(5);
    // Counts the paints the graph's surface really gets.
    struct TPaintCounter : QObject {
        int Paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++Paints;
            return false;
        }
    } paints;
    graph->Paper1->installEventFilter(&paints);
    const char* load = "graph frame repainting every 20 ms (13 channels, 1280x800 window)";
    window.show();

    link->InitPort({}, {}, {});
    link->ComRW->PortName = sim.PortName();
    link->ComRW->SetActive(true);
    if (!link->IsConnected()) {
        std::fprintf(stderr, "cannot open %s: %s\n", sim.PortName().c_str(),
                     link->ComRW->LastError().c_str());
        return 1;
    }
    control->Initialize(link->Port(), {}, {});
    // The tick's own time on the GUI thread, to tell the pacing apart from the way to the controller.
    std::vector<int64_t> tickTimes;
    control->RunThread->OnTick = [&]() {
        if (control->Running()) tickTimes.push_back(MonotonicMs());
        control->Timer25Timer();
    };
    control->MaskEditUpDown17->SetValue(20);
    control->UpdateActions();
    control->ActionRun->trigger();

    QElapsedTimer clock;
    clock.start();
    std::vector<int64_t> stamps;
    while (stamps.size() < size_t(spacings) + 1 && clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        stamps = ThrottleStamps(sim.Stderr());
    }
    const TRunThread::TPriority priority = control->RunThread->Priority();
    control->Shutdown();
    if (stamps.size() < size_t(spacings) + 1) {
        std::fprintf(stderr, "only %zu Throttle packets within two minutes\n", stamps.size());
        return 1;
    }

    const double seconds = double(clock.elapsed()) / 1000.0;
    std::vector<double> gaps, tickGaps;
    for (size_t i = 1; i <= size_t(spacings); ++i) gaps.push_back(double(stamps[i] - stamps[i - 1]) / 1000.0);
    for (size_t i = 1; i < tickTimes.size() && i <= size_t(spacings); ++i)
        tickGaps.push_back(double(tickTimes[i] - tickTimes[i - 1]));
    std::printf("Throttle spacing at interval 50 ms, %d spacings seen by vek-sim\n", spacings);
    std::printf("  load:     %s\n", load);
    std::printf("  graph:    %d paints in %.1f s (%.0f a second)\n", paints.Paints, seconds,
                paints.Paints / seconds);
    std::printf("  priority: %s\n", PriorityText(priority));
    std::printf("  median %.2f ms  p90 %.2f ms  p99 %.2f ms  min %.2f ms  max %.2f ms\n",
                Percentile(gaps, 0.5), Percentile(gaps, 0.9), Percentile(gaps, 0.99), Percentile(gaps, 0.0),
                Percentile(gaps, 1.0));
    if (!tickGaps.empty())
        std::printf(
            "  ticks on the GUI thread (ms clock): median %.0f ms  p99 %.0f ms  min %.0f ms  max %.0f ms\n",
            Percentile(tickGaps, 0.5), Percentile(tickGaps, 0.99), Percentile(tickGaps, 0.0),
            Percentile(tickGaps, 1.0));
    return 0;
}
