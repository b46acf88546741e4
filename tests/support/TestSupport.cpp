#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/Files.h"

namespace pxtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "pxtest.XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  char* p = ::mkdtemp(buf.data());
  if (!p) throw std::runtime_error("mkdtemp failed");
  path_ = p;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!std::getenv("PX_KEEP_TEMP")) fs::remove_all(path_, ec);
}

std::string SourceDir() { return PX_SOURCE_DIR; }
std::string BinaryDir() { return PX_BINARY_DIR; }

std::string ToolPath(const std::string& name) {
  for (const char* sub : {"/src/app/", "/tools/", "/src/ui/qt/", "/"}) {
    std::string p = BinaryDir() + sub + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return BinaryDir() + "/" + name;
}

int Run(const std::string& command, std::string* output) {
  std::string cmd = command + " 2>&1";
  FILE* f = ::popen(cmd.c_str(), "r");
  if (!f) return -1;
  std::array<char, 4096> buf;
  std::string out;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) out.append(buf.data(), n);
  int status = ::pclose(f);
  if (output) *output = out;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

int RunBatchScript(const TempDir& dir, const std::string& script, std::string* output,
                   const std::string& scriptName, const std::string& configName) {
  WriteText(dir.file(scriptName), script);
  // A script that hangs fails instead of stopping the suite.
  return Run("cd " + dir.path() + " && XDG_CONFIG_HOME=" + dir.file(configName) + " timeout 600 " +
                 ToolPath("pelinoxa-batch") + " --script " + scriptName,
             output);
}

std::vector<std::string> CrasherFiles(const std::string& reader) {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(SourceDir()) / "tests/data/crashers" / reader, ec)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name[0] != '.' && name.rfind("README", 0) != 0) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool HaveProgram(const std::string& name) {
  if (!name.empty() && name[0] == '/') return ::access(name.c_str(), X_OK) == 0;
  return Run("command -v " + name + " >/dev/null") == 0;
}

std::string ImageMagick() {
  for (const char* p : {"/usr/bin/convert-im6.q16", "/usr/bin/convert-im6", "/usr/bin/convert"})
    if (::access(p, X_OK) == 0) return p;
  return "";
}

std::string PythonWithAstropy() {
  for (const char* p : {"/usr/bin/python3", "python3"}) {
    if (Run(std::string(p) + " -c 'import astropy' >/dev/null") == 0) return p;
  }
  return "";
}

std::vector<uint8_t> ReadBytes(const std::string& path) { return px::ReadFileBytes(path); }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream o(path, std::ios::binary);
  o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream o(path, std::ios::binary);
  o << text;
}

}  // namespace pxtest
