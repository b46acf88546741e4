#include "formats/FitsHeader.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"

namespace formats {

namespace {

using px::PelinoxaError;

constexpr size_t CardSize = 80;
constexpr size_t BlockSize = 2880;

std::string Trim(std::string_view s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  size_t b = s.find_last_not_of(' ');
  return std::string(s.substr(a, b - a + 1));
}

bool IsEndCard(const char* c) {
  if (std::memcmp(c, "END", 3) != 0) return false;
  for (int i = 3; i < 8; ++i)
    if (c[i] != ' ') return false;  // a longer keyword that merely starts with END
  return true;
}

// The two readings of a value: free format (up to a '/') and fixed format (up to column 30).
struct ValueText {
  std::string free, fixed;
};

ValueText ValueOf(std::string_view card, std::string_view keyword) {
  size_t eq = card.find('=');
  if (eq == std::string_view::npos)
    throw PelinoxaError("Invalid FITS header: the " + std::string(keyword) + " card has no value");
  std::string_view rest = card.substr(eq + 1);
  ValueText v;
  v.free = Trim(rest.substr(0, rest.find('/')));
  v.fixed = eq + 1 < 30 ? Trim(card.substr(eq + 1, 30 - (eq + 1))) : std::string();
  return v;
}

[[noreturn]] void NotANumber(std::string_view keyword, const std::string& text) {
  throw PelinoxaError("Invalid FITS header: the value of " + std::string(keyword) + " ('" + text +
                      "') is not a number");
}

int64_t IntegerValue(std::string_view card, std::string_view keyword) {
  ValueText t = ValueOf(card, keyword);
  long long v;
  if (px::TryParseInt(t.free, v) || px::TryParseInt(t.fixed, v)) return v;
  NotANumber(keyword, t.free);
}

bool ParseReal(std::string s, double& out) {
  for (char& c : s)
    if (c == 'D' || c == 'd') c = 'E';  // FITS allows a D exponent
  return px::TryParseDouble(s, out) && std::isfinite(out);
}

int64_t RoundedRealValue(std::string_view card, std::string_view keyword) {
  ValueText t = ValueOf(card, keyword);
  double v;
  if (!ParseReal(t.free, v) && !ParseReal(t.fixed, v)) NotANumber(keyword, t.free);
  if (std::fabs(v) > 4.0e18) throw PelinoxaError("Invalid FITS header: " + std::string(keyword) + " is out of range");
  return px::Round64(v);
}

}  // namespace

FitsHeader ReadFitsHeader(const uint8_t* data, size_t size) {
  FitsHeader h;
  for (size_t pos = 0; pos + CardSize <= size; pos += CardSize) {
    const char* c = reinterpret_cast<const char*>(data + pos);
    if (IsEndCard(c)) {
      h.dataOffset = (pos / BlockSize + 1) * BlockSize;
      return h;
    }
    std::string_view card(c, CardSize);
    std::string_view key = card.substr(0, 6);
    if (key == "NAXIS1") {
      h.naxis1 = IntegerValue(card, "NAXIS1");
    } else if (key == "NAXIS2") {
      h.naxis2 = IntegerValue(card, "NAXIS2");
    } else if (key == "BITPIX") {
      int64_t v = IntegerValue(card, "BITPIX");
      h.bitpix = v >= -64 && v <= 64 ? int(v) : 0;
    } else if (key == "BZERO ") {
      h.bzero = RoundedRealValue(card, "BZERO");
    }
  }
  throw PelinoxaError("Invalid FITS file: the header has no END card");
}

int FitsChannelFromName(const std::string& path) {
  std::string name = px::ExtractFileName(path);
  std::string stem = px::ChangeFileExt(name, "");
  int channel = FitsGreen;
  if (stem.size() >= 2) {
    std::string tail = px::UpperCase(stem.substr(stem.size() - 2));
    if (tail == "_R") channel = FitsRed;
    else if (tail == "_G") channel = FitsGreen;
    else if (tail == "_B") channel = FitsBlue;
    else if (tail == "_L") channel = FitsLuminance;
  }
  std::string lower = px::LowerCase(name);
  if (lower.find(".red") != std::string::npos) channel = FitsRed;
  if (lower.find(".green") != std::string::npos) channel = FitsGreen;
  if (lower.find(".blue") != std::string::npos) channel = FitsBlue;
  if (lower.find(".luminance") != std::string::npos) channel = FitsLuminance;
  return channel;
}

}  // namespace formats
