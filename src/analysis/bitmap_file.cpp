#include "analysis/bitmap_file.h"

#include <cstdint>

#include "platform/files.h"

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kBitsPerPixel = 32;

void put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    }
}

}  // namespace

std::string bitmap_file_bytes(const PreviewPicture& picture) {
    // 32 bits a pixel: every row is a whole number of 4-byte words already.
    const std::uint32_t stride = picture.width * 4;
    const std::uint32_t image_size = stride * picture.height;
    const std::uint32_t pixel_offset = kFileHeaderSize + kInfoHeaderSize;
    std::string out;
    out.reserve(pixel_offset + image_size);
    // File header.
    put16(out, 0x4D42);  // "BM"
    put32(out, pixel_offset + image_size);
    put16(out, 0);
    put16(out, 0);
    put32(out, pixel_offset);
    // Information header: a positive height means the rows run bottom-up.
    put32(out, kInfoHeaderSize);
    put32(out, picture.width);
    put32(out, picture.height);
    put16(out, 1);  // planes
    put16(out, kBitsPerPixel);
    put32(out, 0);  // uncompressed
    put32(out, 0);  // image size, left to the reader for uncompressed rows
    put32(out, 0);  // horizontal resolution
    put32(out, 0);  // vertical resolution
    put32(out, 0);  // colours used
    put32(out, 0);  // colours important
    for (std::uint32_t y = picture.height; y-- > 0;) {
        const std::uint32_t* row = &picture.pixels[std::size_t{y} * picture.width];
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            put32(out, row[x] & 0x00FFFFFF);  // blue, green, red, then a zero byte
        }
    }
    return out;
}

bool save_bitmap_to_file(const PreviewPicture& picture, const std::string& path) {
    // The name itself is replaced: a link there must never carry one job's picture into
    // another job's bitmap, or into any other file.
    return platform::replace_file_contents(path, bitmap_file_bytes(picture),
                                           platform::Links::NotFollowed);
}
