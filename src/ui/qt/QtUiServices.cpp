#include "ui/qt/QtUiServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTreeView>
#include <algorithm>

#include "ui/qt/FileFilter.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/RepaintThrottle.h"

namespace ui::qt {

namespace {

QMessageBox::Icon IconOf(MsgKind k) {
  switch (k) {
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Confirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

const char* TitleOf(MsgKind k) {
  switch (k) {
    case MsgKind::Information: return "Information";
    case MsgKind::Warning: return "Warning";
    case MsgKind::Error: return "Error";
    case MsgKind::Confirmation: return "Confirm";
  }
  return "";
}

QMessageBox::StandardButton StandardOf(DialogResult r) {
  switch (r) {
    case DialogResult::OK: return QMessageBox::Ok;
    case DialogResult::Yes: return QMessageBox::Yes;
    case DialogResult::No: return QMessageBox::No;
    case DialogResult::Cancel: return QMessageBox::Cancel;
  }
  return QMessageBox::NoButton;
}

Qt::CursorShape ShapeOf(Cursor c) {
  switch (c) {
    case Cursor::Normal: return Qt::ArrowCursor;
    case Cursor::Busy: return Qt::WaitCursor;
    case Cursor::Cross: return Qt::CrossCursor;
    case Cursor::NotAllowed: return Qt::ForbiddenCursor;
  }
  return Qt::ArrowCursor;
}

// The file the user last focused in the dialog's file view (list or detail mode).
QString FocusedFile(QFileDialog& dlg) {
  const char* name = dlg.viewMode() == QFileDialog::Detail ? "treeView" : "listView";
  auto* view = dlg.findChild<QAbstractItemView*>(name);
  if (!view || !view->currentIndex().isValid()) return {};
  return view->currentIndex().data(QFileSystemModel::FilePathRole).toString();
}

}  // namespace

QtUiServices::QtUiServices() {
  clock_.start();
  modalTimer_.setInterval(10);
  QObject::connect(&modalTimer_, &QTimer::timeout, [this] { runModalHook(); });
}

QtUiServices::~QtUiServices() {
  if (overridden_ && QApplication::instance()) QApplication::restoreOverrideCursor();
}

QWidget* QtUiServices::dialogParent() const {
  if (mainWindow_) return mainWindow_;
  return QApplication::activeWindow();
}

DialogResult QtUiServices::messageBox(const std::string& text, MsgKind kind, MsgButtons buttons) {
  QMessageBox box(dialogParent());
  box.setWindowTitle(TitleOf(kind));
  box.setIcon(IconOf(kind));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(text));
  QMessageBox::StandardButtons sb;
  if (buttons & OK) sb |= QMessageBox::Ok;
  if (buttons & Yes) sb |= QMessageBox::Yes;
  if (buttons & No) sb |= QMessageBox::No;
  if (buttons & Cancel) sb |= QMessageBox::Cancel;
  if (!sb) sb = QMessageBox::Ok;
  box.setStandardButtons(sb);
  box.setDefaultButton((sb & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
  // Escape and the title-bar close button give the "negative" answer.
  QMessageBox::StandardButton esc = (sb & QMessageBox::Cancel) ? QMessageBox::Cancel
                                    : (sb & QMessageBox::No)   ? QMessageBox::No
                                                               : QMessageBox::Ok;
  box.setEscapeButton(esc);

  // A busy cursor must not sit over a question the user has to answer.
  if (overridden_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (overridden_) QApplication::restoreOverrideCursor();

  QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
  if (pressed == QMessageBox::NoButton) pressed = esc;
  DialogResult r = pressed == QMessageBox::Yes      ? DialogResult::Yes
                   : pressed == QMessageBox::No     ? DialogResult::No
                   : pressed == QMessageBox::Cancel ? DialogResult::Cancel
                                                    : DialogResult::OK;
  shownMessages.push_back({kind, text, buttons, r});
  return r;
}

FileDialogResult QtUiServices::fileDialog(const FileDialogRequest& req) {
  FileDialogResult result;
  result.filterIndex = req.filterIndex;
  auto filters = ParseFilterString(req.filter);
  QStringList nameFilters = QtNameFilters(filters);

  QString title = QString::fromStdString(req.title);
  if (title.isEmpty()) title = req.save ? "Save As" : "Open";
  QFileDialog dlg(dialogParent(), title);
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  dlg.setOption(QFileDialog::DontConfirmOverwrite);  // the program asks its own question
  dlg.setAcceptMode(req.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(req.save ? QFileDialog::AnyFile
                           : req.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  int preset = 0;
  if (!nameFilters.isEmpty()) {
    dlg.setNameFilters(nameFilters);
    preset = std::clamp(req.filterIndex, 1, static_cast<int>(nameFilters.size()));
    dlg.selectNameFilter(nameFilters[preset - 1]);
  }
  if (!req.initialDir.empty() && QFileInfo(QString::fromStdString(req.initialDir)).isDir())
    dlg.setDirectory(QString::fromStdString(req.initialDir));
  if (!req.fileName.empty()) dlg.selectFile(QString::fromStdString(req.fileName));

  if (req.onTypeChange && !req.save) {
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&](const QString& filter) {
      int index = static_cast<int>(nameFilters.indexOf(filter)) + 1;
      if (index <= 0) return;
      bool multi = req.onTypeChange(index);
      dlg.setFileMode(multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    });
  }
  if (req.onSelectionChange) {
    QObject::connect(&dlg, &QFileDialog::currentChanged, &dlg, [&](const QString& path) {
      if (!QFileInfo(path).isFile()) return;
      try {
        req.onSelectionChange(QDir::toNativeSeparators(path).toStdString());
      } catch (const std::exception&) {
        // A file that cannot be previewed is still a valid choice; the reading reports it.
      }
    });
  }

  bool busy = overridden_;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  int rc = dlg.exec();
  if (busy) QApplication::restoreOverrideCursor();
  if (rc != QDialog::Accepted) return result;

  if (!nameFilters.isEmpty()) {
    int idx = -1;
    if (auto* combo = dlg.findChild<QComboBox*>("fileTypeCombo")) idx = combo->currentIndex();
    if (idx < 0 || idx >= nameFilters.size()) idx = static_cast<int>(nameFilters.indexOf(dlg.selectedNameFilter()));
    result.filterIndex = idx >= 0 ? idx + 1 : preset;
  }
  const NameFilter* selected =
      result.filterIndex >= 1 && result.filterIndex <= static_cast<int>(filters.size()) ? &filters[result.filterIndex - 1]
                                                                                      : nullptr;
  for (const QString& f : dlg.selectedFiles()) {
    std::string path = QDir::toNativeSeparators(f).toStdString();
    if (req.save) path = WithDefaultExtension(path, req.defaultExt, selected);
    result.files.push_back(path);
  }
  if (req.multiSelect && result.files.size() > 1)
    result.files = FocusedFirst(std::move(result.files), FocusedFile(dlg).toStdString());
  result.accepted = !result.files.empty();
  return result;
}

void QtUiServices::processEvents() {
  RepaintThrottle::instance().flushIfDue();
  QCoreApplication::processEvents();
}

bool QtUiServices::waitForPoint(const std::function<bool()>& waiting, const std::function<void(int, int)>&) {
  RepaintThrottle::instance().flush();
  const bool hasWindow = !mainWindow_.isNull();
  while (waiting()) {
    if (hasWindow && (!mainWindow_ || !mainWindow_->isVisible())) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void QtUiServices::setCursor(Cursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  if (c == Cursor::Normal) {
    if (overridden_) QApplication::restoreOverrideCursor();
    overridden_ = false;
  } else if (overridden_) {
    QApplication::changeOverrideCursor(ShapeOf(c));
  } else {
    QApplication::setOverrideCursor(ShapeOf(c));
    overridden_ = true;
  }
}

void QtUiServices::setClipboardBitmap(const Bitmap24& bmp) {
  if (bmp.empty()) return;
  QImage view(bmp.data(), bmp.width(), bmp.height(), static_cast<qsizetype>(bmp.stride()), QImage::Format_BGR888);
  QApplication::clipboard()->setImage(view.convertToFormat(QImage::Format_RGB32));  // a deep copy
}

double QtUiServices::nowMs() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e6; }

// ---------------------------------------------------------------- test hook

void QtUiServices::queueModalAction(ModalAction action) {
  modal_.push_back(std::move(action));
  if (!modalTimer_.isActive()) modalTimer_.start();
}

void QtUiServices::queueMessageAnswer(DialogResult answer) {
  queueModalAction([this, answer](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) {
      ++hookMismatches;
      w->close();
      return;
    }
    if (QAbstractButton* b = box->button(StandardOf(answer))) {
      b->click();
    } else {
      ++hookMismatches;
      box->close();
    }
  });
}

void QtUiServices::queueFileDialogAnswer(std::vector<std::string> files, int filterIndex) {
  queueModalAction([this, files, filterIndex](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    if (!dlg) {
      ++hookMismatches;
      w->close();
      return;
    }
    if (files.empty()) {
      dlg->reject();
      return;
    }
    QStringList filters = dlg->nameFilters();
    if (filterIndex >= 1 && filterIndex <= filters.size()) dlg->selectNameFilter(filters[filterIndex - 1]);
    QFileInfo first(QString::fromStdString(files.front()));
    dlg->setDirectory(first.absolutePath());
    QString typed;
    if (files.size() == 1) {
      typed = first.fileName();
    } else {
      for (auto& f : files) typed += "\"" + QFileInfo(QString::fromStdString(f)).fileName() + "\" ";
    }
    if (auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit")) edit->setText(typed);
    else dlg->selectFile(typed);
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept is protected; it is virtual
  });
}

void QtUiServices::runModalHook() {
  if (modal_.empty()) {
    modalTimer_.stop();
    return;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  ModalAction a = std::move(modal_.front());
  modal_.pop_front();
  if (modal_.empty()) modalTimer_.stop();
  a(modal);
}

}  // namespace ui::qt
