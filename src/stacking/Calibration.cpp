#include "stacking/Calibration.h"

#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/FitsHeader.h"
#include "formats/FitsReader.h"
#include "frames/FrameTable.h"
#include "ui/BmpCodec.h"

namespace stacking {

namespace {

constexpr int kMaxSide = frames::MaxImageSide;

// Flat: divide by the mean (0 taken as 1), and keep every value away from 0.
void NormalizeFlat(std::array<frames::Single2dArray, 3>& p, int w, int h, double mean) {
  if (mean == 0) mean = 1;
  const float inv = static_cast<float>(1.0 / mean);
  for (int k = 0; k < 3; ++k)
    for (int y = 0; y < h; ++y) {
      float* r = p[k].Row(y);
      for (int x = 0; x < w; ++x) {
        float v = r[x] * inv;
        if (v == 0) v = 0.00001f;
        r[x] = v;
      }
    }
}

}  // namespace

CalibrationLoadResult LoadCalibrationFile(ui::UiServices& ui, frames::ImagePlanes& planes, StackingState& st,
                                          bool flat, const std::string& path, int type, bool fromProject) {
  CalibrationLoadResult res;
  auto& p = flat ? planes.FlatPlanes : planes.DarkPlanes;
  int& width = flat ? st.FlatWidth : st.DarkWidth;
  int& height = flat ? st.FlatHeight : st.DarkHeight;
  for (auto& plane : p) plane.Release();
  width = height = 0;
  (flat ? st.FlatFile : st.DarkFile) = path;
  (flat ? st.FlatFileType : st.DarkFileType) = type;

  if (type == calBmp) {
    ui::Bitmap24 bmp;
    try {
      bmp = ui::LoadBmpFile(path);
    } catch (const px::PelinoxaError& e) {
      ui.showError(e.what());
      return res;
    }
    int w = bmp.width(), h = bmp.height();
    if (w > kMaxSide || h > kMaxSide) {
      if (!fromProject)
        ui.showMessage(flat ? " Warning: flatfield too large , truncated !" : " Warning : darkframe too large , truncated !");
      w = std::min(w, kMaxSide);
      h = std::min(h, kMaxSide);
    }
    for (auto& plane : p) plane.Create(w, h);
    double sum = 0;
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = bmp.row(y);
      float* r[3] = {p[0].Row(y), p[1].Row(y), p[2].Row(y)};
      for (int x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k) {
          const uint8_t b = row[x * 3 + (2 - k)];
          r[k][x] = b * 128.0f;
          sum += b * 128.0;
        }
    }
    width = w;
    height = h;
    if (flat) NormalizeFlat(p, w, h, w > 0 && h > 0 ? sum / (3.0 * w * h) : 0);
    res.loaded = true;
    return res;
  }

  // FITS variants: one grey image into all three planes.
  res.colourOff = true;
  try {
    px::MappedFile m(path);
    formats::FitsHeader hd = formats::ReadFitsHeader(m.data(), m.size());
    int64_t w = hd.naxis1, h = hd.naxis2;
    if (w > kMaxSide || h > kMaxSide) {
      if (!fromProject) {
        ui.showMessage(flat ? " flatfield too large !!" : " darkframe too large !!");
        res.hideUseBox = true;
        return res;
      }
      w = std::min<int64_t>(w, kMaxSide);
      h = std::min<int64_t>(h, kMaxSide);
    }
    if (hd.bitpix != 16 && hd.bitpix != 32) throw px::PelinoxaError("unsupported fits format");
    const int iw = static_cast<int>(std::max<int64_t>(w, 0)), ih = static_cast<int>(std::max<int64_t>(h, 0));
    for (auto& plane : p) plane.Create(iw, ih);
    const double factor = (!flat && type == calFits) ? 128.0 : 1.0;
    formats::ReadFitsValues(m.data(), m.size(), hd, formats::PlaneRef{p[0].Data(), p[0].stride()}, iw, ih, factor);
    double sum = 0;
    for (int y = 0; y < ih; ++y) {
      const float* src = p[0].Row(y);
      std::copy(src, src + iw, p[1].Row(y));
      std::copy(src, src + iw, p[2].Row(y));
      for (int x = 0; x < iw; ++x) sum += src[x];
    }
    width = iw;
    height = ih;
    if (flat) NormalizeFlat(p, iw, ih, iw > 0 && ih > 0 ? sum / (static_cast<double>(iw) * ih) : 0);
    res.loaded = true;
  } catch (const px::PelinoxaError& e) {
    ui.showMessage(e.what());
  }
  return res;
}

}  // namespace stacking
