#include "formats/Lzw.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace formats {

namespace {

// Code width for the next code once the next free code is 'next' (encoder side), or
// 'next + 1' (decoder side, which lags one code behind).
inline int WidthFor(unsigned next) { return next <= 511 ? 9 : next <= 1023 ? 10 : next <= 2047 ? 11 : 12; }

// Writes codes MSB first into a buffer sized for the worst case up front.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out), p_(out) {}
  void put(unsigned code, int width) {
    acc_ = (acc_ << width) | code;
    bits_ += width;
    while (bits_ >= 8) {
      bits_ -= 8;
      *p_++ = static_cast<uint8_t>(acc_ >> bits_);
    }
  }
  size_t finish() {
    if (bits_ > 0) *p_++ = static_cast<uint8_t>(acc_ << (8 - bits_));
    bits_ = 0;
    return size_t(p_ - out_);
  }

 private:
  uint8_t* out_;
  uint8_t* p_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

inline uint32_t HashSlot(uint32_t key, int bits) { return (key * 2654435761u) >> (32 - bits); }

}  // namespace

// The decoder's tables need no clearing: an entry is written before its code can be used.
TLZW::TLZW() = default;
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
  int clearsInARow = 0;
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
      // Clear codes in a row output nothing; a run of them is junk, and stopping keeps the
      // work bounded by the output even when many strips share one stream.
      if (!havePrev && ++clearsInARow > 2) return op;
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
      if (length > outSize - op) {  // the room left is at most prevLength
        std::memcpy(out + op, out + prevStart, outSize - op);
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
    clearsInARow = 0;
    prevStart = start;
    prevLength = length;
  }
}

size_t TLZW::Encode(const uint8_t* in, size_t size, std::vector<uint8_t>& out) {
  // At most one 12-bit code per input byte, plus the Clear codes, the first Clear and the end.
  const size_t before = out.size();
  const size_t bound = (size + size / 3836 + 4) * 12 / 8 + 2;
  out.resize(before + bound);
  BitWriter w(out.data() + before);
  constexpr size_t Slots = size_t(1) << HashBits;
  if (!hash_) hash_.reset(new uint32_t[Slots]);
  uint32_t* hash = hash_.get();
  std::memset(hash, 0, Slots * sizeof(uint32_t));

  int width = 9;
  unsigned next = 258;
  w.put(LzwClear, width);
  if (size == 0) {
    w.put(LzwEndOfInformation, width);
    out.resize(before + w.finish());
    return out.size() - before;
  }
  unsigned string = in[0];
  for (size_t i = 1; i < size; ++i) {
    const unsigned b = in[i];
    const uint32_t key = uint32_t(string) << 8 | b;
    uint32_t slot = HashSlot(key, HashBits);
    uint32_t e;
    while ((e = hash[slot]) != 0 && (e >> 12) != key) slot = (slot + 1) & (Slots - 1);
    if (e != 0) {
      string = e & 0xFFF;
      continue;
    }
    w.put(string, width);
    if (next == 4093) {
      // The table is full: start again with single bytes.
      w.put(LzwClear, 12);
      std::memset(hash, 0, Slots * sizeof(uint32_t));
      width = 9;
      next = 258;
    } else {
      hash[slot] = key << 12 | next;
      ++next;
      width = WidthFor(next);
    }
    string = b;
  }
  w.put(string, width);
  // The decoder adds one more string after reading the last code and may widen before it
  // reads End of Information.
  w.put(LzwEndOfInformation, WidthFor(next + 1));
  out.resize(before + w.finish());
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
