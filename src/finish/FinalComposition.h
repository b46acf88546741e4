#pragma once
// The Final page's picture from the processed 16-bit image: rotation about the centre
// (bilinear), hue/saturation/value adjustments (sliders and per-hue curve tables), flips, the
// hue histogram; the 16-bit variant for 48-bit TIFF; the crop rectangle.
#include <array>
#include <vector>

#include "finish/BSpline.h"
#include "formats/TiffBitmap.h"
#include "ui/Bitmap24.h"

namespace finish {

using HslCurveTable = std::array<float, 3601>;  // index Round(hue x 10), value 50 - curve y
using HueCounts = std::array<int, 361>;

struct FinalSettings {
  double angle = 0;  // degrees; not finite counts as 0, any size is reduced modulo 360
  int hue = 0, saturation = 0, lightness = 0;
  const HslCurveTable* hueCurve = nullptr;  // null = all 0
  const HslCurveTable* saturationCurve = nullptr;
  const HslCurveTable* lightnessCurve = nullptr;
  bool flipX = false, flipY = false;
};

// 8-bit HSV of the page: H in degrees, S and V on 0 … 255.
struct Hsv {
  double h = 0, s = 0, v = 0;
};
Hsv RgbToHsv(double r, double g, double b);  // S returned on 0 … 1
// Integer conversion back (sector formula with integer division); b, g, r written to px.
void HsvToRgb8(int h, int s, int v, unsigned char& r, unsigned char& g, unsigned char& b);
// Floating-point conversion back: s on 0 … 1, outputs on the scale of v.
void HsvToRgbF(double h, double s, double v, double& r, double& g, double& b);

// Builds the final picture of size W x H from out48 (which may be larger). `unflipped` gets
// the picture before the flips, `shown` the flipped one; hueHist is counted.
void ComposeFinal8(const formats::TTIFFBitMap& out48, int W, int H, const FinalSettings& s, ui::Bitmap24& unflipped,
                   ui::Bitmap24& shown, HueCounts& hueHist);
// The same pipeline at 16 bits per channel (flips applied); result allocated W x H.
void ComposeFinal16(const formats::TTIFFBitMap& out48, int W, int H, const FinalSettings& s,
                    formats::TTIFFBitMap& result);

// Mirrors in place.
void FlipPicture(ui::Bitmap24& p, bool flipX, bool flipY);
// The hue histogram (361 x 50, white, black bars scaled to the largest counter).
void DrawHueHistogram(ui::Bitmap24& img, const HueCounts& h);

// The HSL curves: 9 points (45 i, 50); the table sampled from a curve (50 - y).
void SetDefaultHslCurve(TBSpline& s);
void SampleHslCurve(TBSpline& s, HslCurveTable& table);
// HSL drag: clamped to 360 x 100; a point within 10 pixels; end points move together in y.
bool DragHslPoint(TBSpline& s, float x, float y);
void DrawHslGraph(ui::Bitmap24& graph, TBSpline& s);

// Crop rectangle in final-image pixels (right and bottom exclusive); all four -1 means none.
// A rectangle drawn partly outside the picture is clamped into it.
struct CropRect {
  int left = -1, top = -1, right = -1, bottom = -1;
  bool none() const { return left == -1 && top == -1 && right == -1 && bottom == -1; }
};
// Orders the corners and clamps into W x H; an empty result is "none".
CropRect NormaliseCrop(CropRect r, int W, int H);
// The rectangle's part of the picture (the whole picture when there is no rectangle).
ui::Bitmap24 CropPicture(const ui::Bitmap24& p, const CropRect& r);

}  // namespace finish
