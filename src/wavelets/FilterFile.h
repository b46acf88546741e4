#pragma once
// Wavelet filter files (.pxf): INI text, section [TMainForm], keys Filter00_Value ..
// Filter44_Value (first digit the column, second the row; column outer), integer values.
#include <string>

#include "wavelets/WaveletKernel.h"

namespace wavelets {

constexpr int kFilterValueLimit = 1000000;  // largest accepted |weight|

std::string FilterFileText(const KernelGrid& grid);

// Reads the 25 weights. False with a message naming the problem (not a text file, a missing
// key, a value that is not an integer or lies beyond kFilterValueLimit); `grid` is then unchanged.
bool ParseFilterText(const std::string& text, KernelGrid& grid, std::string& error);

}  // namespace wavelets
