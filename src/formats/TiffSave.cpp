// Writing a TTIFFBitMap as a TIFF file.
#include <cstring>
#include <string>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"

namespace formats {

namespace {

using px::PelinoxaError;

// Luminance with integer weights that sum to the full scale, so grey stays exactly grey.
inline uint8_t Grey8(const uint8_t* bgr) { return uint8_t((29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2] + 128) >> 8); }
inline uint16_t Grey16(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

}  // namespace

std::vector<uint8_t> TTIFFBitMap::EncodeTiff(int bpp, bool compress) {
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 48)
    throw PelinoxaError("TIFF files cannot be written with " + std::to_string(bpp) + " bits per pixel");
  const bool from48 = bpp == 16 || bpp == 48;
  const bool haveBuffer = buf_ && w_ > 0 && h_ > 0;
  const int w = from48 && haveBuffer ? w_ : display.width();
  const int h = from48 && haveBuffer ? h_ : display.height();
  if (w <= 0 || h <= 0) throw PelinoxaError("There is no image to write");
  if (w > MaxTiffWidth || h > 65535)
    throw PelinoxaError("Image too large for a TIFF file: " + std::to_string(w) + " x " + std::to_string(h));
  const size_t rowBytes = (size_t(w) * bpp + 7) / 8;
  const size_t dataBytes = rowBytes * size_t(h);
  if (dataBytes > 0xFFFFFFFFu - TIFD::WrittenDataOffset) throw PelinoxaError("Image too large for a TIFF file");

  TIFD d;
  d.intel = true;
  d.width = uint32_t(w);
  d.height = uint32_t(h);
  d.bitsPerSample = bpp == 48 || bpp == 16 ? 16 : bpp == 24 ? 8 : uint32_t(bpp);
  d.samplesPerPixel = bpp == 24 || bpp == 48 ? 3 : 1;
  d.photometric = bpp == 1 ? 0 : d.samplesPerPixel == 3 ? 2 : 1;
  d.compression = compress ? 5 : 1;
  d.rowsPerStrip = uint32_t(h);
  d.stripOffsets = {TIFD::WrittenDataOffset};

  // Uncompressed rows go straight into the file image after the header and directory.
  const size_t head = TIFD::WrittenDataOffset;
  std::vector<uint8_t> file(compress ? 0 : head + dataBytes), pixelStore(compress ? dataBytes : 0);
  uint8_t* pixels = compress ? pixelStore.data() : file.data() + head;
  for (int y = 0; y < h; ++y) {
    uint8_t* o = pixels + size_t(y) * rowBytes;
    if (from48) {
      const uint16_t* s = haveBuffer ? row16(y) : nullptr;
      const uint8_t* p = haveBuffer ? nullptr : display.row(y);
      for (int x = 0; x < w; ++x) {
        uint16_t r, g, b;
        if (s) {
          r = s[3 * x], g = s[3 * x + 1], b = s[3 * x + 2];
        } else {
          b = uint16_t(p[3 * x] * 257), g = uint16_t(p[3 * x + 1] * 257), r = uint16_t(p[3 * x + 2] * 257);
        }
        if (bpp == 48) {
          uint8_t* q = o + 6 * size_t(x);
          q[0] = uint8_t(r), q[1] = uint8_t(r >> 8);
          q[2] = uint8_t(g), q[3] = uint8_t(g >> 8);
          q[4] = uint8_t(b), q[5] = uint8_t(b >> 8);
        } else {
          uint16_t v = Grey16(r, g, b);
          o[2 * x] = uint8_t(v), o[2 * x + 1] = uint8_t(v >> 8);
        }
      }
      continue;
    }
    const uint8_t* p = display.row(y);
    switch (bpp) {
      case 24:
        for (int x = 0; x < w; ++x) {
          o[3 * x] = p[3 * x + 2];
          o[3 * x + 1] = p[3 * x + 1];
          o[3 * x + 2] = p[3 * x];
        }
        break;
      case 8:
        for (int x = 0; x < w; ++x) o[x] = Grey8(p + 3 * x);
        break;
      case 4:
        for (int x = 0; x < w; ++x) o[x >> 1] |= uint8_t((Grey8(p + 3 * x) >> 4) << ((x & 1) ? 0 : 4));
        break;
      case 1:  // 0 is white
        for (int x = 0; x < w; ++x)
          if (Grey8(p + 3 * x) < 128) o[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
    }
  }

  if (compress) {
    d.stripByteCounts = {0};
    d.AppendForWriting(file);
    TLZW().Encode(pixels, dataBytes, file);
    const size_t coded = file.size() - head;
    if (coded > 0xFFFFFFFFu - head) throw PelinoxaError("Image too large for a TIFF file");
    // The directory again, now with the compressed byte count.
    d.stripByteCounts = {uint32_t(coded)};
    std::vector<uint8_t> dir;
    d.AppendForWriting(dir);
    std::memcpy(file.data(), dir.data(), head);
  } else {
    d.stripByteCounts = {uint32_t(dataBytes)};
    std::vector<uint8_t> dir;
    d.AppendForWriting(dir);
    std::memcpy(file.data(), dir.data(), head);
  }
  bitsPerPixel = bpp;
  directory = std::move(d);
  return file;
}

void TTIFFBitMap::SaveTiff(const std::string& path, int bpp, bool compress) {
  std::vector<uint8_t> file = EncodeTiff(bpp, compress);
  px::WriteFileAtomic(path, file.data(), file.size());
}

}  // namespace formats
