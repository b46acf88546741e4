// LZW decoder on arbitrary codes with a bounded output (the first two bytes give its size),
// checked for overruns by a guard zone; and encode/decode round trips of the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/Lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t limit = size_t(data[0] | data[1] << 8);
  std::vector<uint8_t> out(limit + 32, 0xA5);
  size_t n = formats::LzwDecode(data + 2, size - 2, out.data(), limit);
  if (n > limit) std::abort();
  for (size_t i = limit; i < out.size(); ++i)
    if (out[i] != 0xA5) std::abort();

  std::vector<uint8_t> coded = formats::LzwEncode(data, size);
  std::vector<uint8_t> back(size);
  if (formats::LzwDecode(coded.data(), coded.size(), back.data(), back.size()) != size) std::abort();
  if (std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
