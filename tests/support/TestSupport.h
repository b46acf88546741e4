#pragma once
// Shared test helpers: a private temporary folder per test, paths of the built programs, and
// running external tools (ImageMagick, ffmpeg, astropy ...) when they are installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pxtest {

// A fresh empty folder, removed at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string SourceDir();
std::string BinaryDir();
std::string ToolPath(const std::string& name);  // a program built by this project

// Runs a shell command; returns its exit status and captures stdout+stderr into *output.
int Run(const std::string& command, std::string* output = nullptr);
// Writes `script` to dir/scriptName and runs pelinoxa-batch on it with dir as the program folder
// and the per-user store under dir/configName; returns the exit status.
int RunBatchScript(const TempDir& dir, const std::string& script, std::string* output = nullptr,
                   const std::string& scriptName = "s.txt", const std::string& configName = "cfg");
// True when a program is on PATH (or at an absolute path).
bool HaveProgram(const std::string& name);
// ImageMagick's convert (the Debian one, not a stand-in earlier on PATH); empty when absent.
std::string ImageMagick();
// The system Python with astropy; empty when astropy is not installed.
std::string PythonWithAstropy();

// The files of tests/data/crashers/<reader> (no hidden files, no README); a missing folder
// gives none, so callers assert that the list is not empty.
std::vector<std::string> CrasherFiles(const std::string& reader);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

}  // namespace pxtest

// Skips the current test with a reason when a tool is missing.
#define PX_REQUIRE_PROGRAM(name)                                      \
  do {                                                                \
    if (!pxtest::HaveProgram(name)) GTEST_SKIP() << name " not installed"; \
  } while (0)
