#pragma once
// Darkframe and flatfield files: a 24-bit BMP (levels x 128), the program's own ".fitx"
// (already 128 x the level) or a plain FITS file. Darkframes are kept in 1/128 of an 8-bit
// level; flatfields are divided by their mean and never hold 0.
#include <string>

#include "frames/ImagePlanes.h"
#include "stacking/StackingState.h"
#include "ui/UiServices.h"

namespace stacking {

enum CalibrationFileType : int { calBmp = 1, calFitx = 2, calFits = 3 };

struct CalibrationLoadResult {
  bool loaded = false;        // values are in the planes
  bool colourOff = false;     // a FITS file: colour stacking is switched off
  bool hideUseBox = false;    // refused as too large: the Use box is hidden again
};

// Loads into DarkPlanes (flat = false) or FlatPlanes. `fromProject`: sizes above 4096 are cut
// without a message. Messages go through `ui`. The file is assumed to exist.
CalibrationLoadResult LoadCalibrationFile(ui::UiServices& ui, frames::ImagePlanes& planes, StackingState& st,
                                          bool flat, const std::string& path, int type, bool fromProject);

}  // namespace stacking
