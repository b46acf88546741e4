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
  // input, at a code that is not defined yet, or when the output is full; never writes past
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
  // Encoder: child_[prefix * 256 + byte] is a candidate code for (prefix + byte); it is valid
  // only when that code is currently assigned with this prefix and byte, so the table never
  // needs clearing.
  struct FreeDeleter {
    void operator()(uint16_t* p) const;
  };
  std::unique_ptr<uint16_t, FreeDeleter> child_;  // 2 MB, allocated by the first Encode
  uint16_t encPrefix_[4096];
  uint8_t encByte_[4096];
};

size_t LzwDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);
std::vector<uint8_t> LzwEncode(const uint8_t* in, size_t size);

}  // namespace formats
