#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

#include "ViewFixture.h"
#include "ui/qt/ImageView.h"
#include "ui/qt/RepaintThrottle.h"

using namespace pxtest;
using namespace ui;

class FormViewTest : public ViewFixture {};

TEST_F(FormViewTest, Pages_AreTabsInDeclarationOrder_OnlyInputVisible) {
  auto* tabs = view->tabs();
  ASSERT_EQ(tabs->count(), 6);
  const char* captions[] = {"Input", "Aligning", "Stacking", "Wavelet Processing", "Final", "Info"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(tabs->tabText(i).toStdString(), captions[i]);
    EXPECT_EQ(tabs->isTabVisible(i), i == 0) << i;
  }
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(view->mainWindow()->windowTitle().toStdString(), "PeliNoxa V2.0");
}

TEST_F(FormViewTest, ModelPageChanges_MoveTabsWithoutFiringPageChange) {
  auto& align = demo->get<Page>("AlignPage");
  align.setVisible(true);
  EXPECT_TRUE(view->tabs()->isTabVisible(1));
  demo->form.setActivePage(align);
  EXPECT_EQ(view->tabs()->currentIndex(), 1);
  EXPECT_EQ(demo->count("PageChange"), 0);
  align.setCaption("Aligning *");
  EXPECT_EQ(view->tabs()->tabText(1).toStdString(), "Aligning *");
}

TEST_F(FormViewTest, UserTabClick_ActivatesPageAndFiresPageChange) {
  demo->get<Page>("StackPage").setVisible(true);
  QTabBar* bar = view->tabs()->tabBar();
  Click(bar, bar->tabRect(2).center());
  EXPECT_EQ(demo->form.activePage()->name(), "StackPage");
  EXPECT_EQ(demo->count("PageChange"), 1);
}

TEST_F(FormViewTest, Caption_FollowsTheForm) {
  demo->form.setCaption("Pelinoxa processing AVI: jupiter.avi");
  EXPECT_EQ(view->mainWindow()->windowTitle().toStdString(), "Pelinoxa processing AVI: jupiter.avi");
}

TEST_F(FormViewTest, ButtonClick_ReachesHandler) {
  auto* b = widget<QPushButton>("SelectInputButton");
  ASSERT_TRUE(b);
  Click(b, b->rect().center());
  EXPECT_EQ(demo->count("SelectInputButtonClick"), 1);
  demo->get<Button>("SelectInputButton").setEnabled(false);
  EXPECT_FALSE(b->isEnabled());
  b->click();  // a disabled button cannot be pressed
  EXPECT_EQ(demo->count("SelectInputButtonClick"), 1);
}

TEST_F(FormViewTest, CommonProperties_ReachTheWidget) {
  auto& cb = demo->get<CheckBox>("Deinterlace");
  auto* box = widget<QCheckBox>("Deinterlace");
  cb.setCaption("De-interlace fields");
  EXPECT_EQ(box->text().toStdString(), "De-interlace fields");
  cb.setHint("Rebuild the other field");
  EXPECT_EQ(box->toolTip().toStdString(), "Rebuild the other field");
  cb.setVisible(false);
  EXPECT_TRUE(box->isHidden());
  cb.setVisible(true);
  EXPECT_FALSE(box->isHidden());
  // A hidden button from the start stays hidden.
  EXPECT_TRUE(widget<QPushButton>("Haltbutton")->isHidden());
}

TEST_F(FormViewTest, CheckBox_UserToggleAndModelSetWithoutEcho) {
  auto& cb = demo->get<CheckBox>("Deinterlace");
  auto* box = widget<QCheckBox>("Deinterlace");
  box->click();
  EXPECT_TRUE(cb.checked());
  EXPECT_EQ(demo->count("DeinterlaceClick"), 1);
  cb.setChecked(false);  // from code: fires once in the model, the widget follows silently
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(demo->count("DeinterlaceClick"), 2);
}

TEST_F(FormViewTest, Slider_ModelValueUpdatesWidgetAndLabel_NoEcho) {
  auto& s = demo->get<Slider>("PreviewSlider");
  auto* w = widget<QSlider>("PreviewSlider");
  s.setValue(500);
  EXPECT_EQ(w->value(), 500);
  EXPECT_EQ(demo->count("PreviewSliderChange"), 1);
  EXPECT_EQ(demo->count("PreviewSliderChanged"), 0);  // only a user move ends with OnChanged
  auto labels = w->parentWidget()->findChildren<QLabel*>();
  bool shown = false;
  for (auto* l : labels) shown = shown || l->text() == "500";
  EXPECT_TRUE(shown);
  s.setRange(0, 99);  // clamps the value: one more change, widget follows
  EXPECT_EQ(w->maximum(), 99);
  EXPECT_EQ(w->value(), 99);
}

TEST_F(FormViewTest, Slider_UserDragReachesModel) {
  auto& s = demo->get<Slider>("PreviewSlider");
  auto* w = widget<QSlider>("PreviewSlider");
  w->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(s.value(), w->pageStep());
  EXPECT_EQ(demo->count("PreviewSliderChange"), 1);
  EXPECT_EQ(demo->count("PreviewSliderChanged"), 1);
}

TEST_F(FormViewTest, Slider_SpaceGoesToKeyHandlerAndIsSwallowed_ArrowsMove) {
  auto& s = demo->get<Slider>("PreviewSlider");
  auto* w = widget<QSlider>("PreviewSlider");
  s.setValue(10);
  Key(w, Qt::Key_Space);
  EXPECT_EQ(demo->count("PreviewSliderSpace"), 1);
  EXPECT_EQ(s.value(), 10);
  Key(w, Qt::Key_Right, Qt::ControlModifier);
  ASSERT_EQ(demo->keys.size(), 2u);
  EXPECT_EQ(demo->keys[1], 39);
  EXPECT_EQ(s.value(), 11);  // not swallowed: the slider moved one step
}

TEST_F(FormViewTest, VerticalSlider_MinimumAtTop) {
  auto* w = widget<QSlider>("differencecutslider");
  EXPECT_EQ(w->orientation(), Qt::Vertical);
  EXPECT_TRUE(w->invertedAppearance());
  EXPECT_EQ(w->value(), 100);
}

TEST_F(FormViewTest, SpinEdit_DecimalsStepRangeAndUserEdit) {
  auto* red = widget<QDoubleSpinBox>("RedWeight");
  EXPECT_EQ(red->decimals(), 2);
  EXPECT_DOUBLE_EQ(red->singleStep(), 0.05);
  EXPECT_DOUBLE_EQ(red->maximum(), 1.0);
  EXPECT_DOUBLE_EQ(red->value(), 0.3);
  red->stepUp();
  EXPECT_DOUBLE_EQ(demo->get<SpinEdit>("RedWeight").value(), 0.35);
  EXPECT_EQ(demo->count("RedWeightChange"), 1);
  demo->get<SpinEdit>("RedWeight").setValue(0.8);
  EXPECT_DOUBLE_EQ(red->value(), 0.8);
  EXPECT_EQ(demo->count("RedWeightChange"), 2);  // the model's own event, no echo
}

TEST_F(FormViewTest, SpinEdit_WithoutLimits_AcceptsLargeValues) {
  auto* free = widget<QSpinBox>("FreeSpin");
  free->setValue(100000);
  EXPECT_EQ(demo->get<SpinEdit>("FreeSpin").intValue(), 100000);
  free->setValue(-7);
  EXPECT_EQ(demo->get<SpinEdit>("FreeSpin").intValue(), -7);
}

TEST_F(FormViewTest, RadioGroupAndCombo_UserSelectAndModelSet) {
  auto& rg = demo->get<RadioGroup>("FFTsizeGroup");
  auto radios = view->widgetFor("FFTsizeGroup")->findChildren<QRadioButton*>();
  ASSERT_EQ(radios.size(), 4);
  EXPECT_TRUE(radios[1]->isChecked());
  radios[3]->click();
  EXPECT_EQ(rg.itemIndex(), 3);
  EXPECT_EQ(demo->count("FFTsizeGroupClick"), 1);
  rg.setItemIndex(0);
  EXPECT_TRUE(radios[0]->isChecked());
  EXPECT_EQ(demo->count("FFTsizeGroupClick"), 2);
  rg.setItems({"32", "64"});
  Pump();  // the old buttons go at the next turn of the event loop
  EXPECT_EQ(view->widgetFor("FFTsizeGroup")->findChildren<QRadioButton*>().size(), 2);

  auto& cbm = demo->get<ComboBox>("SaveFormat");
  auto* combo = widget<QComboBox>("SaveFormat");
  EXPECT_EQ(combo->count(), 5);
  emit combo->activated(2);
  EXPECT_EQ(cbm.itemIndex(), 2);
  EXPECT_EQ(demo->count("SaveFormatChange"), 1);
  cbm.setItemIndex(4);  // from code: no event, the widget follows
  EXPECT_EQ(combo->currentIndex(), 4);
  EXPECT_EQ(demo->count("SaveFormatChange"), 1);
}

TEST_F(FormViewTest, Edit_TypingReachesModel_ModelTextShown) {
  auto* e = widget<QLineEdit>("StackName");
  EXPECT_EQ(e->text().toStdString(), "jupiter");
  e->setFocus();
  e->end(false);
  Key(e, Qt::Key_2);
  EXPECT_EQ(demo->get<Edit>("StackName").text(), "jupiter2");
  EXPECT_EQ(demo->count("StackNameChange"), 1);
  demo->get<Edit>("StackName").setText("saturn");
  EXPECT_EQ(e->text().toStdString(), "saturn");
}

TEST_F(FormViewTest, LabelMemoGaugeShape_ShowModelValues) {
  auto* warn = widget<QLabel>("WarnLabel");
  EXPECT_EQ(warn->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  auto& label = demo->get<Label>("FrameCaption");
  label.setCaption("Frame 7 of 1000");
  EXPECT_EQ(widget<QLabel>("FrameCaption")->text().toStdString(), "Frame 7 of 1000");
  // Black is the normal text colour, so it stays readable on the dark palette.
  EXPECT_EQ(widget<QLabel>("FrameCaption")->palette().color(QPalette::WindowText),
            QApplication::palette().color(QPalette::WindowText));

  auto& memo = demo->get<Memo>("Memo2");
  memo.add("Stacking done");
  auto* text = widget<QPlainTextEdit>("Memo2");
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_EQ(text->toPlainText().toStdString(),
            "Aligning frame 0 ... ok\nAligning frame 250 ... ok\nAligning frame 500 ... ok\n"
            "Aligning frame 750 ... ok\nStacking done");
  memo.clear();
  memo.add("fresh");
  EXPECT_EQ(text->toPlainText().toStdString(), "fresh");

  demo->get<Gauge>("WaveletGauge").setProgress(75);
  EXPECT_EQ(widget<QProgressBar>("WaveletGauge")->value(), 75);

  demo->get<Shape>("UseFramesign").setColor(colors::Red);
  QWidget* sw = view->widgetFor("UseFramesign");
  QImage img = sw->grab().toImage();
  EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() / 2), QColor(255, 0, 0));
}

TEST_F(FormViewTest, CollapsiblePanel_FollowsModelAndUser) {
  auto& panel = demo->get<Panel>("DeinterlacePanel");
  auto* header = qobject_cast<QToolButton*>(view->widgetFor("DeinterlacePanel"));
  ASSERT_TRUE(header);
  QWidget* box = view->widgetFor("Deinterlace");
  EXPECT_FALSE(header->isChecked());
  EXPECT_FALSE(box->isVisibleTo(view->mainWindow()));
  panel.setExpanded(true);
  EXPECT_TRUE(box->isVisibleTo(view->mainWindow()));
  header->click();
  EXPECT_FALSE(panel.expanded());
  EXPECT_FALSE(box->isVisibleTo(view->mainWindow()));
}

TEST_F(FormViewTest, PanelsAreGroupBoxesWithTheirControls_InDeclarationOrder) {
  auto* box = qobject_cast<QGroupBox*>(view->widgetFor("FrontPanel"));
  ASSERT_TRUE(box);
  EXPECT_EQ(box->title().toStdString(), "Input");
  EXPECT_EQ(box->toolTip().toStdString(), "The current input");
  EXPECT_TRUE(box->isAncestorOf(view->widgetFor("PreviewSlider")));
  QWidget* select = view->widgetFor("SelectInputButton");
  QWidget* caption = view->widgetFor("FrameCaption");
  EXPECT_LT(select->mapTo(box, QPoint()).y(), caption->mapTo(box, QPoint()).y());
}

TEST_F(FormViewTest, BigPictures_GoToThePictureArea_FollowingTheirPanel) {
  QWidget* preview = view->widgetFor("PreviewImage");
  auto* scroll = qobject_cast<QScrollArea*>(view->binding("PreviewImage")->outer());
  ASSERT_TRUE(scroll);
  EXPECT_EQ(scroll->widget(), preview);
  // The logo lives in Showpanel, which starts hidden.
  QWidget* logoArea = view->binding("LogoImage")->outer();
  EXPECT_TRUE(logoArea->isHidden());
  demo->get<Panel>("Showpanel").setVisible(true);
  EXPECT_FALSE(logoArea->isHidden());
  demo->get<Image>("PreviewImage").setVisible(false);
  EXPECT_TRUE(scroll->isHidden());
  // Small pictures stay beside their controls.
  auto* graph = view->widgetFor("StackGraph");
  EXPECT_TRUE(view->widgetFor("StackPanel")->isAncestorOf(graph));
}

TEST_F(FormViewTest, InfoPage_HoldsItsLabelsAndMemo) {
  QWidget* info = view->pageWidget("InfoPage");
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->isAncestorOf(view->widgetFor("VersionLabel")));
  EXPECT_TRUE(info->isAncestorOf(view->widgetFor("MemoryReport")));
  EXPECT_EQ(widget<QLabel>("VersionLabel")->text().toStdString(), "Pelinoxa 2.0");
}

TEST_F(FormViewTest, DroppedFiles_ReachOnDropFilesWithFullPaths) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile("/data/night1/a.avi"), QUrl::fromLocalFile("/data/night1/b c.bmp")});
  QWidget* w = view->mainWindow();
  // Qt delivers the drop to the widget that accepted the drag's entry.
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &drop);
  EXPECT_TRUE(drop.isAccepted());
  Pump(20);
  EXPECT_EQ(demo->count("FormDropFiles"), 1);
  EXPECT_EQ(demo->dropped, (std::vector<std::string>{"/data/night1/a.avi", "/data/night1/b c.bmp"}));
}

TEST_F(FormViewTest, HandlerMessageBox_IsAnsweredThroughTheHook) {
  demo->get<Page>("AlignPage").setVisible(true);
  demo->form.setActivePage(demo->get<Page>("AlignPage"));
  ui->queueMessageAnswer(DialogResult::No);
  widget<QPushButton>("AskButton")->click();
  EXPECT_EQ(demo->lastAnswer, DialogResult::No);
  ASSERT_EQ(ui->shownMessages.size(), 1u);
  EXPECT_EQ(ui->shownMessages[0].text, "Overwrite existing file ?");
  EXPECT_EQ(ui->shownMessages[0].kind, MsgKind::Confirmation);
  EXPECT_EQ(ui->hookMismatches, 0);
}

TEST_F(FormViewTest, HandlerError_ShowsErrorBoxAndProgramGoesOn) {
  demo->throwText = "Unsupported file format";
  ui->queueMessageAnswer(DialogResult::OK);
  widget<QPushButton>("ThrowButton")->click();
  ASSERT_EQ(ui->shownMessages.size(), 1u);
  EXPECT_EQ(ui->shownMessages[0].kind, MsgKind::Error);
  EXPECT_EQ(ui->shownMessages[0].text, "Unsupported file format");
  widget<QPushButton>("SelectInputButton")->click();
  EXPECT_EQ(demo->count("SelectInputButtonClick"), 1);
}

TEST_F(FormViewTest, ProgressWindowCancel_AsksAndSetsTheFlag) {
  demo->progress->start("Aligning");
  demo->progress->setProgress(30);
  QWidget* win = view->windowFor("MessageWindow");
  ASSERT_TRUE(win);
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(win->windowTitle().toStdString(), "Progress ");
  EXPECT_EQ(widget<QProgressBar>("Progressgraph")->value(), 30);
  ui->queueMessageAnswer(DialogResult::Yes);
  widget<QPushButton>("CancelButton")->click();
  EXPECT_TRUE(demo->cancelRequested);
  ASSERT_EQ(ui->shownMessages.size(), 1u);
  EXPECT_EQ(ui->shownMessages[0].text, "Do you want to cancel ?");
  demo->progress->hide();
  EXPECT_FALSE(win->isVisible());
}

namespace {
struct PaintCounter : QObject {
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};
}  // namespace

TEST_F(FormViewTest, LongRunInAUserAction_CoalescesWidgetUpdates) {
  auto& caption = demo->get<Label>("FrameCaption");
  auto& slider = demo->get<Slider>("PreviewSlider");
  auto* label = widget<QLabel>("FrameCaption");
  Pump(50);
  PaintCounter counter(label);
  int frames = 0;
  qint64 ms = 0;
  demo->get<Button>("SelectInputButton").OnClick = [&] {
    QElapsedTimer t;
    t.start();
    for (frames = 0; t.elapsed() < 250; ++frames) {
      caption.setCaption("Frame " + std::to_string(frames));
      slider.setValue(frames % 1000);
      ui->processEvents();
    }
    ms = t.elapsed();
  };
  widget<QPushButton>("SelectInputButton")->click();
  // The last values are on screen when the action ends ...
  EXPECT_EQ(label->text().toStdString(), "Frame " + std::to_string(frames - 1));
  EXPECT_EQ(widget<QSlider>("PreviewSlider")->value(), (frames - 1) % 1000);
  // ... but the window was not repainted for every frame.
  Pump();
  // (A flush may paint a widget twice: its own change, then its group's relayout.)
  EXPECT_GT(frames, 10 * counter.paints);
  EXPECT_LE(counter.paints, 3 * (ms / ui::qt::RepaintThrottle::kIntervalMs + 2));
}

TEST_F(FormViewTest, ChangesAtTheEndOfAUserAction_AreShownWhenItReturns) {
  demo->get<Button>("SelectInputButton").OnClick = [&] {
    demo->get<Label>("FrameCaption").setCaption("Frame 2 of 5");
    demo->get<Page>("AlignPage").setVisible(true);
    demo->form.setActivePage(demo->get<Page>("AlignPage"));
    demo->form.setCaption("Pelinoxa processing AVI: mars.avi");
  };
  widget<QPushButton>("SelectInputButton")->click();
  EXPECT_EQ(widget<QLabel>("FrameCaption")->text().toStdString(), "Frame 2 of 5");
  EXPECT_TRUE(view->tabs()->isTabVisible(1));
  EXPECT_EQ(view->tabs()->currentIndex(), 1);
  EXPECT_EQ(view->mainWindow()->windowTitle().toStdString(), "Pelinoxa processing AVI: mars.avi");
  EXPECT_FALSE(view->hasPending());
}
