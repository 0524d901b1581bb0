// vekctl against vek-sim, run as the program it is: exit codes and their texts, record files equal to
// the window's Save All after a put over a lossy line, firmware updates and their failures, telemetry.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "config/configFile.h"
#include "config/frameConfVek.h"
#include "support/kwyFile.h"
#include "support/recordingLink.h"
#include "support/simProcess.h"
#include "telemetry/statusCsv.h"

namespace {

struct TRun {
    int Code = -1;
    QString Out;
    QString Err;
    qint64 Ms = 0;
    QJsonObject Json() const { return QJsonDocument::fromJson(Out.toUtf8()).object(); }
};

TRun Vekctl(const QStringList& args) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VEKCTL_PATH), args);
    process.waitForFinished(90000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError()), clock.elapsed()};
}

QString Port(const TSimProcess& sim) {
    return QString::fromStdString(sim.PortName());
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

}  // namespace

TEST(Vekctl, ExitCodesAndTheirTexts) {
    TSimProcess net({"--nodes", "0,2"}), silent({"--silent-after", "0"});
    ASSERT_TRUE(net.Started() && silent.Started()) << net.Error() << silent.Error();
    QTemporaryDir dir;
    const QString single = dir.filePath("single.cfg");
    TConfigRecords records{};
    ASSERT_TRUE(SaveRecordFile(single, records, 0, nullptr));
    struct Case {
        QStringList args;
        int code;
        QString text;  // in standard output or standard error
    } cases[] = {
        // clang-format off
        {{"--help"}, 0, "config put --port P FILE.cfg"},
        {{"frobnicate"}, 2, "Unknown command 'frobnicate'."},
        {{"identify"}, 2, "--port is missing."},
        {{"config", "get", "--port", "a", "--port", "b", "-o", "x.cfg"}, 2, "{port}"},
        {{"identify", "--port", dir.filePath("none")}, 3, "cannot open"},
        {{"firmware", "--port", Port(net), dir.filePath("none.kwy")}, 1, "cannot load"},
        {{"config", "put", "--port", Port(net), single}, 1, "has no section Config0, Config1"},
        {{"identify", "--port", Port(net)}, 0, ": firmware \"VekSim 1.0\", serial 5E000001\n"},
        {{"identify", "--port", Port(net), "--link", "2"}, 0,
         "link 2: firmware \"VekSim 1.0\", serial 5E000103"},
        {{"identify", "--port", Port(net), "--link", "3"}, 4, "link 3 does not answer on the CAN net"},
        {{"identify", "--port", Port(silent)}, 4,
         "no reply to Identify within 2 s, 3 times (115200 bod 8N1)"},
        {{"scan", "--port", Port(net), "--port", Port(silent)}, 4,
         "2 links: 0 (firmware \"VekSim 1.0\", serial 5E000101); 2 (firmware"},
        // clang-format on
    };
    for (const Case& c : cases) {
        const TRun run = Vekctl(c.args);
        EXPECT_EQ(run.Code, c.code) << c.args.join(' ').toStdString() << "\n" << run.Err.toStdString();
        EXPECT_TRUE((run.Out + run.Err).contains(c.text)) << c.args.join(' ').toStdString() << "\n"
                                                          << (run.Out + run.Err).toStdString();
    }
}

// A put on two ports at once, one of them losing a fifth of the replies, then the records read back into
// a file that must equal, byte for byte, what the window's Save All writes of them.
TEST(Vekctl, RecordFilesEqualTheWindowsSaveAll) {
    TSimProcess clean({"--mode", "2"}), lossy({"--drop", "0.2", "--seed", "5"});
    ASSERT_TRUE(clean.Started() && lossy.Started()) << clean.Error() << lossy.Error();
    QTemporaryDir dir;
    TConfigRecords records;
    for (int n = 0; n < ConfigRecordCount; ++n) {
        ConfigRecord& r = records[n] = ConfigRecord::Defaults(uint8_t(n));
        r.Flags = uint16_t(0x0001 | ((n * 37) & 0x0FFE));
        r.Scale_Current = 0.25f * float(n + 1), r.Scale_Voltmeter = n == 3 ? 0.1f : 1.5f;
        r.Timing = int8_t(n % 31 - 1), r.Freq_PWM = uint16_t(8000 + 4000 * (n % 9));
        r.Max_Current = uint16_t(300 + 10 * n), r.poles = uint8_t(2 + 2 * n), r.musicVolume = uint8_t(1 + n);
        r.baseAddr = uint8_t(n), r.neutral3D = uint8_t(n), r.Limit_Temp = int16_t(900 - 10 * n);
    }
    const QString input = dir.filePath("input.cfg");
    ASSERT_TRUE(SaveRecordFile(input, records, -1, nullptr));

    const TRun put = Vekctl({"config", "put", "--port", Port(clean), "--port", Port(lossy), input, "--json"});
    ASSERT_EQ(put.Code, 0) << put.Out.toStdString() << put.Err.toStdString();
    for (const QJsonValue port : put.Json()["ports"].toArray())
        EXPECT_EQ(port.toObject()["result"].toString(), "records 0..16 written to flash and read back equal");
    const TRun get = Vekctl({"config", "get", "--port", Port(clean), "-o", dir.filePath("all.cfg")});
    ASSERT_EQ(get.Code, 0) << get.Out.toStdString() << get.Err.toStdString();

    TRecordingLink link;
    TFrameConfigVek frame;
    frame.Initialize(&link, 0, {});
    frame.Records = records;
    frame.ShowRecord();
    frame.AskSaveFileName = [&] { return dir.filePath("window.cfg"); };
    frame.ActionSaveAllExecute();
    const QByteArray window = Read(dir.filePath("window.cfg"));
    EXPECT_EQ(window.count("\r\n[Config"), 16);
    EXPECT_EQ(Read(dir.filePath("all.cfg")), window);
    // One record, as the window's Save writes it: section "Config" only.
    const QString one = dir.filePath("5.cfg");
    ASSERT_EQ(Vekctl({"config", "get", "--port", Port(clean), "--record", "5", "-o", one}).Code, 0);
    TConfigRecords back{};
    EXPECT_TRUE(OpenRecordFile(one, back, 9, nullptr) && back[9].poles == records[5].poles);
    EXPECT_FALSE(Read(one).contains("[Config5]"));
}

TEST(Vekctl, FirmwareUpdatesAndTheirFailures) {
    QTemporaryDir dir;
    const std::vector<uint8_t> image = KwyPattern(64 * 1024, 9);
    const QString path = dir.filePath("image.kwy"), dump = dir.filePath("dump.bin");
    ASSERT_TRUE(WriteKwy(path, 0x5645, image));
    const QByteArray imageBytes(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
    struct Case {
        std::vector<std::string> sim;
        QStringList extra;
        int code;
        QString text;
        qint64 maxMs;
    } cases[] = {
        // clang-format off
        {{"--dump-firmware", dump.toStdString()}, {}, 0, "firmware " + path + " (65536 bytes) written",
         30000},
        {{"--flash-error-page", "3"}, {}, 1, "flash error on page 3; the controller stays in its bootloader",
         30000},
        // Unplugged a second after the start, halfway through a transfer paced at 115200 baud.
        {{"--baud", "115200", "--unplug-after", "1"}, {}, 1,
         "the port went away during the update (after page", 4000},
        {{"--nodes", "0,2", "--dump-firmware", dump.toStdString()}, {"--all-links"}, 0,
         "links 0, 2 updated with " + path, 30000},
        // clang-format on
    };
    for (const Case& c : cases) {
        QFile::remove(dump);
        TSimProcess sim(c.sim);
        ASSERT_TRUE(sim.Started()) << sim.Error();
        const TRun run = Vekctl(QStringList{"firmware", "--port", Port(sim), path} + c.extra);
        EXPECT_EQ(run.Code, c.code) << run.Out.toStdString() << run.Err.toStdString();
        EXPECT_TRUE(run.Out.contains(c.text)) << run.Out.toStdString() << run.Err.toStdString();
        EXPECT_LT(run.Ms, c.maxMs) << c.text.toStdString();
        if (c.code != 0) continue;
        EXPECT_TRUE(Read(dump) == imageBytes) << c.text.toStdString();
        EXPECT_TRUE(run.Err.contains("writing 50%")) << run.Err.toStdString();
        if (!c.extra.contains("--all-links")) continue;
        // Both nodes start the same new image.
        const TRun scan = Vekctl({"scan", "--port", Port(sim), "--json"});
        const QJsonArray links = scan.Json()["ports"].toArray().at(0).toObject()["links"].toArray();
        ASSERT_EQ(links.size(), 2) << scan.Out.toStdString();
        const QString first = links[0].toObject()["firmware"].toString();
        EXPECT_TRUE(first.startsWith("VekFW ")) << first.toStdString();
        EXPECT_EQ(links[1].toObject()["firmware"].toString(), first);
    }
}

// SIGTERM halfway through a paced update, then the update again: the packet the interruption cut short
// at the controller must not swallow the first packets of the next run.
TEST(Vekctl, AnInterruptedUpdateRunsAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath("image.kwy");
    ASSERT_TRUE(WriteKwy(path, 0x5645, KwyPattern(8 * 1024, 4)));
    TSimProcess sim({"--baud", "115200"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    QProcess first;
    first.setReadChannel(QProcess::StandardError);
    first.start(QStringLiteral(VEKCTL_PATH), {"firmware", "--port", Port(sim), path});
    QByteArray progress;
    while (!progress.contains("writing 30%") && first.waitForReadyRead(10000)) progress += first.readAll();
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 130) << progress.toStdString();
    EXPECT_TRUE(first.readAllStandardOutput().contains("interrupted during the update"));
    const TRun again = Vekctl({"firmware", "--port", Port(sim), path});
    EXPECT_EQ(again.Code, 0) << again.Out.toStdString() << again.Err.toStdString();
}

TEST(Vekctl, StatusStreamsTheRecordingsColumns) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const TRun run = Vekctl({"status", "--port", Port(sim), "--seconds", "2", "--rate", "20"});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    const QStringList lines = run.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first() + '\n', QString::fromLatin1(TStatusCsv::HeaderRow()));
    EXPECT_GE(lines.size() - 1, 34) << run.Out.toStdString();
    EXPECT_LE(lines.size() - 1, 46) << run.Out.toStdString();
    EXPECT_TRUE(run.Err.contains(QString("%1 records to standard output").arg(lines.size() - 1)))
        << run.Err.toStdString();
}
