#pragma once
// JPEG decoding and encoding on libjpeg. Decoding gives a 24-bit picture (grey JPEGs become
// grey RGB); encoding writes baseline 24-bit colour.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"

namespace formats {

constexpr int64_t MaxJpegPixels = int64_t(1) << 28;

// Throws px::PelinoxaError with libjpeg's message for a corrupt or truncated file, and for
// CMYK files or images larger than MaxJpegPixels.
ui::Bitmap24 DecodeJpeg(const uint8_t* data, size_t size);
// The same into an existing picture, reusing its storage; on an error its pixels are undefined.
void DecodeJpegInto(const uint8_t* data, size_t size, ui::Bitmap24& out);
// Reads and decodes a file.
ui::Bitmap24 ReadJpegFile(const std::string& path);

// Baseline JPEG, 24-bit colour, the given quality (1..100).
std::vector<uint8_t> EncodeJpeg(const ui::Bitmap24& picture, int quality = 90);
// Encodes and writes atomically; throws px::PelinoxaError when the file cannot be written.
void SaveJpegFile(const std::string& path, const ui::Bitmap24& picture, int quality = 90);

}  // namespace formats
