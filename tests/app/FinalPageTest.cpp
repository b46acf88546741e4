// The tone windows and the Final page through the form: the typed gamma and the levels reach
// the display pass, the histogram window follows it, the HSL curves, flips and "Reset HSL"
// change the final picture, and a new input forgets the crop rectangle.
#include <cmath>

#include "AppFixture.h"
#include "finish/FinalController.h"
#include "finish/ToneController.h"
#include "ui/BmpCodec.h"

namespace {

class FinalPageTest : public pxtest::AppFixture {
 protected:
  // A colour still: a disc of several hues on a dark sky; opens on the Wavelet page.
  void OpenStill() {
    ui::Bitmap24 b(120, 80);
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 120; ++x) {
        const bool disc = std::hypot(x - 60.0, y - 40.0) < 30;
        b.setPixel(x, y, disc ? ui::Color(200, 60 + x, 40 + y) : ui::Color(10, 10, 10));
      }
    ui::SaveBmpFile(dir.file("one.bmp"), b);
    get<ui::CheckBox>("ColourStack").setChecked(true);
    SelectInput({dir.file("one.bmp")}, 2);
  }
  ui::Bitmap24& shown() { return get<ui::Image>("RotateImage").picture(); }
  ui::Bitmap24& processed() { return get<ui::Image>("ProcessImage").picture(); }
  void EnterFinal() { form().userSetActivePage(get<ui::Page>("FinalPage")); }
};

TEST_F(FinalPageTest, GammaAndLevelsReachTheDisplayPass) {
  OpenStill();
  const ui::Color before = processed().pixel(60, 40);
  get<ui::SpinEdit>("Gamma1spin").userSetValue(2.0);
  EXPECT_NEAR(mf->ws.tone.DisplayCurve[250], std::sqrt(0.250001), 1e-12);
  const ui::Color brighter = processed().pixel(60, 40);
  const ui::Color skyGamma2 = processed().pixel(2, 2);
  EXPECT_GT(brighter.g, before.g);
  // Levels 51 … 205 stretch the tones: the bright red moves up, the sky down.
  mf->ws.tone.LowMarker = 65;
  mf->ws.tone.HighMarker = 219;
  get<ui::Button>("BitBtn3").userClick();
  EXPECT_FLOAT_EQ(mf->ws.tone.LevelLow, 51);
  EXPECT_FLOAT_EQ(mf->ws.tone.LevelHigh, 205);
  EXPECT_GE(processed().pixel(60, 40).r, brighter.r);
  EXPECT_LT(processed().pixel(2, 2).r, skyGamma2.r);
  get<ui::Button>("HistoReset").userClick();
  get<ui::SpinEdit>("Gamma1spin").userSetValue(1.0);
  EXPECT_EQ(processed().pixel(60, 40), before);
  // An offset and "Set Zero".
  get<ui::Slider>("RedSlider").userSetValue(-100);
  EXPECT_LT(processed().pixel(60, 40).r, before.r);
  get<ui::Button>("Button5").userClick();
  EXPECT_EQ(processed().pixel(60, 40), before);
}

TEST_F(FinalPageTest, HistogramWindowFollowsTheDisplayPassAndTheMarkerDrag) {
  OpenStill();
  get<ui::CheckBox>("Histowin").userClick();
  EXPECT_TRUE(get<ui::ToolWindow>("HistoWindow").visible());
  const ui::Bitmap24& g = get<ui::Image>("Histograph").picture();
  ASSERT_EQ(g.width(), 281);
  // The sky's tall bins and the disc's spread: the three curves are drawn, blue on top.
  int red = 0, blue = 0;
  for (int y = 0; y < 260; ++y)
    for (int x = 0; x < 281; ++x) {
      red += g.pixel(x, y) == ui::colors::Red;
      blue += g.pixel(x, y) == ui::colors::Blue;
    }
  EXPECT_GT(red, 100);
  EXPECT_GT(blue, 100);
  ui::MouseEvent e;
  e.x = 250;
  e.y = 220;
  e.buttonHeld = true;
  get<ui::Image>("Histograph").userMouse(ui::MouseAction::Move, e);
  EXPECT_EQ(get<ui::Shape>("Hitriangle").left(), 257);
  EXPECT_EQ(g.pixel(257 - 4, 100), ui::colors::Red);  // the high marker's line during the drag
}

TEST_F(FinalPageTest, HslCurvesFlipsAndReset) {
  OpenStill();
  EnterFinal();
  const ui::Bitmap24 plain = shown();
  ASSERT_EQ(plain.width(), 120);
  // Saturation curve: both end points dragged up (y 50 -> 20): +60 saturation everywhere.
  auto& sat = get<ui::Image>("Saturationgraph");
  ui::MouseEvent e;
  e.x = 2;
  e.y = 45;
  e.buttonHeld = true;
  sat.userMouse(ui::MouseAction::Move, e);
  e.y = 36;
  sat.userMouse(ui::MouseAction::Move, e);
  e.y = 28;
  sat.userMouse(ui::MouseAction::Move, e);
  e.y = 20;
  sat.userMouse(ui::MouseAction::Move, e);
  sat.userMouse(ui::MouseAction::Up, e);
  const ui::Color p = plain.pixel(60, 40), q = shown().pixel(60, 40);
  EXPECT_LT(q.b, p.b);  // more saturated red: the smallest channel falls
  EXPECT_EQ(q.r, p.r);  // value unchanged
  // Both flips on the unrotated picture.
  get<ui::CheckBox>("FlipX").userClick();
  get<ui::CheckBox>("FlipY").userClick();
  EXPECT_EQ(shown().pixel(119 - 60, 79 - 40), q);
  get<ui::Button>("Button7").userClick();  // Reset HSL
  ui::Bitmap24 expect = plain;
  finish::FlipPicture(expect, true, true);
  EXPECT_EQ(shown(), expect);
}

TEST_F(FinalPageTest, CropAndStretchForgottenByANewInput) {
  OpenStill();
  mf->ws.tone.LowMarker = 65;
  get<ui::Button>("BitBtn3").userClick();
  EXPECT_FLOAT_EQ(mf->ws.tone.PrevLevelLow, 51);
  EnterFinal();
  ui::MouseEvent e;
  e.x = 100;
  e.y = 70;
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Down, e);
  e.x = 20;
  e.y = 10;
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Up, e);
  const finish::CropRect& c = mf->final().Crop();
  EXPECT_EQ(c.left, 20);
  EXPECT_EQ(c.top, 10);
  EXPECT_EQ(c.right, 100);
  EXPECT_EQ(c.bottom, 70);
  EXPECT_TRUE(get<ui::CheckBox>("Cropping").checked());
  EXPECT_EQ(mf->final().FinalPictureForSaving().width(), 80);
  get<ui::Button>("BitBtn9").userClick();
  EXPECT_EQ(ui.clipboard.height(), 60);
  // A right click keeps the rectangle; a left click without a drag leaves none, "Use crop" off.
  e.button = ui::MouseButton::Right;
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Down, e);
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Up, e);
  EXPECT_EQ(mf->final().Crop().right, 100);
  e.button = ui::MouseButton::Left;
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Down, e);
  get<ui::Image>("RotateImage").userMouse(ui::MouseAction::Up, e);
  EXPECT_TRUE(mf->final().Crop().none());
  EXPECT_FALSE(get<ui::CheckBox>("Cropping").checked());
  EXPECT_EQ(mf->final().FinalPictureForSaving().width(), 120);
  OpenStill();
  EXPECT_TRUE(mf->final().Crop().none());
  // The levels start again from the full range: a later stretch does not jump.
  EXPECT_FLOAT_EQ(mf->ws.tone.LevelLow, 0);
  EXPECT_FLOAT_EQ(mf->ws.tone.PrevLevelLow, 0);
  EXPECT_FLOAT_EQ(mf->ws.tone.PrevLevelHigh, 255);
  EXPECT_FALSE(get<ui::CheckBox>("Cropping").checked());
}

TEST_F(FinalPageTest, ResizedWindowZoomOriginalFitAndSave) {
  OpenStill();
  EnterFinal();
  get<ui::Button>("ShrinkFinal").userClick();  // 100 %
  auto& win = get<ui::ToolWindow>("Shrinkview");
  const ui::Bitmap24& pic = get<ui::Image>("ShrinkImage").picture();
  EXPECT_TRUE(win.visible());
  EXPECT_NE(pic, shown());  // B-Spline smooths even at 1:1
  get<ui::ComboBox>("Filters").userSelect(2);  // Lanczos: 1 at 0, 0 at the other integers
  EXPECT_EQ(pic, shown());
  get<ui::ComboBox>("ComboBox1").userSelect(0);  // 200 %
  EXPECT_EQ(pic.width(), 240);
  EXPECT_EQ(pic.height(), 160);
  EXPECT_EQ(win.width(), 440);
  EXPECT_EQ(win.height(), 390);  // 160 + 24, at least 390
  EXPECT_EQ(get<ui::Label>("Imagesize").caption(), "Imagesize: 240x160");
  // The user makes the window 300 x 124: the picture fits 100 x 100 keeping 3:2 -> 100 x 67.
  win.userResize(300, 124);
  EXPECT_EQ(pic.width(), 100);
  EXPECT_EQ(pic.height(), 67);
  get<ui::Button>("Shrinktooriginal").userClick();
  EXPECT_EQ(pic.width(), 120);
  EXPECT_EQ(pic.height(), 80);
  ui.queueDialog({dir.file("small.jpg")}, 2);
  get<ui::Button>("SaveShrink").userClick();
  EXPECT_TRUE(px::FileExists(dir.file("small.jpg")));
}

}  // namespace
