#include "frames/AviWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Error.h"
#include "base/Files.h"

namespace frames {

namespace {

constexpr uint32_t kSuperIndexSlots = 256;
constexpr uint32_t kAviifKeyframe = 0x10;

uint32_t Id(const char* s) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

}  // namespace

uint32_t FourCCFromText(const char* text) { return Id(text); }

AviWriter::AviWriter(const std::string& path, AviWriterOptions options) : path_(path), o_(std::move(options)) {
  if (o_.width <= 0 || o_.height <= 0) throw px::PelinoxaError("AVI writer: bad frame size");
  temp_ = path_ + ".tmp" + std::to_string(::getpid());
  f_ = std::fopen(temp_.c_str(), "wb");
  if (!f_) throw px::PelinoxaError("Cannot create file \"" + temp_ + "\": " + std::strerror(errno));
  writeHeader();
}

AviWriter::~AviWriter() {
  if (f_) std::fclose(f_);
  if (!finished_) std::remove(temp_.c_str());
}

void AviWriter::fail() {
  std::string text = "Cannot write file \"" + temp_ + "\": " + std::strerror(errno);
  if (f_) std::fclose(f_);
  f_ = nullptr;
  throw px::PelinoxaError(text);
}

void AviWriter::put(const void* data, size_t size) {
  if (!f_) fail();
  if (size && std::fwrite(data, 1, size, f_) != size) fail();
}
void AviWriter::put32(uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)};
  put(b, 4);
}
void AviWriter::put8(uint8_t v) { put(&v, 1); }
void AviWriter::put16(uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  put(b, 2);
}
void AviWriter::put64(uint64_t v) {
  put32(static_cast<uint32_t>(v));
  put32(static_cast<uint32_t>(v >> 32));
}
uint64_t AviWriter::tell() {
  off_t p = ::ftello(f_);
  if (p < 0) fail();
  return static_cast<uint64_t>(p);
}
void AviWriter::seek(uint64_t pos) {
  if (::fseeko(f_, static_cast<off_t>(pos), SEEK_SET) != 0) fail();
}
void AviWriter::patch32(uint64_t pos, uint32_t v) {
  uint64_t here = tell();
  seek(pos);
  put32(v);
  seek(here);
}

size_t AviWriter::frameBytes() const {
  size_t w = static_cast<size_t>(o_.width), h = static_cast<size_t>(o_.height);
  if (o_.compression == 0 || o_.compression == 3) return (w * o_.bitCount + 31) / 32 * 4 * h;
  if (o_.compression == Id("YUY2") || o_.compression == Id("UYVY") || o_.compression == Id("YVYU"))
    return (w + 1) / 2 * 4 * h;
  if (o_.compression == Id("I420") || o_.compression == Id("YV12") || o_.compression == Id("IYUV"))
    return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
  return w * h * ((o_.bitCount + 7) / 8);
}

// The stream format: a BITMAPINFOHEADER, then the colour masks and the palette.
std::vector<uint8_t> AviWriter::streamFormat() const {
  const bool rgb = o_.compression == 0 || o_.compression == 3;
  std::vector<uint8_t> strf(40);
  auto set32 = [&](size_t at, uint32_t v) { std::memcpy(strf.data() + at, &v, 4); };
  auto set16 = [&](size_t at, uint16_t v) { std::memcpy(strf.data() + at, &v, 2); };
  set32(0, 40);
  set32(4, static_cast<uint32_t>(o_.width));
  set32(8, static_cast<uint32_t>(rgb && o_.topDown ? -o_.height : o_.height));
  set16(12, 1);
  set16(14, o_.bitCount);
  set32(16, o_.compression);
  set32(20, static_cast<uint32_t>(frameBytes()));
  set32(32, static_cast<uint32_t>(o_.palette.size()));
  for (uint32_t m : o_.masks) {
    strf.resize(strf.size() + 4);
    std::memcpy(strf.data() + strf.size() - 4, &m, 4);
  }
  for (uint32_t p : o_.palette) {
    strf.resize(strf.size() + 4);
    uint32_t v = p & 0x00FFFFFF;
    std::memcpy(strf.data() + strf.size() - 4, &v, 4);
  }
  return strf;
}

// The RIFF and 'hdrl' headers, then the first 'movi' list; the counts and sizes that are
// known only at the end are patched by finish().
void AviWriter::writeHeader() {
  const bool odml = o_.index == AviWriterOptions::Index::OpenDml;
  const std::vector<uint8_t> strf = streamFormat();
  const uint32_t indxSize = odml ? 24 + kSuperIndexSlots * 16 : 0;
  const uint32_t strlSize = 4 + (8 + 56) + (8 + static_cast<uint32_t>(strf.size())) + (odml ? 8 + indxSize : 0);
  const uint32_t odmlSize = odml ? 4 + 8 + 248 : 0;
  const uint32_t hdrlSize = 4 + (8 + 56) + (8 + strlSize) + (odml ? 8 + odmlSize : 0);

  put32(Id("RIFF"));
  put32(0);  // patched
  put32(Id("AVI "));
  put32(Id("LIST"));
  put32(hdrlSize);
  put32(Id("hdrl"));
  writeMainHeader();
  writeStreamList(strlSize, strf, indxSize);
  if (odml) writeOdmlList(odmlSize);

  Riff r;
  r.riffPos = 0;
  put32(Id("LIST"));
  r.moviPos = tell() - 4;
  put32(0);  // patched
  put32(Id("movi"));
  r.firstEntry = r.endEntry = 0;
  riffs_.push_back(r);
}

// 'avih': frame time, flags, the frame count and buffer size (patched), the picture size.
void AviWriter::writeMainHeader() {
  put32(Id("avih"));
  put32(56);
  put32(static_cast<uint32_t>(1000000ull * o_.scale / std::max<uint32_t>(o_.rate, 1)));
  put32(0);  // max bytes per second
  put32(0);  // padding granularity
  put32(0x10);  // AVIF_HASINDEX
  avihFramesPos_ = tell();
  put32(0);  // total frames, patched
  put32(0);
  put32(1);  // streams
  avihBufferPos_ = tell();
  put32(0);  // suggested buffer size, patched
  put32(static_cast<uint32_t>(o_.width));
  put32(static_cast<uint32_t>(o_.height));
  for (int i = 0; i < 4; ++i) put32(0);
}

// The video stream's 'strl' list: 'strh', 'strf' and, for OpenDML, the empty super index.
void AviWriter::writeStreamList(uint32_t strlSize, const std::vector<uint8_t>& strf, uint32_t indxSize) {
  const bool rgb = o_.compression == 0 || o_.compression == 3;
  put32(Id("LIST"));
  put32(strlSize);
  put32(Id("strl"));
  put32(Id("strh"));
  put32(56);
  put32(Id("vids"));
  put32(rgb ? 0 : o_.compression);
  put32(0);  // flags
  put16(0);  // priority
  put16(0);  // language
  put32(0);  // initial frames
  put32(o_.scale);
  put32(o_.rate);
  put32(o_.start);
  strhLengthPos_ = tell();
  put32(0);  // length, patched
  strhBufferPos_ = tell();
  put32(0);  // suggested buffer size, patched
  put32(0xFFFFFFFF);  // quality
  put32(0);           // sample size
  put16(0);
  put16(0);
  put16(static_cast<uint16_t>(o_.width));
  put16(static_cast<uint16_t>(o_.height));
  put32(Id("strf"));
  put32(static_cast<uint32_t>(strf.size()));
  put(strf.data(), strf.size());
  if (indxSize > 0) {
    put32(Id("indx"));
    put32(indxSize);
    indxPos_ = tell();
    std::vector<uint8_t> empty(indxSize, 0);
    put(empty.data(), empty.size());
  }
}

// OpenDML's 'odml' list: 'dmlh' with the total frame count (patched).
void AviWriter::writeOdmlList(uint32_t odmlSize) {
  put32(Id("LIST"));
  put32(odmlSize);
  put32(Id("odml"));
  put32(Id("dmlh"));
  put32(248);
  dmlhPos_ = tell();
  std::vector<uint8_t> zero(248, 0);
  put(zero.data(), zero.size());
}

void AviWriter::beginChunkData(uint32_t size) {
  if (o_.index == AviWriterOptions::Index::OpenDml && tell() - riffs_.back().riffPos + size + 16 > o_.riffLimit &&
      frames_.size() > riffs_.back().firstEntry) {
    closeRiff();
    openExtensionRiff();
  }
  if (o_.index != AviWriterOptions::Index::OpenDml && tell() + size + 16ull * (frames_.size() + 1) > 0xFFFFFFF0ull)
    throw px::PelinoxaError("AVI writer: an AVI 1.0 file cannot exceed 4 GiB");
  frames_.push_back({tell(), size});
  riffs_.back().endEntry = frames_.size();
  maxChunk_ = std::max(maxChunk_, size);
  put32(Id("00db"));
  put32(size);
}

void AviWriter::addFrame(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFF0u) throw px::PelinoxaError("AVI writer: frame too large");
  beginChunkData(static_cast<uint32_t>(size));
  put(data, size);
  if (size & 1) put("", 1);
}

void AviWriter::addHole(size_t size) {
  if (size > 0x7FFFFFF0u) throw px::PelinoxaError("AVI writer: frame too large");
  beginChunkData(static_cast<uint32_t>(size));
  seek(tell() + size + (size & 1));
}

// Ends the movi list of the current RIFF (with its standard index for OpenDML) and the RIFF.
void AviWriter::closeRiff() {
  Riff& r = riffs_.back();
  if (o_.index == AviWriterOptions::Index::OpenDml) {
    uint32_t n = static_cast<uint32_t>(r.endEntry - r.firstEntry);
    uint64_t base = r.moviPos;
    r.ixPos = tell();
    r.ixSize = 8 + 24 + n * 8;
    put32(Id("ix00"));
    put32(24 + n * 8);
    put16(2);
    put8(0);  // sub type
    put8(1);  // index of chunks
    put32(n);
    put32(Id("00db"));
    put64(base);
    put32(0);
    for (size_t i = r.firstEntry; i < r.endEntry; ++i) {
      put32(static_cast<uint32_t>(frames_[i].pos + 8 - base));
      put32(frames_[i].size);  // all keyframes: bit 31 clear
    }
  }
  uint64_t end = tell();
  patch32(r.moviPos + 4, static_cast<uint32_t>(end - r.moviPos - 8));
  if (riffs_.size() == 1 && o_.index != AviWriterOptions::Index::None) {
    put32(Id("idx1"));
    put32(static_cast<uint32_t>(16 * (r.endEntry - r.firstEntry)));
    const bool absolute = o_.index == AviWriterOptions::Index::Idx1Absolute;
    uint64_t base = absolute ? 0 : r.moviPos + 8;
    for (size_t i = r.firstEntry; i < r.endEntry; ++i) {
      put32(Id("00db"));
      put32(kAviifKeyframe);
      put32(static_cast<uint32_t>(frames_[i].pos - base));
      put32(frames_[i].size);
    }
    end = tell();
  }
  patch32(r.riffPos + 4, static_cast<uint32_t>(end - r.riffPos - 8));
}

void AviWriter::openExtensionRiff() {
  Riff r;
  r.riffPos = tell();
  put32(Id("RIFF"));
  put32(0);
  put32(Id("AVIX"));
  r.moviPos = tell();
  put32(Id("LIST"));
  put32(0);
  put32(Id("movi"));
  r.firstEntry = r.endEntry = frames_.size();
  riffs_.push_back(r);
}

void AviWriter::finish() {
  if (finished_ || !f_) return;
  closeRiff();
  const bool odml = o_.index == AviWriterOptions::Index::OpenDml;
  uint32_t total = static_cast<uint32_t>(frames_.size());
  uint32_t firstRiffFrames = static_cast<uint32_t>(riffs_.front().endEntry);
  patch32(avihFramesPos_, odml ? firstRiffFrames : total);
  patch32(avihBufferPos_, maxChunk_ + 8);
  patch32(strhLengthPos_, total);
  patch32(strhBufferPos_, maxChunk_ + 8);
  if (odml) {
    if (riffs_.size() > kSuperIndexSlots) throw px::PelinoxaError("AVI writer: too many RIFF parts");
    patch32(dmlhPos_, total);
    uint64_t here = tell();
    seek(indxPos_);
    put16(4);
    put8(0);
    put8(0);  // index of indexes
    put32(static_cast<uint32_t>(riffs_.size()));
    put32(Id("00db"));
    put32(0);
    put32(0);
    put32(0);
    for (const Riff& r : riffs_) {
      put64(r.ixPos);
      put32(r.ixSize);
      put32(static_cast<uint32_t>(r.endEntry - r.firstEntry));
    }
    seek(here);
  }
  if (std::fflush(f_) != 0) fail();
  if (std::fclose(f_) != 0) {
    f_ = nullptr;
    fail();
  }
  f_ = nullptr;
  if (std::rename(temp_.c_str(), path_.c_str()) != 0)
    throw px::PelinoxaError("Cannot rename \"" + temp_ + "\" to \"" + path_ + "\": " + std::strerror(errno));
  finished_ = true;
}

void PackBgr24(const ui::Bitmap24& bmp, bool bottomUp, std::vector<uint8_t>& out) {
  const int w = bmp.width(), h = bmp.height();
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
  out.assign(stride * h, 0);
  for (int y = 0; y < h; ++y)
    std::memcpy(out.data() + stride * (bottomUp ? h - 1 - y : y), bmp.row(y), static_cast<size_t>(w) * 3);
}

void PackGrey8(const ui::Bitmap24& bmp, bool dib, std::vector<uint8_t>& out) {
  const int w = bmp.width(), h = bmp.height();
  const size_t stride = dib ? (static_cast<size_t>(w) + 3) / 4 * 4 : static_cast<size_t>(w);
  out.assign(stride * h, 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = bmp.row(y);
    uint8_t* d = out.data() + stride * (dib ? h - 1 - y : y);
    for (int x = 0; x < w; ++x) d[x] = s[x * 3 + 1];
  }
}

}  // namespace frames
