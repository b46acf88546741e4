#pragma once
// Hand-built RIFF/AVI files for the video tests, deterministic test pictures and reading
// frames decoded by the ffmpeg program.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/Error.h"
#include "support/TestSupport.h"
#include "frames/VideoSource.h"
#include "ui/Bitmap24.h"

namespace avitest {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

inline Bytes Chunk(const char* id, const Bytes& payload) {
  Bytes b;
  PutId(b, id);
  Put32(b, static_cast<uint32_t>(payload.size()));
  Append(b, payload);
  if (payload.size() & 1) b.push_back(0);
  return b;
}

inline Bytes List(const char* kind, const char* type, const std::vector<Bytes>& parts) {
  Bytes payload;
  PutId(payload, type);
  for (const Bytes& p : parts) Append(payload, p);
  Bytes b;
  PutId(b, kind);
  Put32(b, static_cast<uint32_t>(payload.size()));
  Append(b, payload);
  return b;
}

inline Bytes Strh(const char* type, uint32_t start, uint32_t length, const char* handler = "\0\0\0\0") {
  Bytes b;
  PutId(b, type);
  PutId(b, handler);
  for (int i = 0; i < 3; ++i) Put32(b, 0);  // flags, priority+language, initial frames
  Put32(b, 1);                              // scale
  Put32(b, 25);                             // rate
  Put32(b, start);
  Put32(b, length);
  Put32(b, 0);
  Put32(b, 0xFFFFFFFF);
  Put32(b, 0);
  for (int i = 0; i < 4; ++i) Put16(b, 0);
  return b;
}

// BITMAPINFOHEADER followed by `extra` (colour table entries or masks as 32-bit words).
inline Bytes Bih(int32_t w, int32_t h, uint16_t bits, uint32_t compression, const std::vector<uint32_t>& extra = {},
                 uint32_t clrUsed = 0) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, clrUsed);
  Put32(b, 0);
  for (uint32_t v : extra) Put32(b, v);
  return b;
}

struct Frame {
  Bytes data;
  std::string id = "00db";
  uint32_t flags = 0x10;
};

struct AviSpec {
  std::vector<Bytes> streamsBefore;  // whole 'strl' lists written before the video stream
  Bytes strh = Strh("vids", 0, 0);
  Bytes strf;
  bool withStrh = true, withStrf = true, withMovi = true, withHdrl = true;
  enum class Index { Relative, Absolute, None } index = Index::Relative;
  std::vector<Frame> frames;
};

inline Bytes BuildAvi(const AviSpec& s) {
  std::vector<Bytes> strl;
  if (s.withStrh) strl.push_back(Chunk("strh", s.strh));
  if (s.withStrf) strl.push_back(Chunk("strf", s.strf));
  std::vector<Bytes> hdrl;
  hdrl.push_back(Chunk("avih", Bytes(56, 0)));
  for (const Bytes& b : s.streamsBefore) hdrl.push_back(b);
  hdrl.push_back(List("LIST", "strl", strl));

  Bytes head;
  PutId(head, "AVI ");
  if (s.withHdrl) Append(head, List("LIST", "hdrl", hdrl));
  size_t moviPos = 8 + head.size();  // of the LIST header, in the finished file
  std::vector<Bytes> chunks;
  Bytes idx;
  size_t at = 4;  // offset of each chunk from the 'movi' identifier
  for (const Frame& f : s.frames) {
    Bytes c = Chunk(f.id.c_str(), f.data);
    PutId(idx, f.id.c_str());
    Put32(idx, f.flags);
    Put32(idx, static_cast<uint32_t>(s.index == AviSpec::Index::Absolute ? moviPos + 8 + at : at));
    Put32(idx, static_cast<uint32_t>(f.data.size()));
    at += c.size();
    chunks.push_back(std::move(c));
  }
  if (s.withMovi) Append(head, List("LIST", "movi", chunks));
  if (s.index != AviSpec::Index::None) Append(head, Chunk("idx1", idx));
  Bytes file = {'R', 'I', 'F', 'F'};  // (a push into an empty vector upsets GCC 12's -Wstringop-overflow)
  Put32(file, static_cast<uint32_t>(head.size()));
  Append(file, head);
  return file;
}

// A picture whose every pixel differs from its neighbours in a way that depends on the seed.
inline ui::Bitmap24 TestPicture(int w, int h, int seed) {
  ui::Bitmap24 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.setPixel(x, y, ui::Color(static_cast<uint8_t>((x * 7 + y * 3 + seed * 11) & 255),
                                 static_cast<uint8_t>((x * 13 + y * 5 + seed * 29) ^ (y * 17)),
                                 static_cast<uint8_t>((x * y + seed * 53) & 255)));
  return b;
}

inline frames::VideoBytes Own(Bytes bytes) {
  auto keep = std::make_shared<Bytes>(std::move(bytes));
  return frames::VideoBytes{keep->data(), keep->size(), keep};
}

// Runs the ffmpeg program to decode `path` to raw bgr24 and splits the frames.
inline std::vector<ui::Bitmap24> FfmpegFrames(const std::string& path, int w, int h, const std::string& outDir) {
  std::string raw = outDir + "/ffmpeg_decoded.raw";
  std::string log;
  int rc = pxtest::Run("ffmpeg -v error -y -i '" + path + "' -f rawvideo -pix_fmt bgr24 '" + raw + "'", &log);
  EXPECT_EQ(rc, 0) << log;
  Bytes all = pxtest::ReadBytes(raw);
  std::vector<ui::Bitmap24> out;
  size_t frameSize = static_cast<size_t>(w) * h * 3;
  for (size_t off = 0; off + frameSize <= all.size(); off += frameSize) {
    ui::Bitmap24 b(w, h);
    std::memcpy(b.data(), all.data() + off, frameSize);
    out.push_back(std::move(b));
  }
  return out;
}

inline int MaxDifference(const ui::Bitmap24& a, const ui::Bitmap24& b) {
  if (a.width() != b.width() || a.height() != b.height()) return 1000;
  int worst = 0;
  for (size_t i = 0; i < a.byteSize(); ++i) worst = std::max(worst, std::abs(int(a.data()[i]) - int(b.data()[i])));
  return worst;
}

inline double MeanDifference(const ui::Bitmap24& a, const ui::Bitmap24& b) {
  double sum = 0;
  for (size_t i = 0; i < a.byteSize() && i < b.byteSize(); ++i) sum += std::abs(int(a.data()[i]) - int(b.data()[i]));
  return a.byteSize() ? sum / static_cast<double>(a.byteSize()) : 0;
}

// The error text an operation raises, or "" when it succeeds.
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// The fixed texts a video source may raise.
inline const std::set<std::string> kTexts = {
    "Failed to open AVI file",         "Failed to open AVI stream",          "Failed to get AVI stream info",
    "Failed to get AVI stream format size", "Failed to get AVI stream format", "Failed to start AVI stream",
    "Failed to start AVI decompression",    "Failed to decompress AVI frame",
    "The video holds no frames",            "Failed to decompress AVI frame: its data lie past the end of the file"};

// Opens and decodes every frame; returns "" or the first error text met. Any other exception
// escapes and fails the test.
inline std::string OpenAndDecodeAll(const Bytes& file) {
  try {
    auto v = frames::OpenVideoBytes(Own(file));
    ui::Bitmap24 out;
    std::string firstError;
    for (int32_t i = v->startFrame(); i < v->startFrame() + v->frameCount(); ++i) {
      try {
        v->decodeFrame(i, out);
      } catch (const px::PelinoxaError& e) {
        if (firstError.empty()) firstError = e.what();
      }
    }
    return firstError;
  } catch (const px::PelinoxaError& e) {
    return e.what();
  }
}

}  // namespace avitest
