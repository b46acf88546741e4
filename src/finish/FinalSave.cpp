// Saving the final picture (BMP, JPEG, 16-bit FITS per colour, 48-bit TIFF), the clipboard,
// and the "Resized image" window.
#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "finish/FinalController.h"
#include "finish/Resample.h"
#include "formats/FitsWriter.h"
#include "formats/Jpeg.h"
#include "ui/BmpCodec.h"
#include "ui/Canvas.h"

namespace finish {

namespace {
constexpr const char* kSaveFilter =
    "BMP (8BIT*RGB)|*.bmp|JPEG(8BIT*RGB)|*.JPG|FIT (16BIT) RGB separate |*.FIT|TIFF(16BIT *RGB)|*.TIF";
constexpr double kZoom[] = {2, 1.5, 1, 0.75, 0.5, 0.25};
}  // namespace

// Runs the dialog (starting in the sub-folder when asked); "" on cancel. dir and name are the
// chosen folder and file name.
std::string FinalController::ChooseSavePath(const char* title, const char* filter, int& filterIndex, std::string& dir,
                                            std::string& name) {
  ui::FileDialogRequest rq;
  rq.save = true;
  rq.title = title;
  rq.filter = filter;
  rq.filterIndex = 1;
  if (d_.saveSub.checked()) {
    const std::string folder = px::JoinPath(d_.inputControls.DirectoryListBox1.text(), d_.subdirName.text());
    if (px::ForceDirectories(folder)) rq.initialDir = folder;
    else s_.ui.showError("Cannot create folder \"" + folder + "\".");
  }
  const ui::FileDialogResult res = s_.ui.fileDialog(rq);
  if (!res.accepted || res.files.empty()) return "";
  filterIndex = res.filterIndex;
  const std::string chosen = res.files.front();
  dir = px::ExtractFileDir(chosen);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  s_.settings.writeString("Files", "SaveDir", dir);
  name = px::ExtractFileName(chosen);
  const std::string baseName = name.empty() || name[0] == '.' ? "default" : px::ChangeFileExt(name, "");
  return px::JoinPath(dir, baseName);
}

void FinalController::BitBtn8Click() {
  if (clean_.empty() || !d_.planes.OutputBitmap48.has16Bit) return;
  const std::string caption = s_.form.caption();
  struct Restore {
    std::string dir;
    ~Restore() {
      if (px::DirectoryExists(dir)) px::SetCurrentDirectory(dir);
    }
  } restore{px::CurrentDirectory()};
  int index = 1;
  std::string dir, name;
  const std::string base = ChooseSavePath("Save final image", kSaveFilter, index, dir, name);
  if (base.empty()) return;
  auto mayWrite = [&](const std::string& file) {
    return !px::FileExists(file) ||
           s_.ui.messageBox(px::OverwriteQuestion(file), ui::MsgKind::Warning, ui::ButtonsYesNo) == ui::DialogResult::Yes;
  };
  const formats::TTIFFBitMap& out = d_.planes.OutputBitmap48;
  try {
    switch (index) {
      case 1:
        if (mayWrite(base + ".bmp")) ui::SaveBmpFile(base + ".bmp", FinalPictureForSaving());
        break;
      case 2:
        if (mayWrite(base + ".jpg")) formats::SaveJpegFile(base + ".jpg", FinalPictureForSaving(), 90);
        break;
      case 3:
        formats::WriteFitsPicture16(px::JoinPath(dir, name.empty() || name[0] == '.' ? "default" + name : name),
                                    width(), height(), d_.inputControls.ColourStack.checked(), out, mayWrite);
        break;
      case 4:
        if (mayWrite(base + ".tif")) {
          formats::TTIFFBitMap tif;
          ComposeFinal16(out, width(), height(), Settings(), tif);
          // "Use crop" cuts the 16-bit picture too, like the 8-bit ones.
          const CropRect r = NormaliseCrop(crop_, tif.width48(), tif.height48());
          if (c_.Cropping.checked() && !r.none()) {
            formats::TTIFFBitMap cut;
            cut.Allocate48(r.right - r.left, r.bottom - r.top);
            for (int y = r.top; y < r.bottom; ++y)
              std::copy_n(tif.row16(y) + 3 * r.left, 3 * (r.right - r.left), cut.row16(y - r.top));
            cut.has16Bit = true;
            cut.bitsPerPixel = 48;
            cut.SaveTiff(base + ".tif", 48, false);
          } else {
            tif.SaveTiff(base + ".tif", 48, false);
          }
        }
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    s_.ui.showError(e.what());
  }
  s_.form.setCaption(caption);
}

void FinalController::BitBtn9Click() {
  if (clean_.empty()) return;
  s_.ui.setClipboardBitmap(FinalPictureForSaving());
}

const ui::Bitmap24& FinalController::ResizeSource() const {
  const bool final = FinalPageActive ? FinalPageActive() : true;
  return final ? c_.RotateImage.picture() : d_.processImage.picture();
}

void FinalController::ResampleInto(int w, int h) {
  const ui::Bitmap24& src = ResizeSource();
  ui::Bitmap24& dst = c_.ShrinkImage.picture();
  dst.setSize(std::max(1, w), std::max(1, h));
  c_.Imagesize.setCaption("Imagesize: " + std::to_string(dst.width()) + "x" + std::to_string(dst.height()));
  if (src.empty()) return;
  ResampleImage(src, dst, ResampleFilterIndexForItem(c_.Filters.itemIndex()));
  c_.ShrinkImage.invalidate();
}

void FinalController::ShrinkClick() {
  c_.ComboBox1.setItemIndex(2);
  ComboBox1Change();
}

void FinalController::ComboBox1Change() {
  const int i = c_.ComboBox1.itemIndex();
  const double s = i >= 0 && i < 6 ? kZoom[i] : 1;
  const ui::Bitmap24& src = ResizeSource();
  const int w = px::Round(src.width() * s), h = px::Round(src.height() * s);
  ResampleInto(w, h);
  // Sizing the window from code is not a user resize: the picture keeps the zoom's size.
  auto keep = c_.Shrinkview.OnResize;
  c_.Shrinkview.OnResize = nullptr;
  c_.Shrinkview.setSize(w + 200, std::max(h + 24, 390));
  c_.Shrinkview.OnResize = keep;
  c_.Shrinkview.setVisible(true);
  c_.Filters.setCaption(" Filters ");
}

void FinalController::ShrinktooriginalClick() {
  std::pair<int, int> size = OriginalSize ? OriginalSize() : std::pair<int, int>{d_.input.SourceWidth, d_.input.SourceHeight};
  const double f = ResampleFactor ? ResampleFactor() : 1;
  if (f > 1) {
    if (size.first * f > 4096) size.first = px::Round(4096 / f);
    if (size.second * f > 4096) size.second = px::Round(4096 / f);
  }
  ResampleInto(size.first, size.second);
  auto keep = c_.Shrinkview.OnResize;
  c_.Shrinkview.OnResize = nullptr;
  c_.Shrinkview.setSize(size.first + 129, size.second + 24);
  c_.Shrinkview.OnResize = keep;
}

void FinalController::ShrinkviewResize() {
  const ui::Bitmap24& cur = c_.ShrinkImage.picture();
  if (cur.empty()) return;
  const double a = static_cast<double>(cur.width()) / cur.height();
  int W = c_.Shrinkview.width() - 200, H = c_.Shrinkview.height() - 24;
  if (W < 1 || H < 1) return;
  if (W < H * a) H = px::Round(W / a);
  if (H < W / a) W = px::Round(H * a);
  c_.Shrinkview.setEnabled(false);
  ResampleInto(W, H);
  c_.Shrinkview.setEnabled(true);
}

void FinalController::RefreshResized() {
  const ui::Bitmap24& cur = c_.ShrinkImage.picture();
  if (!cur.empty()) ResampleInto(cur.width(), cur.height());
}

void FinalController::SaveShrinkClick() {
  const ui::Bitmap24& pic = c_.ShrinkImage.picture();
  if (pic.empty()) return;
  int index = 1;
  std::string dir, name;
  const std::string base = ChooseSavePath("Save resized image", "Bitmap (*.bmp)|*.bmp|Jpeg (*.jpg)|*.jpg", index, dir, name);
  if (base.empty()) return;
  const std::string file = base + (index == 2 ? ".jpg" : ".bmp");
  if (px::FileExists(file) &&
      s_.ui.messageBox(" Overwrite existing file ?", ui::MsgKind::Warning, ui::ButtonsYesNo) != ui::DialogResult::Yes)
    return;
  try {
    if (index == 2) formats::SaveJpegFile(file, pic, 90);
    else ui::SaveBmpFile(file, pic);
  } catch (const std::exception& e) {
    s_.ui.showError(e.what());
  }
}

}  // namespace finish
