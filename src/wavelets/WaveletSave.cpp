// "Save" on the Wavelet Processing page: the processed image as shown (BMP, JPEG), or its
// 16-bit copy (FITS, one file per colour; 48-bit TIFF).
#include "base/Error.h"
#include "base/Files.h"
#include "formats/FitsWriter.h"
#include "formats/Jpeg.h"
#include "ui/BmpCodec.h"
#include "wavelets/WaveletController.h"

namespace wavelets {

namespace {
constexpr const char* kSaveFilter =
    "BMP (8BIT*RGB)|*.bmp|JPEG(8BIT*RGB)|*.JPG|FIT (16BIT) RGB separate |*.FIT|TIFF(16BIT *RGB)|*.TIF";
}

void WaveletController::SaveBMP2buttonClick() {
  if (!haveStack() || !st_.LayersValid) return;
  const std::string caption = s_.form.caption();
  struct Restore {
    std::string dir;
    ~Restore() {
      if (px::DirectoryExists(dir)) px::SetCurrentDirectory(dir);
    }
  } restore{px::CurrentDirectory()};

  ui::FileDialogRequest rq;
  rq.save = true;
  rq.title = "Save processed image";
  rq.filter = kSaveFilter;
  rq.filterIndex = 1;
  auto& sc = d_.stackingControls;
  if (sc.SaveSub.checked()) {
    const std::string folder = px::JoinPath(d_.inputControls.DirectoryListBox1.text(), sc.Subdirname.text());
    if (px::ForceDirectories(folder)) rq.initialDir = folder;
    else s_.ui.showError("Cannot create folder \"" + folder + "\".");
  }
  const ui::FileDialogResult res = s_.ui.fileDialog(rq);
  if (!res.accepted || res.files.empty()) return;
  const std::string chosen = res.files.front();
  std::string dir = px::ExtractFileDir(chosen);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  s_.settings.writeString("Files", "SaveDir", dir);
  const std::string name = px::ExtractFileName(chosen);
  const std::string baseName = name.empty() || name[0] == '.' ? "default" : px::ChangeFileExt(name, "");
  const std::string base = px::JoinPath(dir, baseName);
  auto mayWrite = [&](const std::string& file) {
    return !px::FileExists(file) ||
           s_.ui.messageBox(px::OverwriteQuestion(file), ui::MsgKind::Warning, ui::ButtonsYesNo) == ui::DialogResult::Yes;
  };
  const ui::Bitmap24& pic = c_.ProcessImage.picture();
  formats::TTIFFBitMap& out = d_.planes.OutputBitmap48;
  try {
    switch (res.filterIndex) {
      case 1:
        if (mayWrite(base + ".bmp")) ui::SaveBmpFile(base + ".bmp", pic);
        break;
      case 2:
        if (mayWrite(base + ".jpg")) formats::SaveJpegFile(base + ".jpg", pic, 90);
        break;
      case 3:
        formats::WriteFitsPicture16(px::JoinPath(dir, name.empty() || name[0] == '.' ? "default" + name : name),
                                    st_.Width, st_.Height, d_.inputControls.ColourStack.checked(), out, mayWrite);
        break;
      case 4:
        // The 16-bit copy is one column and row larger than the image; the file has its size.
        if (mayWrite(base + ".tif")) {
          formats::TTIFFBitMap tif;
          tif.Allocate48(st_.Width, st_.Height);
          for (int y = 0; y < st_.Height; ++y) std::copy_n(out.row16(y), 3 * st_.Width, tif.row16(y));
          tif.has16Bit = true;
          tif.bitsPerPixel = 48;
          tif.SaveTiff(base + ".tif", 48, false);
        }
        break;
      default:
        break;
    }
  } catch (const px::PelinoxaError& e) {
    s_.ui.showError(e.what());
  }
  s_.form.setCaption(caption);
}

}  // namespace wavelets
