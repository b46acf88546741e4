#pragma once
// Delivers frames into the preview image, which every later step reads: single frames for
// showing, and passes over a whole video that hand every frame in use to the per-frame step
// (registration while AlignPass is set, stack accumulation while StackPass is set). Still
// frames are read by the reader of their kind; dropped video frames are marked; interlaced
// frames are split into their two fields.
#include <functional>
#include <memory>
#include <string>

#include "frames/DecodeAhead.h"
#include "frames/Debayer.h"
#include "frames/FrameTable.h"
#include "frames/ImagePlanes.h"
#include "frames/InputControls.h"
#include "frames/InputState.h"
#include "ui/Services.h"

namespace frames {

class VideoSource;

// Rebuilds one interlace field in place: every second row (or column with horizontal fields)
// from `first` up to size - 2 becomes the byte-wise mean (sum shifted right by one) of its two
// neighbours. Field 0 rebuilds the odd lines (first = 1), field 1 the even ones (first = 2).
void RebuildField(ui::Bitmap24& picture, int field, bool horizontal, int width, int height);

class FrameSource {
 public:
  FrameSource(ui::Services& s, FrameTable& table, InputState& input, InputControls& c, ImagePlanes& planes);
  ~FrameSource();

  // The per-frame steps, bound by registration and stacking.
  std::function<void()> RegisterFrame;
  std::function<void()> AccumulateFrame;
  // A luminance FITS file was read: stacking's LRGB box follows the input page's.
  std::function<void()> LuminanceFitsRead;
  // FITS frame: the values into FitsPlane, a grey preview, the frame sizes (at most 4096) and
  // the channel from the file name; a luminance file shows "Use Luminance (fits)" and checks
  // both LRGB boxes. A missing or unreadable file throws and leaves plane and preview as they were.
  void ReadFitsFrame(const std::string& path);
  // TIFF frame: loaded into OutputBitmap48 (display picture and 16-bit samples), the preview a
  // copy of it, the frame sizes clamped to 4096.
  void ReadTiffFrame(const std::string& path);

  // mode -2: nothing; -1: a pass over all frames from the start frame; n >= 0: the single
  // frame max(n, start frame), whose size becomes the frame and image size.
  void ReadAvi(const std::string& fileName, int mode);

  // Reads one still frame by the reader of `kind` into the preview (24 bits per pixel). For BMP
  // and JPEG the caller takes the preview's size; FITS and TIFF readers set the sizes.
  void ReadStillFrame(const std::string& path, InputKind kind);

  // Reads still frame `frame` of the table for a run; a frame that cannot be read is skipped
  // (see SkipUnreadable) and false returned.
  bool ReadRunStill(int frame, InputKind kind);

  // A frame that cannot be read during a run is left out like a dropped frame: excluded for
  // good, grey in the frame list, and noted with the reason for the report at the run's end.
  void SkipUnreadable(int frame, const std::string& reason);
  // Forgets the frames noted by earlier runs.
  void BeginRun() { in_.UnreadableFrames.clear(); }
  // The end-of-run report naming the skipped frames; empty when none was skipped.
  std::string UnreadableReport() const;
  // Shows the report (a warning) when frames were skipped.
  void ReportUnreadable();

  // Runs the per-frame step on the frame now in the preview, once or (de-interlacing) once per
  // field; `reload` puts the frame back into the preview before the second field.
  void RunFrameSteps(int width, int height, const std::function<void()>& reload);

  ui::Bitmap24& preview() { return c_.PreviewImage.picture(); }
  // Repaints the preview (the view throttles repaints during passes).
  void ShowPreview() { c_.PreviewImage.invalidate(); }

  // The video as last opened (the index is read once per file). No frame decodes ahead
  // once this returns.
  std::shared_ptr<VideoSource> Video(const std::string& fileName);
  // Starts decoding `frame` of the video on the side; the next ReadAvi of that frame takes the
  // picture instead of decoding it (the picture is the same either way).
  void PrefetchAviFrame(const std::string& fileName, int frame);

 private:
  void RunPerFrameStep();
  // Rebuilds colour in the preview when the video's grey frames hold a mosaic (Input page choice).
  void DebayerPreview(const VideoSource& video);
  DebayerMethod ChosenDebayerMethod() const;
  void ReadStillFrameFile(const std::string& path, InputKind kind);
  ui::Services& s_;
  FrameTable& table_;
  InputState& in_;
  InputControls& c_;
  ImagePlanes& planes_;
  ui::Bitmap24 fieldCopy_;  // the decoded frame kept for the second field
  DecodeAhead ahead_;
  Debayerer debayer_;
  std::vector<uint8_t> mosaic_;
};

}  // namespace frames
