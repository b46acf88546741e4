#pragma once
// One binding per control: the widget that shows it, and the two directions of sync.
//   model -> widget: apply(prop) for each (control, property) notification, with the
//                    widget's signals blocked so applying a value never calls back;
//   widget -> model: user input goes through FormView::dispatch (the form's user* methods),
//                    after which the widget is re-synced from the model (handlers may have
//                    clamped or reverted the value).
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/FormModel.h"

class QLabel;

namespace ui::qt {

class FormView;

class Binding {
 public:
  Binding(FormView& view, ui::Control& c) : view_(view), c_(c) {}
  virtual ~Binding() = default;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  ui::Control& control() const { return c_; }
  // outer: what is shown, hidden, enabled and placed (the control with its caption label);
  // widget: what takes focus and shows the hint.
  QWidget* outer() const { return outer_; }
  QWidget* widget() const { return widget_; }
  void setOuter(QWidget* w) { outer_ = w; }

  // Placed by its bounds inside its container (tool windows laid out by position).
  bool absolute = false;
  // Shown only while every ancestor panel is visible too (pictures lifted into a page's
  // picture area, away from their panel).
  bool followsAncestors = false;

  void apply(std::string_view prop);  // "" = everything
  // Notifications held back while a user action runs (see FormView::flushPending).
  std::vector<std::string> queued;
  void applyAll() { apply(""); }
  virtual void applyVisible();

 protected:
  virtual void applyProp(std::string_view prop) = 0;  // kind-specific part of apply
  virtual void applyCaption() {}
  void setWidgets(QWidget* outer, QWidget* widget);
  // Runs a user action through the view, then re-syncs this control.
  void user(const std::function<void()>& action);
  // A caption label beside (or above) the widget; nullptr when the control has no caption.
  QWidget* withCaption(QWidget* w, QWidget* parent, bool above = false);
  void applyCaptionLabel();

  FormView& view_;
  ui::Control& c_;
  QWidget* outer_ = nullptr;
  QWidget* widget_ = nullptr;
  QLabel* captionLabel_ = nullptr;
};

class ImageView;
// The picture widget of an Image binding (nullptr for other kinds).
ImageView* ImageViewOf(Binding& b);

// The binding for a leaf control kind (everything but pages, panels and tool windows).
std::unique_ptr<Binding> MakeLeafBinding(FormView& view, ui::Control& c, QWidget* parent);

}  // namespace ui::qt
