#pragma once
// A main window without a display for scenario tests: started in its own temporary program
// folder with its own settings store, driven through the form model and HeadlessUi.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "base/Files.h"
#include "support/TestSupport.h"
#include "ui/HeadlessUi.h"

namespace pxtest {

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir_ = px::CurrentDirectory();
    px::SetCurrentDirectory(dir.path());
    mf = std::make_unique<app::MainForm>(ui);
    app::StartupOptions opts;
    opts.programPath = "/proc/self/exe";
    opts.settingsPath = dir.file("config/pelinoxa.ini");
    mf->FormCreate(opts);
    mf->FormShow();
  }
  void TearDown() override {
    mf.reset();
    px::SetCurrentDirectory(oldDir_);
  }

  ui::Form& form() { return mf->form(); }
  template <class T>
  T& get(const std::string& name) {
    return form().get<T>(name);
  }
  // Runs the sample generator; returns the output path.
  std::string Generate(const std::string& name, const std::string& options) {
    std::string out = dir.file(name);
    std::string log;
    int rc = pxtest::Run(ToolPath("pelinoxa-samplegen") + " --out " + out + " " + options, &log);
    EXPECT_EQ(rc, 0) << log;
    return out;
  }
  // "Select input" with the dialog answered by `files` and filter index `filter`.
  void SelectInput(const std::vector<std::string>& files, int filter) {
    ui.queueDialog(files, filter);
    get<ui::Button>("SelectFileButton").userClick();
  }
  bool SawMessage(const std::string& text) const {
    for (auto& m : ui.messages)
      if (m.text == text) return true;
    return false;
  }

  TempDir dir;
  ui::HeadlessUi ui;
  std::unique_ptr<app::MainForm> mf;

 private:
  std::string oldDir_;
};

}  // namespace pxtest
