#pragma once
// Builds small TIFF files entry by entry, in either byte order, for reader tests.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace pxtest {

struct TiffField {
  uint16_t tag;
  uint16_t type;  // 1 BYTE, 3 SHORT, 4 LONG
  std::vector<uint32_t> values;
};

class TiffBuilder {
 public:
  explicit TiffBuilder(bool intel = true) : intel_(intel) {}
  TiffBuilder& field(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    fields_.push_back({tag, type, std::move(values)});
    return *this;
  }
  // Bytes placed right after the header (at offset 8), not registered as a strip.
  TiffBuilder& raw(std::vector<uint8_t> bytes) {
    raw_ = std::move(bytes);
    return *this;
  }
  TiffBuilder& strip(std::vector<uint8_t> bytes) {
    strips_.push_back(std::move(bytes));
    return *this;
  }
  // A basic image: width, height, bits per sample, samples per pixel, photometric,
  // compression, rows per strip; strip offsets and counts are added by build().
  TiffBuilder& image(uint32_t w, uint32_t h, uint32_t bps, uint32_t spp, uint32_t photometric,
                     uint32_t compression = 1, uint32_t rowsPerStrip = 0) {
    field(256, 3, {w});
    field(257, 3, {h});
    field(258, 3, std::vector<uint32_t>(spp, bps));
    field(259, 3, {compression});
    field(262, 3, {photometric});
    field(277, 3, {spp});
    field(278, 3, {rowsPerStrip ? rowsPerStrip : h});
    return *this;
  }

  std::vector<uint8_t> build() const {
    std::vector<uint8_t> f = {uint8_t(intel_ ? 'I' : 'M'), uint8_t(intel_ ? 'I' : 'M')};
    put16(f, 42);
    put32(f, 0);  // directory offset, patched below
    f.insert(f.end(), raw_.begin(), raw_.end());
    std::vector<uint32_t> offsets, counts;
    for (const auto& s : strips_) {
      offsets.push_back(uint32_t(f.size()));
      counts.push_back(uint32_t(s.size()));
      f.insert(f.end(), s.begin(), s.end());
    }
    std::vector<TiffField> all = fields_;
    if (!strips_.empty()) {
      all.push_back({273, 4, offsets});
      all.push_back({279, 4, counts});
    }
    std::sort(all.begin(), all.end(), [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
    // Values that do not fit in four bytes go before the directory.
    std::vector<uint32_t> where(all.size(), 0);
    for (size_t i = 0; i < all.size(); ++i) {
      size_t bytes = typeSize(all[i].type) * all[i].values.size();
      if (bytes <= 4) continue;
      if (f.size() & 1) f.push_back(0);
      where[i] = uint32_t(f.size());
      for (uint32_t v : all[i].values) putTyped(f, all[i].type, v);
    }
    if (f.size() & 1) f.push_back(0);
    uint32_t ifd = uint32_t(f.size());
    patch32(f, 4, ifd);
    put16(f, uint16_t(all.size()));
    for (size_t i = 0; i < all.size(); ++i) {
      const auto& e = all[i];
      put16(f, e.tag);
      put16(f, e.type);
      put32(f, uint32_t(e.values.size()));
      size_t bytes = typeSize(e.type) * e.values.size();
      if (bytes > 4) {
        put32(f, where[i]);
      } else {
        size_t start = f.size();
        for (uint32_t v : e.values) putTyped(f, e.type, v);
        while (f.size() < start + 4) f.push_back(0);
      }
    }
    put32(f, 0);
    return f;
  }

 private:
  static size_t typeSize(uint16_t t) { return t == 1 ? 1 : t == 3 ? 2 : 4; }
  void put16(std::vector<uint8_t>& f, uint32_t v) const {
    if (intel_) f.insert(f.end(), {uint8_t(v), uint8_t(v >> 8)});
    else f.insert(f.end(), {uint8_t(v >> 8), uint8_t(v)});
  }
  void put32(std::vector<uint8_t>& f, uint32_t v) const {
    if (intel_) f.insert(f.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    else f.insert(f.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  }
  void putTyped(std::vector<uint8_t>& f, uint16_t type, uint32_t v) const {
    if (type == 1) f.push_back(uint8_t(v));
    else if (type == 3) put16(f, v);
    else put32(f, v);
  }
  void patch32(std::vector<uint8_t>& f, size_t at, uint32_t v) const {
    std::vector<uint8_t> t;
    put32(t, v);
    std::copy(t.begin(), t.end(), f.begin() + long(at));
  }

  bool intel_;
  std::vector<TiffField> fields_;
  std::vector<std::vector<uint8_t>> strips_;
  std::vector<uint8_t> raw_;
};

}  // namespace pxtest
