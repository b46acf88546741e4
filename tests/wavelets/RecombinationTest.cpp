// Recombination and the display pass against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "WaveletTestPlanes.h"
#include "wavelets/Recombination.h"
#include "wavelets/ParallelRows.h"

namespace {

using frames::Single2dArray;
using namespace wavelets;

struct Planes {
  std::array<Single2dArray, 3> colour;
  std::array<Single2dArray, 4> stack;
  std::vector<Single2dArray> layers;
  Planes(int W, int H, int side) : layers(21) {
    for (auto& p : colour) p.Create(W + 10, H + 10);
    for (auto& p : stack) p.Create(W + 10, H + 10);
    for (auto& p : layers) p.Create(side, side);
  }
};

std::array<double, 1001> GammaOne() {
  std::array<double, 1001> c{};
  for (int i = 0; i <= 1000; ++i) c[i] = i / 1000.0 + 0.000001;
  return c;
}

TEST(RecombineTest, GainsThresholdsAndLayerBoxes) {
  Planes p(4, 1, 4);
  const AreaRect a = ClampArea(0, 0, 4, 1, 4, 1);
  for (int x = 0; x < 4; ++x) p.colour[1].Set(x, 0, 100);
  const float d1[4] = {5, -5, 0.5f, -0.5f}, d2[4] = {2, 2, 2, 2};
  for (int x = 0; x < 4; ++x) {
    p.layers[1 * 3 + 1].Set(x, 0, d1[x]);
    p.layers[2 * 3 + 1].Set(x, 0, d2[x]);
  }
  RecombineSettings s;
  for (int n = 1; n <= 6; ++n) s.on[n] = n <= 2, s.gain[n] = 1;
  Recombine(p.colour, p.layers, a, s);
  for (int x = 0; x < 4; ++x) EXPECT_FLOAT_EQ(p.layers[1].Get(x, 0), 100 + d1[x] + 2);

  // Layer 1 at gain 3, shrunk by 1: 5 -> 3 x 4, -5 -> 3 x -4, |0.5| <= 1 adds nothing.
  s.gain[1] = 3;
  s.marked[1] = true;
  s.threshold[1] = 1;
  Recombine(p.colour, p.layers, a, s);
  const float shrunk[4] = {112 + 2, 88 + 2, 102, 102};
  for (int x = 0; x < 4; ++x) EXPECT_FLOAT_EQ(p.layers[1].Get(x, 0), shrunk[x]) << x;

  // A marked layer with threshold 0 is dropped; an unchecked layer adds nothing at any gain.
  s.threshold[1] = 0;
  s.on[2] = false;
  s.gain[2] = 50;
  Recombine(p.colour, p.layers, a, s);
  for (int x = 0; x < 4; ++x) EXPECT_FLOAT_EQ(p.layers[1].Get(x, 0), 100);

  // All gains 0: the residual alone.
  s = RecombineSettings{};
  for (int n = 1; n <= 6; ++n) s.on[n] = true;
  Recombine(p.colour, p.layers, a, s);
  for (int x = 0; x < 4; ++x) EXPECT_FLOAT_EQ(p.layers[1].Get(x, 0), 100);
}

// Every kind of layer term against a plain per-pixel sum, bit for bit, over a width that
// leaves a remainder after whole vectors; values sit on and around the thresholds.
TEST(RecombineTest, MatchesAPlainSumForEveryKindOfLayer) {
  const int W = 37, H = 3;
  Planes p(W, H, W);
  const float pick[8] = {0.5f, -0.5f, 0.75f, -0.75f, 0.0f, -0.0f, 3.25f, -2.5f};
  uint32_t r = 99;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int i = 1; i < 21; ++i) {
        r = r * 1664525u + 1013904223u;
        p.layers[i].Set(x, y, (r >> 29) == 0 ? (r >> 8) % 1000 * 0.01f - 5 : pick[(r >> 8) & 7]);
        if (i < 4) p.colour[i - 1].Set(x, y, (r >> 12) % 500 * 0.5f);
      }
  RecombineSettings s;
  s.colour = true;
  const float gains[7] = {0, 1.5f, 0.8f, 2.0f, 3.0f, 1.0f, -0.7f};
  for (int n = 1; n <= 6; ++n) s.on[n] = n != 5, s.gain[n] = gains[n];
  s.marked[2] = true, s.threshold[2] = 0.5f;    // shrunk
  s.marked[3] = true, s.threshold[3] = -0.75f;  // a negative threshold moves values away from zero
  s.marked[4] = true, s.threshold[4] = 0;       // dropped
  Recombine(p.colour, p.layers, ClampArea(0, 0, W, H, W, H), s);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        float acc = p.colour[c].Get(x, y);
        for (int n = 1; n <= 6; ++n) {
          if (!s.on[n] || n == 4) continue;
          const float e = p.layers[n * 3 + c].Get(x, y), g = s.gain[n], t = s.threshold[n];
          if (n == 2) acc += g * (e > t ? e - t : e < -t ? e + t : 0.0f);
          else if (n == 3 && e < 0) acc += g * (e + t);
          else if (n == 3 && e > 0) acc += g * (e - t);
          else if (n != 3) acc += g * e;
        }
        const float got = p.layers[c].Get(x, y);
        ASSERT_EQ(std::memcmp(&got, &acc, sizeof acc), 0) << c << " " << x << " " << y;
      }
}

TEST(DisplayRectTest, InnerEdgesLoseTheMarginImageEdgesDoNot) {
  const AreaRect inner = DisplayRect(ClampArea(100, 50, 200, 200, 1000, 800), 1000, 800, 6);
  EXPECT_EQ(inner.x0, 106);
  EXPECT_EQ(inner.y0, 56);
  EXPECT_EQ(inner.x1, 293);
  EXPECT_EQ(inner.y1, 243);
  const AreaRect corner = DisplayRect(ClampArea(900, 0, 512, 512, 1000, 800), 1000, 800, 6);
  EXPECT_EQ(corner.x0, 906);
  EXPECT_EQ(corner.y0, 0);
  EXPECT_EQ(corner.x1, 999);
  EXPECT_EQ(corner.y1, 505);
}

// Stack range 0..255, contrast 100, gamma 1: value 51 gives index Round(51 x 1000 / 255.000001)
// = 200, tone 0.200001 x 255 = 51.000255: byte 51, word Round(51.000255 x 255) = 13005.
TEST(DisplayPassTest, ToneBytesWordsAndHistogramsByHand) {
  const int W = 3, H = 2;
  Planes p(W, H, 8);
  const auto curve = GammaOne();
  const float values[3] = {51, 300, -20};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      p.layers[1].Set(x, y, values[x]);
      p.colour[1].Set(x, y, values[x]);
    }
  formats::TTIFFBitMap out;
  out.Allocate48(W + 1, H + 1);
  ui::Bitmap24 pic(W, H);
  Histograms hist{};
  DisplaySettings s;
  s.curve = &curve;
  const AreaRect a = ClampArea(0, 0, W, H, W, H);
  DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hist);
  EXPECT_EQ(pic.pixel(0, 0), ui::Color(51, 51, 51));  // mono: red and blue copy green
  EXPECT_EQ(out.row16(0)[0], 13005);
  EXPECT_EQ(out.row16(0)[1], 13005);
  EXPECT_EQ(pic.pixel(1, 0), ui::Color(255, 255, 255));  // index limited to 1000
  EXPECT_EQ(out.row16(0)[3], 65025);                      // 255.000255 x 255 = 65025.07
  EXPECT_EQ(pic.pixel(2, 1), ui::Color(0, 0, 0));
  EXPECT_EQ(hist[1][51], 2);
  EXPECT_EQ(hist[1][255], 2);
  EXPECT_EQ(hist[1][0], 2);
  EXPECT_EQ(hist[0], hist[1]);

  // Contrast 200 doubles the index: 51 -> 400, 0.400001 x 255 = 102.000255.
  s.contrast = 200;
  s.brightness = 10;  // + 10 before the levels
  s.levelLow = 10;
  s.levelHigh = 265;  // (p - 10) / 255 x 255 = p - 10
  DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hist);
  EXPECT_EQ(pic.pixel(0, 0).g, 102);

  // Colour balance: offset 10, multiplier 0.5 on green: (10 + 51.000255) x 0.5 = 30.5 -> 31.
  s = DisplaySettings{};
  s.curve = &curve;
  s.offset[1] = 10;
  s.channelGain[1] = 0.5;
  s.showGreen = false;  // the page shows red and blue only, the 16-bit copy keeps green
  DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hist);
  EXPECT_EQ(pic.pixel(0, 0), ui::Color(31, 0, 31));
  EXPECT_EQ(out.row16(0)[1], 7778);  // 30.5001275 x 255 = 7777.53
}

TEST(DisplayPassTest, LrgbTakesTheColourFromTheShiftedStack) {
  const int W = 2, H = 1;
  Planes p(W, H, 4);
  const auto curve = GammaOne();
  p.layers[1].Set(0, 0, 51);  // sharpened luminance -> J = 51.000255
  p.stack[0].Set(1, 0, 20);   // red read one pixel to the right
  p.stack[1].Set(0, 0, 10);
  p.stack[2].Set(0, 0, 30);
  formats::TTIFFBitMap out;
  out.Allocate48(W + 1, H + 1);
  ui::Bitmap24 pic(W, H);
  Histograms hist{};
  DisplaySettings s;
  s.mode = DisplayMode::Lrgb;
  s.curve = &curve;
  s.dxR = 1;
  s.showRed = s.showGreen = s.showBlue = false;  // ignored in LRGB
  const AreaRect a = ClampArea(0, 0, 1, 1, W, H);
  DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hist);
  // r = 20 / 60.0001, so red = r x 3 x J = 51.0000; green 25.5001; blue 76.5001.
  EXPECT_EQ(pic.pixel(0, 0), ui::Color(51, 26, 77));
  EXPECT_EQ(hist[0][51], 1);
  EXPECT_EQ(hist[1][26], 1);
  EXPECT_EQ(hist[2][77], 1);
}

TEST(DisplayPassTest, AntiRingingPutsTheResidualBackInDarkPlaces) {
  const int W = 2, H = 1;
  Planes p(W, H, 4);
  const auto curve = GammaOne();
  p.layers[1].Set(0, 0, -3);  // a dark halo
  p.colour[1].Set(0, 0, 2);
  p.layers[1].Set(1, 0, 40);
  p.colour[1].Set(1, 0, 35);
  formats::TTIFFBitMap out;
  out.Allocate48(W + 1, H + 1);
  ui::Bitmap24 pic(W, H);
  Histograms hist{};
  DisplaySettings s;
  s.curve = &curve;
  s.antiRing = true;
  s.antiRingLevel = 0;  // only negative sharpened luminance is replaced
  const AreaRect a = ClampArea(0, 0, W, H, W, H);
  DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hist);
  EXPECT_FLOAT_EQ(p.layers[1].Get(0, 0), 2);
  EXPECT_FLOAT_EQ(p.layers[1].Get(1, 0), 40);
  EXPECT_EQ(pic.pixel(0, 0).g, 2);
}

TEST(DisplayPassTest, SameBitsForOneAndTwoWorkers) {
  const int W = 200, H = 150;
  const auto curve = GammaOne();
  std::vector<uint8_t> pics[2];
  std::vector<uint16_t> words[2];
  Histograms hists[2];
  for (int run = 0; run < 2; ++run) {
    SetWaveletThreads(run + 1);
    Planes p(W, H, 200);
    for (int c = 0; c < 3; ++c) {
      wavetest::FillPattern(p.colour[c], W, H, 7 + c);
      wavetest::FillPattern(p.layers[c], W, H, 11 + c);
    }
    formats::TTIFFBitMap out;
    out.Allocate48(W + 1, H + 1);
    ui::Bitmap24 pic(W, H);
    DisplaySettings s;
    s.mode = DisplayMode::Colour;
    s.curve = &curve;
    s.antiRing = true;
    s.antiRingLevel = 50;
    const AreaRect a = ClampArea(0, 0, W, H, W, H);
    DisplayPass(p.layers, p.colour, p.stack, a, a, W, H, s, pic, out, hists[run]);
    pics[run].assign(pic.data(), pic.data() + pic.byteSize());
    for (int y = 0; y < H; ++y) words[run].insert(words[run].end(), out.row16(y), out.row16(y) + 3 * W);
  }
  SetWaveletThreads(0);
  EXPECT_EQ(pics[0], pics[1]);
  EXPECT_EQ(words[0], words[1]);
  EXPECT_EQ(hists[0], hists[1]);
  long long total = 0;
  for (int v : hists[0][0]) total += v;
  EXPECT_EQ(total, W * H);
}


struct MoveResult {
  std::vector<float> sums;
  std::vector<uint8_t> pic;
  std::vector<uint16_t> words;
  Histograms hist;
};

// One slider move over an inner area of a 230 x 170 picture, as two passes or as one sweep.
MoveResult Move(DisplayMode mode, bool oneSweep) {
  const int W = 230, H = 170;
  const auto curve = GammaOne();
  Planes p(W, H, 200);
  for (int c = 0; c < 3; ++c) {
    wavetest::FillPattern(p.colour[c], W, H, 7 + c);
    wavetest::FillPattern(p.stack[c], W, H, 17 + c);
  }
  for (int i = 3; i < 21; ++i) wavetest::FillPattern(p.layers[i], 200, 200, 30 + i);
  for (int i = 3; i < 21; ++i)
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x) p.layers[i].Set(x, y, (p.layers[i].Get(x, y) - 80) * 0.2f);
  RecombineSettings rs;
  rs.colour = mode == DisplayMode::Colour;
  for (int n = 1; n <= 6; ++n) rs.on[n] = true, rs.gain[n] = 0.5f * n;
  rs.marked[1] = true, rs.threshold[1] = 2;
  DisplaySettings ds;
  ds.mode = mode;
  ds.curve = &curve;
  ds.antiRing = true;
  ds.antiRingLevel = 60;
  ds.dxR = 2, ds.dyB = -1;
  const AreaRect a = ClampArea(13, 21, 199, 140, W, H);
  const AreaRect rect = DisplayRect(a, W, H, 6);
  formats::TTIFFBitMap out;
  out.Allocate48(150, H + 1);  // narrower than the area: words stop at its edge
  ui::Bitmap24 pic(W, H);
  MoveResult m;
  if (oneSweep) {
    RecombineAndDisplay(p.colour, p.layers, p.stack, a, rect, W, H, rs, ds, pic, out, m.hist);
  } else {
    Recombine(p.colour, p.layers, a, rs);
    DisplayPass(p.layers, p.colour, p.stack, a, rect, W, H, ds, pic, out, m.hist);
  }
  for (int c = rs.colour ? 0 : 1; c <= (rs.colour ? 2 : 1); ++c)
    for (int v = 0; v < a.height(); ++v)
      m.sums.insert(m.sums.end(), p.layers[c].Row(v), p.layers[c].Row(v) + a.width());
  m.pic.assign(pic.data(), pic.data() + pic.byteSize());
  for (int y = 0; y < H; ++y) m.words.insert(m.words.end(), out.row16(y), out.row16(y) + 3 * 150);
  return m;
}

TEST(RecombineAndDisplayTest, OneSweepGivesWhatTheTwoPassesGive) {
  for (const DisplayMode mode : {DisplayMode::Mono, DisplayMode::Colour, DisplayMode::Lrgb}) {
    SetWaveletThreads(1);
    const MoveResult two = Move(mode, false);
    for (int threads : {1, 2, 3}) {
      SetWaveletThreads(threads);
      const MoveResult one = Move(mode, true);
      const int m = static_cast<int>(mode);
      EXPECT_EQ(0, std::memcmp(one.sums.data(), two.sums.data(), two.sums.size() * sizeof(float))) << m << threads;
      EXPECT_EQ(one.pic, two.pic) << m << threads;
      EXPECT_EQ(one.words, two.words) << m << threads;
      EXPECT_EQ(one.hist, two.hist) << m << threads;
    }
  }
  SetWaveletThreads(0);
}

}  // namespace
