#pragma once
// The selection rule: which ranked frames go into the stack.
#include "frames/FrameTable.h"

namespace stacking {

// Dmax: the largest Difference over rank positions 0 … rankMax.
float MaxDifference(const frames::FrameTable& t, int rankMax);
// Cut = percent x Dmax x 0.01.
inline float DifferenceCut(float dmax, int percent) { return static_cast<float>(percent * dmax * 0.01); }
// Rank position k within the difference cut (equal passes), ignoring the Excluded flag.
bool WithinCut(const frames::FrameTable& t, int k, float cut);
// Rank position k is stacked: k <= R, within the cut, not excluded.
bool Admits(const frames::FrameTable& t, int k, int R, float cut);
// Frames admitted over 0 … R.
int CountAdmitted(const frames::FrameTable& t, int R, float cut);

}  // namespace stacking
