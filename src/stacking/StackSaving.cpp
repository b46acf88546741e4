// "Save" on the Stacking page: the 8-bit view as BMP or JPEG, the float planes as FITS
// (16-bit, 32-bit, or the .fitx darkframe variant) or as a 16-bit-per-channel TIFF.
#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "formats/FitsWriter.h"
#include "formats/Jpeg.h"
#include "stacking/StackingController.h"
#include "ui/BmpCodec.h"

namespace stacking {

namespace {
constexpr const char* kSaveFilter =
    "BMP|*.BMP|JPEG|*.JPG|FIT (16-bit)|*.FIT|FIT (32-bit)|*.FIT|Special Pelinoxa Fits|*.FITX|TIFF|*.tif";
}

std::string StackingController::InputCaption() const {
  const auto& in = d_.input;
  if (in.InputKind == frames::ikAvi) return std::string(frames::KindCaptionPrefix(frames::ikAvi)) + in.AviPath;
  return std::string(frames::KindPluralPrefix(in.InputKind)) + d_.table.fileNames[0];
}

void StackingController::SaveStackTiff16(const std::string& path, int width, int height) {
  const auto& p = d_.planes.StackPlanes;
  const bool col = colour();
  float mx = 0;
  for (int k = col ? 0 : 1; k <= (col ? 2 : 1); ++k)
    for (int y = 0; y < height; ++y) {
      const float* r = p[k].Row(y);
      for (int x = 0; x < width; ++x) mx = std::max(mx, r[x]);
    }
  const double s = mx > 0 ? 65535.0 / mx : 0.0;
  formats::TTIFFBitMap& bmp = d_.planes.OutputBitmap48;
  bmp.Allocate48(width, height);
  bmp.bitsPerPixel = 48;
  for (int y = 0; y < height; ++y) {
    const float* src[3];
    for (int k = 0; k < 3; ++k) src[k] = p[col ? k : 1].Row(y);
    uint16_t* out = bmp.row16(y);
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < 3; ++k)
        out[x * 3 + k] = static_cast<uint16_t>(std::clamp<int64_t>(px::Round64(src[k][x] * s), 0, 65535));
  }
  bmp.has16Bit = true;
  bmp.SaveTiff(path, 48, false);
}

void StackingController::SaveButtonClick() {
  const std::string oldDir = px::CurrentDirectory();
  struct Restore {
    std::string dir;
    ~Restore() {
      if (px::DirectoryExists(dir)) px::SetCurrentDirectory(dir);
    }
  } restore{oldDir};

  ui::FileDialogRequest rq;
  rq.save = true;
  rq.title = "Save stack";
  rq.filter = kSaveFilter;
  rq.filterIndex = 1;
  rq.fileName = d_.input.DefaultSaveName;
  if (c_.SaveSub.checked()) {
    const std::string folder = px::JoinPath(d_.inputControls.DirectoryListBox1.text(), c_.Subdirname.text());
    if (px::ForceDirectories(folder)) rq.initialDir = folder;
    else s_.ui.showError("Cannot create folder \"" + folder + "\".");
  }
  auto res = s_.ui.fileDialog(rq);
  if (!res.accepted || res.files.empty()) {
    s_.form.setCaption(InputCaption());
    return;
  }
  const std::string chosen = res.files.front();
  std::string dir = px::ExtractFileDir(chosen);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  s_.settings.writeString("Files", "SaveDir", dir);
  const std::string name = px::ExtractFileName(chosen);
  const std::string base = px::JoinPath(dir, px::ChangeFileExt(name, ""));
  const int W = st_.StackWidth > 0 ? st_.StackWidth : d_.input.ImageWidth;
  const int H = st_.StackHeight > 0 ? st_.StackHeight : d_.input.ImageHeight;

  auto mayWrite = [&](const std::string& file) {
    return !px::FileExists(file) ||
           s_.ui.messageBox(px::OverwriteQuestion(file), ui::MsgKind::Warning, ui::ButtonsYesNo) == ui::DialogResult::Yes;
  };
  try {
    switch (res.filterIndex) {
      case 1: {
        const std::string file = base + ".bmp";
        if (mayWrite(file)) ui::SaveBmpFile(file, c_.Stackimage.picture());
        break;
      }
      case 2: {
        const std::string file = base + ".jpg";
        if (mayWrite(file)) formats::SaveJpegFile(file, c_.Stackimage.picture(), 90);
        break;
      }
      case 3:
      case 4:
      case 5: {
        formats::FitsWriteRequest w;
        w.path = px::JoinPath(dir, name);
        w.width = W;
        w.height = H;
        w.mode = res.filterIndex == 5 ? formats::FitsLevel128 : formats::FitsScaledPlanes;
        w.bitpix = res.filterIndex == 4 ? 32 : 16;
        w.colour = colour();
        for (int k = 0; k < 3; ++k) w.planes[k] = {d_.planes.StackPlanes[k].Data(), d_.planes.StackPlanes[k].stride()};
        w.confirmOverwrite = mayWrite;
        formats::WriteFits(w);
        break;
      }
      case 6: {
        const std::string file = base + ".tif";
        if (mayWrite(file)) SaveStackTiff16(file, W, H);
        break;
      }
      default:
        break;
    }
  } catch (const px::PelinoxaError& e) {
    s_.ui.showError(e.what());
  }
  s_.form.setCaption(InputCaption());
}

}  // namespace stacking
