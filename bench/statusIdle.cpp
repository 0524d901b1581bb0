// CPU of the whole program connected to vek-sim while telemetry streams, and without the stream. The
// window fills the screen; the status frame has CHANNELS channels checked and asks for RATE records a
// second. With "run" the motor turns (RUN at 30 %), so values, list and traces change with every record;
// otherwise the motor stands.
// Usage: bench_statusIdle [SECONDS [RATE [CHANNELS [run]]]] (defaults 10, 20, 13, motor standing).
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

namespace {

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// The GUI thread's own part (this is it).
double GuiSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Runs the event loop for `seconds` and prints the CPU the process used meanwhile.
void Measure(const char* what, int seconds, const TFrameGraph& graph) {
    const TLoopBuf& samples = graph.Buffers[3];
    const long long before = samples.Added;
    const long long paints = graph.Renders;
    const long long pixels = graph.RenderedPixels;
    const long long rects = graph.RenderedRects;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = CpuSeconds();
    const double gui0 = GuiSeconds();
    RunFor(seconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double gui = GuiSeconds() - gui0;
    const double elapsed = wall.elapsed() / 1000.0;
    const long long arrived = samples.Added - before;
    std::printf(
        "%s: %.3f s CPU in %.2f s = %.2f %% of one core (GUI thread %.2f %%); %lld records, %lld renders",
        what, cpu, elapsed, 100.0 * cpu / elapsed, 100.0 * gui / elapsed, arrived, graph.Renders - paints);
    if (arrived > 0) std::printf(", %.2f ms CPU a record", 1000.0 * cpu / arrived);
    const long long renders = graph.Renders - paints;
    const double area = static_cast<double>(graph.Bitmap.width()) * graph.Bitmap.height();
    if (renders > 0 && area > 0)
        std::printf(", %.0f %% of the plot repainted a render in %.0f rectangles",
                    100.0 * (graph.RenderedPixels - pixels) / renders / area,
                    static_cast<double>(graph.RenderedRects - rects) / renders);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int rate = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 250) : 20;
    const int channels = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, TFrameVekStat::ChannelCount) : 13;
    const bool run = argc > 4 && std::strcmp(argv[4], "run") == 0;

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(VEK_SIM_PATH), {});
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "vek-sim did not start\n");
        return 1;
    }
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();

    QTemporaryDir dir;
    TFormMainQox window;
    window.IniPath = dir.filePath(QStringLiteral("vektool.ini"));
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    window.show();
    RunFor(500);
    QComboBox* list = window.FrameConnectPort1->ComboBox1;
    list->setCurrentIndex(list->findText(QStringLiteral("Refresh")));
    window.FrameConnectPort1->ComboBox1Click();
    for (int i = 0; i < list->count(); ++i)
        if (QFileInfo(list->itemText(i)).symLinkTarget() == port) list->setCurrentIndex(i);
    window.FrameConnectPort1->ComboBox1Click();
    window.ActionConnect->trigger();
    if (!window.IsConnected()) {
        std::fprintf(stderr, "could not connect to %s\n", qPrintable(port));
        return 1;
    }
    TFrameVekStat* status = window.FrameVekStat1;
    for (int i = 0; i < TFrameVekStat::ChannelCount; ++i)
        status->CheckListBox1->item(i)->setCheckState(i < channels ? Qt::Checked : Qt::Unchecked);
    status->MaskEditUpDown1->SetValue(rate);
    status->MaskEditUpDown1Update();
    if (run) {
        window.GroupBox2->MaskEditUpDown17->SetValue(30);
        window.GroupBox2->ActionRun->trigger();
    }
    RunFor(3000);  // the stream starting, the graph filling, the motor spinning up

    const TFrameGraph& graph = *status->FrameGraph1;
    std::printf("platform %s, window %dx%d, graph %dx%d, %d channels, %d records/s asked, motor %s\n",
                qPrintable(QGuiApplication::platformName()), window.width(), window.height(),
                graph.Paper1->width(), graph.Paper1->height(), channels, rate, run ? "at 30 %" : "standing");
    Measure("streaming", seconds, graph);
    status->ActionLogUpdate->trigger();  // UPDATE up: the stream ends
    RunFor(1000);
    Measure("no stream", seconds, graph);

    if (run) window.GroupBox2->ReleaseRun();
    window.ActionDisconnect->trigger();
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
