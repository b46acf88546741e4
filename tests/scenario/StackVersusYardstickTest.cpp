// The stack the program makes of a turbulent capture with its default settings, against the
// noise-free scene: it must come closer than a deliberately plain pipeline (rank by band
// power, phase correlation against the best frame, sub-pixel Fourier-shift stack).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Yardstick.h"
#include "app/AppFixture.h"
#include "base/Files.h"
#include "base/Json.h"
#include "ui/BmpCodec.h"

namespace {

using yardstick::Plane;

Plane Luminance(const ui::Bitmap24& b) {
  Plane p;
  p.width = b.width();
  p.height = b.height();
  p.v.resize(static_cast<size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* px = b.row(y) + x * 3;
      p.v[static_cast<size_t>(y) * p.width + x] = 0.299f * px[2] + 0.587f * px[1] + 0.114f * px[0];
    }
  return p;
}

// Pearson correlation of the central part of `a`, moved by (dx, dy), with the truth.
double Match(const Plane& truth, const Plane& a, int dx, int dy, int inset) {
  double st = 0, sa = 0, stt = 0, saa = 0, sta = 0;
  int n = 0;
  for (int y = inset; y < truth.height - inset; ++y)
    for (int x = inset; x < truth.width - inset; ++x) {
      const int ax = x + dx, ay = y + dy;
      if (ax < 0 || ay < 0 || ax >= a.width || ay >= a.height) continue;
      const double t = truth.at(x, y), v = a.at(ax, ay);
      st += t, sa += v, stt += t * t, saa += v * v, sta += t * v;
      ++n;
    }
  const double ct = stt - st * st / n, ca = saa - sa * sa / n, cta = sta - st * sa / n;
  return cta / std::sqrt(ct * ca);
}

// How close a stack comes to the truth once placed on it (whole pixels, then a Fourier shift
// for the fraction): the signal-to-error ratio in dB after a least-squares tone fit.
double Closeness(const Plane& truth, const Plane& stack) {
  const int inset = 32;
  int bx = 0, by = 0;
  double best = -2;
  for (int dy = -10; dy <= 10; ++dy)
    for (int dx = -10; dx <= 10; ++dx) {
      const double m = Match(truth, stack, dx, dy, inset);
      if (m > best) best = m, bx = dx, by = dy;
    }
  auto vertex = [](double a, double b, double c) { return (a - c) / (2 * (a - 2 * b + c)); };
  const double fx = vertex(Match(truth, stack, bx - 1, by, inset), best, Match(truth, stack, bx + 1, by, inset));
  const double fy = vertex(Match(truth, stack, bx, by - 1, inset), best, Match(truth, stack, bx, by + 1, inset));
  const Plane moved = yardstick::FourierShift(stack, -(bx + fx), -(by + fy));
  const double r = Match(truth, moved, 0, 0, inset);
  return 10 * std::log10(1 / (1 - r * r));
}

class StackVersusYardstick : public pxtest::AppFixture {};

TEST_F(StackVersusYardstick, BestFifthOfATurbulentMoonComesCloserToTheScene) {
  const std::string avi = Generate("moon.avi",
                                   "--scene moon --seeing turbulent --frames 150 --size 400x300 --seed 11 --truth " +
                                       dir.file("truth.json") + " --truth-image " + dir.file("truth.bmp"));
  const px::Json truthJson = px::Json::parse(px::ReadFileText(dir.file("truth.json")));
  const Plane truth = Luminance(ui::LoadBmpFile(dir.file("truth.bmp")));

  SelectInput({avi}, 1);
  ui::MouseEvent e;
  e.x = 200;
  e.y = 150;
  get<ui::Image>("PreviewImage").userMouse(ui::MouseAction::Down, e);
  get<ui::Button>("Allignallbutton").userClick();
  const int count = mf->ws.input.SelectedCount;
  get<ui::CheckBox>("SubPixelStack").setChecked(true);
  get<ui::Slider>("StackSlider").setValue(static_cast<int>(std::lround(0.2 * count)) - 1);
  get<ui::Button>("Stackbutton").userClick();
  ASSERT_GT(mf->ws.stack.StackWidth, 0);
  Plane program;
  program.width = mf->ws.stack.StackWidth;
  program.height = mf->ws.stack.StackHeight;
  const auto& sp = mf->ws.planes.StackPlanes;
  for (int y = 0; y < program.height; ++y)
    for (int x = 0; x < program.width; ++x)
      program.v.push_back(0.299f * sp[0].Get(x, y) + 0.587f * sp[1].Get(x, y) + 0.114f * sp[2].Get(x, y));

  std::vector<int> indices;
  const std::vector<Plane> frames = yardstick::ReadVideo(avi, indices);
  const yardstick::Result naive = yardstick::Measure(frames, indices, truthJson, yardstick::Settings{});

  const double ours = Closeness(truth, program), theirs = Closeness(truth, naive.stack);
  RecordProperty("ProgramDb", std::to_string(ours));
  RecordProperty("YardstickDb", std::to_string(theirs));
  std::printf("  closeness to the scene: program %.2f dB, plain pipeline %.2f dB\n", ours, theirs);
  EXPECT_GT(ours, theirs);
}

}  // namespace
