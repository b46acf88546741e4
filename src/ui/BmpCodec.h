#pragma once
// Windows bitmap files: reading every depth a real file may have (1, 4, 8-bit palette with
// RLE4/RLE8, 16-bit 555/565 and bit fields, 24 and 32-bit; bottom-up and top-down; core,
// info, V2..V5 headers) into a Bitmap24, and writing 24-bit files. A broken or truncated file
// raises PelinoxaError with a message that names the problem, never reads past the data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"

namespace ui {

Bitmap24 DecodeBmp(const uint8_t* data, size_t size);
Bitmap24 LoadBmpFile(const std::string& path);
// Decodes into an existing picture, reusing its storage when the size matches.
void DecodeBmpInto(const uint8_t* data, size_t size, Bitmap24& out);

std::vector<uint8_t> EncodeBmp(const Bitmap24& bmp);       // 24-bit, bottom-up
void SaveBmpFile(const std::string& path, const Bitmap24& bmp);  // replaces atomically

}  // namespace ui
