#include "frames/AviContainer.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/Error.h"

namespace frames {

namespace {

constexpr uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = FourCC('L', 'I', 'S', 'T');
constexpr uint32_t kAvix = FourCC('A', 'V', 'I', 'X');
constexpr uint32_t kHdrl = FourCC('h', 'd', 'r', 'l');
constexpr uint32_t kStrl = FourCC('s', 't', 'r', 'l');
constexpr uint32_t kStrh = FourCC('s', 't', 'r', 'h');
constexpr uint32_t kStrf = FourCC('s', 't', 'r', 'f');
constexpr uint32_t kIndx = FourCC('i', 'n', 'd', 'x');
constexpr uint32_t kMovi = FourCC('m', 'o', 'v', 'i');
constexpr uint32_t kRec = FourCC('r', 'e', 'c', ' ');
constexpr uint32_t kIdx1 = FourCC('i', 'd', 'x', '1');
constexpr uint32_t kVids = FourCC('v', 'i', 'd', 's');

constexpr uint32_t kAviifList = 0x01;
constexpr uint32_t kAviifKeyframe = 0x10;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;

[[noreturn]] void Fail(const char* text) { throw px::PelinoxaError(text); }

// Bounds-checked little-endian access to the file bytes.
struct Bytes {
  const uint8_t* d;
  uint64_t n;
  bool has(uint64_t off, uint64_t len) const { return off <= n && len <= n - off; }
  uint16_t u16(uint64_t o) const { return static_cast<uint16_t>(d[o] | d[o + 1] << 8); }
  uint32_t u32(uint64_t o) const {
    return static_cast<uint32_t>(d[o]) | static_cast<uint32_t>(d[o + 1]) << 8 | static_cast<uint32_t>(d[o + 2]) << 16 |
           static_cast<uint32_t>(d[o + 3]) << 24;
  }
  uint64_t u64(uint64_t o) const { return static_cast<uint64_t>(u32(o)) | static_cast<uint64_t>(u32(o + 4)) << 32; }
};

struct Chunk {
  uint32_t id = 0;
  uint64_t pos = 0;       // of the chunk header
  uint64_t data = 0;      // of the payload
  uint64_t size = 0;      // payload size, clipped to the enclosing range
  bool truncated = false; // the declared size ran past the enclosing range
  uint32_t listType = 0;  // for RIFF and LIST chunks
};

// Calls f(chunk) for each chunk in [begin, end); f returns false to stop.
template <typename F>
void ForEachChunk(const Bytes& b, uint64_t begin, uint64_t end, F&& f) {
  end = std::min(end, b.n);
  uint64_t pos = begin;
  while (pos < end && end - pos >= 8) {
    Chunk c;
    c.id = b.u32(pos);
    c.pos = pos;
    c.data = pos + 8;
    uint64_t declared = b.u32(pos + 4);
    c.size = declared;
    if (declared > end - c.data) {
      c.size = end - c.data;
      c.truncated = true;
    }
    if ((c.id == kList || c.id == kRiff) && c.size >= 4) c.listType = b.u32(c.data);
    if (!f(c)) return;
    if (c.truncated) return;
    pos = c.data + declared + (declared & 1);
  }
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// "##xx" chunk ids: stream number from the first two characters, or -1.
int ChunkStream(uint32_t id) {
  uint8_t a = id & 0xFF, b = (id >> 8) & 0xFF;
  if (!IsDigit(a) || !IsDigit(b)) return -1;
  return (a - '0') * 10 + (b - '0');
}
uint16_t ChunkKind(uint32_t id) { return static_cast<uint16_t>(id >> 16); }
constexpr uint16_t kKindDc = 'd' | 'c' << 8;
constexpr uint16_t kKindDb = 'd' | 'b' << 8;
constexpr uint16_t kKindPc = 'p' | 'c' << 8;

struct StreamList {
  std::optional<Chunk> strh, strf, indx;
};

class Builder {
 public:
  Builder(const Bytes& b, AviContainer& out) : b_(b), out_(out) {}

  void parse();

 private:
  void parseHeader(const Chunk& hdrl);
  void parseFormat(const Chunk& strf);
  bool isVideoChunk(uint32_t id) const {
    return ChunkStream(id) == out_.streamNumber && (ChunkKind(id) == kKindDc || ChunkKind(id) == kKindDb);
  }
  bool isPaletteChunk(uint32_t id) const { return ChunkStream(id) == out_.streamNumber && ChunkKind(id) == kKindPc; }
  bool readOpenDml();
  bool readStandardIndex(uint64_t payload, uint64_t size, std::vector<AviSample>& into);
  bool readIdx1();
  void scanMovi(uint64_t begin, uint64_t end, int depth);
  void scanAfterIndexed();
  void findExtensions();
  uint64_t sampleLimit() const { return b_.n / 8 + 1; }

  const Bytes& b_;
  AviContainer& out_;
  std::optional<Chunk> video_indx_;
  std::optional<Chunk> movi_, idx1_;
  std::vector<std::pair<uint64_t, uint64_t>> extensionMovi_;  // payload ranges of AVIX movi lists
};

void Builder::parse() {
  uint64_t riffEnd = b_.n;
  uint64_t declared = b_.u32(4);
  if (declared >= 4 && declared <= b_.n - 8) riffEnd = 8 + declared;

  std::optional<Chunk> hdrl;
  ForEachChunk(b_, 12, riffEnd, [&](const Chunk& c) {
    if (c.id == kList && c.listType == kHdrl && !hdrl) hdrl = c;
    else if (c.id == kList && c.listType == kMovi && !movi_) movi_ = c;
    else if (c.id == kIdx1 && !idx1_) idx1_ = c;
    return true;
  });
  if (!hdrl) Fail(avierr::OpenFile);
  parseHeader(*hdrl);
  if (!movi_) Fail(avierr::NoFrames);

  // An unfinished capture may leave the movi size at zero: take the rest of the RIFF.
  uint64_t declaredMovi = b_.u32(movi_->pos + 4);
  if (declaredMovi < 4) movi_->size = riffEnd > movi_->data ? riffEnd - movi_->data : 0;

  extensionMovi_.clear();
  uint64_t pos = riffEnd + (riffEnd & 1);
  while (b_.has(pos, 12) && b_.u32(pos) == kRiff && b_.u32(pos + 8) == kAvix) {
    uint64_t size = b_.u32(pos + 4);
    uint64_t end = std::min(pos + 8 + size, b_.n);
    ForEachChunk(b_, pos + 12, end, [&](const Chunk& c) {
      if (c.id == kList && c.listType == kMovi) extensionMovi_.emplace_back(c.data + 4, c.data + c.size);
      return true;
    });
    pos = end + (end & 1);
  }

  if (readOpenDml()) {
    out_.indexKind = AviIndexKind::OpenDml;
    out_.keyframesKnown = true;
  } else if (readIdx1()) {
    out_.indexKind = AviIndexKind::Idx1;
    out_.keyframesKnown = true;
    scanAfterIndexed();
    // idx1 covers the first RIFF only; later parts of a file without a super index are scanned.
    for (auto& [begin, end] : extensionMovi_) scanMovi(begin, end, 0);
  } else {
    out_.samples.clear();
    out_.paletteChanges.clear();
    out_.indexKind = AviIndexKind::Scan;
    out_.keyframesKnown = false;
    if (movi_->size >= 4) scanMovi(movi_->data + 4, movi_->data + movi_->size, 0);
    for (auto& [begin, end] : extensionMovi_) scanMovi(begin, end, 0);
  }
  if (out_.samples.empty()) Fail(avierr::NoFrames);
}

void Builder::parseHeader(const Chunk& hdrl) {
  int streamIndex = 0;
  bool found = false, brokenHeader = false;
  StreamList video;
  ForEachChunk(b_, hdrl.data + 4, hdrl.data + hdrl.size, [&](const Chunk& c) {
    if (c.id != kList || c.listType != kStrl) return true;
    StreamList s;
    ForEachChunk(b_, c.data + 4, c.data + c.size, [&](const Chunk& e) {
      if (e.id == kStrh && !s.strh) s.strh = e;
      else if (e.id == kStrf && !s.strf) s.strf = e;
      else if (e.id == kIndx && !s.indx) s.indx = e;
      return true;
    });
    int number = streamIndex++;
    if (!s.strh || s.strh->size < 4) {
      brokenHeader = true;
      return true;
    }
    if (b_.u32(s.strh->data) != kVids) return true;
    found = true;
    video = s;
    out_.streamNumber = number;
    return false;
  });
  if (!found) Fail(brokenHeader ? avierr::StreamInfo : avierr::OpenStream);
  if (out_.streamNumber > 99) Fail(avierr::OpenStream);

  const Chunk& strh = *video.strh;
  if (strh.size < 36) Fail(avierr::StreamInfo);
  out_.handler = b_.u32(strh.data + 4);
  out_.scale = b_.u32(strh.data + 20);
  out_.rate = b_.u32(strh.data + 24);
  out_.start = b_.u32(strh.data + 28);
  out_.length = b_.u32(strh.data + 32);
  if (out_.start > 0x3FFFFFFF) Fail(avierr::StreamInfo);

  if (!video.strf) Fail(avierr::FormatSize);
  parseFormat(*video.strf);
  video_indx_ = video.indx;
}

void Builder::parseFormat(const Chunk& strf) {
  if (strf.size < 40 || strf.truncated) Fail(avierr::Format);
  AviBitmapFormat& f = out_.format;
  uint64_t p = strf.data;
  f.headerSize = b_.u32(p);
  f.width = static_cast<int32_t>(b_.u32(p + 4));
  f.height = static_cast<int32_t>(b_.u32(p + 8));
  f.planes = b_.u16(p + 12);
  f.bitCount = b_.u16(p + 14);
  f.compression = b_.u32(p + 16);
  f.sizeImage = b_.u32(p + 20);
  f.clrUsed = b_.u32(p + 32);
  if (f.headerSize < 40 || f.headerSize > strf.size) Fail(avierr::Format);
  if (f.width <= 0 || f.height == 0 || f.height == INT32_MIN) Fail(avierr::Format);
  if (f.bitCount <= 8 && f.clrUsed > 256) Fail(avierr::Format);
  f.strf.assign(b_.d + p, b_.d + p + strf.size);
}

bool Builder::readStandardIndex(uint64_t payload, uint64_t size, std::vector<AviSample>& into) {
  if (size < 24) return false;
  unsigned longs = b_.u16(payload);
  uint8_t type = b_.d[payload + 3];
  uint64_t count = b_.u32(payload + 4);
  uint64_t base = b_.u64(payload + 12);
  if (type != kIndexOfChunks || longs < 2) return false;
  uint64_t entrySize = static_cast<uint64_t>(longs) * 4;
  if (count > (size - 24) / entrySize) return false;
  if (into.size() + count > sampleLimit()) return false;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t e = payload + 24 + i * entrySize;
    uint32_t off = b_.u32(e), raw = b_.u32(e + 4);
    AviSample s;
    if (base > UINT64_MAX - off) return false;
    s.offset = base + off;
    s.size = raw & 0x7FFFFFFFu;
    s.keyframe = (raw & 0x80000000u) == 0;
    into.push_back(s);
  }
  return true;
}

bool Builder::readOpenDml() {
  if (!video_indx_) return false;
  const Chunk& indx = *video_indx_;
  if (indx.size < 24) return false;
  uint8_t type = b_.d[indx.data + 3];
  std::vector<AviSample> samples;
  if (type == kIndexOfChunks) {
    if (!readStandardIndex(indx.data, indx.size, samples)) return false;
  } else if (type == kIndexOfIndexes) {
    unsigned longs = b_.u16(indx.data);
    uint64_t count = b_.u32(indx.data + 4);
    if (longs < 4) return false;
    uint64_t entrySize = static_cast<uint64_t>(longs) * 4;
    if (count > (indx.size - 24) / entrySize) return false;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t e = indx.data + 24 + i * entrySize;
      uint64_t ixPos = b_.u64(e);
      if (ixPos == 0) continue;  // a slot reserved but never filled
      if (!b_.has(ixPos, 8)) return false;
      uint64_t size = b_.u32(ixPos + 4);
      if (!b_.has(ixPos + 8, size)) return false;
      if (!readStandardIndex(ixPos + 8, size, samples)) return false;
    }
  } else {
    return false;
  }
  if (samples.empty()) return false;
  out_.samples = std::move(samples);
  return true;
}

bool Builder::readIdx1() {
  if (!idx1_) return false;
  uint64_t count = idx1_->size / 16;
  uint64_t first = idx1_->data;
  // Offsets count either from the 'movi' identifier or from the start of the file: take the
  // base under which the first entry names a chunk with its own id.
  std::optional<uint64_t> base;
  for (uint64_t i = 0; i < count && !base; ++i) {
    uint64_t e = first + i * 16;
    uint32_t id = b_.u32(e), flags = b_.u32(e + 4), off = b_.u32(e + 8);
    if (flags & kAviifList) continue;
    for (uint64_t candidate : {movi_->data, uint64_t{0}}) {
      uint64_t at = candidate + off;
      if (b_.has(at, 8) && b_.u32(at) == id) {
        base = candidate;
        break;
      }
    }
    if (!base) return false;
  }
  if (!base) return false;
  std::vector<AviSample> samples;
  std::vector<AviPaletteChange> palettes;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t e = first + i * 16;
    uint32_t id = b_.u32(e), flags = b_.u32(e + 4), off = b_.u32(e + 8), size = b_.u32(e + 12);
    if (flags & kAviifList) continue;
    if (isVideoChunk(id)) {
      AviSample s;
      s.offset = *base + off + 8;
      s.size = size;
      s.keyframe = (flags & kAviifKeyframe) != 0;
      samples.push_back(s);
    } else if (isPaletteChunk(id)) {
      palettes.push_back({samples.size(), *base + off + 8, size});
    }
  }
  if (samples.empty()) return false;
  out_.samples = std::move(samples);
  out_.paletteChanges = std::move(palettes);
  return true;
}

// An idx1 written before the capture ended (or cut short) lists fewer chunks than 'movi' holds:
// the chunks after the last one it names are taken from a scan.
void Builder::scanAfterIndexed() {
  if (movi_->size < 4) return;
  const uint64_t moviEnd = movi_->data + movi_->size;
  uint64_t indexedEnd = movi_->data + 4;
  for (const AviSample& s : out_.samples) {
    if (s.size == 0 || s.offset < 8) continue;
    const uint64_t end = s.offset + s.size + (s.size & 1);
    if (end <= moviEnd) indexedEnd = std::max(indexedEnd, end);
  }
  if (moviEnd - indexedEnd < 8) return;
  const size_t before = out_.samples.size();
  scanMovi(indexedEnd, moviEnd, 0);
  // Chunks the scan adds carry no keyframe flags.
  if (out_.samples.size() > before) out_.keyframesKnown = false;
}

void Builder::scanMovi(uint64_t begin, uint64_t end, int depth) {
  ForEachChunk(b_, begin, end, [&](const Chunk& c) {
    if (c.id == kList) {
      if (c.listType == kRec && depth < 4 && c.size >= 4) scanMovi(c.data + 4, c.data + c.size, depth + 1);
      return !c.truncated;
    }
    if (c.truncated) return false;  // a capture cut short: its last chunk is incomplete
    if (isVideoChunk(c.id)) {
      if (out_.samples.size() >= sampleLimit()) return false;
      out_.samples.push_back({c.data, static_cast<uint32_t>(c.size), true});
    } else if (isPaletteChunk(c.id)) {
      out_.paletteChanges.push_back({out_.samples.size(), c.data, static_cast<uint32_t>(c.size)});
    }
    return true;
  });
}

}  // namespace

bool AviContainer::LooksLikeAvi(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "AVI ", 4) == 0;
}

AviContainer AviContainer::Parse(const uint8_t* data, size_t size) {
  if (!data || !LooksLikeAvi(data, size)) Fail(avierr::OpenFile);
  AviContainer c;
  Bytes b{data, size};
  Builder(b, c).parse();
  return c;
}

const uint8_t* AviContainer::sampleData(const uint8_t* file, size_t fileSize, size_t k) const {
  if (k >= samples.size()) return nullptr;
  const AviSample& s = samples[k];
  if (s.offset > fileSize || s.size > fileSize - s.offset) return nullptr;
  return file + s.offset;
}

}  // namespace frames
