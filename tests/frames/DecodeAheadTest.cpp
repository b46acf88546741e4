// Decoding ahead on the worker thread gives the pictures of decoding in turn, hands over only
// the frame asked for, and reports a decode failure at the frame that failed.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "frames/DecodeAhead.h"

namespace frames {
namespace {

class Pattern : public VideoSource {
 public:
  int32_t startFrame() const override { return 0; }
  int32_t frameCount() const override { return 10; }
  bool hasData(int32_t f) const override { return f >= 0 && f < 10; }
  int width() const override { return 7; }
  int height() const override { return 5; }
  void decodeFrame(int32_t f, ui::Bitmap24& out) override {
    if (f == 6) throw px::PelinoxaError("Failed to decompress AVI frame");
    if (out.width() != 7 || out.height() != 5) out.reset(7, 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) out.setPixel(x, y, ui::Color(uint8_t(f), uint8_t(x), uint8_t(y)));
  }
  std::string describe() const override { return "pattern"; }
};

TEST(DecodeAhead, TakenPicturesEqualDirectDecodes) {
  auto video = std::make_shared<Pattern>();
  DecodeAhead ahead;
  ui::Bitmap24 pic, direct;
  for (int f = 0; f < 5; ++f) {
    ahead.Start(video, f);
    ASSERT_TRUE(ahead.Take(video.get(), f, pic));
    video->decodeFrame(f, direct);
    EXPECT_EQ(pic, direct) << f;
  }
}

TEST(DecodeAhead, AnotherFrameOrSourceIsNotHandedOver) {
  auto video = std::make_shared<Pattern>();
  auto other = std::make_shared<Pattern>();
  DecodeAhead ahead;
  ui::Bitmap24 pic;
  ahead.Start(video, 3);
  EXPECT_FALSE(ahead.Take(video.get(), 4, pic));
  EXPECT_TRUE(pic.empty());
  ahead.Start(video, 3);
  EXPECT_FALSE(ahead.Take(other.get(), 3, pic));
  // A result is handed over once.
  ahead.Start(video, 2);
  EXPECT_TRUE(ahead.Take(video.get(), 2, pic));
  EXPECT_FALSE(ahead.Take(video.get(), 2, pic));
}

TEST(DecodeAhead, FailureSurfacesWhenTheFrameIsTaken) {
  auto video = std::make_shared<Pattern>();
  DecodeAhead ahead;
  ui::Bitmap24 pic;
  ahead.Start(video, 6);
  EXPECT_THROW(ahead.Take(video.get(), 6, pic), px::PelinoxaError);
  ahead.Start(video, 6);
  ahead.Drop();  // a dropped failure is never raised
  EXPECT_FALSE(ahead.Take(video.get(), 6, pic));
}

}  // namespace
}  // namespace frames
