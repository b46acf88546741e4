#pragma once
// Writing single-image FITS files: one file per colour channel (or one luminance file), a
// 2880-byte header of standard cards, 16- or 32-bit big-endian integers, bottom row first,
// zero padding to a multiple of 2880 bytes.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "formats/PlaneRef.h"

namespace formats {

class TTIFFBitMap;

enum FitsWriteMode : int {
  FitsScaledPlanes = 0,  // float planes scaled over their common range (+10 % headroom)
  FitsBitmap16 = 1,      // the 16-bit samples of a TTIFFBitMap - 32767 (BITPIX 16 only)
  FitsLevel128 = 2,      // float planes as Round(v * 128): the ".fitx" darkframe variant
};

struct FitsWriteRequest {
  std::string path;       // as typed; the extension is replaced
  int width = 0, height = 0;
  int mode = FitsScaledPlanes;
  int bitpix = 16;        // 16 or 32
  bool colour = true;     // three files _R, _G, _B; otherwise one file from the G channel
  ConstPlaneRef planes[3];               // R, G, B (modes 0 and 2; only G in luminance mode)
  const TTIFFBitMap* bitmap48 = nullptr;  // mode 1
  // Asked for each file that exists already; false skips that file. Unset: overwrite.
  std::function<bool(const std::string& fileName)> confirmOverwrite;
  std::time_t when = 0;   // DATE-OBS / TIME-OBS (local time); 0 = now
};

struct FitsWriteResult {
  std::vector<std::string> written;
  std::vector<std::string> skipped;  // existing files the user chose to keep
};

// The files WriteFits writes: path without extension + ".fit" (".fitx" in mode 2), or in
// colour mode + "_R", "_G", "_B" + ".fit" (all modes).
std::vector<std::string> FitsOutputNames(const std::string& path, int mode, bool colour);
// Asks about every existing file first (px::OverwriteQuestion is the question to ask), then
// writes the chosen files together: all are replaced, or, when one cannot be written, none is
// and a px::PelinoxaError names that file and the reason. Throws std::invalid_argument for a
// request without the sources its mode needs.
FitsWriteResult WriteFits(const FitsWriteRequest& request);
// A processed picture's 16-bit copy as 16-bit FITS (one file per colour, or the green one),
// width x height of `bitmap48`, the overwrite question asked through `confirmOverwrite`.
FitsWriteResult WriteFitsPicture16(const std::string& path, int width, int height, bool colour,
                                   const TTIFFBitMap& bitmap48,
                                   std::function<bool(const std::string& fileName)> confirmOverwrite);

// The 36-card header block. Cards: SIMPLE, BITPIX, NAXIS, NAXIS1, NAXIS2, BSCALE, BZERO with
// values right-justified to column 30; DATE-OBS ('dd/mm/yy'), TIME-OBS ('hh:nn:ss'), OBJECT,
// INSTRUME, EXPOSURE, OBSERVER as empty quoted texts; two COMMENT cards; END; blank cards.
std::string BuildFitsHeader(int bitpix, int width, int height, int64_t bzero, std::time_t when);
std::string FitsValueCard(const std::string& keywordText, const std::string& value);
std::string FitsTextCard(const std::string& text);

// Convenience writers for sample and test data: values are the physical values of the image
// rows from top to bottom; the file stores value - bzero, bottom row first. Throws
// px::PelinoxaError when a value does not fit the BITPIX or the file cannot be written.
void WriteFitsImage16(const std::string& path, int width, int height, const std::vector<int32_t>& values,
                      int64_t bzero);
void WriteFitsImage32(const std::string& path, int width, int height, const std::vector<int64_t>& values,
                      int64_t bzero);

}  // namespace formats
