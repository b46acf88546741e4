#include "base/Numbers.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

#include "base/Error.h"

namespace px {

std::string FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string s = buf;
  if (s == "-0") s = "0";
  return s;
}

std::string FormatFixed(double v, int decimals) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string FormatThousands(double v, int width, int decimals) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(v));
  std::string digits = buf;
  std::string frac;
  auto dot = digits.find('.');
  if (dot != std::string::npos) {
    frac = digits.substr(dot);
    digits.resize(dot);
  }
  std::string grouped;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    grouped += digits[i];
    int left = n - 1 - i;
    if (left > 0 && left % 3 == 0) grouped += ',';
  }
  std::string s;
  if (v < 0) s += '-';
  s += grouped;
  s += frac;
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
  return s;
}

static std::string Trimmed(const std::string& t) {
  size_t a = 0, b = t.size();
  while (a < b && (t[a] == ' ' || t[a] == '\t')) ++a;
  while (b > a && (t[b - 1] == ' ' || t[b - 1] == '\t')) --b;
  return t.substr(a, b - a);
}

bool TryParseInt(const std::string& text, long long& out) {
  std::string t = Trimmed(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    v = std::strtoll(t.c_str() + 2, &end, 16);
  } else if (t[0] == '$') {
    v = std::strtoll(t.c_str() + 1, &end, 16);
  } else {
    v = std::strtoll(t.c_str(), &end, 10);
  }
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  out = v;
  return true;
}

bool TryParseDouble(const std::string& text, double& out) {
  std::string t = Trimmed(text);
  if (t.empty()) return false;
  // Always '.' as decimal separator, independent of the C locale.
  std::istringstream in(t);
  in.imbue(std::locale::classic());
  double v;
  in >> v;
  if (in.fail()) return false;
  char rest;
  if (in >> rest) return false;
  out = v;
  return true;
}

long long StrToInt(const std::string& text) {
  long long v;
  if (!TryParseInt(text, v)) throw PelinoxaError("'" + text + "' is not a valid integer value");
  return v;
}

double StrToFloat(const std::string& text) {
  double v;
  if (!TryParseDouble(text, v)) throw PelinoxaError("'" + text + "' is not a valid floating point value");
  return v;
}

}  // namespace px
