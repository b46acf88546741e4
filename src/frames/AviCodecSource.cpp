// Compressed AVI video: the native index says where each frame's chunk lies and which samples
// are dropped (zero size); FFmpeg decodes the chunks. Intra-only codecs decode any frame on
// its own. Other codecs decode from the keyframe at or before the frame and keep their state,
// so a pass over consecutive frames feeds each chunk once.
//
// Frame numbers count pictures in display order. In an AVI, chunks are stored in decoding
// order, so with B-frames a chunk number is not a picture number, and after a restart at a
// keyframe the decoder drops the pictures that refer to the previous group. Such streams are
// recognised (a picture comes out of another chunk than its count says) and then decoded from
// the start of the stream, which gives the right pictures at the price of slower jumps.
#include <algorithm>
#include <cstdlib>

#include "base/Error.h"
#include "frames/AviSource.h"
#include "frames/VideoFfmpeg.h"

namespace frames {

namespace {

class AviCodecSource final : public AviSourceBase {
 public:
  AviCodecSource(VideoBytes bytes, AviContainer container, std::unique_ptr<FfmpegDecoder> decoder);
  void decodeFrame(int32_t frame, ui::Bitmap24& out) override;
  std::string describe() const override;

 private:
  void decodeIntra(size_t k);
  void decodeSequential(size_t k);
  enum class Run { Done, NotKey, Reordered };
  Run tryFrom(size_t start, size_t target);
  void probeReordering();
  size_t keyBefore(size_t k) const;
  size_t nextWithData(size_t k) const;  // first sample >= k holding data, or count
  [[noreturn]] void fail();

  std::unique_ptr<FfmpegDecoder> dec_;
  bool intra_ = false;
  std::vector<uint8_t> key_;  // per sample: a decoder may start there
  // Sequential decoding state.
  bool running_ = false;
  bool drained_ = false;
  bool needReset_ = false;
  size_t nextFeed_ = 0;    // next sample to feed
  size_t nextOutput_ = 0;  // sample the next decoded picture belongs to
  size_t current_ = SIZE_MAX;  // sample whose picture the decoder holds
  size_t runStart_ = 0;        // where the running decoder started
  bool reorders_ = false;      // pictures come out in another order than their chunks
};

AviCodecSource::AviCodecSource(VideoBytes bytes, AviContainer container, std::unique_ptr<FfmpegDecoder> decoder)
    : AviSourceBase(std::move(bytes), std::move(container)), dec_(std::move(decoder)) {
  const auto& s = avi_.samples;
  bool anyKey = false, anyNonKey = false;
  for (const AviSample& x : s) {
    if (x.size == 0) continue;
    (x.keyframe ? anyKey : anyNonKey) = true;
  }
  // Index flags that mark nothing as a keyframe carry no information.
  bool flagsUsable = avi_.keyframesKnown && anyKey;
  intra_ = dec_->intraOnly() && (!flagsUsable || !anyNonKey);
  key_.assign(s.size(), 0);
  for (size_t k = 0; k < s.size(); ++k) key_[k] = s[k].size > 0 && (intra_ || (flagsUsable && s[k].keyframe));
  size_t first = nextWithData(0);
  if (first < key_.size()) key_[first] = 1;
  if (!intra_) probeReordering();
}

// Decodes the first pictures to learn whether the codec reorders them.
void AviCodecSource::probeReordering() {
  size_t first = nextWithData(0), probe = first;
  if (first >= avi_.samples.size()) return;  // nothing but dropped frames
  for (int n = 0; n < 16 && probe < avi_.samples.size(); ++n) probe = nextWithData(probe + 1);
  if (probe >= avi_.samples.size()) probe = first;
  try {
    for (size_t k = first; k <= probe && !reorders_; k = nextWithData(k + 1)) decodeSequential(k);
  } catch (const px::PelinoxaError&) {
    // A damaged start is reported when those frames are asked for.
  }
}

[[noreturn]] void AviCodecSource::fail() {
  running_ = false;
  needReset_ = true;
  current_ = SIZE_MAX;
  throw px::PelinoxaError(avierr::Decompress);
}

size_t AviCodecSource::nextWithData(size_t k) const {
  while (k < avi_.samples.size() && avi_.samples[k].size == 0) ++k;
  return k;
}

size_t AviCodecSource::keyBefore(size_t k) const {
  for (size_t i = k + 1; i-- > 0;)
    if (key_[i]) return i;
  return nextWithData(0);
}

void AviCodecSource::decodeFrame(int32_t frame, ui::Bitmap24& out) {
  std::optional<size_t> k = sampleToShow(frame);
  if (!k) {
    int w = width(), h = height();
    if (out.width() != w || out.height() != h) out.reset(w, h);
    else out.fill(ui::colors::Black);
    return;
  }
  if (*k != current_) {
    if (intra_) decodeIntra(*k);
    else decodeSequential(*k);
  }
  dec_->convert(out);
}

void AviCodecSource::decodeIntra(size_t k) {
  current_ = SIZE_MAX;
  if (needReset_) {
    dec_->reset();
    needReset_ = false;
  }
  const uint8_t* p = sampleBytes(k);
  if (dec_->send(p, avi_.samples[k].size, static_cast<int64_t>(k)) != FfmpegDecoder::Status::Ok) fail();
  FfmpegDecoder::Status r = dec_->receive();
  if (r == FfmpegDecoder::Status::Again) {
    // A decoder with delay: ask for what it holds, and start afresh next time.
    needReset_ = true;
    if (dec_->sendEnd() != FfmpegDecoder::Status::Ok) fail();
    r = dec_->receive();
  }
  if (r != FfmpegDecoder::Status::Ok) fail();
  current_ = k;
}

void AviCodecSource::decodeSequential(size_t k) {
  const size_t first = nextWithData(0);
  size_t key = reorders_ ? first : keyBefore(k);
  bool canContinue = running_ && !drained_ && nextOutput_ <= k && key <= nextOutput_ && (!reorders_ || runStart_ == first);
  if (canContinue) {
    Run r = tryFrom(SIZE_MAX, k);
    if (r == Run::Done) return;
    key = first;  // reordering found on the way
  }
  // Start at the keyframe; when the index called a frame a keyframe that the decoder does
  // not take as one, go back to an earlier one.
  for (;;) {
    Run r = tryFrom(key, k);
    if (r == Run::Done) return;
    if (r == Run::Reordered) {
      key = first;
      continue;
    }
    if (key == first || key_[key] == 0) fail();
    key_[key] = 0;
    size_t earlier = keyBefore(key - 1);
    if (earlier >= key) fail();
    key = earlier;
  }
}

// Decodes up to sample `target`, starting afresh at `start` (or going on when SIZE_MAX).
AviCodecSource::Run AviCodecSource::tryFrom(size_t start, size_t target) {
  using S = FfmpegDecoder::Status;
  current_ = SIZE_MAX;
  bool first = false;
  if (start != SIZE_MAX) {
    dec_->reset();
    needReset_ = false;
    running_ = true;
    drained_ = false;
    nextFeed_ = start;
    nextOutput_ = start;
    runStart_ = start;
    first = true;
  }
  const size_t firstSample = nextWithData(0);
  const size_t count = avi_.samples.size();
  for (;;) {
    S r = dec_->receive();
    if (r == S::Ok) {
      size_t s = nextOutput_;
      if (first && !dec_->frameIsKey() && s != firstSample) return Run::NotKey;
      first = false;
      // The packets carry their chunk number as pts (INT64_MIN: none came back).
      int64_t from = dec_->framePacketPts();
      if (!reorders_ && from != INT64_MIN && from != static_cast<int64_t>(s)) {
        reorders_ = true;
        if (runStart_ != firstSample) return Run::Reordered;
      }
      if (dec_->frameIsKey() && s < count) key_[s] = 1;
      nextOutput_ = nextWithData(s + 1);
      if (s == target) {
        current_ = s;
        return Run::Done;
      }
      if (s > target) fail();
      continue;
    }
    if (r != S::Again) fail();
    nextFeed_ = nextWithData(nextFeed_);
    if (nextFeed_ < count) {
      const uint8_t* p = sampleBytes(nextFeed_);
      S sent = dec_->send(p, avi_.samples[nextFeed_].size, static_cast<int64_t>(nextFeed_));
      if (sent != S::Ok) fail();
      ++nextFeed_;
    } else if (!drained_) {
      if (dec_->sendEnd() != S::Ok) fail();
      drained_ = true;
    } else {
      fail();
    }
  }
}

std::string AviCodecSource::describe() const {
  return "AVI (" + indexName() + ") " + CompressionName(avi_.format.compression) + " via FFmpeg " +
         dec_->codecName() + (intra_ ? " (intra)" : reorders_ ? " (reordered)" : "") + " " + std::to_string(width()) + "x" +
         std::to_string(height());
}

}  // namespace

std::unique_ptr<VideoSource> MakeAviCodecSource(VideoBytes bytes, AviContainer container) {
  int64_t w = container.format.width, h = std::abs(static_cast<int64_t>(container.format.height));
  if (w > kMaxVideoSide || h > kMaxVideoSide || w * h > kMaxVideoPixels)
    throw px::PelinoxaError(avierr::StartDecompression);
  auto decoder = FfmpegDecoder::ForAviFormat(container.format);
  return std::make_unique<AviCodecSource>(std::move(bytes), std::move(container), std::move(decoder));
}

}  // namespace frames
