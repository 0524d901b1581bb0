// The status CSV: values in their units, rows read back, what reaches the disk before an abrupt end,
// and files that cannot be written.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include "telemetry/statusChannels.h"
#include "telemetry/statusCsv.h"

namespace {

QDateTime At(int ms) {
    return QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200).addMSecs(ms);
}

QList<QByteArray> Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
    return lines;
}

// Accepts `room` bytes, then fails as a full disk would.
class TShortDevice : public QBuffer {
public:
    explicit TShortDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (length > room_) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        room_ -= length;
        return QBuffer::writeData(data, length);
    }

private:
    qint64 room_;
};

}  // namespace

TEST(StatusCsv, ValuesInTheirUnits) {
    struct Case {
        double raw, scale;
        QChar point;
        const char* text;
    } cases[] = {
        {168, 0.1, '.', "16.8"}, {125, 0.1, ',', "12,5"}, {-5, 0.1, '.', "-0.5"}, {0, 0.1, '.', "0.0"},
        {-0.4, 1, '.', "0"},     {-0.3, 0.1, '.', "0.0"}, {6000, 1, '.', "6000"}, {1234, 0.01, '.', "12.34"},
    };
    for (const Case& c : cases) EXPECT_EQ(ScaledText(c.raw, c.scale, c.point), c.text) << c.raw;
    EXPECT_EQ(FlagText(0x81), "Stopped Sound");
    EXPECT_EQ(FlagText(0x40), "Short-circuit");
}

TEST(StatusCsv, KnownStreamReadsBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("stream.csv");
    StatusRecord a;
    a.ThrottleLevel = 300;
    a.Current = -5;
    a.Voltage = 168;
    a.AvgSpeed = 6000;
    a.Debug = -3;
    a.Mode = 2;
    a.Address = 1;
    a.Flags = 0x81;
    const StatusRecord zero;
    TStatusCsv csv;
    ASSERT_TRUE(csv.Open(path, At(0))) << csv.Error().toStdString();
    ASSERT_TRUE(csv.Write(a, At(0)));
    ASSERT_TRUE(csv.Write(zero, At(1250)));
    ASSERT_TRUE(csv.Close());
    EXPECT_EQ(csv.Rows(), 2);
    const QList<QByteArray> lines = Lines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0],
              "Time,Seconds,Throttle (%),Current (A),Averrage Current (A),Voltage (V),Temperature (C),"
              "Temp.MCU (C),Averrage Speed (rpm),Timig delay (mks),Input CAN,Input I2C,Input PWM,Input PC,"
              "Debug,Mode,Address,Flags");
    EXPECT_EQ(lines[1], "2024-05-01T12:00:00.000+02:00,0.000,30.0,-0.5,0.0,16.8,0.0,0.0,6000,0,0,0,0,0,-3,2,1,"
                        "Stopped Sound");
    EXPECT_EQ(lines[2], "2024-05-01T12:00:01.250+02:00,1.250,0.0,0.0,0.0,0.0,0.0,0.0,0,0,0,0,0,0,0,0,0,");
}

TEST(StatusCsv, AbruptEndKeepsEveryRowUpToTheLastFlush) {
    QTemporaryDir dir;
    const QString path = dir.filePath("crash.csv");
    TStatusCsv csv;
    ASSERT_TRUE(csv.Open(path, At(0)));
    StatusRecord r;
    for (int i = 0; i < 50; ++i) {  // 20 rows a second for 2.5 s
        r.AvgSpeed = static_cast<uint16_t>(i);
        ASSERT_TRUE(csv.Write(r, At(i * 50)));
        // What is on disk now is what a crash at this moment leaves: rows older than the flush period are
        // all there, whole.
        const QList<QByteArray> lines = Lines(path);
        EXPECT_EQ(lines.size() - 1, csv.FlushedRows()) << i;
        EXPECT_GE(csv.FlushedRows() * 50, i * 50 - TStatusCsv::FlushMs) << i;
        for (int row = 1; row < lines.size(); ++row)
            EXPECT_EQ(lines[row].split(',')[8].toInt(), row - 1) << i;
    }
    EXPECT_EQ(csv.FlushedRows(), 41);  // the flush at 2.0 s took rows 0..40
    // csv is not closed: the test ends as a killed program would, with the file as it stands.
}

TEST(StatusCsv, FilesThatCannotBeWrittenSayWhy) {
    QTemporaryDir dir;
    TStatusCsv csv;
    EXPECT_FALSE(csv.Open(dir.filePath("missing/x.csv"), At(0)));
    EXPECT_FALSE(csv.Error().isEmpty());
    EXPECT_FALSE(csv.Open(QStringLiteral("/dev/full"), At(0)));  // the header cannot be written
    EXPECT_FALSE(csv.IsOpen());
    EXPECT_FALSE(csv.Error().isEmpty());

    // A disk filling up during a recording: the failing flush reports and closes.
    TShortDevice device(TStatusCsv::HeaderRow().size() + 200);
    ASSERT_TRUE(csv.Open(&device, At(0)));
    bool written = true;
    int ms = 0;
    for (; written && ms < 10000; ms += 100) written = csv.Write(StatusRecord(), At(ms));
    EXPECT_FALSE(written);
    EXPECT_FALSE(csv.IsOpen());
    EXPECT_EQ(csv.Error(), "No space left on device");
    EXPECT_FALSE(csv.Write(StatusRecord(), At(ms)));

    // A whole-file export either succeeds whole or leaves the old file.
    const QString old = dir.filePath("old.csv");
    QString error;
    ASSERT_TRUE(TStatusCsv::WriteFile(old, {{StatusRecord(), At(0)}, {StatusRecord(), At(50)}}, &error));
    EXPECT_EQ(Lines(old).size(), 3);
    EXPECT_FALSE(TStatusCsv::WriteFile(dir.filePath("missing/y.csv"), {}, &error));
    EXPECT_FALSE(error.isEmpty());
}
