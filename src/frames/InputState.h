#pragma once
// What the program knows about its current input and the flags its long runs share.
#include <cstdint>
#include <string>
#include <vector>

namespace frames {

enum InputKind : int { ikAvi = 0, ikBmp = 1, ikFits = 2, ikJpeg = 3, ikTiff = 4 };

// Caption prefixes of the main window per input kind.
const char* KindCaptionPrefix(InputKind k);   // "Pelinoxa processing BMP: " ...
const char* KindPluralPrefix(InputKind k);    // "Pelinoxa processing BMPs: " ...

// A frame left out of a run because it could not be read, and the reader's reason.
struct UnreadableFrame {
  int32_t frame = 0;
  std::string reason;
};

struct InputState {
  frames::InputKind InputKind = ikAvi;
  bool FitsStretch = false;
  bool InputLoaded = false;
  bool SingleImage = false;  // the input is one still frame (no aligning or stacking)
  std::string AviFileName = "none";  // the video's name without folder
  std::string AviPath;               // the video's full path
  std::string DefaultSaveName;       // preset name of the save dialogs: the input's name
  std::string VideoInfo;             // the video reader's description (format, header fields, notes)
  bool DeepFrame = false;            // OutputBitmap48 holds the current video frame's 16-bit samples
  int32_t FrameCount = 0;
  int32_t SelectedCount = 0;
  int32_t SourceWidth = 0, SourceHeight = 0;
  int32_t FrameWidth = 0, FrameHeight = 0;
  int32_t ImageWidth = 0, ImageHeight = 0;
  int32_t CurrentFrameIndex = 0;
  bool CancelRequested = false;
  bool DroppedFramesSeen = false;
  std::vector<UnreadableFrame> UnreadableFrames;  // found since the current run began
  bool PreviewClickLock = false;
  bool AlignPass = false;
  bool StackPass = false;
  int FieldIndex = 0;
  int FitsChannel = 1;  // channel of the current FITS frame: 0 R, 1 G, 2 B, 3 luminance
  std::string ProgramDir;
  std::string InputDir;  // the folder of the directory list (the input folder)

  bool stillInput() const { return InputKind != ikAvi; }
};

}  // namespace frames
