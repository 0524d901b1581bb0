#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "firmware/firmwareImage.h"
#include "support/kwyFile.h"

namespace {
constexpr uint32_t MiB = TFirmwareImage::BufferSize;

struct TLoadCase {
    const char* name;
    const char* signature;
    uint32_t sizeField;
    size_t bytesPresent;
    bool loads;
    const char* error;
};

class FirmwareImageLoad : public ::testing::TestWithParam<TLoadCase> {};

TEST_P(FirmwareImageLoad, AcceptsOrRefusesWithReason) {
    const TLoadCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.kwy");
    const auto image = KwyPattern(c.bytesPresent);
    ASSERT_TRUE(WriteKwy(path, 0x1234, c.sizeField, image, c.signature));
    TFirmwareImage fw;
    QString error;
    EXPECT_EQ(fw.Load(path, error), c.loads) << error.toStdString();
    if (c.loads) {
        EXPECT_EQ(fw.DeviceCode, 0x1234);
        EXPECT_EQ(fw.ImageSize, c.sizeField);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + c.sizeField, fw.Image.begin()));
    } else {
        EXPECT_EQ(error.toStdString(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirmwareImageLoad,
    ::testing::Values(TLoadCase{"ExactlyOneMiB", "KWYS", MiB, MiB, true, ""},
                      TLoadCase{"OneMiBPlusOne", "KWYS", MiB + 1, MiB + 1, false, "file too large"},
                      TLoadCase{"ShortBy10", "KWYS", 1000, 990, false, "file broken"},
                      TLoadCase{"SizeZero", "KWYS", 0, 0, true, ""},
                      TLoadCase{"TrailingBytesIgnored", "KWYS", 100, 300, true, ""},
                      TLoadCase{"WrongSignature", "KWYZ", 16, 16, false, "invalid signature."},
                      TLoadCase{"LowerCaseSignature", "kwys", 16, 16, false, "invalid signature."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FirmwareImage, TruncatedHeaderAndMissingFileAreRefused) {
    QTemporaryDir dir;
    TFirmwareImage fw;
    QString error;
    QFile file(dir.filePath("short.kwy"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("KWYS\x01\x02\x03", 7);
    file.close();
    EXPECT_FALSE(fw.Load(file.fileName(), error));
    EXPECT_EQ(error, "file broken");

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("KW", 2);
    file.close();
    EXPECT_FALSE(fw.Load(file.fileName(), error));
    EXPECT_EQ(error, "invalid signature.");

    error.clear();
    EXPECT_FALSE(fw.Load(dir.filePath("absent.kwy"), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(FirmwareImage, ShorterImageLeavesNoTailOfTheLongerOne) {
    QTemporaryDir dir;
    TFirmwareImage fw;
    QString error;
    ASSERT_TRUE(WriteKwy(dir.filePath("long.kwy"), 1, KwyPattern(4096, 0x55)));
    ASSERT_TRUE(fw.Load(dir.filePath("long.kwy"), error));
    ASSERT_TRUE(WriteKwy(dir.filePath("short.kwy"), 1, KwyPattern(1000, 0x11)));
    ASSERT_TRUE(fw.Load(dir.filePath("short.kwy"), error));

    // Page 7 holds bytes 896..1023: 104 image bytes, then zeros.
    uint8_t page[TFirmwareImage::PageSize];
    fw.CopyPage(7, page);
    const auto expected = KwyPattern(1000, 0x11);
    EXPECT_TRUE(std::equal(page, page + 104, expected.begin() + 896));
    EXPECT_TRUE(std::all_of(page + 104, page + 128, [](uint8_t b) { return b == 0; }));
    fw.CopyPage(20, page);
    EXPECT_TRUE(std::all_of(page, page + 128, [](uint8_t b) { return b == 0; }));
}

TEST(FirmwareImage, PagesAtAndBeyondTheBufferEnd) {
    QTemporaryDir dir;
    TFirmwareImage fw;
    QString error;
    const auto image = KwyPattern(MiB, 3);
    ASSERT_TRUE(WriteKwy(dir.filePath("full.kwy"), 1, image));
    ASSERT_TRUE(fw.Load(dir.filePath("full.kwy"), error));
    uint8_t page[TFirmwareImage::PageSize];
    fw.CopyPage(8191, page);  // the buffer's last page
    EXPECT_TRUE(std::equal(page, page + 128, image.end() - 128));
    for (uint16_t p : {uint16_t(8192), uint16_t(40000), uint16_t(65535)}) {
        std::fill(page, page + 128, 0xAA);
        fw.CopyPage(p, page);
        EXPECT_TRUE(std::all_of(page, page + 128, [](uint8_t b) { return b == 0; })) << p;
    }
}

TEST(FirmwareImage, RangeAndProgress) {
    TFirmwareImage fw;
    fw.ImageSize = 1000;
    EXPECT_FALSE(fw.PageOutOfRange(8));  // 1024 <= 1128
    EXPECT_TRUE(fw.PageOutOfRange(9));   // 1152 > 1128
    struct {
        uint32_t size;
        uint16_t page;
        int32_t progress;
    } const cases[] = {{1280, 5, 50}, {1280, 0, 0},   {1280, 9, 90},     {1000, 3, 38},
                       {0, 5, 0},     {1000, 9, 100}, {MiB, 65535, 100}, {MiB, 8191, 99}};
    for (const auto& c : cases) {
        fw.ImageSize = c.size;
        EXPECT_EQ(fw.Progress(c.page), c.progress) << c.size << " page " << c.page;
    }
}
}  // namespace
