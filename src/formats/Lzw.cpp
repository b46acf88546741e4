#include "formats/Lzw.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace formats {

namespace {

// Code width for the next code once the next free code is 'next' (encoder side), or
// 'next + 1' (decoder side, which lags one code behind).
inline int WidthFor(unsigned next) { return next <= 511 ? 9 : next <= 1023 ? 10 : next <= 2047 ? 11 : 12; }

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void put(unsigned code, int width) {
    acc_ = (acc_ << width) | code;
    bits_ += width;
    while (bits_ >= 8) {
      bits_ -= 8;
      out_.push_back(static_cast<uint8_t>(acc_ >> bits_));
    }
  }
  void flush() {
    if (bits_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - bits_)));
    bits_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

// The tables need no clearing: a decoder entry is written before its code can be used, and an
// encoder entry is trusted only when its code is assigned (below next) with the same prefix.
TLZW::TLZW() = default;

void TLZW::FreeDeleter::operator()(uint16_t* p) const { std::free(p); }

TLZW::~TLZW() = default;

size_t TLZW::Decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  if (outSize > UINT32_MAX) outSize = UINT32_MAX;  // offsets in the table are 32-bit
  size_t dirty = 0;  // end of the bytes the fixed-size copies may have touched
  size_t op = DecodeCodes(in, inSize, out, outSize, dirty);
  if (dirty > op) std::memset(out + op, 0, dirty - op);
  return op;
}

size_t TLZW::DecodeCodes(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t& dirty) {
  size_t op = 0, ip = 0;
  uint64_t acc = 0;
  int bits = 0;
  int width = 9;
  unsigned mask = 511;
  unsigned next = 258;
  bool havePrev = false;
  size_t prevStart = 0, prevLength = 0;

  for (;;) {
    while (bits < width) {
      if (ip >= inSize) return op;
      acc = (acc << 8) | in[ip++];
      bits += 8;
    }
    bits -= width;
    unsigned code = static_cast<unsigned>(acc >> bits) & mask;

    if (code == LzwClear) {
      width = 9;
      mask = 511;
      next = 258;
      havePrev = false;
      continue;
    }
    if (code == LzwEndOfInformation) return op;
    if (op >= outSize) return op;

    size_t start = op, length;
    if (code < 256) {
      out[op++] = static_cast<uint8_t>(code);
      length = 1;
    } else if (!havePrev) {
      return op;  // only a byte may follow Clear
    } else if (code < next) {
      length = decLength_[code];
      const uint8_t* src = out + decStart_[code];
      if (length > outSize - op) {
        std::memcpy(out + op, src, outSize - op);
        return outSize;
      }
      if (length <= 16 && outSize - op >= 16) {
        // A fixed 16-byte copy is cheaper than a variable-length one; the bytes beyond the
        // string are overwritten by the next strings or cleared at the end.
        uint8_t tmp[16];
        std::memcpy(tmp, src, 16);
        std::memcpy(out + op, tmp, 16);
        if (op + 16 > dirty) dirty = op + 16;
      } else {
        std::memcpy(out + op, src, length);
      }
      op += length;
    } else if (code == next) {
      // The string not yet in the table: previous string + its own first byte.
      length = prevLength + 1;
      if (length > outSize - op) {
        size_t n = outSize - op;
        std::memcpy(out + op, out + prevStart, n < prevLength ? n : prevLength);
        if (n > prevLength) out[op + prevLength] = out[prevStart];
        return outSize;
      }
      std::memcpy(out + op, out + prevStart, prevLength);
      out[op + prevLength] = out[prevStart];
      op += length;
    } else {
      return op;  // a code beyond the table ends the strip
    }

    if (havePrev && next < 4096) {
      // previous string + first byte of this one, which follows it directly in the output
      decStart_[next] = static_cast<uint32_t>(prevStart);
      decLength_[next] = static_cast<uint16_t>(prevLength + 1);
      ++next;
      int w = WidthFor(next + 1);
      if (w != width) {
        width = w;
        mask = (1u << w) - 1;
      }
    }
    havePrev = true;
    prevStart = start;
    prevLength = length;
  }
}

size_t TLZW::Encode(const uint8_t* in, size_t size, std::vector<uint8_t>& out) {
  size_t before = out.size();
  out.reserve(before + size + size / 2 + 16);
  BitWriter w(out);
  int width = 9;
  unsigned next = 258;
  w.put(LzwClear, width);
  if (size == 0) {
    w.put(LzwEndOfInformation, width);
    w.flush();
    return out.size() - before;
  }
  if (!child_) {
    // calloc: a large block comes as fresh zero pages, so nothing is written up front
    child_.reset(static_cast<uint16_t*>(std::calloc(4096 * 256, sizeof(uint16_t))));
    if (!child_) throw std::bad_alloc();
  }
  uint16_t* child = child_.get();
  unsigned string = in[0];
  for (size_t i = 1; i < size; ++i) {
    unsigned b = in[i];
    unsigned c = child[(string << 8) | b];
    if (c >= 258 && c < next && encPrefix_[c] == string && encByte_[c] == b) {
      string = c;
      continue;
    }
    w.put(string, width);
    child[(string << 8) | b] = static_cast<uint16_t>(next);
    encPrefix_[next] = static_cast<uint16_t>(string);
    encByte_[next] = static_cast<uint8_t>(b);
    if (next == 4093) {
      w.put(LzwClear, 12);
      width = 9;
      next = 258;
    } else {
      ++next;
      width = WidthFor(next);
    }
    string = b;
  }
  w.put(string, width);
  // The decoder adds one more string after reading the last code and may widen before it
  // reads End of Information.
  w.put(LzwEndOfInformation, WidthFor(next + 1));
  w.flush();
  return out.size() - before;
}

size_t LzwDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize) {
  TLZW lzw;
  return lzw.Decode(in, inSize, out, outSize);
}

std::vector<uint8_t> LzwEncode(const uint8_t* in, size_t size) {
  std::vector<uint8_t> out;
  TLZW lzw;
  lzw.Encode(in, size, out);
  return out;
}

}  // namespace formats
