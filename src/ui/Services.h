#pragma once
// What every controller receives: the form, the toolkit services, the settings store and the
// progress window.
#include "ui/FormModel.h"
#include "ui/ProgressWindow.h"
#include "ui/SettingsStore.h"
#include "ui/UiServices.h"

namespace ui {

struct Services {
  Form& form;
  UiServices& ui;
  SettingsStore& settings;
  ProgressWindow& progress;
};

}  // namespace ui
