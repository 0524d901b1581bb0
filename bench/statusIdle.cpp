// CPU of the whole program while connected to vek-sim and idle: the motor stopped, the status frame
// polling with UPDATE down (telemetry streaming at 20 samples a second) and the graph showing two
// channels, then with UPDATE up (no stream). Usage: bench_statusIdle [SECONDS] (default 10).
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>

#include "app/mainQox.h"
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

// Runs the event loop for `seconds` and prints the CPU the process used meanwhile.
void Measure(const char* what, int seconds, const TLoopBuf& samples) {
    const int before = samples.GetCount();
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = CpuSeconds();
    RunFor(seconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf("%s: %.3f s CPU in %.2f s = %.2f %% of one core; %d samples arrived\n", what, cpu, elapsed,
                100.0 * cpu / elapsed, samples.GetCount() - before);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

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
    window.resize(1280, 800);
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
    status->CheckListBox1->item(1)->setCheckState(Qt::Checked);
    status->CheckListBox1->item(3)->setCheckState(Qt::Checked);
    RunFor(3000);  // the first poll, the stream starting, the graph filling

    const TLoopBuf& voltage = status->FrameGraph1->Buffers[3];
    std::printf("platform %s, graph %dx%d\n", qPrintable(QGuiApplication::platformName()),
                status->FrameGraph1->Paper1->width(), status->FrameGraph1->Paper1->height());
    Measure("connected, UPDATE down, 20 samples/s", seconds, voltage);
    status->ActionLogUpdate->trigger();  // UPDATE up: the stream ends
    RunFor(1000);
    Measure("connected, UPDATE up, no stream", seconds, voltage);

    window.ActionDisconnect->trigger();
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
