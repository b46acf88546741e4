#pragma once
// TIFF LZW (the TIFF 6.0 variant): codes 0..255 are bytes, 256 Clear, 257 End of Information,
// new strings from 258; codes packed most significant bit first, 9 to 12 bits wide, the width
// growing one code early ("early change") as TIFF readers expect.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace formats {

constexpr unsigned LzwClear = 256;
constexpr unsigned LzwEndOfInformation = 257;

class TLZW {
 public:
  TLZW();
  ~TLZW();
  TLZW(const TLZW&) = delete;
  TLZW& operator=(const TLZW&) = delete;

  // Decodes one strip into out[0 .. outSize). Stops at End of Information, at the end of the
  // input, at a code that is not defined yet, at a run of more than two Clear codes, or when
  // the output is full; never writes past
  // outSize (bytes past the returned count may be set to zero). Returns the bytes written.
  size_t Decode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);

  // Encodes size bytes and appends the code stream (Clear first, End of Information last) to
  // out. Returns the number of bytes appended. The output grows as needed, so incompressible
  // data cannot overflow it.
  size_t Encode(const uint8_t* in, size_t size, std::vector<uint8_t>& out);

 private:
  size_t DecodeCodes(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t& dirty);

  // Decoder: every string is also somewhere in the output already, so a code is stored as
  // (offset into the output, length) and decoding it is a copy.
  uint32_t decStart_[4096];
  uint16_t decLength_[4096];
  // Encoder: an open-addressing hash of (prefix code, byte) -> code, small enough to stay in
  // the cache; each slot holds (prefix << 8 | byte) << 12 | code, 0 when empty.
  static constexpr int HashBits = 14;
  std::unique_ptr<uint32_t[]> hash_;
};

size_t LzwDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);
std::vector<uint8_t> LzwEncode(const uint8_t* in, size_t size);

}  // namespace formats
