#pragma once
// Everything the main window owns, grouped by subsystem.
#include "finish/ToneState.h"
#include "frames/FrameTable.h"
#include "frames/ImagePlanes.h"
#include "frames/InputState.h"
#include "frames/NavigationState.h"
#include "registration/RegistrationState.h"
#include "stacking/StackingState.h"
#include "wavelets/WaveletState.h"

namespace app {

struct Workspace {
  frames::FrameTable table;
  frames::InputState input;
  frames::ImagePlanes planes;
  frames::ProcessArea area;
  frames::NavigationState nav;
  registration::RegistrationState reg;
  stacking::StackingState stack;
  wavelets::WaveletState wavelet;
  finish::ToneState tone;
};

}  // namespace app
