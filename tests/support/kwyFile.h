// Firmware image files (*.kwy) for tests: header, image bytes, and a recognisable pattern.
#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

// A pattern that differs from page to page and from byte to byte within a page.
inline std::vector<uint8_t> KwyPattern(size_t size, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t((i * 7 + (i >> 7) * 13 + seed) & 0xFF);
    return bytes;
}

// Writes "KWYS", the device word and `sizeField`, then `image` (which may hold fewer or more bytes
// than the size field says). Returns false when the file cannot be written.
inline bool WriteKwy(const QString& path, uint16_t deviceCode, uint32_t sizeField,
                     const std::vector<uint8_t>& image, const char* signature = "KWYS") {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    std::vector<uint8_t> bytes(signature, signature + 4);
    bytes.push_back(uint8_t(deviceCode));
    bytes.push_back(uint8_t(deviceCode >> 8));
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(sizeField >> (8 * i)));
    bytes.insert(bytes.end(), image.begin(), image.end());
    return file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
           qint64(bytes.size());
}

inline bool WriteKwy(const QString& path, uint16_t deviceCode, const std::vector<uint8_t>& image) {
    return WriteKwy(path, deviceCode, uint32_t(image.size()), image);
}
