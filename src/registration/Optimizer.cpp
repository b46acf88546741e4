// The optimizer: refines each good frame's shift by direct search of the smallest difference
// between the frame's and the reference's windows around the feature.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/FlagScope.h"
#include "base/Numbers.h"
#include "finish/Resample.h"
#include "frames/FrameSource.h"
#include "registration/RegistrationController.h"
#include "registration/RegistrationMath.h"
#include "ui/Canvas.h"

namespace registration {

namespace {

ui::Rect Square(int cx, int cy, int half) { return {cx - half, cy - half, cx + half, cy + half}; }

// Bias subtraction over the window's inner n - 4 square (clamped at 0); returns its new sum.
double SubtractBias(FftPlane& plane, int n, float bias) {
  double sum = 0;
  for (int x = 2; x <= n - 3; ++x) {
    float* col = plane.column(x);
    for (int y = 2; y <= n - 3; ++y) {
      col[y] = std::max(0.0f, col[y] - bias);
      sum += col[y];
    }
  }
  return sum;
}

// The largest search area, and how far a shift may wander in later passes before the frame
// is decoded again.
constexpr int kMaxSearch = 10, kCropMargin = 8;
constexpr size_t kCropBudget = size_t(256) << 20;

}  // namespace

void RegistrationController::PrepareCrops() {
  std::fill(crops_.valid.begin(), crops_.valid.end(), 0);
  const int count = std::min(x_.input.FrameCount, frames::MaxFrames);
  // Wide enough for the quality measured against the best frames too.
  const int side = std::max(Box(), ReferenceQuality::kMinSide) + 2 * (kMaxSearch + kCropMargin) + 1;
  const size_t bytes = static_cast<size_t>(count) * side * side * 3;
  if (count <= 0 || bytes > kCropBudget || x_.inputControls.Interlaced.checked() || c_.Resampled.checked()) {
    crops_.side = 0;
    return;
  }
  crops_.side = side;
  if (crops_.pixels.size() != bytes) crops_.pixels.assign(bytes, 0);
  crops_.left.assign(count, 0);
  crops_.top.assign(count, 0);
  crops_.valid.assign(count, 0);
}

void RegistrationController::KeepCrop(int f, int cx, int cy) {
  if (f < 0 || f >= static_cast<int>(crops_.valid.size())) return;
  const ui::Bitmap24& pic = x_.source.preview();
  const int side = crops_.side, left = cx - side / 2, top = cy - side / 2;
  uint8_t* dst = crops_.pixels.data() + static_cast<size_t>(f) * side * side * 3;
  const int x0 = std::max(0, -left), x1 = std::min(side, pic.width() - left);
  for (int r = 0; r < side; ++r, dst += side * 3) {
    const int y = top + r;
    if (y < 0 || y >= pic.height() || x0 >= x1) {
      std::memset(dst, 0, static_cast<size_t>(side) * 3);
      continue;
    }
    if (x0 > 0) std::memset(dst, 0, static_cast<size_t>(x0) * 3);
    std::memcpy(dst + x0 * 3, pic.row(y) + static_cast<ptrdiff_t>(left + x0) * 3, static_cast<size_t>(x1 - x0) * 3);
    if (x1 < side) std::memset(dst + x1 * 3, 0, static_cast<size_t>(side - x1) * 3);
  }
  crops_.left[f] = left;
  crops_.top[f] = top;
  crops_.valid[f] = 1;
}

bool RegistrationController::CropCovers(int f, int left, int top, int right, int bottom) const {
  if (crops_.side == 0 || f < 0 || f >= static_cast<int>(crops_.valid.size()) || !crops_.valid[f]) return false;
  return left >= crops_.left[f] && top >= crops_.top[f] && right <= crops_.left[f] + crops_.side &&
         bottom <= crops_.top[f] + crops_.side;
}

double RegistrationController::FillInteriorWindow(const uint8_t* topLeft, size_t stride, int x0, int y0, int side,
                                                  const frames::Single2dArray* dark, FftPlane& dst) {
  // Rows are read left to right into a small block laid out by column, which then goes into
  // the column-major plane a column piece at a time.
  windowBlock_.resize(static_cast<size_t>(side) * kRowBlock);
  float* block = windowBlock_.data();
  const int dw = dark ? dark->nominalWidth() : 0, dh = dark ? dark->nominalHeight() : 0;
  double sum = 0;
  for (int r0 = 0; r0 < side; r0 += kRowBlock) {
    const int rows = std::min(kRowBlock, side - r0);
    for (int r = 0; r < rows; ++r) {
      const int y = y0 + r0 + r;
      const uint8_t* p = topLeft + static_cast<size_t>(r0 + r) * stride;
      // Columns the darkframe covers in this row.
      const int darkEnd = dark && y < dh ? std::clamp(dw - x0, 0, side) : 0;
      int j = 0;
      for (; j < darkEnd; ++j, p += 3) {
        float v = Luminance(p);
        v -= dark->Get(x0 + j, y) / 128.0f;
        block[j * kRowBlock + r] = v;
        sum += v;
      }
      for (; j < side; ++j, p += 3) {
        const float v = Luminance(p);
        block[j * kRowBlock + r] = v;
        sum += v;
      }
    }
    if (rows == kRowBlock)  // a fixed size: copied inline, not by a library call
      for (int j = 0; j < side; ++j) std::memcpy(dst.column(j) + r0, block + j * kRowBlock, kRowBlock * sizeof(float));
    else
      for (int j = 0; j < side; ++j)
        std::memcpy(dst.column(j) + r0, block + j * kRowBlock, static_cast<size_t>(rows) * sizeof(float));
  }
  return sum;
}

void RegistrationController::OptimizeButtonClick() {
  if (runActive_ || x_.input.AlignPass || x_.input.StackPass) return;
  px::FlagScope active(runActive_);
  RunOptimizerPass();
  s_.ui.setCursor(ui::Cursor::Normal);
}

// The aligning picture shows the reference square on the left; with "Resample" the reference
// and a frame picture are prepared at the resampled size. Refuses windows that would not fit
// the optimizer's planes.
bool RegistrationController::PrepareOptimizerPictures() {
  const int n = Box(), h = n / 2;
  const int c = px::Round(c_.SearchArea.value());
  const bool resample = c_.Resampled.checked();
  const double f = st_.ResampleFactor;
  const int hh = resample ? px::Round(h * f) : h;
  if (2 * hh + 2 * c + 1 > kPlaneStride) {
    s_.ui.messageBox("The optimizer's search window (" + std::to_string(2 * hh + 2 * c + 1) +
                         " pixels) does not fit: choose a smaller alignment box, resample factor or search area",
                     ui::MsgKind::Warning, ui::ButtonsOK);
    return false;
  }
  const int b = resample ? px::Round(n * f) : n;
  ui::Bitmap24& pic = c_.AlignImage.picture();
  pic.reset(2 * b + 20, b + 70);
  pic.fill(ui::colors::White);
  ui::Canvas cv(pic);
  if (!resample) {
    cv.copyRect({0, 0, n, n}, image1_, Square(st_.HotX, st_.HotY, h));
  } else {
    resampledRef_.reset(std::max(1, px::Round(image1_.width() * f) - 1), std::max(1, px::Round(image1_.height() * f) - 1));
    finish::ResampleImage(image1_, resampledRef_, finish::ResampleFilterIndexForItem(c_.ResampleCombo.itemIndex()));
    resampledFrame_.reset(std::max(1, px::Round(x_.input.SourceWidth * f) - 1),
                          std::max(1, px::Round(x_.input.SourceHeight * f) - 1));
    const int cx = px::Round(st_.HotX * f), cy = px::Round(st_.HotY * f);
    cv.copyRect({0, 0, b, b}, resampledRef_, {cx - b / 2, cy - b / 2, cx - b / 2 + b, cy - b / 2 + b});
  }
  c_.AlignImage.invalidate();
  return true;
}

void RegistrationController::RunOptimizerPass() {
  auto& in = x_.input;
  auto& table = x_.table;
  LogTime("optimizer ");
  refWindow_.valid = false;
  st_.WorkStatus = wsOptimized;
  c_.AlignSlider.setVisible(false);
  if (!PrepareOptimizerPictures()) return;

  in.CancelRequested = false;
  const bool fast = c_.FastOptimize.checked();
  const double pct = c_.OptimizeSpin.value();
  const double lowq = c_.OptimizeQualitySpin.value();
  s_.progress.setCaption("Optimizing frames");
  c_.ShowFFTbox.setChecked(false);
  s_.progress.show();
  optimizerPassSum_ = 0;

  px::FlagScope done(inRun_);
  lastDisplay_ = -1e18;

  const OptimizerOptions options = ReadOptimizerOptions();
  const bool interlaced = options.interlaced;
  const int m = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  const float best = table.ranks[0].RankQuality;
  for (int p = 0; p <= m; ++p) {
    const int f = std::clamp(table.ranks[p].FrameIndex, 0, frames::MaxFrames - 1);
    if (table[f].Excluded == 1) continue;
    s_.progress.setProgress(m > 0 ? px::Round(100.0 * p / m) : 100);
    const bool display = DisplayDue();
    if (display) {
      const int shown = table.ranks[std::clamp(c_.AlignSlider.value(), 0, frames::MaxFrames - 1)].FrameIndex;
      x_.inputControls.Frames.setCaption("Processing frame " + std::to_string(shown + 1) + " of " +
                                         std::to_string(in.SelectedCount));
    }
    auto candidate = [&](int q) {
      const int g = std::clamp(table.ranks[q].FrameIndex, 0, frames::MaxFrames - 1);
      const bool good = best > 0 && table.ranks[q].RankQuality / best * 100.0 >= lowq;
      return table[g].Excluded == 0 && (!fast || table[g].OptimizeGain > pct) && good;
    };
    if (!candidate(p)) continue;
    // The next candidate's frame decodes while this one is searched.
    prefetchFrame_ = -1;
    if (!in.stillInput())
      for (int q = p + 1; q <= m; ++q)
        if (candidate(q)) {
          const int g = table.ranks[q].FrameIndex;
          if (g < 0 || g >= static_cast<int>(crops_.valid.size()) || !crops_.valid[g] || interlaced) prefetchFrame_ = g;
          break;
        }

    suppressSliderChange_ = true;
    c_.AlignSlider.setValue(p);
    suppressSliderChange_ = false;
    s_.ui.setCursor(ui::Cursor::Busy);
    if (!interlaced) {
      OptimizeFrame(f, options);
    } else {
      in.FieldIndex = 0;
      OptimizeFrame(f, options);
      in.FieldIndex = 1;
      OptimizeFrame(f, options);
    }
    // The frame by rank; the preview already holds it unless a field was rebuilt.
    if (displayNow_) {
      if (interlaced) LoadFrameForShow(f);
      AlignSliderChange();
    }
    s_.ui.processEvents();
    if (in.CancelRequested) break;
  }
  prefetchFrame_ = -1;
  c_.Memo2.add("Dif:" + px::FloatToStr(optimizerPassSum_));
  if (in.CancelRequested) return;

  double total = 0;
  for (int p = 0; p <= m; ++p)
    if (best > 0 && table.ranks[p].RankQuality / best * 100.0 >= lowq)
      total += table[std::clamp(table.ranks[p].FrameIndex, 0, frames::MaxFrames - 1)].Difference;
  optimizerTotal_ = 0.001 * total;
  s_.ui.setCursor(ui::Cursor::Normal);
  s_.progress.hide();
  c_.AlignSlider.setVisible(true);
}

OptimizerOptions RegistrationController::ReadOptimizerOptions() {
  const auto& ic = x_.inputControls;
  OptimizerOptions o;
  o.searchArea = px::Round(c_.SearchArea.value());
  o.resample = c_.Resampled.checked();
  o.resampleFilter = finish::ResampleFilterIndexForItem(c_.ResampleCombo.itemIndex());
  o.interlaced = ic.Interlaced.checked();
  o.horizontal = ic.InterlaceHoriz.checked();
  o.useDark = ic.UseDarkFrame.checked();
  o.blur = c_.BlurBox.checked();
  o.bias = o.blur ? static_cast<float>(px::Round(c_.Bias.value())) : 0.0f;
  o.noSquare = c_.NoSquare.checked();
  o.relative = c_.Relative.checked();
  return o;
}

void RegistrationController::OptimizeFrame(int f) { OptimizeFrame(f, ReadOptimizerOptions()); }

void RegistrationController::OptimizeFrame(int f, const OptimizerOptions& options) {
  auto& in = x_.input;
  if (f < 0 || f >= frames::MaxFrames) return;
  frames::FrameRecord& rec = x_.table[f];
  UpdateLuminanceTables();
  const int n = Box();
  const int c = options.searchArea;
  const int h = n / 2;
  if (2 * (options.resample ? px::Round(h * st_.ResampleFactor) : h) + 2 * c + 1 > kPlaneStride) return;

  // The working size is the image size; the starting point is the stored difference.
  in.FrameWidth = in.ImageWidth;
  in.FrameHeight = in.ImageHeight;
  const bool fieldA = options.interlaced && in.FieldIndex == 0;
  float& diffField = fieldA ? rec.DifferenceA : rec.Difference;
  int32_t& shiftX = fieldA ? rec.ShiftXa : rec.ShiftX;
  int32_t& shiftY = fieldA ? rec.ShiftYa : rec.ShiftY;
  double best = diffField;
  if (best == 1.0) {
    best = 1.5e38;
    diffField = 1.5e38f;
  }
  const OptimizerView v = OptimizerFrame(f, options, shiftX, shiftY);
  const WindowSums w = FillOptimizerWindows(v, options);

  // The search over every offset of the area.
  const long long count = w.count == 0 ? 1 : w.count;
  SearchOptions so;
  so.n = n;
  so.c = c;
  so.meanR = static_cast<float>(w.ref / count);
  so.meanF = static_cast<float>(w.frame / count);
  so.noSquare = options.noSquare;
  so.relative = options.relative;
  so.laterWinsTies = !options.interlaced;
  const SearchResult r = OptimizerSearch(*optRef_, *optFrame_, so, best);
  if (r.improved) {
    diffField = static_cast<float>(r.sum);
    rec.OptimizeGain = r.gain;
    shiftX = v.sx0 + r.a;
    shiftY = v.sy0 + r.b;
    best = r.sum;
  }
  // The pass's sum of best differences.
  optimizerPassSum_ += static_cast<float>(best);

  if (!inRun_ || displayNow_) ShowOptimizedSquare(f, v);
  // The working frame size stays the image size.
  in.FrameWidth = in.ImageWidth;
  in.FrameHeight = in.ImageHeight;
}

// The frame, with the other field rebuilt; a frame whose kept neighbourhood covers the whole
// window is read from there, and with "Resample" the window is enlarged into the resampled
// frame.
RegistrationController::OptimizerView RegistrationController::OptimizerFrame(int f, const OptimizerOptions& options,
                                                                             int sx0, int sy0) {
  auto& in = x_.input;
  const int c = options.searchArea;
  const bool interlaced = options.interlaced;
  OptimizerView v;
  v.hx = st_.HotX;
  v.hy = st_.HotY;
  v.h = Box() / 2;
  v.sx0 = sx0;
  v.sy0 = sy0;
  const int hx = v.hx, hy = v.hy, h = v.h;
  v.fromCrop = !interlaced && !options.resample &&
               CropCovers(f, hx + sx0 - h - c, hy + sy0 - h - c, hx + sx0 + h + c + 1, hy + sy0 + h + c + 1);
  int frameW = in.ImageWidth, frameH = in.ImageHeight;
  if (!v.fromCrop) {
    const int savedW = in.ImageWidth, savedH = in.ImageHeight;
    LoadFrameForShow(f);
    if (prefetchFrame_ >= 0 && (!interlaced || in.FieldIndex == 1))
      x_.source.PrefetchAviFrame(in.AviPath, prefetchFrame_);
    frameW = in.ImageWidth;
    frameH = in.ImageHeight;
    in.ImageWidth = savedW;
    in.ImageHeight = savedH;
    if (interlaced)
      frames::RebuildField(x_.source.preview(), in.FieldIndex, options.horizontal, in.FrameWidth,
                           in.FrameHeight);
  }

  v.refPic = &image1_;
  v.framePic = &x_.source.preview();
  v.frameBase = v.framePic->data();
  v.frameStride = v.framePic->stride();
  if (v.fromCrop) {
    v.frameBase = crops_.crop(f);
    v.frameStride = static_cast<size_t>(crops_.side) * 3;
    v.frameLeft = crops_.left[f];
    v.frameTop = crops_.top[f];
  }
  v.fw = std::min(in.FrameWidth, frameW);
  v.fh = std::min(in.FrameHeight, frameH);
  v.rw = std::min(v.fw, image1_.width());
  v.rh = std::min(v.fh, image1_.height());
  if (options.resample) ResampleOptimizerFrame(options, v);
  return v;
}

// The frame's cut-out around the shifted feature, enlarged into the resampled frame; the
// feature, half box and bounds in resampled pixels.
void RegistrationController::ResampleOptimizerFrame(const OptimizerOptions& options, OptimizerView& v) {
  const auto& in = x_.input;
  const int n = Box(), c = options.searchArea;
  const double factor = st_.ResampleFactor;
  const int o = px::Round(2.0 * c / factor);
  v.hx = px::Round(st_.HotX * factor);
  v.hy = px::Round(st_.HotY * factor);
  const int cx = px::Round((v.hx + v.sx0) / factor), cy = px::Round((v.hy + v.sy0) / factor);
  const int side = n + o, s = 2 * c + px::Round(n * factor);
  const int left = cx - n / 2 - o / 2, top = cy - n / 2 - o / 2;
  cutout_.reset(side, side);
  ui::Canvas(cutout_).copyRect({0, 0, side, side}, x_.source.preview(), {left, top, left + side, top + side});
  cutoutScaled_.reset(s, s);
  finish::ResampleImage(cutout_, cutoutScaled_, options.resampleFilter);
  ui::Canvas(resampledFrame_).draw(v.hx + v.sx0 - s / 2, v.hy + v.sy0 - s / 2, cutoutScaled_);
  v.fw = v.rw = px::Round(in.ImageWidth * factor) - 1;
  v.fh = v.rh = px::Round(in.ImageHeight * factor) - 1;
  v.fw = std::min(v.fw, resampledFrame_.width());
  v.fh = std::min(v.fh, resampledFrame_.height());
  v.rw = std::min(v.rw, resampledRef_.width());
  v.rh = std::min(v.rh, resampledRef_.height());
  v.h = px::Round(v.h * factor);
  v.resampled = true;
  v.refPic = &resampledRef_;
  v.framePic = &resampledFrame_;
  v.frameBase = v.framePic->data();
  v.frameStride = v.framePic->stride();
}

// The windows of side 2h + 2c + 1 around the feature into optRef_ and optFrame_, bias
// subtracted. Inside both pictures every pixel counts; the reference window then is the same
// for every frame of the pass and is kept.
RegistrationController::WindowSums RegistrationController::FillOptimizerWindows(const OptimizerView& v,
                                                                                const OptimizerOptions& options) {
  FftPlane& ref = *optRef_;
  FftPlane& frm = *optFrame_;
  const int n = Box(), c = options.searchArea;
  const int hx = v.hx, hy = v.hy, h = v.h, sx0 = v.sx0, sy0 = v.sy0;
  const int side = 2 * h + 2 * c + 1, lo = -h - c, hi = h + c;
  const frames::Single2dArray* dark = options.useDark && Darkframe ? Darkframe() : nullptr;
  const int dw = dark ? dark->nominalWidth() : 0, dh = dark ? dark->nominalHeight() : 0;
  const bool interior = !exactWindows_ && hx + lo >= 0 && hy + lo >= 0 && hx + hi < std::min(v.fw, v.rw) &&
                        hy + hi < std::min(v.fh, v.rh) && hx + sx0 + lo >= 0 && hy + sy0 + lo >= 0 &&
                        hx + sx0 + hi < v.fw && hy + sy0 + hi < v.fh;
  const RefWindowKey key{hx, hy, h,  c,  n, refGeneration_, dark, dark ? dark->Data() : nullptr,
                         dw, dh, options.blur, options.bias, {lumWeights_[0], lumWeights_[1], lumWeights_[2]}};
  if (!inRun_ || options.resample || !interior) refWindow_.valid = false;
  const bool refKept = refWindow_.valid && refWindow_.key == key;
  WindowSums w;
  if (interior) {
    const ui::Bitmap24& refPic = *v.refPic;
    if (!refKept)
      w.ref = FillInteriorWindow(refPic.row(hy + lo) + static_cast<ptrdiff_t>(hx + lo) * 3, refPic.stride(), hx + lo,
                                 hy + lo, side, dark, ref);
    const ptrdiff_t frameRow = static_cast<ptrdiff_t>(hy + sy0 + lo - v.frameTop) * static_cast<ptrdiff_t>(v.frameStride);
    const uint8_t* frameTopLeft = v.frameBase + frameRow + static_cast<ptrdiff_t>(hx + sx0 + lo - v.frameLeft) * 3;
    w.frame = FillInteriorWindow(frameTopLeft, v.frameStride, hx + sx0 + lo, hy + sy0 + lo, side, dark, frm);
    w.count = static_cast<long long>(side) * side;
  } else {
    FillEdgeWindows(v, c, dark, w);
  }
  if (options.blur) {
    if (!refKept) w.ref = SubtractBias(ref, n, options.bias);
    w.frame = SubtractBias(frm, n, options.bias);
  }
  if (refKept) {
    w.ref = refWindow_.sum;
  } else if (interior && inRun_ && !options.resample) {
    refWindow_.valid = true;
    refWindow_.key = key;
    refWindow_.sum = w.ref;
  }
  return w;
}

// The windows pixel by pixel where they reach past a picture's edge: only positions inside
// both pictures count, the darkframe's green plane (levels x 128) subtracted where it covers.
void RegistrationController::FillEdgeWindows(const OptimizerView& v, int c, const frames::Single2dArray* dark,
                                             WindowSums& w) {
  FftPlane& ref = *optRef_;
  FftPlane& frm = *optFrame_;
  const int hx = v.hx, hy = v.hy, h = v.h, sx0 = v.sx0, sy0 = v.sy0;
  const int side = 2 * h + 2 * c + 1, lo = -h - c, hi = h + c;
  const int dw = dark ? dark->nominalWidth() : 0, dh = dark ? dark->nominalHeight() : 0;
  ClearCorner(ref, side);
  ClearCorner(frm, side);
  for (int i = lo; i <= hi; ++i) {
    const int ry = hy + i, fy = hy + sy0 + i;
    if (ry < 0 || ry >= v.fh || fy < 0 || fy >= v.fh || ry >= v.rh) continue;
    const uint8_t* rrow = v.refPic->row(ry);
    const uint8_t* frow = v.frameBase + static_cast<ptrdiff_t>(fy - v.frameTop) * static_cast<ptrdiff_t>(v.frameStride) -
                          static_cast<ptrdiff_t>(v.frameLeft) * 3;
    for (int j = lo; j <= hi; ++j) {
      const int rx = hx + j, fx = hx + sx0 + j;
      if (rx < 0 || rx >= v.fw || fx < 0 || fx >= v.fw || rx >= v.rw) continue;
      float rv = Luminance(rrow + rx * 3);
      float fv = Luminance(frow + fx * 3);
      if (dark) {
        if (rx < dw && ry < dh) rv -= dark->Get(rx, ry) / 128.0f;
        if (fx < dw && fy < dh) fv -= dark->Get(fx, fy) / 128.0f;
      }
      ref.at(j + h + c, i + h + c) = rv;
      frm.at(j + h + c, i + h + c) = fv;
      w.ref += rv;
      w.frame += fv;
      ++w.count;
    }
  }
}

// The current square beside the reference on the aligning picture.
void RegistrationController::ShowOptimizedSquare(int f, const OptimizerView& v) {
  const frames::FrameRecord& rec = x_.table[f];
  const int n = Box(), h = v.h, hx = v.hx, hy = v.hy;
  ui::Bitmap24& pic = c_.AlignImage.picture();
  ui::Canvas cv(pic);
  cv.brush.style = ui::BrushStyle::Clear;
  const std::string text = " Processing frame " + std::to_string(f + 1) + "            ";
  if (v.fromCrop) {
    cropPicture_.reset(crops_.side, crops_.side);
    std::memcpy(cropPicture_.data(), crops_.crop(f), cropPicture_.byteSize());
    cv.copyRect({n + 10, 0, 2 * n + 10, n}, cropPicture_,
                Square(hx + rec.ShiftX - v.frameLeft, hy + rec.ShiftY - v.frameTop, n / 2));
    cv.textOut(n / 4, n + 15, " Original ");
    cv.textOut(n / 4 + n, n + 15, " Current ");
    cv.textOut(n - n / 4 - 10, n + 30, text);
  } else if (!v.resampled) {
    cv.copyRect({n + 10, 0, 2 * n + 10, n}, *v.framePic, Square(hx + rec.ShiftX, hy + rec.ShiftY, n / 2));
    cv.textOut(n / 4, n + 15, " Original ");
    cv.textOut(n / 4 + n, n + 15, " Current ");
    cv.textOut(n - n / 4 - 10, n + 30, text);
  } else {
    cv.copyRect({2 * h, 0, 4 * h, 2 * h}, *v.framePic, Square(hx + rec.ShiftX, hy + rec.ShiftY, h));
    cv.textOut(h, 2 * h + 15, " Original ");
    cv.textOut(3 * h, 2 * h + 15, " Current ");
    cv.textOut(2 * h, 2 * h + 30, text);
  }
  DrawAlignGraph();
  c_.AlignImage.invalidate();
}

}  // namespace registration
