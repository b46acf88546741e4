#pragma once
// Uncompressed AVI frame layouts and their conversion to 24-bit BGR, top-down.
//
// Handled here: BI_RGB 8-bit with palette, 16-bit (555), 24-bit and 32-bit; BI_BITFIELDS 16
// and 32-bit with any masks (565 among them); grey FourCCs 'Y800', 'Y8  ', 'GREY'; packed
// 4:2:2 'YUY2' ('YUYV'), 'UYVY', 'YVYU'; planar 4:2:0 'I420', 'IYUV', 'YV12'.
// RGB DIB rows are padded to 4 bytes and stored bottom-up unless biHeight is negative;
// FourCC formats are packed without padding and always top-down.
//
// YUV uses BT.601 limited range as the Video for Windows codecs do (Kr = 0.299, Kb = 0.114):
//   R = 1.164383 (Y - 16)                      + 1.596027 (V - 128)
//   G = 1.164383 (Y - 16) - 0.391762 (U - 128) - 0.812968 (V - 128)
//   B = 1.164383 (Y - 16) + 2.017232 (U - 128)
// each rounded to the nearest integer (halves up) and clamped to 0..255; chroma samples are
// repeated over the pixels they cover (no interpolation). Grey formats are full range.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frames/AviContainer.h"
#include "ui/Bitmap24.h"

namespace frames {

enum class AviRawKind { Rgb24, Rgb32, Rgb32Masks, Rgb16, Pal8, Grey8, Yuy2, Uyvy, Yvyu, I420, Yv12 };

// Largest frame the native decoder accepts: 16384 on a side, 8192 x 8192 pixels in all.
constexpr int kMaxVideoSide = 16384;
constexpr int64_t kMaxVideoPixels = int64_t{8192} * 8192;

// Palette entries as 0x00RRGGBB, i.e. the bytes B, G, R, 0 in memory order.
using AviPalette = std::array<uint32_t, 256>;

struct AviRawLayout {
  AviRawKind kind = AviRawKind::Rgb24;
  int width = 0, height = 0;
  bool bottomUp = false;
  size_t stride = 0;      // bytes per row of the (first) plane
  size_t frameBytes = 0;  // bytes one whole frame needs
  AviPalette palette{};   // Pal8 and Grey8
  bool greyRamp = false;  // the palette maps every index to its own grey level
  std::shared_ptr<const std::vector<uint32_t>> lut16;  // Rgb16: pixel value -> 0x00RRGGBB
  uint32_t masks[3] = {0, 0, 0};                       // Rgb32Masks: red, green, blue
};

// Describes a format the native decoder handles. Returns false when the format needs a codec
// (compressed FourCCs, other depths). Throws avierr::Format for an inconsistent format and
// avierr::StartDecompression for sizes beyond kMaxVideoSide.
bool DescribeRawFormat(const AviBitmapFormat& format, AviRawLayout& layout);

// Applies an AVIPALCHANGE record (first entry, count, flags, R G B flags entries).
void ApplyPaletteChange(const uint8_t* data, size_t size, AviPalette& palette);

// Converts one frame into `out` (resized only when its size differs). `palette` overrides the
// layout's palette when given. Throws avierr::Decompress when `size` is less than a frame.
void DecodeRawFrame(const AviRawLayout& layout, const uint8_t* data, size_t size, ui::Bitmap24& out,
                    const AviPalette* palette = nullptr);

// One BT.601 limited-range conversion, the reference for the table-driven loops.
void YuvToBgr(int y, int u, int v, uint8_t bgr[3]);

}  // namespace frames
