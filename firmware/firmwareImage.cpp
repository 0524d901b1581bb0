#include "firmware/firmwareImage.h"

#include <QFile>
#include <algorithm>
#include <cstring>

#include "link/littleEndian.h"

namespace {
// Reads exactly `count` bytes; false when the file ends or fails first.
bool ReadExactly(QFile& file, uint8_t* out, qint64 count) {
    while (count > 0) {
        const qint64 n = file.read(reinterpret_cast<char*>(out), count);
        if (n <= 0) return false;
        out += n;
        count -= n;
    }
    return true;
}
}  // namespace

bool TFirmwareImage::Load(const QString& fileName, QString& error) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    uint8_t header[HeaderSize] = {};
    if (!ReadExactly(file, header, 4) || std::memcmp(header, "KWYS", 4) != 0) {
        error = "invalid signature.";
        return false;
    }
    if (!ReadExactly(file, header + 4, HeaderSize - 4)) {
        error = "file broken";
        return false;
    }
    const uint32_t size = le::U32(header + 6);
    if (size > BufferSize) {
        error = "file too large";
        return false;
    }
    std::vector<uint8_t> image(size);
    if (!ReadExactly(file, image.data(), size)) {
        error = file.error() == QFileDevice::NoError ? QString("file broken") : file.errorString();
        return false;
    }
    DeviceCode = le::U16(header + 4);
    ImageSize = size;
    Image = std::move(image);
    return true;
}

void TFirmwareImage::CopyPage(uint16_t page, uint8_t* out) const {
    const size_t start = size_t(page) * PageSize;
    std::memset(out, 0, PageSize);
    if (start >= Image.size()) return;
    const size_t count = std::min<size_t>(PageSize, Image.size() - start);
    std::memcpy(out, Image.data() + start, count);
}

int32_t TFirmwareImage::Progress(uint16_t page) const {
    if (ImageSize == 0) return 0;
    // page * 12800 stays below 2^31 for every 16-bit page number.
    const int32_t percent = int32_t(page) * 12800 / int32_t(ImageSize);
    return std::clamp<int32_t>(percent, 0, 100);
}
