// The Wavelet Processing page driven through the form: a stacked capture sharpened closer to
// its noise-free scene, "Do all" equal to a whole-image decomposition, the RGB shift estimate
// finding the generator's dispersion, the filter window's files and the noise window.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "AppFixture.h"
#include "base/Json.h"
#include "base/Numbers.h"
#include "support/Statistics.h"
#include "ui/BmpCodec.h"
#include "wavelets/WaveletController.h"

namespace {

using pxtest::Correlation;
using pxtest::StdDev;

class WaveletScenarioTest : public pxtest::AppFixture {
 protected:
  // Generates a capture, puts the generator's true shifts and sharpness into the frame table
  // and stacks the best `best` frames; ends on the Wavelet Processing page, decomposed.
  void StackCapture(const std::string& options, int frames, int best, bool colour) {
    std::string avi = Generate("cap.avi", options + " --frames " + std::to_string(frames) + " --truth " +
                                              dir.file("truth.json") + " --truth-image " + dir.file("scene.bmp"));
    px::Json truth = px::Json::parse(px::ReadFileText(dir.file("truth.json")));
    const auto& fr = truth["frame"].asArray();
    SelectInput({avi}, 1);
    auto& ws = mf->ws;
    std::vector<int> order(frames);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      return fr[a].find("sharpness")->asNumber() > fr[b].find("sharpness")->asNumber();
    });
    for (int i = 0; i < frames; ++i) {
      auto& r = ws.table[i];
      r.ShiftX = px::Round(fr[i].find("dx")->asNumber());
      r.ShiftY = px::Round(fr[i].find("dy")->asNumber());
      r.Quality = static_cast<float>(fr[i].find("sharpness")->asNumber());
      r.Difference = 0;
    }
    for (int k = 0; k < frames; ++k) ws.table.ranks[k] = {order[k], ws.table[order[k]].Quality, 0};
    get<ui::CheckBox>("ColourStack").setChecked(colour);
    auto& slider = get<ui::Slider>("StackSlider");
    slider.setMax(frames - 1);
    get<ui::CheckBox>("QualStack").setChecked(false);
    slider.setValue(best - 1);
    get<ui::Button>("Stackbutton").userClick();
    form().userSetActivePage(get<ui::Page>("WaveletPage"));
  }
  // The processed plane (group 0, channel c) over the whole image, for an area at (0, 0).
  std::vector<double> Sharpened(int c, int x0, int y0, int w, int h) {
    std::vector<double> v;
    auto& p = mf->ws.planes.Layer(0, c);
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) v.push_back(p.Get(x, y));
    return v;
  }
  std::vector<double> Scene(const ui::Bitmap24& scene, int x0, int y0, int w, int h) {
    std::vector<double> v;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) {
        ui::Color c = scene.pixel(x, y);
        v.push_back(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
      }
    return v;
  }
  std::vector<uint16_t> Words() {
    auto& b = mf->ws.planes.OutputBitmap48;
    std::vector<uint16_t> w;
    for (int y = 0; y < mf->ws.input.ImageHeight; ++y)
      w.insert(w.end(), b.row16(y), b.row16(y) + 3 * mf->ws.input.ImageWidth);
    return w;
  }
  void SlideTo(const std::string& name, int v) { get<ui::Slider>(name).userSetValue(v); }
};

// High-pass: the value less the mean of its 5 x 5 neighbourhood (mid and fine detail).
std::vector<double> HighPass(const std::vector<double>& img, int w, int h) {
  std::vector<double> out;
  for (int y = 2; y < h - 2; ++y)
    for (int x = 2; x < w - 2; ++x) {
      double s = 0;
      for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) s += img[(y + j) * w + x + i];
      out.push_back(img[y * w + x] - s / 25);
    }
  return out;
}

TEST_F(WaveletScenarioTest, SharpenedStackIsCloserToTheSceneWithoutAmplifyingTheSky) {
  const int W = 240, H = 180;
  StackCapture("--size 240x180 --seed 11 --jitter 3 --blur-min 1.2 --blur-max 2.5", 120, 40, false);
  get<ui::ComboBox>("Processarea").userSelect(0);  // "full": the whole image is one area
  get<ui::Button>("ProcessButton").userClick();
  auto& ws = mf->ws;
  ASSERT_FALSE(ws.wavelet.DecompositionStale);
  ASSERT_EQ(ws.wavelet.Width, W);
  const ui::Bitmap24 scene = ui::LoadBmpFile(dir.file("scene.bmp"));
  const int m = 12;  // away from the borders the shifts leave thin
  const std::vector<double> truth = Scene(scene, m, m, W - 2 * m, H - 2 * m);
  const std::vector<double> plain = Sharpened(1, m, m, W - 2 * m, H - 2 * m);
  // Gains 1: the recombination is the stack itself.
  for (int y = 0; y < H; y += 17)
    for (int x = 0; x < W; x += 13)
      ASSERT_NEAR(ws.planes.Layer(0, 1).Get(x, y), ws.planes.StackPlanes[1].Get(x, y), 2e-3);

  const int iw = W - 2 * m, ih = H - 2 * m;
  auto sky = [&] { return StdDev(Sharpened(1, 14, 14, 24, 18)); };  // a corner flat in the scene
  ASSERT_LT(StdDev(Scene(scene, 14, 14, 24, 18)), 0.5);
  const double cPlain = Correlation(plain, truth);
  const double hPlain = Correlation(HighPass(plain, iw, ih), HighPass(truth, iw, ih));
  const double skyPlain = sky();

  // Linear scheme with Step 1 (scales 1..6); layers 1, 2, 3 at 3x, 2.5x, 1.5x.
  get<ui::SpinEdit>("Multiplicant").setValue(1);
  get<ui::Button>("ProcessButton").userClick();
  SlideTo("RxSlider3", 30);
  SlideTo("RxSlider4", 25);
  SlideTo("RxSlider5", 15);
  const double skyLoud = sky();  // without noise reduction the sky noise is amplified
  // Noise reduction on layers 1 and 2, thresholds from their mean absolute values.
  get<ui::CheckBox>("cut1").userClick();
  get<ui::CheckBox>("cut2").userClick();
  get<ui::RadioGroup>("Denoise").userSelect(4);  // Method D
  const std::vector<double> sharp = Sharpened(1, m, m, iw, ih);
  const double cSharp = Correlation(sharp, truth);
  const double hSharp = Correlation(HighPass(sharp, iw, ih), HighPass(truth, iw, ih));
  const double skySharp = sky();
  RecordProperty("correlationPlain", std::to_string(cPlain));
  RecordProperty("correlationSharp", std::to_string(cSharp));
  RecordProperty("detailPlain", std::to_string(hPlain));
  RecordProperty("detailSharp", std::to_string(hSharp));
  RecordProperty("skyPlain", std::to_string(skyPlain));
  RecordProperty("skyWithoutNoiseReduction", std::to_string(skyLoud));
  RecordProperty("skySharp", std::to_string(skySharp));
  // Correlation after a least-squares tone fit (Pearson) with the scene: the misfit shrinks by
  // more than a third; the 5 x 5 high-pass detail follows the scene more closely; the sky is
  // no noisier than the plain stack's.
  EXPECT_LT(1 - cSharp, 0.65 * (1 - cPlain)) << cPlain << " -> " << cSharp;
  EXPECT_GT(hSharp, hPlain + 0.008) << hPlain << " -> " << hSharp;
  EXPECT_LT(skySharp, skyPlain) << skyPlain << " -> " << skySharp;
  EXPECT_GT(skyLoud, 1.5 * skyPlain);
}

TEST_F(WaveletScenarioTest, DoAllEqualsOneWholeImageDecomposition) {
  StackCapture("--size 300x220 --seed 5 --jitter 3", 30, 10, true);
  auto& ws = mf->ws;
  for (int scheme : {1, 0}) {  // linear (scale 1), then dyadic
    get<ui::RadioGroup>("Scaletype").userSelect(scheme);
    SlideTo("RxSlider3", 35);
    SlideTo("RxSlider5", 25);
    get<ui::ComboBox>("Processarea").userSelect(0);  // "full"
    get<ui::Button>("ProcessButton").userClick();
    EXPECT_FALSE(get<ui::Button>("DoAll").visible());
    const std::vector<uint16_t> whole = Words();
    const ui::Bitmap24 wholePic = get<ui::Image>("ProcessImage").picture();

    get<ui::ComboBox>("Processarea").userSelect(scheme == 1 ? 5 : 4);  // 128, or 256 for the dyadic reach
    get<ui::Button>("ProcessButton").userClick();
    ASSERT_TRUE(get<ui::Button>("DoAll").visible());
    // One area alone: the rest of the page shows the unsharpened stack.
    EXPECT_FALSE(std::equal(wholePic.data(), wholePic.data() + wholePic.byteSize(),
                            get<ui::Image>("ProcessImage").picture().data()));
    get<ui::Button>("DoAll").userClick();
    const std::vector<uint16_t> tiled = Words();
    ASSERT_EQ(tiled.size(), whole.size());
    size_t differ = 0;
    for (size_t i = 0; i < whole.size(); ++i) differ += tiled[i] != whole[i];
    EXPECT_EQ(differ, 0u) << "scheme " << scheme;
    EXPECT_TRUE(std::equal(wholePic.data(), wholePic.data() + wholePic.byteSize(),
                           get<ui::Image>("ProcessImage").picture().data()));
    EXPECT_NE(get<ui::Label>("DoAllspeed").caption().find("Time used :"), std::string::npos);
    // The area is back where it was, with its layers.
    EXPECT_FALSE(ws.wavelet.DecompositionStale);
  }
}

TEST_F(WaveletScenarioTest, RgbShiftEstimateFindsTheDispersion) {
  StackCapture("--size 320x240 --seed 9 --jitter 2 --dispersion 3", 20, 10, true);
  auto& ws = mf->ws;
  const px::Json truth = px::Json::parse(px::ReadFileText(dir.file("truth.json")));
  ws.reg.HotX = 160;  // the planet's centre; the largest box reaches its limb
  ws.reg.HotY = 120;
  get<ui::RadioGroup>("FFTsizeGroup").setItemIndex(3);
  get<ui::CheckBox>("RGBSHIFT").userClick();
  EXPECT_TRUE(get<ui::ToolWindow>("RGBShiftWindow").visible());
  get<ui::Button>("RGBShifter").userClick();
  // Red lies 3 pixels up, blue 3 down: red is read from 3 rows above, blue from 3 below.
  EXPECT_EQ(ws.wavelet.ShiftRedX, 0);
  EXPECT_EQ(ws.wavelet.ShiftRedY, -3);
  EXPECT_EQ(ws.wavelet.ShiftBlueX, 0);
  EXPECT_EQ(ws.wavelet.ShiftBlueY, 3);
  EXPECT_EQ(get<ui::SpinEdit>("RdySpin").value(), -3);
  EXPECT_EQ(get<ui::SpinEdit>("BDYSpin").value(), 3);
  EXPECT_FALSE(ws.wavelet.DecompositionStale);  // decomposed again with the shifted planes
  // After the shift red lines up with green better than in the stack.
  std::vector<double> g, rShifted, rStack;
  for (int y = 20; y < 220; ++y)
    for (int x = 40; x < 280; ++x) {
      g.push_back(ws.planes.StackPlanes[1].Get(x, y));
      rShifted.push_back(ws.planes.StackPlanes[0].Get(x + ws.wavelet.ShiftRedX, y + ws.wavelet.ShiftRedY));
      rStack.push_back(ws.planes.StackPlanes[0].Get(x, y));
    }
  EXPECT_GT(Correlation(g, rShifted), Correlation(g, rStack));
  // "Rt" for red moves the displayed red one pixel right: dxR one less.
  get<ui::Button>("Button18").userClick();
  EXPECT_EQ(ws.wavelet.ShiftRedX, -1);
  get<ui::ToolWindow>("RGBShiftWindow").userClose();
  EXPECT_FALSE(get<ui::CheckBox>("RGBSHIFT").checked());
}

TEST_F(WaveletScenarioTest, FilterWindowSetSaveLoadAndBrokenFiles) {
  StackCapture("--size 200x150 --seed 3", 10, 5, false);
  auto& ws = mf->ws;
  const auto kernelBefore = ws.wavelet.FilterKernel;
  // A grid summing to zero is refused; the kernel stays.
  for (int k = 0; k < 25; ++k) get<ui::SpinEdit>("Filter" + std::to_string(k % 5) + std::to_string(k / 5)).setValue(0);
  get<ui::SpinEdit>("Filter22").setValue(5);
  get<ui::SpinEdit>("Filter12").setValue(-5);
  const size_t messages = ui.messages.size();
  get<ui::Button>("Button1").userClick();
  ASSERT_GT(ui.messages.size(), messages);
  EXPECT_EQ(ws.wavelet.FilterKernel, kernelBefore);

  // A single 1 at the centre: no detail at all, the residual is the input.
  get<ui::SpinEdit>("Filter12").setValue(0);
  get<ui::Button>("Button1").userClick();
  EXPECT_FLOAT_EQ(ws.wavelet.FilterKernel[12], 1.0f);
  EXPECT_EQ(ws.wavelet.Stats.MeanAbs[1], 0.0f);

  // Save, change, load back: the spins return, the kernel waits for "Set".
  get<ui::SpinEdit>("Filter33").setValue(7);
  ui.queueDialog({dir.file("mine.pxf")}, 1);
  get<ui::Button>("SaveFilter").userClick();
  ASSERT_TRUE(px::FileExists(dir.file("mine.pxf")));
  EXPECT_EQ(px::ReadFileText(dir.file("mine.pxf")), px::ReadFileText(dir.file("savefilter.ini")));
  get<ui::Button>("Button3").userClick();  // "Reset": the default grid, set
  EXPECT_EQ(get<ui::SpinEdit>("Filter33").value(), 6);
  EXPECT_FLOAT_EQ(ws.wavelet.FilterKernel[12], 50.0f / 98);
  ui.queueDialog({dir.file("mine.pxf")}, 1);
  get<ui::Button>("LoadFilter").userClick();
  EXPECT_EQ(get<ui::SpinEdit>("Filter33").value(), 7);
  EXPECT_FLOAT_EQ(ws.wavelet.FilterKernel[12], 50.0f / 98);  // not yet set

  // Saving over it asks first; No keeps the file.
  const std::string saved = px::ReadFileText(dir.file("mine.pxf"));
  get<ui::SpinEdit>("Filter33").setValue(9);
  ui.queueDialog({dir.file("mine.pxf")}, 1);
  ui.queueAnswer(ui::DialogResult::No);
  get<ui::Button>("SaveFilter").userClick();
  EXPECT_EQ(px::ReadFileText(dir.file("mine.pxf")), saved);

  // Broken files: a message, the spins unchanged.
  pxtest::WriteText(dir.file("bad.pxf"), "[TMainForm]\nFilter00_Value=12x\n");
  for (const std::string& f : {dir.file("bad.pxf"), dir.file("missing.pxf")}) {
    const size_t before = ui.messages.size();
    ui.queueDialog({f}, 1);
    get<ui::Button>("LoadFilter").userClick();
    EXPECT_GT(ui.messages.size(), before) << f;
    EXPECT_EQ(get<ui::SpinEdit>("Filter33").value(), 9) << f;
  }
}

TEST_F(WaveletScenarioTest, NoiseWindowEstimatorsLayerCaptionsAndReset) {
  StackCapture("--size 200x150 --seed 4", 10, 5, false);
  auto& ws = mf->ws;
  get<ui::CheckBox>("Showdenoise").userClick();
  EXPECT_TRUE(get<ui::ToolWindow>("Denoisewindow").visible());
  get<ui::RadioGroup>("Denoise").userSelect(4);  // Method D, factor 10: the mean absolute values
  for (int n = 1; n <= 6; ++n) {
    const float t = ws.wavelet.Stats.MeanAbs[n];
    const auto& sl = get<ui::Slider>(n <= 3 ? "Noise" + std::to_string(n) : "noise" + std::to_string(n));
    EXPECT_EQ(sl.max(), px::Round(t * 1000.0) * 2 + 1) << n;
    EXPECT_NEAR(ws.wavelet.LayerThreshold[n], t, 0.0006) << n;
    EXPECT_EQ(ws.wavelet.SavedThresholds[n], t);
  }
  // "None" with a marked layer: that layer vanishes from the result.
  get<ui::RadioGroup>("Denoise").userSelect(0);
  get<ui::CheckBox>("cut1").userClick();
  EXPECT_EQ(get<ui::Label>("NoiseFactorLabel").caption(), " factor :*-----");
  const float withoutLayer1 = ws.planes.Layer(0, 1).Get(50, 50);
  get<ui::CheckBox>("cut1").userClick();
  const float all = ws.planes.Layer(0, 1).Get(50, 50);
  EXPECT_NEAR(all - withoutLayer1, ws.planes.Layer(1, 1).Get(50, 50), 1e-3);

  // Dyadic captions, whatever Initial and Step say.
  get<ui::SpinEdit>("LevelStep").setValue(3);
  get<ui::RadioGroup>("Scaletype").userSelect(0);
  const char* captions[6] = {"1 : 1", "2 : 2", "3 : 4", "4 : 8", "5 : 16", "6 : 32"};
  for (int n = 0; n < 6; ++n) EXPECT_EQ(get<ui::CheckBox>("CheckBox" + std::to_string(5 + n)).caption(), captions[n]);
  EXPECT_FALSE(get<ui::SpinEdit>("LevelStep").enabled());
  EXPECT_EQ(ws.wavelet.LayerScales[6], 32);

  // An unchecked layer's slider is disabled; Reset restores gains and scheme controls.
  get<ui::CheckBox>("CheckBox7").userClick();
  EXPECT_FALSE(get<ui::Slider>("RxSlider5").enabled());
  SlideTo("RxSlider3", 40);
  EXPECT_EQ(get<ui::Button>("layer1button").caption(), "4");
  get<ui::Button>("ResetButton").userClick();
  EXPECT_EQ(get<ui::Slider>("RxSlider3").value(), 10);
  EXPECT_EQ(get<ui::SpinEdit>("LevelStep").value(), 1);
  // Ctrl + right arrow adds 1 to the contrast, the arrow alone 10.
  get<ui::Slider>("ContrastSlider").userKey(39, true);
  EXPECT_EQ(get<ui::Slider>("ContrastSlider").value(), 101);
  get<ui::Slider>("ContrastSlider").userKey(39);
  EXPECT_EQ(get<ui::Slider>("ContrastSlider").value(), 111);
  EXPECT_EQ(get<ui::Label>("ContrastLabel").caption(), "Contrast   : 111");

  // A right-click on the sky picks the anti-ringing level there.
  get<ui::Image>("ProcessImage").userMouse(ui::MouseAction::Down, {10, 10, ui::MouseButton::Right});
  EXPECT_NE(get<ui::CheckBox>("AntiRing").caption().find("Antiring "), std::string::npos);
  EXPECT_LT(std::fabs(ws.wavelet.AntiRingLevel), 0.2 * ws.stack.StackMax);
}

TEST_F(WaveletScenarioTest, ClickPlacesTheAreaAndDecomposesIt) {
  StackCapture("--size 320x240 --seed 6", 10, 5, false);
  get<ui::ComboBox>("Processarea").userSelect(5);  // 128
  get<ui::Button>("ProcessButton").userClick();
  auto& img = get<ui::Image>("ProcessImage");
  img.userMouse(ui::MouseAction::Down, {200, 150});
  img.userMouse(ui::MouseAction::Up, {200, 150});
  auto& ws = mf->ws;
  EXPECT_EQ(ws.area.left, 136);
  EXPECT_EQ(ws.area.top, 86);
  EXPECT_FALSE(ws.wavelet.DecompositionStale);
  EXPECT_TRUE(get<ui::Button>("DoAll").visible());
  img.userMouse(ui::MouseAction::Down, {20, 10});
  img.userMouse(ui::MouseAction::Up, {20, 10});
  EXPECT_EQ(ws.area.left, 0);
  EXPECT_EQ(ws.area.top, 0);
  px::Json j = mf->Dump("wavelets");
  EXPECT_EQ(j["area"]["x1"].asNumber(), 127);
}

}  // namespace

namespace {

class WaveletModeTest : public pxtest::AppFixture {};

// Layers computed in one mode are never recombined in another: switching "Colour processing"
// on after a mono decomposition decomposes the three colours before the next display.
TEST_F(WaveletModeTest, SwitchingToColourDecomposesTheColoursFirst) {
  const int W = 64, H = 48;
  ui::Bitmap24 b(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) b.setPixel(x, y, ui::Color((x * 4) & 255, 80, (y * 5) & 255));
  ui::SaveBmpFile(dir.file("one.bmp"), b);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  SelectInput({dir.file("one.bmp")}, 2);
  auto& ws = mf->ws;
  ASSERT_TRUE(ws.wavelet.LayersValid);
  get<ui::CheckBox>("ColourStack").userClick();  // mono
  get<ui::Button>("ProcessButton").userClick();
  EXPECT_EQ(ws.wavelet.DecomposedMode, static_cast<int>(wavelets::FillMode::Mono));
  get<ui::CheckBox>("ColourStack").userClick();  // colour again; only a slider moves
  get<ui::Slider>("RxSlider3").userSetValue(20);
  EXPECT_EQ(ws.wavelet.DecomposedMode, static_cast<int>(wavelets::FillMode::Colour));
  const ui::Color c = get<ui::Image>("ProcessImage").picture().pixel(40, 30);
  EXPECT_GT(c.r, c.g);  // red rises to the right, green is flat
  EXPECT_NE(c.r, c.b);
}

}  // namespace

namespace {

class WaveletLrgbTest : public pxtest::AppFixture {};

// LRGB from FITS channel files: the separate luminance stack is what is sharpened; clearing
// "Use Luminance (fits)" mixes the luminance from the colours with the mixer's weights.
TEST_F(WaveletLrgbTest, SeparateLuminanceStackOrMixedLuminance) {
  const std::string seq = pxtest::AppFixture::Generate("lrgb", "--frames 2 --size 48x40 --format fits-lrgb");
  std::vector<std::string> files;
  for (const char* f : {"frame_00000_R.fit", "frame_00000_G.fit", "frame_00000_B.fit", "frame_00000_L.fit",
                        "frame_00001_R.fit", "frame_00001_G.fit", "frame_00001_B.fit", "frame_00001_L.fit"})
    files.push_back(px::JoinPath(seq, f));
  ui.queueAnswer(ui::DialogResult::No);  // the fixed 16-bit range
  SelectInput(files, 3);
  auto& ws = mf->ws;
  for (int k = 0; k < 8; ++k) ws.table.ranks[k] = {k, 1.0f, 0};
  get<ui::Slider>("StackSlider").setMax(7);
  get<ui::Slider>("StackSlider").setValue(7);
  get<ui::CheckBox>("ColourStack").setChecked(true);
  // A luminance file checks both LRGB boxes; off and on again through the Stacking page's box.
  ASSERT_TRUE(get<ui::CheckBox>("LRGB2").checked());
  get<ui::CheckBox>("LRGB2").userClick();
  EXPECT_FALSE(get<ui::CheckBox>("LRGB1").checked());
  get<ui::CheckBox>("LRGB2").userClick();
  EXPECT_TRUE(get<ui::CheckBox>("LRGB1").checked());
  EXPECT_TRUE(get<ui::Panel>("LRGBMIX").visible());
  get<ui::Button>("Stackbutton").userClick();
  ASSERT_TRUE(get<ui::CheckBox>("Lumichannel").checked());
  form().userSetActivePage(get<ui::Page>("WaveletPage"));
  ASSERT_TRUE(ws.wavelet.LayersValid);
  // Gains 1: the sharpened luminance is the L stack itself.
  const auto& P = ws.planes.StackPlanes;
  for (int y = 4; y < 36; y += 7)
    for (int x = 4; x < 44; x += 9) EXPECT_NEAR(ws.planes.Layer(0, 1).Get(x, y), P[3].Get(x, y), 0.05) << x << "," << y;

  get<ui::CheckBox>("Lumichannel").userClick();  // cleared: mix R, G, B
  EXPECT_TRUE(get<ui::Slider>("RedLRGBslider").enabled());
  get<ui::Slider>("RedLRGBslider").userSetValue(1);
  get<ui::Slider>("GreenLRGBSlider").userSetValue(1);
  get<ui::Slider>("BlueLRGBSlider").userSetValue(1);
  EXPECT_FLOAT_EQ(ws.wavelet.LumWeightR, 1.0f / 3);
  for (int y = 4; y < 36; y += 7)
    for (int x = 4; x < 44; x += 9)
      EXPECT_NEAR(ws.planes.Layer(0, 1).Get(x, y), (P[0].Get(x, y) + P[1].Get(x, y) + P[2].Get(x, y)) / 3, 0.05);
}

}  // namespace
