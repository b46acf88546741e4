#include "formats/TiffDirectory.h"

#include <string>

#include "base/Error.h"

namespace formats {

namespace {

using px::PelinoxaError;

uint32_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
  }
}

class Reader {
 public:
  Reader(const uint8_t* d, size_t n, bool intel) : d_(d), n_(n), intel_(intel) {}
  bool fits(uint64_t pos, uint64_t len) const { return pos <= n_ && len <= n_ - pos; }
  uint16_t u16(size_t p) const {
    return intel_ ? static_cast<uint16_t>(d_[p] | d_[p + 1] << 8)
                  : static_cast<uint16_t>(d_[p] << 8 | d_[p + 1]);
  }
  uint32_t u32(size_t p) const {
    return intel_ ? (uint32_t(d_[p]) | uint32_t(d_[p + 1]) << 8 | uint32_t(d_[p + 2]) << 16 | uint32_t(d_[p + 3]) << 24)
                  : (uint32_t(d_[p]) << 24 | uint32_t(d_[p + 1]) << 16 | uint32_t(d_[p + 2]) << 8 | uint32_t(d_[p + 3]));
  }
  uint8_t u8(size_t p) const { return d_[p]; }

 private:
  const uint8_t* d_;
  size_t n_;
  bool intel_;
};

struct Entry {
  uint16_t tag = 0, type = 0;
  uint32_t count = 0;
  size_t field = 0;  // position of the 4-byte value field
};

// Position of value i of an entry: inline in the value field when all values fit in four
// bytes, otherwise at the field's offset. False when it lies outside the file.
bool ValuePos(const Reader& r, const Entry& e, uint32_t i, size_t& pos) {
  uint32_t ts = TypeSize(e.type);
  if (ts == 0 || i >= e.count) return false;
  uint64_t total = uint64_t(ts) * e.count;
  uint64_t p = total <= 4 ? e.field + uint64_t(i) * ts : uint64_t(r.u32(e.field)) + uint64_t(i) * ts;
  if (!r.fits(p, ts)) return false;
  pos = static_cast<size_t>(p);
  return true;
}

// Value i: BYTE keeps 8 bits, SHORT 16 bits, other types the 32 bits at the position.
bool Value(const Reader& r, const Entry& e, uint32_t i, uint32_t& v) {
  size_t pos;
  if (!ValuePos(r, e, i, pos)) return false;
  uint32_t ts = TypeSize(e.type);
  if (ts == 1) v = r.u8(pos);
  else if (ts == 2) v = r.u16(pos);
  else v = r.u32(pos);
  return true;
}

std::vector<uint32_t> Values(const Reader& r, const Entry& e, const char* what) {
  uint32_t ts = TypeSize(e.type);
  size_t pos0;
  if (e.count == 0) return {};
  if (!ValuePos(r, e, 0, pos0) || !r.fits(pos0, uint64_t(ts) * e.count))
    throw PelinoxaError(std::string("Invalid TIFF file: the ") + what + " lie outside the file");
  std::vector<uint32_t> out(e.count);
  for (uint32_t i = 0; i < e.count; ++i) Value(r, e, i, out[i]);
  return out;
}

void Put16(std::vector<uint8_t>& o, uint32_t v) {
  o.push_back(uint8_t(v));
  o.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
  Put16(o, v & 0xFFFF);
  Put16(o, v >> 16);
}

}  // namespace

void TIFD::Parse(const uint8_t* data, size_t size) {
  if (size < 8) throw PelinoxaError("Invalid TIFF header");
  bool isIntel;
  if (data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) isIntel = true;
  else if (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42) isIntel = false;
  else throw PelinoxaError("Invalid TIFF header");
  Reader r(data, size, isIntel);

  uint32_t ifd = r.u32(4);
  if (!r.fits(ifd, 2)) throw PelinoxaError("Invalid TIFF file: the image directory lies outside the file");
  uint32_t n = r.u16(ifd);
  if (!r.fits(uint64_t(ifd) + 2, uint64_t(n) * 12))
    throw PelinoxaError("Invalid TIFF file: the image directory is cut short");

  TIFD d;
  d.intel = isIntel;
  bool photometricGiven = false;
  Entry offsets, counts, cmap;
  for (uint32_t k = 0; k < n; ++k) {
    size_t p = ifd + 2 + size_t(k) * 12;
    Entry e;
    e.tag = r.u16(p);
    e.type = r.u16(p + 2);
    e.count = r.u32(p + 4);
    e.field = p + 8;
    uint32_t v = 0;
    switch (e.tag) {
      case tifftag::StripOffsets: offsets = e; continue;
      case tifftag::StripByteCounts: counts = e; continue;
      case tifftag::ColorMap: cmap = e; continue;
      default: break;
    }
    if (!Value(r, e, 0, v)) continue;  // unknown type, no values or outside the file
    switch (e.tag) {
      case tifftag::ImageWidth: d.width = v; break;
      case tifftag::ImageLength: d.height = v; break;
      case tifftag::BitsPerSample: d.bitsPerSample = v; break;
      case tifftag::Compression: d.compression = v; break;
      case tifftag::PhotometricInterpretation: d.photometric = v; photometricGiven = true; break;
      case tifftag::FillOrder: d.fillOrder = v; break;
      case tifftag::Orientation: d.orientation = v; break;
      case tifftag::SamplesPerPixel: d.samplesPerPixel = v; break;
      case tifftag::RowsPerStrip: d.rowsPerStrip = v; break;
      case tifftag::PlanarConfiguration: d.planarConfiguration = v; break;
      case tifftag::Predictor: d.predictor = v; break;
      default: break;
    }
  }
  if (d.width == 0 || d.height == 0) throw PelinoxaError("Invalid TIFF header: no dimension");
  if (!photometricGiven) d.photometric = d.samplesPerPixel >= 3 ? 2 : 1;
  if (offsets.count > 0) d.stripOffsets = Values(r, offsets, "strip offsets");
  if (counts.count > 0) d.stripByteCounts = Values(r, counts, "strip byte counts");
  if (cmap.count > 0 && TypeSize(cmap.type) == 2) {
    try {
      std::vector<uint32_t> m = Values(r, cmap, "colour map");
      d.colorMap.assign(m.begin(), m.end());
    } catch (const PelinoxaError&) {
      d.colorMap.clear();  // an unusable colour map: the image is shown in grey
    }
  }
  *this = std::move(d);
}

void TIFD::AppendForWriting(std::vector<uint8_t>& o) const {
  o.insert(o.end(), {'I', 'I'});
  Put16(o, 42);
  Put32(o, 8);
  Put16(o, 14);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    Put16(o, tag);
    Put16(o, type);
    Put32(o, 1);
    if (type == 3) {
      Put16(o, value);
      Put16(o, 0);
    } else {
      Put32(o, value);
    }
  };
  const uint16_t SHORT = 3, LONG = 4;
  entry(tifftag::NewSubfileType, LONG, 0);
  entry(tifftag::ImageWidth, SHORT, width);
  entry(tifftag::ImageLength, SHORT, height);
  entry(tifftag::BitsPerSample, SHORT, bitsPerSample);
  entry(tifftag::Compression, SHORT, compression);
  entry(tifftag::PhotometricInterpretation, SHORT, photometric);
  entry(tifftag::FillOrder, SHORT, 1);
  entry(tifftag::StripOffsets, LONG, WrittenDataOffset);
  entry(tifftag::Orientation, SHORT, 1);
  entry(tifftag::SamplesPerPixel, SHORT, samplesPerPixel);
  entry(tifftag::RowsPerStrip, SHORT, height);
  entry(tifftag::StripByteCounts, LONG, stripByteCounts.empty() ? 0 : stripByteCounts[0]);
  entry(tifftag::PlanarConfiguration, SHORT, 1);
  entry(tifftag::Predictor, SHORT, 1);
  Put32(o, 0);
}

}  // namespace formats
