// Registration against the sample generator's truth: sub-pixel shifts and the quality ranking
// of frames whose seeing is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "app/AppFixture.h"
#include "base/Files.h"
#include "base/Json.h"
#include "registration/AligningControls.h"
#include "support/Statistics.h"

namespace {

using pxtest::Spearman;

class RegistrationTruth : public pxtest::AppFixture {
 protected:
  px::Json Truth(const std::string& path) { return px::Json::parse(px::ReadFileText(path + ".json")); }
  void Align(const std::string& avi, int x, int y) {
    SelectInput({avi}, 1);
    ui::MouseEvent e;
    e.x = x;
    e.y = y;
    get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
    get<ui::Button>("Allignallbutton").userClick();
  }
};

// The sun's granulation gives a compact correlation peak.
TEST_F(RegistrationTruth, SubPixelShiftsWithinPointFifteenPixelRms) {
  std::string avi = Generate("sub.avi",
                             "--frames 40 --size 240x180 --scene sun --jitter 3 --blur-min 0.6 --blur-max 1.2 "
                             "--noise 2 --truth " + dir.file("sub.avi.json"));
  mf->aligning.SubPixelEstimate.setChecked(true);
  Align(avi, 120, 90);
  px::Json t = Truth(avi);
  const auto& frames = t["frame"].asArray();
  double se = 0, seInt = 0;
  for (int i = 0; i < 40; ++i) {
    const double dx = frames[i].find("dx")->asNumber(), dy = frames[i].find("dy")->asNumber();
    const auto& r = mf->ws.table[i];
    se += (r.FineShiftX - dx) * (r.FineShiftX - dx) + (r.FineShiftY - dy) * (r.FineShiftY - dy);
    seInt += (r.ShiftX - dx) * (r.ShiftX - dx) + (r.ShiftY - dy) * (r.ShiftY - dy);
    // The fine shift refines the integer shift by less than a pixel.
    EXPECT_LE(std::fabs(r.FineShiftX - r.ShiftX), 1.0f) << i;
    EXPECT_LE(std::fabs(r.FineShiftY - r.ShiftY), 1.0f) << i;
  }
  const double rms = std::sqrt(se / 80), rmsInt = std::sqrt(seInt / 80);
  RecordProperty("SubPixelRms", std::to_string(rms));
  EXPECT_LT(rms, 0.15) << "integer shifts: " << rmsInt;
  EXPECT_LT(rms, rmsInt);
}

TEST_F(RegistrationTruth, QualityFollowsTheTrueSharpness) {
  std::string avi = Generate("seeing.avi",
                             "--frames 150 --size 200x160 --scene moon --jitter 2 --blur-min 0.5 --blur-max 3 "
                             "--truth " + dir.file("seeing.avi.json"));
  mf->aligning.AutoOptimize.setChecked(false);
  Align(avi, 100, 80);
  px::Json t = Truth(avi);
  const auto& frames = t["frame"].asArray();
  std::vector<double> q, s;
  for (int i = 0; i < 150; ++i) {
    q.push_back(mf->ws.table[i].Quality);
    s.push_back(frames[i].find("sharpness")->asNumber());
  }
  const double rho = Spearman(q, s);
  RecordProperty("Spearman", std::to_string(rho));
  EXPECT_GE(rho, 0.8);
}

// Registered by the box alone (the whole-frame alignment off), the second pass against the
// best frames' reference never does worse than the single reference frame, on every scene of
// the Gaussian kind.
TEST_F(RegistrationTruth, BestFramesReference_NeverWorsensTheShiftsOnGaussianScenes) {
  for (const char* scene : {"planet", "moon", "sun"}) {
    const std::string avi = Generate(std::string(scene) + ".avi", std::string("--frames 60 --size 240x180 --scene ") +
                                                                   scene + " --jitter 3 --truth " + dir.file(std::string(scene) + ".avi.json"));
    px::Json t = Truth(avi);
    const auto& frames = t["frame"].asArray();
    auto rms = [&](bool best) {
      mf->aligning.WholeFrameAlign.setChecked(false);
      mf->aligning.BestFramesReference.setChecked(best);
      Align(avi, 120, 90);
      // A common offset (the reference's own position) does not matter for the stack.
      std::vector<double> ex, ey;
      for (int i = 0; i < 60; ++i) {
        ex.push_back(mf->ws.table[i].ShiftX - frames[i].find("dx")->asNumber());
        ey.push_back(mf->ws.table[i].ShiftY - frames[i].find("dy")->asNumber());
      }
      return std::hypot(pxtest::StdDev(ex), pxtest::StdDev(ey));
    };
    const double single = rms(false), best = rms(true);
    EXPECT_LE(best, single + 0.02) << scene << ": " << best << " against " << single;
  }
}

}  // namespace
