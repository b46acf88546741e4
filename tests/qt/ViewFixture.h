#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "DemoForm.h"
#include "QtTestApp.h"
#include "ui/qt/FormView.h"
#include "ui/qt/QtUiServices.h"

namespace pxtest {

// The demo form shown through the Qt view (offscreen), with the test hook for dialogs.
class ViewFixture : public ::testing::Test {
 protected:
  ViewFixture() { QtApp(); }
  void SetUp() override {
    ui = std::make_unique<ui::qt::QtUiServices>();
    demo = std::make_unique<DemoForm>(*ui, allPagesVisible);
    view = std::make_unique<ui::qt::FormView>(demo->form);
    ui->setMainWindow(view->mainWindow());
    view->show();
    Pump();
  }
  void TearDown() override {
    view.reset();
    demo.reset();
    ui.reset();
    Pump();
  }
  template <class W>
  W* widget(const std::string& name) {
    auto* w = qobject_cast<W*>(view->widgetFor(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  bool allPagesVisible = false;
  std::unique_ptr<ui::qt::QtUiServices> ui;
  std::unique_ptr<DemoForm> demo;
  std::unique_ptr<ui::qt::FormView> view;
};

}  // namespace pxtest
