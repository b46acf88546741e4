#pragma once
// Bindings of the controls that hold other controls: pages (tabs), panels (group boxes,
// collapsible sections) and tool windows (separate top-level windows).
#include <QRect>
#include <QTabWidget>
#include <memory>

#include "ui/qt/ControlBindings.h"

namespace ui::qt {

std::unique_ptr<Binding> MakePageBinding(FormView& v, ui::Page& page, QWidget* pageWidget, QTabWidget* tabs, int index);
std::unique_ptr<Binding> MakePanelBinding(FormView& v, ui::Panel& panel, QWidget* parent);
// A panel on the main window outside the pages: its controls in a row, no frame.
std::unique_ptr<Binding> MakeBarBinding(FormView& v, ui::Panel& panel, QWidget* parent);
// The widget a panel's children go into (it has a box layout).
QWidget* PanelBody(Binding& panel);
std::unique_ptr<Binding> MakeToolWindowBinding(FormView& v, ui::ToolWindow& w, QWidget* mainWindow);
// A container whose children are placed by their bounds; its size hint covers them all.
QWidget* MakeAbsoluteContainer(QWidget* parent);
// True when at least a corner area of r lies on one of the screens.
bool OnSomeScreen(const QRect& r);

}  // namespace ui::qt
