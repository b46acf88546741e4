// SER captures and Bayer mosaics through the main window: 16-bit samples stacked at full
// depth, a mosaic AVI turned into colour by the Input page's choice, and SER files dropped.
#include <cmath>
#include <set>

#include "AppFixture.h"
#include "frames/SerFile.h"
#include "ui/BmpCodec.h"

namespace {

class SerInputTest : public pxtest::AppFixture {
 protected:
  void StackAll(int n) {
    auto& ws = mf->ws;
    for (int k = 0; k < n; ++k) {
      ws.table.ranks[k] = {k, static_cast<float>(n - k), 0};
      ws.table[k].Quality = 1;
    }
    auto& slider = get<ui::Slider>("StackSlider");
    slider.setMax(n - 1);
    slider.setValue(n - 1);
    get<ui::CheckBox>("QualStack").setChecked(false);
    get<ui::Button>("Stackbutton").userClick();
  }
};

TEST_F(SerInputTest, SixteenBitCaptureStacksLevelsThatEightBitsWouldMerge) {
  // A faint ramp: 16 units (a sixteenth of an 8-bit level) per column, noise of +-24 units
  // alternating over the frames so that the mean is the ramp exactly.
  const int W = 48, H = 32, N = 8;
  frames::SerWriteOptions o;
  o.width = W;
  o.height = H;
  o.depth = 16;
  o.littleEndianData = true;
  o.littleEndianFlag = 0;
  std::vector<uint16_t> s;
  for (int f = 0; f < N; ++f)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) s.push_back(static_cast<uint16_t>(20000 + 16 * x + ((f + x + y) % 2 ? 24 : -24)));
  pxtest::WriteBytes(dir.file("faint.ser"), frames::WriteSerBytes(o, s, N));
  SelectInput({dir.file("faint.ser")}, 6);
  ASSERT_TRUE(mf->ws.input.InputLoaded);
  EXPECT_EQ(mf->ws.input.FrameCount, N);
  EXPECT_NE(mf->ws.input.VideoInfo.find("SER mono 16-bit 48x32, 8 frames, little-endian (from the data; the header flag 0 says otherwise)"),
            std::string::npos)
      << mf->ws.input.VideoInfo;
  StackAll(N);
  ASSERT_EQ(mf->ws.stack.StackedCount, N);
  // The stack's values are 16-bit samples / 255: columns 16 units apart differ by 16 / 255.
  const auto& g = mf->ws.planes.StackPlanes[1];
  std::set<long> levels;
  for (int x = 2; x < W - 2; ++x) {
    const double expected = (20000 + 16.0 * x) / 255;
    EXPECT_NEAR(g.Get(x, H / 2), expected, 0.01) << x;
    levels.insert(std::lround(g.Get(x, H / 2) * 255));
  }
  EXPECT_EQ(static_cast<int>(levels.size()), W - 4);  // 8-bit rounding would leave 3 levels
}

TEST_F(SerInputTest, MosaicAviBecomesColourWithTheChosenPattern) {
  const std::string avi = Generate("mosaic.avi", "--format avi-mosaic --pattern GBRG --frames 3 --size 160x120 "
                                                 "--noise 0 --jitter 0 --blur-min 0.3 --blur-max 0.3 --truth-image " +
                                                     dir.file("scene.bmp"));
  const ui::Bitmap24 scene = ui::LoadBmpFile(dir.file("scene.bmp"));
  auto meanError = [&] {
    const ui::Bitmap24& p = get<ui::Image>("PreviewImage").picture();
    EXPECT_EQ(p.width(), scene.width());
    double sum = 0;
    int n = 0;
    for (int y = 2; y < scene.height() - 2; ++y)
      for (int x = 2; x < scene.width() - 2; ++x)
        for (int c = 0; c < 3; ++c) {
          sum += std::abs(int(p.row(y)[3 * x + c]) - int(scene.row(y)[3 * x + c]));
          ++n;
        }
    return sum / n;
  };
  SelectInput({avi}, 1);
  const double grey = meanError();
  get<ui::CheckBox>("Debayer").setChecked(true);
  get<ui::ComboBox>("DebayerPattern").setItemIndex(2);
  SelectInput({avi}, 1);
  const double bilinear = meanError();
  get<ui::ComboBox>("DebayerMethod").setItemIndex(1);
  SelectInput({avi}, 1);
  const double edge = meanError();
  get<ui::ComboBox>("DebayerPattern").setItemIndex(0);  // wrong: red and blue swap places
  SelectInput({avi}, 1);
  const double wrong = meanError();
  EXPECT_LT(bilinear, 2.0);
  EXPECT_LE(edge, bilinear);
  EXPECT_GT(grey, 3 * bilinear);
  EXPECT_GT(wrong, 3 * bilinear);
  RecordProperty("meanErrorBilinear", std::to_string(bilinear));
  RecordProperty("meanErrorEdgeAware", std::to_string(edge));
}

TEST_F(SerInputTest, DroppedSerOpensAsAVideoAndMissingFramesAreReported) {
  frames::SerWriteOptions o;
  o.colorId = 100;
  o.width = 40;
  o.height = 30;
  std::vector<uint16_t> s(static_cast<size_t>(40) * 30 * 3 * 4, 90);
  auto bytes = frames::WriteSerBytes(o, s, 4);
  bytes[38] = 6;  // the header announces six frames
  pxtest::WriteBytes(dir.file("short.ser"), bytes);
  form().setActivePage(get<ui::Page>("InputPage"));
  form().userDropFiles({dir.file("short.ser")});
  EXPECT_TRUE(mf->ws.input.InputLoaded);
  EXPECT_EQ(mf->ws.input.InputKind, frames::ikAvi);
  EXPECT_EQ(mf->ws.input.FrameCount, 4);
  EXPECT_EQ(get<ui::CheckList>("SelectFramesChecklist").count(), 4);
  EXPECT_TRUE(SawMessage("The video " + dir.file("short.ser") + ": only 4 of the 6 frames the header announces are in the file."));
}

}  // namespace
