#pragma once

#include <string>

#include "analysis/preview_builder.h"

// The preview's bitmap file, written by our own writer so that its form never depends on a
// picture library's choice: a 14-byte file header ("BM", file size, pixel offset), a 40-byte
// information header, and the pixel rows bottom-up, 32 bits a pixel (blue, green, red, 0),
// uncompressed and without a palette. The file is exactly as long as its size field says.

// The whole file as bytes.
std::string bitmap_file_bytes(const PreviewPicture& picture);

// Writes the file under a temporary name beside the target and renames it into place, so a
// reader never loads half a bitmap and a failed write leaves an older file as it was. False
// when the file could not be written.
bool save_bitmap_to_file(const PreviewPicture& picture, const std::string& path);
