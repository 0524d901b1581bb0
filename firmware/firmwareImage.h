// A firmware image file (*.kwy): device word, size and the image bytes that the bootloader takes page
// by page.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

class TFirmwareImage {
public:
    static constexpr uint32_t BufferSize = 0x100000;  // 1 MiB, the largest image a file may carry
    static constexpr uint32_t HeaderSize = 10;        // "KWYS", device word, image size
    static constexpr int PageSize = 128;

    // Loads and checks a file. On failure returns false with `error` set to the reason ("invalid
    // signature.", "file too large", "file broken" or the file system's message) and leaves this image
    // as it was: a refused file never changes an image that is loaded or being sent.
    bool Load(const QString& fileName, QString& error);

    // The 128 bytes of page `page`; bytes beyond the image read as zero, so the last partial page never
    // carries anything but the image.
    void CopyPage(uint16_t page, uint8_t* out) const;

    // A page whose start lies more than one page beyond the image: worth a warning, answered anyway.
    bool PageOutOfRange(uint16_t page) const { return uint32_t(page) * PageSize > ImageSize + PageSize; }

    // Progress of a transfer at page `page`, in percent of the image, truncated; 0 for an empty image.
    int32_t Progress(uint16_t page) const;

    uint16_t DeviceCode = 0;
    uint32_t ImageSize = 0;
    std::vector<uint8_t> Image;  // ImageSize bytes
};
