#include "frames/SerFile.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/Error.h"

namespace frames {

namespace {

constexpr char kFileId[] = "LUCAM-RECORDER";
constexpr int32_t kMaxSide = 1 << 16;

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

int64_t I64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return static_cast<int64_t>(v);
}

std::string Text(const uint8_t* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  s = s.substr(0, s.find('\0'));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void Put32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

void Put64(std::vector<uint8_t>& b, size_t at, int64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

[[noreturn]] void Fail(const std::string& why) { throw px::PelinoxaError("Not a readable SER file: " + why); }

// Evidence for one byte order in a frame's 16-bit samples: values above the depth's range, and
// the roughness between same-colour neighbours (smooth images are smooth only the right way).
struct OrderEvidence {
  uint64_t outOfRange = 0;
  uint64_t roughness = 0;
};

OrderEvidence Evidence(const uint8_t* frame, size_t samples, size_t step, bool little, int depth) {
  OrderEvidence e;
  const uint32_t maxValue = (1u << depth) - 1;
  const int lo = little ? 0 : 1, hi = 1 - lo;
  auto at = [&](size_t i) { return static_cast<uint32_t>(frame[2 * i + lo]) | static_cast<uint32_t>(frame[2 * i + hi]) << 8; };
  const size_t limit = std::min<size_t>(samples, 1 << 18);
  for (size_t i = 0; i < limit; ++i) {
    const uint32_t v = at(i);
    if (v > maxValue) ++e.outOfRange;
    if (i + step < limit) e.roughness += static_cast<uint64_t>(std::abs(static_cast<int32_t>(at(i + step)) - static_cast<int32_t>(v)));
  }
  return e;
}

}  // namespace

bool LooksLikeSer(const uint8_t* data, size_t size) {
  return data && size >= 14 && std::memcmp(data, kFileId, 14) == 0;
}

SerLayout ParseSer(const uint8_t* data, size_t size) {
  if (!LooksLikeSer(data, size)) Fail("the file does not start with \"LUCAM-RECORDER\"");
  if (size < kSerHeaderSize)
    Fail("the header is truncated (" + std::to_string(size) + " of " + std::to_string(kSerHeaderSize) + " bytes)");
  SerLayout L;
  SerHeader& h = L.header;
  h.luId = I32(data + 14);
  h.colorId = I32(data + 18);
  h.littleEndian = I32(data + 22);
  h.width = I32(data + 26);
  h.height = I32(data + 30);
  h.depth = I32(data + 34);
  h.frameCount = I32(data + 38);
  h.observer = Text(data + 42, 40);
  h.instrument = Text(data + 82, 40);
  h.telescope = Text(data + 122, 40);
  h.dateTime = I64(data + 162);
  h.dateTimeUtc = I64(data + 170);

  switch (h.colorId) {
    case 0: L.colour = SerColour::Mono; break;
    case 8: case 9: case 10: case 11:
      L.colour = SerColour::Bayer;
      L.pattern = static_cast<BayerPattern>(h.colorId - 8);
      break;
    case 16: case 17: case 18: case 19:
      Fail("its frames are cyan-yellow-magenta mosaics (colour id " + std::to_string(h.colorId) +
           "), which this program cannot turn into colour");
    case 100: L.colour = SerColour::Rgb; L.planes = 3; break;
    case 101: L.colour = SerColour::Bgr; L.planes = 3; break;
    default: Fail("unknown colour id " + std::to_string(h.colorId));
  }
  if (h.width <= 0 || h.height <= 0 || h.width > kMaxSide || h.height > kMaxSide)
    Fail("impossible frame size " + std::to_string(h.width) + "x" + std::to_string(h.height));
  if (h.depth < 1 || h.depth > 16) Fail("impossible pixel depth of " + std::to_string(h.depth) + " bits");
  L.bytesPerSample = h.depth <= 8 ? 1 : 2;
  L.frameBytes = static_cast<size_t>(h.width) * static_cast<size_t>(h.height) * static_cast<size_t>(L.planes) *
                 static_cast<size_t>(L.bytesPerSample);

  const size_t room = size - kSerHeaderSize;
  const size_t fit = room / L.frameBytes;
  if (fit == 0) Fail("it holds no complete frame (" + std::to_string(room) + " bytes after the header)");
  if (h.frameCount <= 0) {
    L.frames = static_cast<int32_t>(std::min<size_t>(fit, INT32_MAX));
    L.notes.push_back("the header gives no frame count; " + std::to_string(L.frames) + " frames counted from the file size");
  } else if (static_cast<size_t>(h.frameCount) > fit) {
    L.frames = static_cast<int32_t>(fit);
    L.notes.push_back("only " + std::to_string(fit) + " of the " + std::to_string(h.frameCount) +
                      " frames the header announces are in the file");
  } else {
    L.frames = h.frameCount;
    const size_t rest = room - static_cast<size_t>(L.frames) * L.frameBytes;
    if (rest == static_cast<size_t>(L.frames) * 8) {
      const uint8_t* t = data + kSerHeaderSize + static_cast<size_t>(L.frames) * L.frameBytes;
      L.timeStamps.resize(static_cast<size_t>(L.frames));
      for (size_t k = 0; k < L.timeStamps.size(); ++k) L.timeStamps[k] = I64(t + 8 * k);
    } else if (rest > 0) {
      L.notes.push_back("time stamps ignored: the trailer holds " + std::to_string(rest) + " bytes, not " +
                        std::to_string(static_cast<size_t>(L.frames) * 8));
    }
  }

  // The format's document reads the flag as 1 = little-endian, yet common capture programs
  // write little-endian samples with 0. The data decide; the flag only breaks a tie.
  L.littleEndian = h.littleEndian != 0;
  if (L.bytesPerSample == 2) {
    const bool flagLittle = h.littleEndian != 0;
    const uint8_t* f = data + L.frameOffset(L.frames / 2);
    const size_t samples = L.frameBytes / 2;
    const size_t step = static_cast<size_t>(L.planes) * (L.colour == SerColour::Bayer ? 2 : 1);
    const OrderEvidence le = Evidence(f, samples, step, true, h.depth), be = Evidence(f, samples, step, false, h.depth);
    int choice = 0;  // 1 little, -1 big, 0 undecided
    if (le.outOfRange != be.outOfRange) choice = le.outOfRange < be.outOfRange ? 1 : -1;
    else if (le.roughness * 3 < be.roughness * 2) choice = 1;
    else if (be.roughness * 3 < le.roughness * 2) choice = -1;
    if (choice == 0) {
      L.littleEndian = flagLittle;
      L.byteOrderNote = std::string(flagLittle ? "little" : "big") + "-endian (by the header flag " +
                        std::to_string(h.littleEndian) + "; the data do not tell)";
    } else {
      L.littleEndian = choice > 0;
      L.byteOrderNote = std::string(L.littleEndian ? "little" : "big") + "-endian (from the data" +
                        (L.littleEndian == flagLittle ? ", as the header flag says)" : "; the header flag " +
                                                                                        std::to_string(h.littleEndian) + " says otherwise)");
    }
  }
  return L;
}

std::string SerTimeText(int64_t ticks) {
  // Ticks of 0001-01-01 at the Unix epoch.
  constexpr int64_t kEpoch = 621355968000000000LL;
  if (ticks <= kEpoch || ticks > kEpoch + int64_t(20000) * 365 * 86400 * 10000000LL) return "";
  const int64_t since = ticks - kEpoch;
  const std::time_t secs = static_cast<std::time_t>(since / 10000000);
  std::tm tm{};
  if (!gmtime_r(&secs, &tm)) return "";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(since % 10000000 / 10000));
  return buf;
}

std::string DescribeSer(const SerLayout& L) {
  const SerHeader& h = L.header;
  std::string colour = L.colour == SerColour::Mono  ? "mono"
                       : L.colour == SerColour::Rgb ? "RGB"
                       : L.colour == SerColour::Bgr ? "BGR"
                                                    : std::string("Bayer ") + PatternName(L.pattern);
  std::string s = "SER " + colour + " " + std::to_string(h.depth) + "-bit " + std::to_string(h.width) + "x" +
                  std::to_string(h.height) + ", " + std::to_string(L.frames) + " frames";
  if (L.bytesPerSample == 2) s += ", " + L.byteOrderNote;
  auto field = [&](const char* name, const std::string& v) {
    if (!v.empty()) s += std::string(", ") + name + " \"" + v + "\"";
  };
  field("observer", h.observer);
  field("instrument", h.instrument);
  field("telescope", h.telescope);
  const std::string when = SerTimeText(h.dateTimeUtc != 0 ? h.dateTimeUtc : h.dateTime);
  if (!when.empty()) s += ", recorded " + when + (h.dateTimeUtc != 0 ? " UTC" : "");
  if (!L.timeStamps.empty()) {
    const std::string first = SerTimeText(L.timeStamps.front());
    const double span = static_cast<double>(L.timeStamps.back() - L.timeStamps.front()) * 1e-7;
    if (!first.empty()) {
      char buf[96];
      std::snprintf(buf, sizeof buf, ", time stamps from %s UTC over %.3f s", first.c_str(), span);
      s += buf;
      if (span > 0 && L.frames > 1) {
        std::snprintf(buf, sizeof buf, " (%.2f frames/s)", (L.frames - 1) / span);
        s += buf;
      }
    } else {
      s += ", time stamps unreadable";
    }
  }
  for (const std::string& n : L.notes) s += "; " + n;
  return s;
}

std::vector<uint8_t> WriteSerBytes(const SerWriteOptions& o, const std::vector<uint16_t>& samples, int32_t frames) {
  const int planes = o.colorId >= 100 ? 3 : 1;
  const int bps = o.depth <= 8 ? 1 : 2;
  const size_t perFrame = static_cast<size_t>(o.width) * o.height * planes;
  std::vector<uint8_t> b(kSerHeaderSize + perFrame * bps * frames + o.timeStamps.size() * 8);
  std::memcpy(b.data(), kFileId, 14);
  Put32(b, 14, 0);
  Put32(b, 18, o.colorId);
  Put32(b, 22, o.littleEndianFlag);
  Put32(b, 26, o.width);
  Put32(b, 30, o.height);
  Put32(b, 34, o.depth);
  Put32(b, 38, frames);
  auto text = [&](size_t at, const std::string& t) { std::memcpy(b.data() + at, t.data(), std::min<size_t>(t.size(), 40)); };
  text(42, o.observer);
  text(82, o.instrument);
  text(122, o.telescope);
  Put64(b, 162, o.dateTime);
  Put64(b, 170, o.dateTimeUtc);
  uint8_t* p = b.data() + kSerHeaderSize;
  const size_t n = std::min(samples.size(), perFrame * frames);
  for (size_t i = 0; i < n; ++i) {
    const uint16_t v = samples[i];
    if (bps == 1) {
      *p++ = static_cast<uint8_t>(v);
    } else if (o.littleEndianData) {
      *p++ = static_cast<uint8_t>(v);
      *p++ = static_cast<uint8_t>(v >> 8);
    } else {
      *p++ = static_cast<uint8_t>(v >> 8);
      *p++ = static_cast<uint8_t>(v);
    }
  }
  p = b.data() + kSerHeaderSize + perFrame * bps * frames;
  for (size_t k = 0; k < o.timeStamps.size(); ++k) Put64(b, static_cast<size_t>(p - b.data()) + 8 * k, o.timeStamps[k]);
  return b;
}

}  // namespace frames
