// The status CSV: a known stream read back (every field of the record at its offset, in its unit), what
// is on disk at any moment of a recording (what an abrupt end leaves), and a disk filling up.
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
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}

// Takes `room` bytes, then fails as a full disk does.
struct TShortDevice : QBuffer {
    explicit TShortDevice(qint64 room) : room(room) { open(QIODevice::WriteOnly); }
    qint64 writeData(const char* data, qint64 length) override {
        if (length > room) setErrorString("No space left on device");
        if (length > room) return -1;
        room -= length;
        return QBuffer::writeData(data, length);
    }
    qint64 room;
};

}  // namespace

TEST(StatusCsv, KnownStreamReadsBackInUnits) {
    QTemporaryDir dir;
    const QString path = dir.filePath("stream.csv");
    // Every field at its offset, little-endian: current -5, voltage 168, temperature 250, throttle 300,
    // MCU 301, average current 12, speed 6000, timing 77, mode 2, address 1, flags 0x81, PWM 258, I2C 3,
    // CAN 1029, PC 6, debug -3.
    const uint8_t bytes[] = {0xfb, 0xff, 0xa8, 0,    0xfa, 0, 0x2c, 1, 0x2d, 1, 12, 0, 0x70, 0x17, 77,
                             0,    2,    1,    0x81, 2,    1, 3,    0, 5,    4, 6,  0, 0xfd, 0xff};
    const StatusRecord a = StatusRecord::FromBytes(bytes, sizeof bytes);
    TStatusCsv csv;
    ASSERT_TRUE(csv.Open(path, At(0))) << csv.Error().toStdString();
    ASSERT_TRUE(csv.Write(a, At(0)) && csv.Write(StatusRecord(), At(1250)) && csv.Close());
    EXPECT_EQ(Lines(path),
              QList<QByteArray>({
                  "Time,Seconds,Throttle (%),Current (A),Averrage Current (A),Voltage (V),"
                  "Temperature (C),Temp.MCU (C),Averrage Speed (rpm),Timig delay (mks),Input CAN,"
                  "Input I2C,Input PWM,Input PC,Debug,Mode,Address,Flags",
                  "2024-05-01T12:00:00.000+02:00,0.000,30.0,-0.5,1.2,16.8,25.0,30.1,6000,77,1029,3,258,6,-3,"
                  "2,1,Stopped Sound",
                  "2024-05-01T12:00:01.250+02:00,1.250,0.0,0.0,0.0,0.0,0.0,0.0,0,0,0,0,0,0,0,0,0,",
                  "",
              }));
    EXPECT_EQ(ScaledText(-0.3, 0.1), "0.0");  // never "-0.0"
}

TEST(StatusCsv, EveryRowOlderThanTheFlushPeriodIsOnDiskUntilTheDiskIsFull) {
    QTemporaryDir dir;
    const QString path = dir.filePath("crash.csv");
    TStatusCsv csv;
    ASSERT_TRUE(csv.Open(path, At(0)));
    StatusRecord r;
    for (int i = 0; i < 50; ++i) {  // 20 rows a second for 2.5 s
        r.AvgSpeed = static_cast<uint16_t>(i);
        ASSERT_TRUE(csv.Write(r, At(i * 50)));
        // What is on disk now is what a crash at this moment leaves: whole rows, none older than the
        // flush period missing.
        const QList<QByteArray> lines = Lines(path);
        ASSERT_EQ(lines.size() - 2, csv.FlushedRows()) << i;  // the header, and nothing after the last "\n"
        EXPECT_GE(csv.FlushedRows() * 50, i * 50 - TStatusCsv::FlushMs) << i;
        for (int row = 1; row < lines.size() - 1; ++row) EXPECT_EQ(lines[row].split(',')[8].toInt(), row - 1);
    }
    EXPECT_EQ(csv.FlushedRows(), 41);  // the flush at 2.0 s took rows 0..40
    // A disk filling up: the failing flush closes the recording and says why.
    TShortDevice device(TStatusCsv::HeaderRow().size() + 200);
    ASSERT_TRUE(csv.Open(&device, At(0)));
    int ms = 0;
    while (ms < 10000 && csv.Write(r, At(ms))) ms += 100;
    EXPECT_TRUE(ms < 10000 && !csv.IsOpen());
    EXPECT_EQ(csv.Error(), "No space left on device");
}
