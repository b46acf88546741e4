#pragma once
// The Qt view of a ui::Form: the main window with one tab per page (a large scrollable
// picture on the left, the page's control groups in a scrollable side panel on the right),
// the tool windows, and the sync between widgets and model in both directions. It holds no
// program state: everything shown is read from the form, and user input goes to the form's
// user* actions, so the program behaves the same with and without this view.
#include <QMainWindow>
#include <QObject>
#include <QTabWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ui/FormModel.h"
#include "ui/qt/ControlBindings.h"

class QBoxLayout;
class QScrollArea;

namespace ui::qt {

class ImageView;
class MainWindowWidget;

class FormView : public QObject {
  Q_OBJECT
 public:
  explicit FormView(ui::Form& form);
  ~FormView() override;

  ui::Form& form() const { return form_; }
  QMainWindow* mainWindow() const;
  QTabWidget* tabs() const { return tabs_; }

  // Shows the main window (maximized when the form says so), then the visible tool windows.
  void show();
  bool shown() const { return shown_; }

  // Lookup by control name (nullptr when unknown).
  Binding* binding(const std::string& name) const;
  QWidget* widgetFor(const std::string& name) const;  // the control's own widget
  QWidget* windowFor(const std::string& toolWindow) const;
  ImageView* imageView(const std::string& name) const;
  QWidget* pageWidget(const std::string& page) const;

  // Model changes made while a user action runs are queued and applied together: at the
  // end of the action, and at most ~30 times a second while a long run pumps events (so a
  // caption or slider that changes every frame does not repaint the window every frame).
  // Changes made outside user actions are applied at once.
  void flushPending();
  bool hasPending() const { return !pending_.empty() || !windowQueued_.empty(); }

  // Called when the user closes the main window (before it closes).
  std::function<void()> onClose;

  // ---- used by bindings and windows
  // While the view applies model values, widget signals must not reach the model.
  struct ApplyScope {
    explicit ApplyScope(FormView& v) : v_(v) { ++v_.applying_; }
    ~ApplyScope() { --v_.applying_; }
    FormView& v_;
  };
  bool applying() const { return applying_ > 0; }
  // Runs user input against the model; ignored while applying model values or closing.
  // Anything a handler throws is shown in an error box.
  void dispatch(const std::function<void()>& action);
  // Key presses on w go to c.OnKeyDown first (with classic key codes); a handler that
  // sets the key to 0 swallows it.
  void installKeyForwarding(QWidget* w, ui::Control& c);
  bool ancestorsVisible(const ui::Control& c) const;
  void placeAbsolute(Binding& b);
  // Main-window events (from the window class).
  void mainWindowGeometryChanged();
  void mainWindowClosing();
  void filesDropped(const std::vector<std::string>& files);

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void build();
  void buildPage(ui::Page& page);
  void buildToolWindow(ui::ToolWindow& w);
  void buildBars();
  // Adds the children of parent (declaration order) to layout, grouping runs of buttons
  // and vertical sliders; lifted page pictures are placed elsewhere.
  void fill(QWidget* container, QBoxLayout* layout, const std::string& parent);
  void fillAbsolute(QWidget* container, const std::string& parent);
  Binding* addBinding(std::unique_ptr<Binding> b);
  Binding* makeAny(ui::Control& c, QWidget* parent);
  bool hasPositionedChildren(const std::string& parent) const;
  bool hasExpandingChild(const std::string& parent) const;
  void collectPictures(const std::string& parent, std::vector<ui::Image*>& out) const;
  void onModelChange(ui::Control* c, std::string_view prop);
  void applyNow(Binding& b, std::string_view prop);
  void queue(Binding* b, std::string_view prop);
  void applyWindow(std::string_view prop);

  ui::Form& form_;
  MainWindowWidget* main_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::vector<ui::Page*> pages_;
  std::vector<std::unique_ptr<Binding>> owned_;
  std::unordered_map<const ui::Control*, Binding*> bindings_;
  std::unordered_map<std::string, std::vector<ui::Control*>> children_;
  std::unordered_map<std::string, QWidget*> pageWidgets_;
  std::unordered_map<QObject*, ui::Control*> keyTargets_;
  std::unordered_set<const ui::Control*> lifted_;  // page pictures, not in the side panel
  std::vector<Binding*> followers_;  // lifted pictures, shown only with their panels
  std::vector<Binding*> toolWindows_;
  std::vector<Binding*> pending_;
  std::vector<std::string> windowQueued_;
  int dispatchDepth_ = 0;
  int observer_ = 0;
  int applying_ = 0;
  bool shown_ = false;
  bool closing_ = false;
};

}  // namespace ui::qt
