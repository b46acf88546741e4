#include "frames/InputSelection.h"

#include <algorithm>

#include "base/Error.h"
#include "base/Files.h"
#include "base/FlagScope.h"
#include "frames/FileCheck.h"
#include "frames/VideoSource.h"

namespace frames {

namespace {

int FilterOfLastType(const std::string& lastType) {
  if (lastType == "BMP") return 2;
  if (lastType == "FIT") return 3;
  if (lastType == "JPG") return 4;
  if (lastType == "SER") return 6;
  return 1;
}

}  // namespace

InputKind KindOfFilter(int filterIndex) {
  switch (filterIndex) {
    case 2: return ikBmp;
    case 3: return ikFits;
    case 4: return ikJpeg;
    case 5: return ikTiff;
    default: return ikAvi;
  }
}

bool IsAcceptedStillName(const std::string& path) {
  static const char* kAccepted[] = {".bmp", ".jpg", ".fit", ".fts", ".fits", ".tif", ".tiff"};
  std::string ext = px::LowerCase(px::ExtractFileExt(path));
  for (const char* a : kAccepted)
    if (ext == a) return true;
  return false;
}

bool IsVideoName(const std::string& path) {
  const std::string ext = px::LowerCase(px::ExtractFileExt(path));
  return ext == ".ser" || ext == ".avi";
}

InputKind KindOfDroppedName(const std::string& path) {
  std::string n = px::LowerCase(path);
  auto ends = [&](const char* t) { return px::EndsWithNoCase(n, t); };
  if (ends("jpg")) return ikJpeg;
  if (ends("fit") || ends("fts") || ends("fits")) return ikFits;
  if (ends("tif")) return ikTiff;
  return ikBmp;
}

InputSelection::InputSelection(ui::Services& s, FrameTable& table, InputState& input, InputControls& c,
                               FrameSource& source, FrameNavigation& navigation)
    : s_(s), table_(table), in_(input), c_(c), source_(source), nav_(navigation), f_(s.form) {
  c_.SelectFileButton.OnClick = [this] { SelectFileButtonClick(); };
  c_.BitBtn10.OnClick = [this] { BitBtn10Click(); };
}

std::string InputSelection::StillCaption(const std::string& path) const {
  return KindCaptionPrefix(in_.InputKind) + path;
}

void InputSelection::SetFrameListFileButtons(bool visible) {
  c_.Framelistsavebutton.setVisible(visible);
  c_.Framelistloadbutton.setVisible(visible);
  c_.FramelistSortbutton.setVisible(visible);
}

// The input page's own part; every later stage resets itself through ResetStages.
void InputSelection::ResetForNewInput() {
  if (!c_.ColourStack.checked()) c_.LRGB1.setChecked(false);
  in_.DroppedFramesSeen = false;
  c_.ShowFramelist.setChecked(false);
  c_.Lumichannel.setChecked(false);
  c_.Lumichannel.setVisible(false);
  in_.InputLoaded = false;
  c_.Frames.setVisible(false);
  c_.FrontPanel.setVisible(true);
  c_.PreviewImage.setEnabled(true);
  in_.CancelRequested = false;

  if (ResetStages) ResetStages();

  table_.Reset();
  nav_.ForgetMarker();
}

void InputSelection::SelectFileButtonClick() {
  px::FlagScope lock(in_.PreviewClickLock);
  ResetForNewInput();

  ui::FileDialogRequest req;
  req.filter = kInputFilter;
  req.filterIndex = FilterOfLastType(s_.settings.readString("Files", "Lasttype", "none"));
  req.defaultExt = "avi";
  req.initialDir = in_.InputDir;
  req.multiSelect = KindOfFilter(req.filterIndex) != ikAvi;
  req.onTypeChange = [this](int filter) {
    bool multi = false;
    AddBitmapDialogTypeChange(filter, multi);
    return multi;
  };
  req.onSelectionChange = [this](const std::string& path) { AddBitmapDialogSelectionChange(path); };
  ui::FileDialogResult res = s_.ui.fileDialog(req);

  if (!res.accepted || res.files.empty()) {
    CommonTail();
    return;
  }
  const std::string& firstName = res.files.front();
  if (const std::string why = UnreadableFileReason(firstName); !why.empty()) {
    s_.ui.messageBox(why == "no such file" ? "non existing file :" + firstName
                                           : "Cannot read \"" + firstName + "\": " + why,
                     ui::MsgKind::Error, ui::ButtonsOK);
    return;
  }

  BeginInput(true);

  if (KindOfFilter(res.filterIndex) == ikAvi) {
    if (!ReadVideo(firstName)) return;
  } else {
    if (!ReadStills(res.files, res.filterIndex)) return;
    if (in_.FrameCount == 1) {
      SingleStillFrame();
      return;
    }
  }
  CommonTail();
}

bool InputSelection::ReadVideo(const std::string& path) {
  in_.InputKind = ikAvi;
  if (ShowResampling) ShowResampling(true);
  SetFrameListFileButtons(false);
  s_.settings.writeString("Files", "Lasttype", px::LowerCase(px::ExtractFileExt(path)) == ".ser" ? "SER" : "AVI");

  std::string full = px::AbsolutePath(path);
  std::string dir = px::ExtractFileDir(full);
  source_.ReadAvi(full, 0);
  auto video = source_.Video(full);
  in_.FrameCount = video->frameCount();
  in_.VideoInfo = video->describe();
  c_.Label9.setHint(in_.VideoInfo);
  if (const std::string note = video->warnings(); !note.empty())
    s_.ui.messageBox("The video " + full + ": " + note + ".", ui::MsgKind::Warning, ui::ButtonsOK);
  if (in_.SourceWidth > MaxImageSide || in_.SourceHeight > MaxImageSide)
    s_.ui.messageBox("The video " + full + " is " + std::to_string(in_.SourceWidth) + "x" +
                         std::to_string(in_.SourceHeight) + " pixels; only the top-left " +
                         std::to_string(in_.ImageWidth) + "x" + std::to_string(in_.ImageHeight) +
                         " part of every frame is used (at most " + std::to_string(MaxImageSide) + " pixels a side).",
                     ui::MsgKind::Warning, ui::ButtonsOK);

  in_.InputDir = dir;
  c_.DirectoryListBox1.setText(dir);
  px::SetCurrentDirectory(dir);
  f_.setCaption(std::string(KindCaptionPrefix(ikAvi)) + full);
  in_.DefaultSaveName = px::ChangeFileExt(px::ExtractFileName(full), "");
  in_.AviPath = full;
  s_.settings.writeString("Files", "Dir", dir);
  return true;
}

bool InputSelection::ReadStills(const std::vector<std::string>& names, int filterIndex) {
  in_.InputKind = KindOfFilter(filterIndex);
  if (in_.InputKind == ikFits || in_.InputKind == ikTiff) {
    if (SwitchOffResampling) SwitchOffResampling();
    if (ShowResampling) ShowResampling(false);
  } else if (ShowResampling) {
    ShowResampling(true);
  }
  in_.FitsStretch = false;
  if (in_.InputKind == ikFits)
    in_.FitsStretch = s_.ui.messageBox("Stretch intensity-levels ", ui::MsgKind::Confirmation, ui::ButtonsYesNo) ==
                      ui::DialogResult::Yes;
  SetFrameListFileButtons(true);
  s_.settings.writeString("Files", "Lasttype", "BMP");
  if (in_.InputKind == ikJpeg) s_.settings.writeString("Files", "Lasttype", "JPG");
  if (in_.InputKind == ikFits) s_.settings.writeString("Files", "Lasttype", "FIT");

  int taken = 0;
  for (const auto& name : names) {
    if (!IsAcceptedStillName(name)) continue;
    if (taken >= MaxFrames) {
      ++taken;  // counted for the "only 5000 frames" warning, not stored
      continue;
    }
    table_.fileNames[taken++] = px::AbsolutePath(name);
  }
  if (taken == 0) {
    s_.ui.messageBox("None of the selected files is a frame of a supported kind", ui::MsgKind::Warning, ui::ButtonsOK);
    in_.InputLoaded = false;
    CommonTail();
    return false;
  }

  const std::string first = table_.fileNames[0];
  const std::string dir = px::ExtractFileDir(first);
  s_.settings.writeString("Files", "Dir", dir);
  in_.InputDir = dir;
  c_.DirectoryListBox1.setText(dir);
  f_.setCaption(StillCaption(first));
  in_.DefaultSaveName = px::ChangeFileExt(px::ExtractFileName(first), "");
  source_.ReadStillFrame(first, in_.InputKind);
  const ui::Bitmap24& pic = source_.preview();
  in_.ImageWidth = in_.FrameWidth = in_.SourceWidth = pic.width();
  in_.ImageHeight = in_.FrameHeight = in_.SourceHeight = pic.height();
  if (in_.ImageWidth > MaxImageSide || in_.ImageHeight > MaxImageSide)
    s_.ui.showMessage("AVI or BMP too large (max " + std::to_string(MaxImageSide) + "x" + std::to_string(MaxImageSide) +
                      " !!!");

  // The dialog returns the focused name first; the user is told to open a selection by
  // double-clicking its last name, so exchanging first and last restores the order.
  int stored = std::min(taken, MaxFrames);
  std::swap(table_.fileNames[0], table_.fileNames[stored - 1]);
  in_.FrameCount = taken;
  return true;
}

void InputSelection::SingleStillFrame() {
  if (in_.InputKind == ikFits) c_.ColourStack.setChecked(false);
  if (PrepareSingleFrame) PrepareSingleFrame();
  c_.FrontPanel.setVisible(false);
  c_.PreviewImage.setEnabled(false);

  in_.SingleImage = true;
  if (SetFeaturePoint) SetFeaturePoint(in_.ImageWidth / 2, in_.ImageHeight / 2);
  if (AllocateImageBuffers) AllocateImageBuffers(in_.ImageWidth, in_.ImageHeight);

  // Two frame slots hold the same file so that the selection and stacking see a sequence.
  table_.fileNames[1] = table_.fileNames[0];
  table_[0].Excluded = 0;
  table_[1].Excluded = 0;
  c_.PreviewSlider.setRange(0, 1);
  table_.ranks[0] = {0, 1.0f, 0};
  table_.ranks[1] = {0, 1.0f, 0};
  c_.PreviewSlider.setValue(0);
  in_.SelectedCount = 1;

  if (StackSingleFrame) StackSingleFrame();
  if (PagesForSingleFrame) PagesForSingleFrame();
}

void InputSelection::CommonTail() {
  c_.PreviewImage.setEnabled(true);
  if (in_.ImageWidth > MaxImageSide || in_.ImageHeight > MaxImageSide) s_.ui.showMessage("AVI or BMP too large !!!!");
  if (AllocateImageBuffers) AllocateImageBuffers(in_.ImageWidth, in_.ImageHeight);
  if (in_.InputLoaded) {
    if (NewInputLoaded) NewInputLoaded();
    in_.AviFileName = in_.InputKind == ikAvi ? px::ExtractFileName(in_.AviPath) : std::string();

    c_.PreviewImage.setSize(in_.ImageWidth, in_.ImageHeight);
    if (SizeAlignView) SizeAlignView(in_.ImageWidth, in_.ImageHeight);
    if (FitBoxToFrame) FitBoxToFrame(in_.ImageWidth, in_.ImageHeight);

    // The frame table has 5001 slots: the sliders must never reach past them.
    if (in_.FrameCount > MaxFrames) {
      s_.ui.messageBox("Warning : only 5000 frames can be processed", ui::MsgKind::Warning, ui::ButtonsOK);
      in_.FrameCount = MaxFrames;
    }
    const int last = std::max(in_.FrameCount - 1, 0);
    c_.PreviewSlider.setRange(0, last);
    if (SetAlignRange) SetAlignRange(last);

    // The frame list before showing the frame, so the shown frame finds its item.
    c_.SelectFramesChecklist.beginUpdate();
    c_.SelectFramesChecklist.clear();
    for (int i = 0; i < in_.FrameCount; ++i) {
      table_[i].Excluded = 0;
      std::string text = in_.stillInput() ? px::ExtractFileName(table_.fileNames[i]) : "Frame " + std::to_string(i + 1);
      c_.SelectFramesChecklist.add(text, ui::CheckState::Checked);
    }
    c_.SelectFramesChecklist.endUpdate();
    in_.SelectedCount = in_.FrameCount;

    nav_.PreviewSliderChange();
    if (SetStackRange) SetStackRange(last);
    c_.Label9.setCaption("1 / " + std::to_string(in_.FrameCount));
  }
}

void InputSelection::AddBitmapDialogTypeChange(int filterIndex, bool& multiSelect) const {
  multiSelect = KindOfFilter(filterIndex) != ikAvi;
}

void InputSelection::AddBitmapDialogSelectionChange(const std::string& path) {
  if (!IsVideoName(path) || !px::FileExists(path)) return;
  source_.ReadAvi(path, 0);
  c_.PreviewImage.setSize(in_.ImageWidth, in_.ImageHeight);
}

void InputSelection::DropFiles(const std::vector<std::string>& files) {
  if (files.empty()) return;
  const std::string first = px::AbsolutePath(files.front());
  if (IsVideoName(first)) {
    DropVideo(first);
    return;
  }
  in_.InputKind = KindOfDroppedName(first);
  if (in_.InputKind == ikFits) in_.FitsStretch = true;
  c_.Showpanel.setVisible(false);
  c_.FrontPanel.setVisible(true);
  c_.PreviewSlider.setVisible(true);
  c_.UseFramesign.setVisible(true);

  // Dropped files join the list after the frames already there; frame 0 keeps its file.
  const std::string ext = px::LowerCase(px::ExtractFileExt(first));
  int next = c_.SelectFramesChecklist.count();
  for (const auto& name : files) {
    std::string full = px::AbsolutePath(name);
    if (px::LowerCase(px::ExtractFileExt(full)) != ext) continue;
    if (next >= MaxFrames) {
      s_.ui.messageBox("Warning : only 5000 frames can be processed", ui::MsgKind::Warning, ui::ButtonsOK);
      break;
    }
    s_.settings.writeString("Files", "Dir", px::ExtractFileDir(full));
    c_.SelectFramesChecklist.add(px::ExtractFileName(full), ui::CheckState::Checked);
    table_.fileNames[next++] = full;
  }
  in_.InputDir = px::ExtractFileDir(first);
  c_.DirectoryListBox1.setText(in_.InputDir);
  f_.setCaption(StillCaption(first));
  s_.settings.writeString("Files", "Lasttype", in_.InputKind == ikJpeg ? "JPG" : "BMP");
  if (in_.InputKind == ikFits) s_.settings.writeString("Files", "Lasttype", "FIT");

  SizeFromFirstStill(first, in_.InputKind, "Bitmap too large  !!!!");
  c_.PreviewImage.setSize(in_.ImageWidth, in_.ImageHeight);
  if (SizeAlignView) SizeAlignView(in_.ImageWidth, in_.ImageHeight);

  in_.FrameCount = c_.SelectFramesChecklist.count();
  int last = std::max(in_.FrameCount - 1, 0);
  c_.PreviewSlider.setRange(0, last);
  if (SetAlignRange) SetAlignRange(last);
  if (SetStackRange) SetStackRange(last);
  for (int i = 0; i < in_.FrameCount; ++i) {
    FrameRecord& r = table_[i];
    r.ShiftX = r.ShiftY = r.ShiftXa = r.ShiftYa = 0;
    r.Quality = r.QualityA = r.Difference = r.DifferenceA = 0;
    r.Excluded = 0;
  }
  in_.InputLoaded = true;
  in_.SingleImage = false;
  nav_.PreviewSliderChange();
  if (PrepareAlignment) PrepareAlignment();
}

void InputSelection::DropVideo(const std::string& path) {
  px::FlagScope lock(in_.PreviewClickLock);
  ResetForNewInput();
  c_.PreviewImage.setEnabled(false);
  in_.InputLoaded = true;
  in_.SingleImage = false;
  c_.UseFramesign.setVisible(true);
  try {
    ReadVideo(path);
  } catch (const std::exception& e) {
    in_.InputLoaded = false;
    CommonTail();
    s_.ui.messageBox(e.what(), ui::MsgKind::Error, ui::ButtonsOK);
    return;
  }
  CommonTail();
}

// What every new input starts with: the preview waits for its first frame, the marker goes,
// the calibration buttons and the frame-use sign show.
void InputSelection::BeginInput(bool loaded) {
  c_.PreviewImage.setEnabled(false);
  nav_.ForgetMarker();
  in_.InputLoaded = loaded;
  in_.SingleImage = false;
  c_.UseFramesign.setVisible(true);
  c_.UseFramesign.setColor(ui::colors::Green);
  c_.CreateDarkframe.setVisible(true);
  c_.CreateFlatfield.setVisible(true);
}

// The sizes of a still sequence from its first frame, cut to the largest side the planes take
// (with the message the caller gives).
void InputSelection::SizeFromFirstStill(const std::string& first, InputKind kind, const char* tooLarge) {
  source_.ReadStillFrame(first, kind);
  const ui::Bitmap24& pic = source_.preview();
  in_.ImageWidth = in_.FrameWidth = in_.SourceWidth = pic.width();
  in_.ImageHeight = in_.FrameHeight = in_.SourceHeight = pic.height();
  if (in_.ImageWidth > MaxImageSide || in_.ImageHeight > MaxImageSide) {
    s_.ui.showMessage(tooLarge);
    in_.ImageWidth = in_.FrameWidth = std::min(in_.ImageWidth, MaxImageSide);
    in_.ImageHeight = in_.FrameHeight = std::min(in_.ImageHeight, MaxImageSide);
  }
}

void InputSelection::BitBtn10Click() {
  if (!in_.stillInput()) return;
  c_.SelectFramesChecklist.clear();
  c_.PreviewSlider.setMax(1);
  if (SetAlignRange) SetAlignRange(1);
  if (SetStackRange) SetStackRange(1);
}

void InputSelection::OpenVideo(const std::string& path) {
  px::FlagScope lock(in_.PreviewClickLock);
  ResetForNewInput();
  BeginInput(true);
  ReadVideo(path);
  CommonTail();
}

void InputSelection::OpenStillFrames(const std::vector<std::string>& paths, InputKind kind) {
  px::FlagScope lock(in_.PreviewClickLock);
  ResetForNewInput();
  BeginInput(!paths.empty());
  if (paths.empty()) {
    CommonTail();
    return;
  }
  in_.InputKind = kind;
  if (kind == ikFits || kind == ikTiff) {
    if (SwitchOffResampling) SwitchOffResampling();
    if (ShowResampling) ShowResampling(false);
  } else if (ShowResampling) {
    ShowResampling(true);
  }
  SetFrameListFileButtons(true);
  c_.AddFramesButton.setVisible(true);
  const char* type = kind == ikJpeg ? "JPG" : kind == ikFits ? "FIT" : kind == ikTiff ? "TIF" : "BMP";
  s_.settings.writeString("Files", "Lasttype", type);
  const int count = std::min(static_cast<int>(paths.size()), MaxFrames);
  for (int i = 0; i < count; ++i) {
    table_.fileNames[i] = paths[i];
    s_.settings.writeString("Files", "Dir", px::ExtractFileDir(paths[i]));
  }
  const std::string& first = table_.fileNames[0];
  in_.InputDir = px::ExtractFileDir(first);
  c_.DirectoryListBox1.setText(in_.InputDir);
  f_.setCaption(StillCaption(first));
  in_.DefaultSaveName = px::ChangeFileExt(px::ExtractFileName(first), "");
  SizeFromFirstStill(first, kind, "BMP or JPEG too large  !!!!");
  in_.FrameCount = static_cast<int>(paths.size());
  if (in_.FrameCount == 1) {
    SingleStillFrame();
    return;
  }
  CommonTail();
}

}  // namespace frames
