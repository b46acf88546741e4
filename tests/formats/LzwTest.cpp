#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "formats/Lzw.h"

namespace {

using formats::LzwDecode;
using formats::LzwEncode;

// Unpacks MSB-first codes with the decoder's width rule, up to End of Information.
std::vector<unsigned> Codes(const std::vector<uint8_t>& s) {
  std::vector<unsigned> out;
  size_t bit = 0;
  unsigned next = 258;
  bool first = true;
  for (;;) {
    int width = next + 1 <= 511 ? 9 : next + 1 <= 1023 ? 10 : next + 1 <= 2047 ? 11 : 12;
    if (bit + width > s.size() * 8) break;
    unsigned c = 0;
    for (int i = 0; i < width; ++i, ++bit) c = c << 1 | ((s[bit / 8] >> (7 - bit % 8)) & 1);
    out.push_back(c);
    if (c == 257) break;
    if (c == 256) {
      next = 258;
      first = true;
      continue;
    }
    if (!first && next < 4096) ++next;
    first = false;
  }
  return out;
}

std::vector<uint8_t> Pseudo(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1664525u + 1013904223u;
    b = uint8_t(seed >> 24);
  }
  return v;
}

// Bytes of a smooth 16-bit picture with a little noise, as a camera gives.
std::vector<uint8_t> SmoothImage16(int w, int h) {
  std::vector<uint8_t> v;
  uint32_t seed = 7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int s = 30000 + int(20000 * std::sin(x / 37.0) * std::cos(y / 53.0)) + int(seed >> 29);
      v.push_back(uint8_t(s));
      v.push_back(uint8_t(s >> 8));
    }
  return v;
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
  std::vector<uint8_t> out(in.size());
  size_t n = LzwDecode(coded.data(), coded.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

TEST(Lzw, TiffStandardExample_GivesTheDocumentedCodes) {
  std::vector<uint8_t> in = {7, 7, 7, 8, 8, 7, 7, 6, 6};
  std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
  EXPECT_EQ(Codes(coded), (std::vector<unsigned>{256, 7, 258, 8, 8, 258, 6, 6, 257}));
  EXPECT_EQ(coded.size(), (9u * 9 + 7) / 8);  // nine 9-bit codes, last byte partly filled
  EXPECT_EQ(RoundTrip(in), in);
}

TEST(Lzw, EmptyInput_IsClearAndEndOfInformation) {
  std::vector<uint8_t> coded = LzwEncode(nullptr, 0);
  EXPECT_EQ(Codes(coded), (std::vector<unsigned>{256, 257}));
  uint8_t out[4] = {1, 2, 3, 4};
  EXPECT_EQ(LzwDecode(coded.data(), coded.size(), out, 4), 0u);
}

TEST(Lzw, RoundTrips_RunsNoiseAndSmoothImages) {
  std::vector<uint8_t> run(100000, 0xAB);  // long runs exercise the code-equals-next case
  EXPECT_EQ(RoundTrip(run), run);
  std::vector<uint8_t> noise = Pseudo(200000, 1);
  EXPECT_EQ(RoundTrip(noise), noise);
  std::vector<uint8_t> smooth = SmoothImage16(300, 200);
  EXPECT_EQ(RoundTrip(smooth), smooth);
}

TEST(Lzw, EveryLengthAroundTheWidthChanges_RoundTrips) {
  // Incompressible input assigns one code per byte, so these lengths end the stream just
  // before, at and after each width change (including the End of Information width).
  for (size_t n : {250, 251, 252, 253, 254, 255, 256, 257, 764, 765, 766, 767, 768, 1788, 1789, 1790, 1791, 1792,
                   3834, 3835, 3836, 3837, 3838, 3839, 3840, 7600, 7700}) {
    std::vector<uint8_t> in = Pseudo(n, uint32_t(n));
    ASSERT_EQ(RoundTrip(in), in) << n;
    std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
    ASSERT_EQ(Codes(coded).back(), 257u) << "End of Information at the wrong width, length " << n;
  }
}

TEST(Lzw, FullTable_IsClearedAndDecodedAcrossClears) {
  std::vector<uint8_t> in = SmoothImage16(512, 256);
  std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
  std::vector<unsigned> codes = Codes(coded);
  size_t clears = 0;
  for (unsigned c : codes) clears += c == 256;
  EXPECT_GT(clears, 3u);
  EXPECT_EQ(codes.back(), 257u);
  for (unsigned c : codes) ASSERT_LT(c, 4094u);  // the encoder clears after code 4093
  EXPECT_EQ(RoundTrip(in), in);
}

TEST(Lzw, IncompressibleInput_GrowsPastOneAndAHalfTimesWithoutHarm) {
  std::vector<uint8_t> in = Pseudo(3000, 99);
  std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
  EXPECT_GT(coded.size(), in.size());
  EXPECT_EQ(RoundTrip(in), in);
}

TEST(Lzw, OutputBufferSmallerThanData_IsFilledAndNeverOverrun) {
  std::vector<uint8_t> in = SmoothImage16(100, 50);
  std::vector<uint8_t> coded = LzwEncode(in.data(), in.size());
  for (size_t limit : {size_t(1), size_t(17), size_t(999), in.size() - 1}) {
    std::vector<uint8_t> out(limit + 64, 0xEE);
    size_t n = LzwDecode(coded.data(), coded.size(), out.data(), limit);
    ASSERT_EQ(n, limit);
    EXPECT_EQ(0, std::memcmp(out.data(), in.data(), limit));
    for (size_t i = limit; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "overrun at " << i;
  }
}

TEST(Lzw, JunkCodes_StopWithoutOverrunning) {
  for (uint32_t seed = 1; seed < 200; ++seed) {
    std::vector<uint8_t> junk = Pseudo(512, seed);
    std::vector<uint8_t> out(1000 + 32, 0xEE);
    size_t n = LzwDecode(junk.data(), junk.size(), out.data(), 1000);
    ASSERT_LE(n, 1000u);
    for (size_t i = 1000; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE);
  }
}

TEST(Lzw, UndefinedCodeAfterClear_EndsTheStrip) {
  // Clear, then 300 (not a byte) at 9 bits: nothing is output.
  std::vector<uint8_t> s = {0x80, 0x4B, 0x00, 0x00};  // 100000000 100101100 ...
  uint8_t out[8] = {};
  EXPECT_EQ(LzwDecode(s.data(), s.size(), out, 8), 0u);
}

TEST(Lzw, RunOfClearCodes_StopsEarly) {
  // 4000 Clear codes (9 bits each), then the byte 'A' and End of Information.
  std::vector<uint8_t> s;
  uint64_t acc = 0;
  int bits = 0;
  auto put = [&](unsigned c) {
    acc = acc << 9 | c;
    bits += 9;
    while (bits >= 8) s.push_back(uint8_t(acc >> (bits -= 8)));
  };
  for (int i = 0; i < 4000; ++i) put(256);
  put('A');
  put(257);
  put(0);
  uint8_t out[4] = {};
  EXPECT_EQ(LzwDecode(s.data(), s.size(), out, 4), 0u);
  // Two Clears in a row are still accepted.
  std::vector<uint8_t> two = {0x80, 0x40, 0x08, 0x30, 0x10};  // 256 256 'A' 257
  EXPECT_EQ(LzwDecode(two.data(), two.size(), out, 4), 1u);
  EXPECT_EQ(out[0], 'A');
}

}  // namespace
