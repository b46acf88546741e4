// A whole capture through the Stacking page: 300 generated frames, the generator's true shifts
// and sharpness put into the frame table, the best 20 % stacked. The stack must beat the best
// single frame: less noise on the sky, closer to the noise-free scene the generator writes.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "AppFixture.h"
#include "base/Json.h"
#include "base/Numbers.h"
#include "support/Statistics.h"
#include "ui/BmpCodec.h"

namespace {

class StackScenarioTest : public pxtest::AppFixture {};

using pxtest::Correlation;
using pxtest::StdDev;

TEST_F(StackScenarioTest, BestFifthOfThreeHundredFramesBeatsTheBestFrame) {
  const int W = 200, H = 150, N = 300;
  const std::string common = "--frames 300 --size 200x150 --seed 7 --jitter 4";
  std::string avi = Generate("cap.avi", common + " --truth " + dir.file("truth.json") + " --truth-image " +
                                            dir.file("scene.bmp"));
  px::Json truth = px::Json::parse(px::ReadFileText(dir.file("truth.json")));
  const auto& fr = truth["frame"].asArray();
  ASSERT_EQ(static_cast<int>(fr.size()), N);

  SelectInput({avi}, 1);
  auto& ws = mf->ws;
  std::vector<int> order(N);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return fr[a].find("sharpness")->asNumber() > fr[b].find("sharpness")->asNumber();
  });
  // Shifts against frame 0, whose noise-free scene the generator wrote.
  for (int i = 0; i < N; ++i) {
    auto& r = ws.table[i];
    r.ShiftX = px::Round(fr[i].find("dx")->asNumber());
    r.ShiftY = px::Round(fr[i].find("dy")->asNumber());
    r.Quality = static_cast<float>(fr[i].find("sharpness")->asNumber());
    r.Difference = 0;
  }
  for (int k = 0; k < N; ++k) ws.table.ranks[k] = {order[k], ws.table[order[k]].Quality, 0};
  auto& slider = get<ui::Slider>("StackSlider");
  slider.setMax(N - 1);
  get<ui::CheckBox>("QualStack").setChecked(false);

  // The best frame alone (the one-frame question answered Yes).
  slider.setValue(0);
  ui.queueAnswer(ui::DialogResult::Yes);
  get<ui::Button>("Stackbutton").userClick();
  auto luminance = [&] {
    std::vector<double> v(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v[static_cast<size_t>(y) * W + x] = ws.planes.StackPlanes[1].Get(x, y);
    return v;
  };
  std::vector<double> single = luminance();

  slider.setValue(N / 5 - 1);
  get<ui::Button>("Stackbutton").userClick();
  EXPECT_EQ(mf->ws.stack.StackedCount, N / 5);
  std::vector<double> stacked = luminance();

  const ui::Bitmap24 sharp = ui::LoadBmpFile(dir.file("scene.bmp"));
  ASSERT_EQ(sharp.width(), W);
  auto window = [&](const std::vector<double>* img, int x0, int y0, int w, int h) {
    std::vector<double> v;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) {
        if (img) {
          v.push_back((*img)[static_cast<size_t>(y) * W + x]);
        } else {
          ui::Color c = sharp.pixel(x, y);
          v.push_back(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
        }
      }
    return v;
  };
  // Sky: the corner away from the planet (checked flat in the noise-free frame).
  ASSERT_LT(StdDev(window(nullptr, 12, 12, 24, 18)), 0.5);
  const double noiseSingle = StdDev(window(&single, 12, 12, 24, 18));
  const double noiseStack = StdDev(window(&stacked, 12, 12, 24, 18));
  EXPECT_GT(noiseSingle, 3 * noiseStack) << noiseSingle << " vs " << noiseStack;

  // Detail: the inner part, away from the borders the shifts leave thin.
  const double cSingle = Correlation(window(&single, 16, 16, W - 32, H - 32), window(nullptr, 16, 16, W - 32, H - 32));
  const double cStack = Correlation(window(&stacked, 16, 16, W - 32, H - 32), window(nullptr, 16, 16, W - 32, H - 32));
  EXPECT_GT(cStack, cSingle) << cStack << " vs " << cSingle;
  RecordProperty("noiseSingle", std::to_string(noiseSingle));
  RecordProperty("noiseStack", std::to_string(noiseStack));
  RecordProperty("correlationSingle", std::to_string(cSingle));
  RecordProperty("correlationStack", std::to_string(cStack));
  auto j = mf->Dump("stack");
  EXPECT_EQ(j["coverageMax"].asNumber(), N / 5);
}

}  // namespace
