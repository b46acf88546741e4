#include "formats/FitsWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/TiffBitmap.h"

namespace formats {

namespace {

constexpr size_t CardSize = 80;
constexpr size_t BlockSize = 2880;

std::string TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}

// Round half to even, limited to the integer range (NaN gives 0).
int64_t RoundClamped(double v, int64_t lo, int64_t hi) {
  if (!(v == v)) return 0;
  if (v <= double(lo)) return lo;
  if (v >= double(hi)) return hi;
  return int64_t(std::nearbyint(v));
}

void PutValue(uint8_t*& o, int64_t v, int bitpix) {
  if (bitpix == 16) {
    o[0] = uint8_t(uint16_t(v) >> 8);
    o[1] = uint8_t(v);
    o += 2;
  } else {
    uint32_t u = uint32_t(v);
    o[0] = uint8_t(u >> 24), o[1] = uint8_t(u >> 16), o[2] = uint8_t(u >> 8), o[3] = uint8_t(u);
    o += 4;
  }
}

// Header + data (bottom row first) + padding, with value(x, y) giving the stored integer.
template <typename ValueFn>
void StreamFile(px::AtomicFileWriter& out, int bitpix, int width, int height, int64_t bzero, std::time_t when,
                ValueFn value) {
  out.write(BuildFitsHeader(bitpix, width, height, bzero, when));
  std::vector<uint8_t> row(size_t(width) * size_t(bitpix / 8));
  for (int y = height - 1; y >= 0; --y) {
    uint8_t* o = row.data();
    for (int x = 0; x < width; ++x) PutValue(o, value(x, y), bitpix);
    out.write(row.data(), row.size());
  }
  const size_t dataBytes = size_t(width) * size_t(height) * size_t(bitpix / 8);
  const std::vector<uint8_t> pad((BlockSize - dataBytes % BlockSize) % BlockSize, 0);
  out.write(pad.data(), pad.size());
}

}  // namespace

std::string FitsValueCard(const std::string& keywordText, const std::string& value) {
  std::string card = keywordText;
  if (card.size() + value.size() < 30) card.append(30 - card.size() - value.size(), ' ');
  card += value;
  card.resize(CardSize, ' ');
  return card;
}

std::string FitsTextCard(const std::string& text) {
  std::string card = text;
  card.resize(CardSize, ' ');
  return card;
}

std::string BuildFitsHeader(int bitpix, int width, int height, int64_t bzero, std::time_t when) {
  if (when == 0) when = std::time(nullptr);
  std::tm t{};
  localtime_r(&when, &t);
  const std::string date = TwoDigits(t.tm_mday) + "/" + TwoDigits(t.tm_mon + 1) + "/" + TwoDigits(t.tm_year);
  const std::string time = TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
  std::string h;
  h += FitsValueCard("SIMPLE  =", "T");
  h += FitsValueCard("BITPIX  =", std::to_string(bitpix));
  h += FitsValueCard("NAXIS   =", "2");
  h += FitsValueCard("NAXIS1  =", std::to_string(width));
  h += FitsValueCard("NAXIS2  =", std::to_string(height));
  h += FitsValueCard("BSCALE  =", "1");
  h += FitsValueCard("BZERO   =", std::to_string(bzero));
  h += FitsTextCard("DATE-OBS= '" + date + "'");
  h += FitsTextCard("TIME-OBS= '" + time + "'");
  h += FitsTextCard("OBJECT  = ''");
  h += FitsTextCard("INSTRUME= ''");
  h += FitsTextCard("EXPOSURE= ''");
  h += FitsTextCard("OBSERVER= ''");
  h += FitsTextCard("COMMENT   PELINOXA V2.0");
  h += FitsTextCard("COMMENT");
  h += FitsTextCard("END");
  h.resize(BlockSize, ' ');
  return h;
}

std::vector<std::string> FitsOutputNames(const std::string& path, int mode, bool colour) {
  const std::string stem = px::ChangeFileExt(path, "");
  if (colour) return {stem + "_R.fit", stem + "_G.fit", stem + "_B.fit"};
  return {stem + (mode == FitsLevel128 ? ".fitx" : ".fit")};
}

FitsWriteResult WriteFits(const FitsWriteRequest& r) {
  if (r.width <= 0 || r.height <= 0) throw std::invalid_argument("WriteFits: empty image");
  if (r.bitpix != 16 && r.bitpix != 32) throw std::invalid_argument("WriteFits: BITPIX must be 16 or 32");
  if (r.mode < FitsScaledPlanes || r.mode > FitsLevel128) throw std::invalid_argument("WriteFits: bad mode");
  const std::vector<int> channels = r.colour ? std::vector<int>{0, 1, 2} : std::vector<int>{1};
  if (r.mode == FitsBitmap16) {
    if (r.bitpix != 16) throw std::invalid_argument("WriteFits: 16-bit samples are written with BITPIX 16");
    if (!r.bitmap48 || r.bitmap48->width48() < r.width || r.bitmap48->height48() < r.height)
      throw std::invalid_argument("WriteFits: no 16-bit image of that size");
  } else {
    for (int c : channels)
      if (!r.planes[c]) throw std::invalid_argument("WriteFits: missing plane");
  }

  double mn = 0, range = 1;
  if (r.mode == FitsScaledPlanes) {
    float lo = 0, hi = 0;
    bool first = true;
    for (int c : channels)
      for (int y = 0; y < r.height; ++y) {
        const float* p = r.planes[c].row(y);
        for (int x = 0; x < r.width; ++x) {
          if (!std::isfinite(p[x])) continue;
          if (first) lo = hi = p[x], first = false;
          if (p[x] < lo) lo = p[x];
          if (p[x] > hi) hi = p[x];
        }
      }
    mn = lo;
    range = (double(hi) - double(lo)) * 1.1;
    if (range == 0) range = 0.000001;
  }
  const double full = r.bitpix == 16 ? 65535.0 : 4294967294.0;
  const int64_t vmin = r.bitpix == 16 ? INT16_MIN : INT32_MIN;
  const int64_t vmax = r.bitpix == 16 ? INT16_MAX : INT32_MAX;
  const int64_t bzero = r.mode == FitsLevel128 ? 0 : 32768;

  const std::vector<std::string> names = FitsOutputNames(r.path, r.mode, r.colour);
  FitsWriteResult result;
  std::vector<size_t> chosen;
  for (size_t i = 0; i < names.size(); ++i) {
    if (px::FileExists(names[i]) && r.confirmOverwrite && !r.confirmOverwrite(names[i])) result.skipped.push_back(names[i]);
    else chosen.push_back(i);
  }
  // Every file is written to its temporary before any is put in place, so that a failure
  // never leaves a mixed set of new and old channel files.
  std::vector<std::unique_ptr<px::AtomicFileWriter>> files;
  for (size_t i : chosen) {
    const int c = channels[i];
    files.push_back(std::make_unique<px::AtomicFileWriter>(names[i]));
    px::AtomicFileWriter& out = *files.back();
    switch (r.mode) {
      case FitsScaledPlanes:
        StreamFile(out, r.bitpix, r.width, r.height, bzero, r.when, [&](int x, int y) {
          return RoundClamped(((double(r.planes[c].at(x, y)) - mn) / range - 0.5) * full, vmin, vmax);
        });
        break;
      case FitsBitmap16:
        StreamFile(out, r.bitpix, r.width, r.height, bzero, r.when, [&](int x, int y) {
          // Clamped so that the brightest sample cannot wrap round to the darkest.
          return std::min<int64_t>(int64_t(r.bitmap48->row16(y)[3 * x + c]) - 32767, vmax);
        });
        break;
      default:
        StreamFile(out, r.bitpix, r.width, r.height, bzero, r.when, [&](int x, int y) {
          return RoundClamped(double(r.planes[c].at(x, y)) * 128.0, vmin, vmax);
        });
        break;
    }
  }
  std::vector<px::AtomicFileWriter*> all;
  for (auto& f : files) all.push_back(f.get());
  px::AtomicFileWriter::CommitTogether(all);
  for (size_t i : chosen) result.written.push_back(names[i]);
  return result;
}

namespace {

template <typename T>
void WriteImage(const std::string& path, int width, int height, const std::vector<T>& values, int64_t bzero,
                int bitpix) {
  if (width <= 0 || height <= 0 || values.size() != size_t(width) * size_t(height))
    throw px::PelinoxaError("WriteFitsImage: the values do not match the size");
  const int64_t vmin = bitpix == 16 ? INT16_MIN : INT32_MIN;
  const int64_t vmax = bitpix == 16 ? INT16_MAX : INT32_MAX;
  for (T v : values)
    if (int64_t(v) - bzero < vmin || int64_t(v) - bzero > vmax)
      throw px::PelinoxaError("WriteFitsImage: value " + std::to_string(v) + " does not fit BITPIX " +
                              std::to_string(bitpix) + " with BZERO " + std::to_string(bzero));
  px::AtomicFileWriter out(path);
  StreamFile(out, bitpix, width, height, bzero, 0,
             [&](int x, int y) { return int64_t(values[size_t(y) * width + x]) - bzero; });
  out.commit();
}

}  // namespace

void WriteFitsImage16(const std::string& path, int width, int height, const std::vector<int32_t>& values,
                      int64_t bzero) {
  WriteImage(path, width, height, values, bzero, 16);
}

void WriteFitsImage32(const std::string& path, int width, int height, const std::vector<int64_t>& values,
                      int64_t bzero) {
  WriteImage(path, width, height, values, bzero, 32);
}

FitsWriteResult WriteFitsPicture16(const std::string& path, int width, int height, bool colour,
                                   const TTIFFBitMap& bitmap48,
                                   std::function<bool(const std::string& fileName)> confirmOverwrite) {
  FitsWriteRequest w;
  w.path = path;
  w.width = width;
  w.height = height;
  w.mode = FitsBitmap16;
  w.bitpix = 16;
  w.colour = colour;
  w.bitmap48 = &bitmap48;
  w.confirmOverwrite = std::move(confirmOverwrite);
  return WriteFits(w);
}

}  // namespace formats
