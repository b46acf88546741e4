// Event semantics of the form model: values set from code fire change events only when they
// change, combo boxes and check-list states set from code fire nothing, user actions fire all,
// and a handler's error during a user action becomes an error box.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Error.h"
#include "ui/FormModel.h"
#include "ui/HeadlessUi.h"
#include "ui/ProgressWindow.h"

namespace {

struct FormFixture : ::testing::Test {
  ui::HeadlessUi ui;
  ui::Form form;
  FormFixture() { form.setUiServices(&ui); }
};

TEST_F(FormFixture, SliderSetFromCode_FiresChangeOnlyWhenTheValueMoves) {
  auto& s = form.slider("S", "", 0, 100, 10);
  int changes = 0, changed = 0;
  s.OnChange = [&] { ++changes; };
  s.OnChanged = [&] { ++changed; };
  s.setValue(10);
  EXPECT_EQ(changes, 0);
  s.setValue(20);
  EXPECT_EQ(changes, 1);
  s.setValue(500);  // clamped to the maximum
  EXPECT_EQ(s.value(), 100);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(changed, 0);  // only a user move ends with "changed"
  s.userSetValue(50);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(changed, 1);
}

TEST_F(FormFixture, SliderRangeChange_ClampsPositionAndFiresChange) {
  auto& s = form.slider("S", "", 0, 100, 80);
  int changes = 0;
  s.OnChange = [&] { ++changes; };
  s.setMax(50);
  EXPECT_EQ(s.value(), 50);
  EXPECT_EQ(changes, 1);
}

TEST_F(FormFixture, SpinEdit_ClampsToItsRangeAndRoundsIntegerSpins) {
  auto& area = form.spin("SearchArea", "", "Search area", 1, 10, 2);
  int changes = 0;
  area.OnChange = [&] { ++changes; };
  area.setValue(12);
  EXPECT_EQ(area.value(), 10);
  EXPECT_EQ(changes, 1);
  area.setValue(2.4);
  EXPECT_EQ(area.value(), 2);
  auto& free = form.spin("Free", "", "", 0, 0, 0);  // no limits
  free.setValue(-123);
  EXPECT_EQ(free.value(), -123);
  auto& f = form.spin("F", "", "", 1.0, 50.0, 10.0, 1.0, 1);
  EXPECT_EQ(f.property("Value"), "10");
  f.setValue(2.5);
  EXPECT_EQ(f.property("Value"), "2.5");
}

TEST_F(FormFixture, CheckBoxAndRadioGroup_FireClickWhenSetFromCode) {
  auto& c = form.checkBox("C", "", "Check", false);
  auto& r = form.radioGroup("R", "", "Radio", {"a", "b", "c"}, 0);
  int clicks = 0, radio = 0;
  c.OnClick = [&] { ++clicks; };
  r.OnClick = [&] { ++radio; };
  c.setChecked(false);
  r.setItemIndex(0);
  EXPECT_EQ(clicks + radio, 0);
  c.setChecked(true);
  r.setItemIndex(2);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(radio, 1);
  c.userClick();  // toggles
  EXPECT_FALSE(c.checked());
  EXPECT_EQ(clicks, 2);
  r.userClick();  // the item already set fires again
  EXPECT_EQ(radio, 2);
}

TEST_F(FormFixture, ComboBoxAndCheckList_SetFromCodeFireNothing) {
  auto& combo = form.comboBox("Combo", "", {"x", "y"}, 0);
  auto& list = form.checkList("List", "");
  int events = 0;
  combo.OnChange = [&] { ++events; };
  list.OnClickCheck = [&] { ++events; };
  list.OnClick = [&] { ++events; };
  list.add("one");
  list.add("two");
  combo.setItemIndex(1);
  combo.setText("x");
  list.setChecked(0, false);
  list.setItemIndex(1);
  EXPECT_EQ(events, 0);
  combo.userSelect(1);
  EXPECT_EQ(events, 1);
  list.userToggleCheck(0);
  EXPECT_TRUE(list.checked(0));
  EXPECT_EQ(list.lastCheckedIndex, 0);
  list.userClickItem(1);
  EXPECT_EQ(events, 3);
}

TEST_F(FormFixture, CheckList_GreyItemBecomesCheckedWhenTheUserTogglesIt) {
  auto& list = form.checkList("List", "");
  list.add("dropped", ui::CheckState::Grayed);
  list.userToggleCheck(0);
  EXPECT_EQ(list.state(0), ui::CheckState::Checked);
}

TEST_F(FormFixture, CheckList_CtrlAndShiftExtendTheSelection) {
  auto& list = form.checkList("List", "");
  list.setMultiSelect(true);
  for (int i = 0; i < 6; ++i) list.add("f" + std::to_string(i));
  list.userClickItem(1);
  list.userClickItem(3, false, true);
  EXPECT_TRUE(list.selected(1) && list.selected(2) && list.selected(3));
  EXPECT_FALSE(list.selected(0) || list.selected(4));
  list.userClickItem(5, true, false);
  EXPECT_TRUE(list.selected(5) && list.selected(1));
  list.userClickItem(0);
  EXPECT_TRUE(list.selected(0));
  EXPECT_FALSE(list.selected(1) || list.selected(5));
}

TEST_F(FormFixture, EditTextFromCode_FiresChange) {
  auto& e = form.edit("E", "", "processed");
  int changes = 0;
  e.OnChange = [&] { ++changes; };
  e.setText("processed");
  e.setText("out");
  EXPECT_EQ(changes, 1);
}

TEST_F(FormFixture, ToolWindowMoves_FireOnMoveFromCodeAndUser) {
  auto& w = form.toolWindow("W", "Tool", 100, 100);
  int moves = 0, closes = 0, shows = 0;
  w.OnMove = [&] { ++moves; };
  w.OnClose = [&] { ++closes; };
  w.OnShow = [&] { ++shows; };
  w.setPosition(10, 20);
  w.userMove(30, 40);
  w.setSize(200, 200);  // a resize is no move
  EXPECT_EQ(moves, 2);
  EXPECT_EQ(w.left(), 30);
  w.setVisible(true);
  EXPECT_EQ(shows, 1);
  w.userClose();
  EXPECT_FALSE(w.visible());
  EXPECT_EQ(closes, 1);
}

TEST_F(FormFixture, PropertiesByName_UseTheStoredTextForms) {
  form.checkBox("BlurBox", "", "Bias subtract", true);
  form.spin("Bias", "", "", 0, 255, 50);
  form.panel("Trackpanel", "", "Tracking", true, true);
  form.comboBox("Processarea", "", {"full", "2048", "512"}, 2);
  EXPECT_EQ(form.getProperty("BlurBox.Checked"), "True");
  EXPECT_EQ(form.getProperty("Bias.Value"), "50");
  EXPECT_EQ(form.getProperty("Trackpanel.Expand"), "True");
  EXPECT_EQ(form.getProperty("Processarea.Text"), "512");
  form.setProperty("BlurBox.Checked", "False");
  form.setProperty("Trackpanel.Expand", "False");
  form.setProperty("Processarea.Text", "2048");
  EXPECT_EQ(form.get<ui::ComboBox>("Processarea").itemIndex(), 1);
  EXPECT_EQ(form.getProperty("BlurBox.Checked"), "False");
  EXPECT_EQ(form.getProperty("Trackpanel.Expand"), "False");
  EXPECT_THROW(form.setProperty("Bias.Value", "fifty"), px::PelinoxaError);
  EXPECT_THROW(form.getProperty("Bias.Colour"), px::PelinoxaError);
  EXPECT_THROW(form.getProperty("Nothing.Value"), px::PelinoxaError);
}

// Each kind's table: aliases reach the same value, read-only properties refuse a set, the
// dump carries the typed values under their own names.
TEST_F(FormFixture, PropertyTables_AliasesReadOnlyAndDump) {
  form.slider("S", "", 0, 100, 5);
  form.spin("F", "", "", 0, 4, 1.5, 0.5, 1);
  form.memo("M", "");
  form.shape("Sign", "", ui::colors::Green);
  form.checkList("L", "");
  form.panel("Plain", "", "", false);
  const struct {
    const char* set;
    const char* value;
    const char* get;
    const char* expected;
  } cases[] = {
      {"S.Position", "40", "S.Value", "40"},
      {"S.Max", "30", "S.Position", "30"},  // the value follows into the range
      {"F.Min", "2", "F.MinValue", "2"},
      {"F.MaxValue", "3", "F.Value", "2"},  // clamped up to the new minimum
      {"M.Lines", "one\ntwo\n", "M.Text", "one\ntwo\n"},
  };
  for (const auto& c : cases) {
    form.setProperty(c.set, c.value);
    EXPECT_EQ(form.getProperty(c.get), c.expected) << c.set;
  }
  for (const char* readOnly : {"Sign.Color", "L.Count", "Plain.Expand"})
    EXPECT_THROW(form.setProperty(readOnly, "1"), px::PelinoxaError) << readOnly;
  EXPECT_EQ(form.getProperty("Sign.Color"), "#008000");
  EXPECT_EQ(form.getProperty("L.Count"), "0");

  px::Json spin = form.get<ui::SpinEdit>("F").toJson();
  EXPECT_EQ(spin["value"].asNumber(), 2);
  EXPECT_EQ(spin["min"].asNumber(), 2);
  EXPECT_EQ(spin["max"].asNumber(), 3);
  EXPECT_EQ(spin["kind"].asString(), "spinedit");
  px::Json memo = form.get<ui::Memo>("M").toJson();
  ASSERT_EQ(memo["lines"].asArray().size(), 2u);
  EXPECT_EQ(memo["lines"].asArray()[1].asString(), "two");
  const std::vector<std::string> names = form.control("S").propertyNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Value"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Position"), 0);  // an alias, not listed again
}

TEST_F(FormFixture, HandlerError_DuringUserActionBecomesAnErrorBox) {
  auto& b = form.button("B", "", "Go");
  b.OnClick = [] { throw px::PelinoxaError("Failed to open AVI file"); };
  b.userClick();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, ui::MsgKind::Error);
  EXPECT_EQ(ui.messages[0].text, "Failed to open AVI file");
  // Set from code, the same error reaches the caller.
  auto& c = form.checkBox("C", "", "", false);
  c.OnClick = [] { throw px::PelinoxaError("boom"); };
  EXPECT_THROW(c.setChecked(true), px::PelinoxaError);
}

TEST_F(FormFixture, HiddenOrDisabledControls_IgnoreUserActions) {
  auto& b = form.button("B", "", "Go");
  int clicks = 0;
  b.OnClick = [&] { ++clicks; };
  b.setEnabled(false);
  b.userClick();
  b.setEnabled(true);
  b.setVisible(false);
  b.userClick();
  EXPECT_EQ(clicks, 0);
}

TEST_F(FormFixture, PageChange_FiresOnlyForUserChanges) {
  auto& p1 = form.page("P1", "Input");
  auto& p2 = form.page("P2", "Aligning");
  int changes = 0;
  form.OnPageChange = [&] { ++changes; };
  EXPECT_EQ(form.activePage(), &p1);
  form.setActivePage(p2);
  EXPECT_EQ(changes, 0);
  form.userSetActivePage(p1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form.activePageIndex(), 0);
}

TEST_F(FormFixture, Observers_SeeEveryModelChange) {
  auto& c = form.checkBox("C", "", "", false);
  std::vector<std::string> seen;
  int id = form.addObserver([&](ui::Control* ctl, std::string_view prop) {
    seen.push_back((ctl ? ctl->name() : std::string("form")) + "." + std::string(prop));
  });
  c.setChecked(true);
  form.setCaption("Pelinoxa processing AVI: a.avi");
  form.removeObserver(id);
  c.setChecked(false);
  EXPECT_EQ(seen, (std::vector<std::string>{"C.Checked", "form.Caption"}));
}

TEST_F(FormFixture, DeclaringTwoControlsWithOneName_IsAProgrammingError) {
  form.button("Same", "", "a");
  EXPECT_THROW(form.button("Same", "", "b"), std::logic_error);
}

TEST_F(FormFixture, LookingUpANameNoControlHas_FailsInsteadOfSkipping) {
  form.spin("RdxSpin", "", "", 0, 10, 3);
  EXPECT_TRUE(form.has("RdxSpin"));
  EXPECT_FALSE(form.has("RDXSpin"));
  EXPECT_THROW(form.find("RDXSpin"), px::PelinoxaError);
  EXPECT_THROW(form.control("RDXSpin"), px::PelinoxaError);
  EXPECT_THROW(form.get<ui::SpinEdit>("RDXSpin"), px::PelinoxaError);
  EXPECT_THROW(form.get<ui::Slider>("RdxSpin"), std::logic_error);  // there, but another kind
  EXPECT_EQ(form.find("RdxSpin"), &form.control("RdxSpin"));
}

TEST_F(FormFixture, ProgressCancel_AsksAndRaisesTheFlagOnlyOnYes) {
  bool cancel = false;
  ui::ProgressWindow progress(form, ui, cancel);
  ui.queueAnswer(ui::DialogResult::No);
  progress.cancelButton.userClick();
  EXPECT_FALSE(cancel);
  ui.queueAnswer(ui::DialogResult::Yes);
  progress.cancelButton.userClick();
  EXPECT_TRUE(cancel);
  EXPECT_EQ(ui.messages.back().text, "Do you want to cancel ?");
}

TEST(HeadlessUiTest, UnansweredQuestionAbortsAndErrorsAbortOnlyWhenStrict) {
  ui::HeadlessUi ui;
  EXPECT_EQ(ui.messageBox("note", ui::MsgKind::Information, ui::ButtonsOK), ui::DialogResult::OK);
  EXPECT_THROW(ui.messageBox("Overwrite ?", ui::MsgKind::Warning, ui::ButtonsYesNo), px::ScriptAbort);
  ui.messageBox("bad", ui::MsgKind::Error, ui::ButtonsOK);
  ui.strict = true;
  EXPECT_THROW(ui.messageBox("bad", ui::MsgKind::Error, ui::ButtonsOK), px::ScriptAbort);
  EXPECT_EQ(ui.messages.size(), 4u);
  EXPECT_THROW(ui.fileDialog({}), px::ScriptAbort);
  ui.queueDialog({"/tmp/a.avi"}, 0);
  ui::FileDialogRequest req;
  req.filterIndex = 3;
  auto r = ui.fileDialog(req);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.filterIndex, 3);
}

}  // namespace
