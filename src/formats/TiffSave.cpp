// Writing a TTIFFBitMap as a TIFF file.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/Lzw.h"
#include "formats/TiffBitmap.h"

namespace formats {

namespace {

using px::PelinoxaError;

constexpr bool LittleEndianHost = std::endian::native == std::endian::little;

// Luminance with integer weights that sum to the full scale, so grey stays exactly grey.
inline uint8_t Grey8(const uint8_t* bgr) { return uint8_t((29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2] + 128) >> 8); }
inline uint16_t Grey16(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void append(const uint8_t* data, size_t size) = 0;
};

class VectorSink : public Sink {
 public:
  explicit VectorSink(std::vector<uint8_t>& v) : v_(v) {}
  void append(const uint8_t* data, size_t size) override { v_.insert(v_.end(), data, data + size); }

 private:
  std::vector<uint8_t>& v_;
};

class FileSink : public Sink {
 public:
  explicit FileSink(px::AtomicFileWriter& f) : f_(f) {}
  void append(const uint8_t* data, size_t size) override { f_.write(data, size); }

 private:
  px::AtomicFileWriter& f_;
};

// One row of the file: 48 and 16 bits from the 16-bit buffer (or the display * 257 when
// there is none), the other depths from the display.
void ConvertRow(const TTIFFBitMap& bm, int bpp, bool fromBuffer, int y, int w, uint8_t* o, size_t rowBytes) {
  if (bpp == 48 || bpp == 16) {
    const uint16_t* s = fromBuffer ? bm.row16(y) : nullptr;
    const uint8_t* p = fromBuffer ? nullptr : bm.display.row(y);
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
    return;
  }
  const uint8_t* p = bm.display.row(y);
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
      std::memset(o, 0, rowBytes);
      for (int x = 0; x < w; ++x) o[x >> 1] |= uint8_t((Grey8(p + 3 * x) >> 4) << ((x & 1) ? 0 : 4));
      break;
    case 1:  // 0 is white
      std::memset(o, 0, rowBytes);
      for (int x = 0; x < w; ++x)
        if (Grey8(p + 3 * x) < 128) o[x >> 3] |= uint8_t(0x80 >> (x & 7));
      break;
  }
}

// Writes the whole file to the sink; returns the directory written.
TIFD WriteTiff(const TTIFFBitMap& bm, int bpp, bool compress, Sink& sink) {
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 48)
    throw PelinoxaError("TIFF files cannot be written with " + std::to_string(bpp) + " bits per pixel");
  const bool from48 = bpp == 16 || bpp == 48;
  const bool fromBuffer = from48 && bm.width48() > 0 && bm.height48() > 0;
  const int w = fromBuffer ? bm.width48() : bm.display.width();
  const int h = fromBuffer ? bm.height48() : bm.display.height();
  if (w <= 0 || h <= 0) throw PelinoxaError("There is no image to write");
  if (w > MaxTiffWidth || h > 65535)
    throw PelinoxaError("Image too large for a TIFF file: " + std::to_string(w) + " x " + std::to_string(h));
  const size_t rowBytes = (size_t(w) * size_t(bpp) + 7) / 8;
  const size_t dataBytes = rowBytes * size_t(h);
  const size_t head = TIFD::WrittenDataOffset;
  if (dataBytes > 0xFFFFFFFFu - head) throw PelinoxaError("Image too large for a TIFF file");

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
  std::vector<uint8_t> dir;

  if (compress) {
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[dataBytes]);
    for (int y = 0; y < h; ++y) ConvertRow(bm, bpp, fromBuffer, y, w, pixels.get() + size_t(y) * rowBytes, rowBytes);
    std::vector<uint8_t> coded;
    TLZW().Encode(pixels.get(), dataBytes, coded);
    if (coded.size() > 0xFFFFFFFFu - head) throw PelinoxaError("Image too large for a TIFF file");
    d.stripByteCounts = {uint32_t(coded.size())};
    d.AppendForWriting(dir);
    sink.append(dir.data(), dir.size());
    sink.append(coded.data(), coded.size());
    return d;
  }

  d.stripByteCounts = {uint32_t(dataBytes)};
  d.AppendForWriting(dir);
  sink.append(dir.data(), dir.size());
  if (bpp == 48 && fromBuffer && LittleEndianHost) {
    // The buffer's rows are contiguous and already in the file's layout.
    sink.append(reinterpret_cast<const uint8_t*>(bm.row16(0)), dataBytes);
    return d;
  }
  const int chunkRows = int(std::max<size_t>(1, (size_t(1) << 20) / rowBytes));
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[size_t(std::min(chunkRows, h)) * rowBytes]);
  for (int y0 = 0; y0 < h; y0 += chunkRows) {
    const int n = std::min(chunkRows, h - y0);
    for (int r = 0; r < n; ++r) ConvertRow(bm, bpp, fromBuffer, y0 + r, w, chunk.get() + size_t(r) * rowBytes, rowBytes);
    sink.append(chunk.get(), size_t(n) * rowBytes);
  }
  return d;
}

}  // namespace

std::vector<uint8_t> TTIFFBitMap::EncodeTiff(int bpp, bool compress) {
  std::vector<uint8_t> file;
  VectorSink sink(file);
  directory = WriteTiff(*this, bpp, compress, sink);
  bitsPerPixel = bpp;
  return file;
}

void TTIFFBitMap::SaveTiff(const std::string& path, int bpp, bool compress) {
  px::AtomicFileWriter file(path);
  FileSink sink(file);
  TIFD d = WriteTiff(*this, bpp, compress, sink);
  file.commit();
  directory = std::move(d);
  bitsPerPixel = bpp;
}

}  // namespace formats
