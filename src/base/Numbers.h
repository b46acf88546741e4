#pragma once
// Rounding and number texts shared by every subsystem.
//   Round  = nearest integer, halves to the even neighbour (the FPU default mode).
//   Trunc  = drop the fraction toward zero.
#include <cmath>
#include <cstdint>
#include <string>

namespace px {

inline int Round(double v) { return static_cast<int>(std::nearbyint(v)); }
inline int64_t Round64(double v) { return static_cast<int64_t>(std::nearbyint(v)); }
inline int Trunc(double v) { return static_cast<int>(std::trunc(v)); }
inline uint8_t ClampByte(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<uint8_t>(v); }
inline uint8_t ClampByteInt(int v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v); }

// Shortest text that reads back at 15 significant digits ("1.5", "10", "0.001"); '.' separator.
std::string FloatToStr(double v);
// Fixed notation with the given decimals ("%.5f").
std::string FormatFixed(double v, int decimals);
// Width, decimals, thousands separated by ',' (the "%6.1n" form).
std::string FormatThousands(double v, int width, int decimals);

// Parsing that never throws: false when the whole text is not a number.
bool TryParseInt(const std::string& text, long long& out);
bool TryParseDouble(const std::string& text, double& out);
// Parsing that throws PelinoxaError with the conversion message a user would see.
long long StrToInt(const std::string& text);
double StrToFloat(const std::string& text);

}  // namespace px
