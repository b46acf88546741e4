#include "project/ProjectFile.h"

#include <charconv>
#include <cmath>
#include <sys/stat.h>

#include "base/Error.h"
#include "base/Files.h"
#include "base/Numbers.h"
#include "project/BigIni.h"

namespace project {

namespace {

// Shifts beyond this are no registration result of a frame at most 4096 pixels wide.
constexpr long long kMaxShift = 1 << 20;
constexpr long long kMaxCoordinate = 1 << 20;

class Writer {
 public:
  explicit Writer(size_t reserve) { text_.reserve(reserve); }
  void Section(const char* name) {
    if (!text_.empty()) text_ += '\n';
    text_.append(1, '[').append(name).append("]\n");
  }
  void Key(std::string_view key, std::string_view value) { text_.append(key).append(1, '=').append(value) += '\n'; }
  void Key(std::string_view key, long long value) { Key(key, std::string_view(Int(value))); }
  void Indexed(std::string_view stem, int n, std::string_view value) {
    text_.append(stem);
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    text_.append(buf, r.ptr).append(1, '=').append(value) += '\n';
  }
  void Indexed(std::string_view stem, int n, long long value) { Indexed(stem, n, std::string_view(Int(value))); }
  void Indexed(std::string_view stem, int n, float value) { Indexed(stem, n, std::string_view(px::FloatToStr(value))); }
  std::string Take() {
    if (!text_.empty()) text_ += '\n';
    return std::move(text_);
  }

 private:
  const char* Int(long long v) {
    auto r = std::to_chars(num_, num_ + sizeof num_ - 1, v);
    *r.ptr = '\0';
    return num_;
  }
  std::string text_;
  char num_[24];
};

class Reader {
 public:
  Reader(const TBigIniFile& ini, const std::string& fileName) : ini_(ini), file_(fileName) {}

  [[noreturn]] void Fail(const std::string& problem) const {
    throw px::PelinoxaError("Project " + file_ + ": " + problem);
  }
  bool Has(const char* section, const std::string& key) const { return ini_.ValueExists(section, key); }
  std::string Text(const char* section, const std::string& key, const std::string& def) const {
    return ini_.ReadString(section, key, def);
  }
  long long Int(const char* section, const std::string& key, long long def, long long lo, long long hi) const {
    if (!ini_.ValueExists(section, key)) return def;
    const std::string t = Trim(ini_.ReadString(section, key, ""));
    long long v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
      Fail("[" + std::string(section) + "] " + key + "=" + t + " is not a whole number");
    if (v < lo || v > hi)
      Fail("[" + std::string(section) + "] " + key + "=" + t + " is out of range (" + std::to_string(lo) + " to " +
           std::to_string(hi) + ")");
    return v;
  }
  float Fraction(const char* section, const std::string& key) const {
    if (!ini_.ValueExists(section, key)) return 0;
    const std::string t = Trim(ini_.ReadString(section, key, ""));
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
      Fail("[" + std::string(section) + "] " + key + "=" + t + " is not a number");
    if (!std::isfinite(v) || std::fabs(v) > 3.0e38)
      Fail("[" + std::string(section) + "] " + key + "=" + t + " is not a finite number");
    return static_cast<float>(v);
  }

 private:
  static std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  }
  const TBigIniFile& ini_;
  std::string file_;
};

std::string Key(const char* stem, int n) { return stem + std::to_string(n); }

// A frame's or video's name must stay inside the project's folder.
bool PlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\0' || c == '\\') return false;
  return true;
}

}  // namespace

std::string WriteProjectText(const ProjectData& p) {
  const int n = p.sequencelength();
  Writer w(4096 + static_cast<size_t>(n) * 120);
  w.Section("Input");
  w.Key("filetype", p.filetype);
  w.Key("filedir", p.filedir);
  if (p.avi()) w.Key("filename", p.filename);
  if (p.useDark) {
    w.Key("darkfile", p.darkfile);
    w.Key("darkfiletype", p.darkfiletype);
  }
  if (p.useFlat) {
    w.Key("flatfile", p.flatfile);
    w.Key("flatfiletype", p.flatfiletype);
  }
  w.Key("sequencelength", n);
  w.Key("progstatus", p.progstatus);
  if (p.activepage >= 0) w.Key("activepage", p.activepage);
  w.Key("usedframes", p.usedframes);
  w.Key("refframe", p.refframe);
  if (p.hasStackSliders) {
    w.Key("stackslider", p.stackslider);
    w.Key("stackdifslider", p.stackdifslider);
  }
  if (p.hasWavelet) {
    for (int i = 0; i < 6; ++i) w.Key("layer" + std::to_string(i + 1), p.layer[i]);
    w.Key("initial", p.initial);
    w.Key("step", p.step);
    w.Key("scaletype", p.scaletype);
    w.Key("contrast", p.contrast);
    w.Key("brightness", p.brightness);
  }
  w.Key("hotx", p.hotx);
  w.Key("hoty", p.hoty);
  w.Key("stackx", p.stackx);
  w.Key("stacky", p.stacky);
  w.Key("resampled", p.resampled ? "yes" : "no");
  w.Key("resamplevalue", p.resamplevalue);
  if (!p.avi())
    for (int i = 0; i < n; ++i) w.Indexed("im", i, p.frames[i].im);
  for (int i = 0; i < n; ++i) w.Indexed("Ex", i, p.frames[i].ex ? "1" : "0");

  w.Section("Shifts");
  for (int i = 0; i < n; ++i) {
    w.Indexed("X", i, static_cast<long long>(p.frames[i].x));
    w.Indexed("Y", i, static_cast<long long>(p.frames[i].y));
  }
  w.Section("Info");
  for (int i = 0; i < n; ++i) {
    w.Indexed("D", i, p.frames[i].d);
    w.Indexed("Q", i, p.frames[i].q);
  }
  if (p.interlaced) {
    w.Section("IShifts");
    for (int i = 0; i < n; ++i) {
      w.Indexed("Xa", i, static_cast<long long>(p.frames[i].xa));
      w.Indexed("Ya", i, static_cast<long long>(p.frames[i].ya));
    }
    w.Section("IInfo");
    for (int i = 0; i < n; ++i) {
      w.Indexed("Da", i, p.frames[i].da);
      w.Indexed("Qa", i, p.frames[i].qa);
    }
  }
  if (!p.rank.empty()) {
    w.Section("Ranking");
    for (size_t k = 0; k < p.rank.size(); ++k) w.Indexed("Rank", static_cast<int>(k), static_cast<long long>(p.rank[k]));
  }
  if (p.fineShifts) {
    w.Section("FineShifts");
    for (int i = 0; i < n; ++i) {
      w.Indexed("FX", i, p.frames[i].fx);
      w.Indexed("FY", i, p.frames[i].fy);
    }
  }
  if (!p.formLines.empty()) {
    w.Section("Form");
    for (const auto& line : p.formLines) {
      w.Key(line.substr(0, line.find('=')), line.find('=') == std::string::npos ? "" : line.substr(line.find('=') + 1));
    }
  }
  return w.Take();
}

ProjectData ReadProjectText(std::string_view text, const std::string& fileName) {
  auto fail = [&](const std::string& problem) -> void {
    throw px::PelinoxaError("Project " + fileName + ": " + problem);
  };
  if (text.size() > kMaxProjectBytes) fail("the file is too large to be a project (" + std::to_string(text.size()) + " bytes)");
  // Text only: a NUL or most control characters mean a binary or damaged file.
  for (unsigned char c : text)
    if (c == 0 || (c < 32 && c != '\n' && c != '\r' && c != '\t')) {
      fail("the file holds binary data, it is not a project file");
    }

  TBigIniFile ini("");
  ini.LoadFromText(std::string(text));
  Reader r(ini, fileName);
  if (!ini.SectionExists("Input")) r.Fail("the file has no [Input] section, it is not a project file");
  if (!ini.ValueExists("Input", "sequencelength")) r.Fail("[Input] has no sequencelength");

  ProjectData p;
  const char* in = "Input";
  std::string type = px::UpperCase(r.Text(in, "filetype", "xxx"));
  p.filetype = type == "AVI" || type == "FIT" || type == "JPG" || type == "TIF" ? type : "BMP";
  p.filedir = r.Text(in, "filedir", "");
  if (p.avi()) {
    p.filename = r.Text(in, "filename", "xxxx");
    if (!PlainFileName(p.filename) && !(p.filename.size() > 1 && p.filename[0] == '/'))
      r.Fail("[Input] filename=" + p.filename + " is not a file name");
  }
  p.darkfile = r.Text(in, "darkfile", "");
  p.darkfiletype = static_cast<int>(r.Int(in, "darkfiletype", -1, -1, 3));
  p.flatfile = r.Text(in, "flatfile", "");
  p.flatfiletype = static_cast<int>(r.Int(in, "flatfiletype", -1, -1, 3));
  p.useDark = r.Has(in, "darkfile");
  p.useFlat = r.Has(in, "flatfile");

  const int n = static_cast<int>(r.Int(in, "sequencelength", 0, 0, kMaxProjectFrames));
  p.progstatus = static_cast<int>(r.Int(in, "progstatus", 0, 0, 4));
  p.activepage = static_cast<int>(r.Int(in, "activepage", -1, 0, 5));
  p.usedframes = static_cast<int>(r.Int(in, "usedframes", 1, 0, std::max(n, 1)));
  p.refframe = static_cast<int>(r.Int(in, "refframe", 0, 0, std::max(n - 1, 0)));
  p.hasStackSliders = r.Has(in, "stackslider");
  p.stackslider = static_cast<int>(r.Int(in, "stackslider", 0, 0, kMaxProjectFrames));
  p.stackdifslider = static_cast<int>(r.Int(in, "stackdifslider", 0, 0, 1000));
  p.hasWavelet = r.Has(in, "layer1");
  for (int i = 0; i < 6; ++i) p.layer[i] = static_cast<int>(r.Int(in, Key("layer", i + 1), 10, -10000, 10000));
  p.initial = static_cast<int>(r.Int(in, "initial", 0, -100000, 100000));
  p.step = static_cast<int>(r.Int(in, "step", 0, -100000, 100000));
  p.scaletype = static_cast<int>(r.Int(in, "scaletype", 0, 0, 1));
  p.contrast = static_cast<int>(r.Int(in, "contrast", 100, -100000, 100000));
  p.brightness = static_cast<int>(r.Int(in, "brightness", 0, -100000, 100000));
  p.hotx = static_cast<int>(r.Int(in, "hotx", 0, 0, kMaxCoordinate));
  p.hoty = static_cast<int>(r.Int(in, "hoty", 0, 0, kMaxCoordinate));
  p.stackx = static_cast<int>(r.Int(in, "stackx", 0, -kMaxCoordinate, kMaxCoordinate));
  p.stacky = static_cast<int>(r.Int(in, "stacky", 0, -kMaxCoordinate, kMaxCoordinate));
  p.resampled = px::CompareNoCase(r.Text(in, "resampled", "no"), "yes") == 0;
  p.resamplevalue = static_cast<int>(r.Int(in, "resamplevalue", 1, 1, 16));

  p.interlaced = ini.SectionExists("IShifts") || ini.SectionExists("IInfo");
  p.frames.resize(n);
  for (int i = 0; i < n; ++i) {
    ProjectFrame& f = p.frames[i];
    if (!p.avi()) {
      f.im = r.Text(in, Key("im", i), " ");
      if (!PlainFileName(f.im) && !(f.im.size() > 1 && f.im[0] == '/')) r.Fail("[Input] " + Key("im", i) + "=" + f.im + " is not a file name");
    }
    f.ex = r.Int(in, Key("Ex", i), 0, 0, 1) != 0;
    f.x = static_cast<int32_t>(r.Int("Shifts", Key("X", i), 0, -kMaxShift, kMaxShift));
    f.y = static_cast<int32_t>(r.Int("Shifts", Key("Y", i), 0, -kMaxShift, kMaxShift));
    f.d = r.Fraction("Info", Key("D", i));
    f.q = r.Fraction("Info", Key("Q", i));
    if (p.interlaced) {
      f.xa = static_cast<int32_t>(r.Int("IShifts", Key("Xa", i), 0, -kMaxShift, kMaxShift));
      f.ya = static_cast<int32_t>(r.Int("IShifts", Key("Ya", i), 0, -kMaxShift, kMaxShift));
      f.da = r.Fraction("IInfo", Key("Da", i));
      f.qa = r.Fraction("IInfo", Key("Qa", i));
    }
  }
  p.fineShifts = ini.SectionExists("FineShifts");
  for (int i = 0; i < n; ++i) {
    ProjectFrame& f = p.frames[i];
    f.fx = static_cast<float>(f.x);
    f.fy = static_cast<float>(f.y);
    if (!p.fineShifts) continue;
    if (r.Has("FineShifts", Key("FX", i))) f.fx = r.Fraction("FineShifts", Key("FX", i));
    if (r.Has("FineShifts", Key("FY", i))) f.fy = r.Fraction("FineShifts", Key("FY", i));
    if (std::fabs(f.fx) > kMaxShift || std::fabs(f.fy) > kMaxShift)
      r.Fail("[FineShifts] " + Key("FX", i) + " or " + Key("FY", i) + " is out of range");
  }
  p.rank.resize(n);
  for (int k = 0; k < n; ++k)
    p.rank[k] = static_cast<int32_t>(r.Int("Ranking", Key("Rank", k), std::min(1, n - 1), 0, n - 1));

  ini.ReadSectionValues("Form", p.formLines);
  return p;
}

ProjectData ReadProjectFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw px::PelinoxaError("Project " + path + ": the file does not exist");
  if (!S_ISREG(st.st_mode)) throw px::PelinoxaError("Project " + path + ": it is not a regular file");
  if (static_cast<unsigned long long>(st.st_size) > kMaxProjectBytes)
    throw px::PelinoxaError("Project " + path + ": the file is too large to be a project (" +
                            std::to_string(static_cast<long long>(st.st_size)) + " bytes)");
  return ReadProjectText(px::ReadFileText(path), path);
}

}  // namespace project
