// The script interpreter in process: each malformed line names its fault, modifiers reach the
// event as written.
#include <gtest/gtest.h>

#include <sstream>

#include "app/AppFixture.h"
#include "app/BatchScript.h"
#include "base/Error.h"

namespace {

using pxtest::AppFixture;

class BatchScriptTest : public AppFixture {
 protected:
  std::string ErrorOf(const std::string& line) {
    app::BatchScript script(*mf, ui, out, err);
    try {
      script.RunLine(line);
    } catch (const px::PelinoxaError& e) {
      return e.what();
    }
    return "";
  }
  std::ostringstream out, err;
};

TEST_F(BatchScriptTest, MalformedLines_NameTheirFault) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"frobnicate x", "unknown command frobnicate"},
      {"SLIDE PreviewSlider", "usage: slide NAME VALUE"},
      {"mouse PreviewImage down 1", "usage: mouse NAME down|move|up|dblclick X Y [left|right|middle] [ctrl] [shift]"},
      {"mouse PreviewImage hover 1 2", "mouse action must be down, move, up or dblclick"},
      {"mouse PreviewImage down 1 2 left sideways", "unknown mouse modifier sideways"},
      {"key PreviewSlider 32 held", "unknown key modifier held"},
      {"select SelectFramesChecklist 0 alt", "unknown select modifier alt"},
      {"slide NoSuchSlider 3", "No control named NoSuchSlider"},
      {"slide PreviewSlider three", "VALUE must be an integer, not three"},
      {"cancel 0", "cancel needs a number of frames of at least 1, not 0"},
      {"answer Maybe", "answer must be Yes, No, OK or Cancel, not Maybe"},
      {"dialog filter=2", "dialog needs a path or cancel"},
      {"type PreviewSlider 3", "PreviewSlider is not a spin or edit box"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.line), c.error) << c.line;
}

TEST_F(BatchScriptTest, MouseModifiers_ReachTheEventInAnyOrderAndCase) {
  std::vector<ui::MouseEvent> seen;
  get<ui::Image>("PreviewImage").OnMouseMove = [&](const ui::MouseEvent& e) { seen.push_back(e); };
  EXPECT_EQ(ErrorOf("mouse PreviewImage move 7 9 SHIFT held Right"), "");
  EXPECT_EQ(ErrorOf("mouse PreviewImage move 1 2"), "");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].x, 7);
  EXPECT_EQ(seen[0].y, 9);
  EXPECT_EQ(seen[0].button, ui::MouseButton::Right);
  EXPECT_TRUE(seen[0].shift);
  EXPECT_TRUE(seen[0].buttonHeld);
  EXPECT_FALSE(seen[0].ctrl);
  EXPECT_EQ(seen[1].button, ui::MouseButton::Left);
  EXPECT_FALSE(seen[1].shift || seen[1].buttonHeld || seen[1].ctrl);
}

}  // namespace
