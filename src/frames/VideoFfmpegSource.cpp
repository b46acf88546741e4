// Videos in containers other than AVI, demuxed by FFmpeg from the mapped bytes. Opening reads
// every packet header of the video stream once to learn the real frame count and where
// timestamps leave gaps (dropped frames); decoding seeks to the keyframe before a frame and
// keeps the decoder running for consecutive frames.
#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "base/Error.h"
#include "frames/AviSource.h"
#include "frames/VideoFfmpeg.h"

namespace frames {

namespace {

[[noreturn]] void Fail(const char* text) { throw px::PelinoxaError(text); }

constexpr int64_t kNoTs = AV_NOPTS_VALUE;

class FfmpegContainerSource final : public VideoSource {
 public:
  explicit FfmpegContainerSource(VideoBytes bytes);
  ~FfmpegContainerSource() override;

  int32_t startFrame() const override { return 0; }
  int32_t frameCount() const override { return static_cast<int32_t>(framePts_.size()); }
  bool hasData(int32_t frame) const override {
    return frame >= 0 && frame < frameCount() && framePts_[static_cast<size_t>(frame)] != kNoTs;
  }
  int width() const override { return width_; }
  int height() const override { return height_; }
  void decodeFrame(int32_t frame, ui::Bitmap24& out) override;
  std::string describe() const override;

 private:
  static int Read(void* opaque, uint8_t* buf, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  void buildFrameTable();
  bool seekTo(int64_t ts);
  bool keyBetween(int64_t after, int64_t upTo) const;
  [[noreturn]] void fail();

  // Released in reverse order also when the constructor throws half-way.
  struct Handles {
    AVIOContext* io = nullptr;
    AVFormatContext* fmt = nullptr;
    AVPacket* pkt = nullptr;
    ~Handles() {
      av_packet_free(&pkt);
      avformat_close_input(&fmt);
      if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
      }
    }
  };

  VideoBytes bytes_;
  int64_t pos_ = 0;
  Handles h_;
  AVIOContext*& io_ = h_.io;
  AVFormatContext*& fmt_ = h_.fmt;
  AVPacket*& pkt_ = h_.pkt;
  int stream_ = -1;
  std::unique_ptr<FfmpegDecoder> dec_;
  int width_ = 0, height_ = 0;
  std::vector<int64_t> framePts_;  // per frame number; kNoTs for a frame without data
  std::vector<int64_t> keyPts_;    // sorted timestamps of keyframes
  bool running_ = false, eof_ = false;
  int64_t currentTs_ = kNoTs;      // timestamp of the picture the decoder holds
};

int FfmpegContainerSource::Read(void* opaque, uint8_t* buf, int size) {
  auto* self = static_cast<FfmpegContainerSource*>(opaque);
  int64_t left = static_cast<int64_t>(LiveSize(self->bytes_)) - self->pos_;
  if (left <= 0) return AVERROR_EOF;
  int n = static_cast<int>(std::min<int64_t>(size, left));
  std::memcpy(buf, self->bytes_.data + self->pos_, static_cast<size_t>(n));
  self->pos_ += n;
  return n;
}

int64_t FfmpegContainerSource::Seek(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<FfmpegContainerSource*>(opaque);
  int64_t size = static_cast<int64_t>(self->bytes_.size);
  if (whence & AVSEEK_SIZE) return size;
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = self->pos_; break;
    case SEEK_END: base = size; break;
    default: return -1;
  }
  int64_t target = base + offset;
  if (target < 0 || target > size) return -1;
  self->pos_ = target;
  return target;
}

FfmpegContainerSource::FfmpegContainerSource(VideoBytes bytes) : bytes_(std::move(bytes)) {
  QuietFfmpegLog();
  constexpr int kIoBuffer = 1 << 16;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBuffer));
  if (!buffer) Fail(avierr::OpenFile);
  io_ = avio_alloc_context(buffer, kIoBuffer, 0, this, &Read, nullptr, &Seek);
  if (!io_) {
    av_free(buffer);
    Fail(avierr::OpenFile);
  }
  fmt_ = avformat_alloc_context();
  pkt_ = av_packet_alloc();
  if (!fmt_ || !pkt_) Fail(avierr::OpenFile);
  fmt_->pb = io_;
  fmt_->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&fmt_, "", nullptr, nullptr) < 0) {
    fmt_ = nullptr;  // freed by the failed open
    Fail(avierr::OpenFile);
  }
  if (avformat_find_stream_info(fmt_, nullptr) < 0) Fail(avierr::StreamInfo);
  stream_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream_ < 0 || (fmt_->streams[stream_]->disposition & AV_DISPOSITION_ATTACHED_PIC)) Fail(avierr::OpenStream);
  const AVCodecParameters* par = fmt_->streams[stream_]->codecpar;
  if (par->width <= 0 || par->height <= 0) Fail(avierr::Format);
  if (par->width > kMaxVideoSide || par->height > kMaxVideoSide ||
      static_cast<int64_t>(par->width) * par->height > kMaxVideoPixels)
    Fail(avierr::StartDecompression);
  width_ = par->width;
  height_ = par->height;
  for (unsigned i = 0; i < fmt_->nb_streams; ++i)
    if (static_cast<int>(i) != stream_) fmt_->streams[i]->discard = AVDISCARD_ALL;
  dec_ = FfmpegDecoder::ForStream(par);
  buildFrameTable();
}

FfmpegContainerSource::~FfmpegContainerSource() { dec_.reset(); }

void FfmpegContainerSource::buildFrameTable() {
  struct Entry {
    int64_t ts;
    bool key;
  };
  std::vector<Entry> packets;
  int64_t last = kNoTs;
  const AVStream* st = fmt_->streams[stream_];
  AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  int64_t step = 0;
  if (rate.num > 0 && rate.den > 0) step = av_rescale_q(1, av_inv_q(rate), st->time_base);
  while (av_read_frame(fmt_, pkt_) >= 0) {
    if (pkt_->stream_index == stream_) {
      int64_t ts = pkt_->pts != kNoTs ? pkt_->pts : pkt_->dts;
      if (ts == kNoTs) ts = last == kNoTs ? 0 : last + std::max<int64_t>(step, 1);
      packets.push_back({ts, (pkt_->flags & AV_PKT_FLAG_KEY) != 0});
      last = ts;
    }
    av_packet_unref(pkt_);
  }
  if (packets.empty()) Fail(avierr::NoFrames);
  std::sort(packets.begin(), packets.end(), [](const Entry& a, const Entry& b) { return a.ts < b.ts; });
  packets.erase(std::unique(packets.begin(), packets.end(), [](const Entry& a, const Entry& b) { return a.ts == b.ts; }),
                packets.end());
  for (const Entry& e : packets)
    if (e.key) keyPts_.push_back(e.ts);

  // Frame numbers from the timestamps at the nominal rate; a gap is a dropped frame. Absurd
  // gaps (broken timestamps) fall back to one frame per packet.
  std::vector<int64_t> numbers;
  int64_t prev = -1;
  bool usable = step > 0;
  for (const Entry& e : packets) {
    if (!usable) break;
    double n = static_cast<double>(e.ts - packets.front().ts) / static_cast<double>(step);
    int64_t no = std::max<int64_t>(std::llround(n), prev + 1);
    if (no > static_cast<int64_t>(packets.size()) * 4 + 100 || no >= INT32_MAX) usable = false;
    numbers.push_back(no);
    prev = no;
  }
  if (!usable) {
    numbers.clear();
    for (size_t i = 0; i < packets.size(); ++i) numbers.push_back(static_cast<int64_t>(i));
  }
  framePts_.assign(static_cast<size_t>(numbers.back()) + 1, kNoTs);
  for (size_t i = 0; i < packets.size(); ++i) framePts_[static_cast<size_t>(numbers[i])] = packets[i].ts;
}

[[noreturn]] void FfmpegContainerSource::fail() {
  running_ = false;
  currentTs_ = kNoTs;
  Fail(avierr::Decompress);
}

bool FfmpegContainerSource::keyBetween(int64_t after, int64_t upTo) const {
  auto it = std::upper_bound(keyPts_.begin(), keyPts_.end(), after);
  return it != keyPts_.end() && *it <= upTo;
}

bool FfmpegContainerSource::seekTo(int64_t ts) {
  dec_->reset();
  running_ = true;
  eof_ = false;
  currentTs_ = kNoTs;
  if (av_seek_frame(fmt_, stream_, ts, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  return avformat_seek_file(fmt_, stream_, INT64_MIN, ts, ts, 0) >= 0;
}

void FfmpegContainerSource::decodeFrame(int32_t frame, ui::Bitmap24& out) {
  if (frame < 0 || frame >= frameCount()) Fail(avierr::Decompress);
  size_t k = static_cast<size_t>(frame);
  while (framePts_[k] == kNoTs && k > 0) --k;
  if (framePts_[k] == kNoTs) {
    if (out.width() != width_ || out.height() != height_) out.reset(width_, height_);
    else out.fill(ui::colors::Black);
    return;
  }
  const int64_t target = framePts_[k];
  if (currentTs_ != target) {
    bool fromStart = false;
    if (!(running_ && currentTs_ != kNoTs && currentTs_ < target && !keyBetween(currentTs_, target))) {
      if (!seekTo(target)) fail();
    }
    using S = FfmpegDecoder::Status;
    for (;;) {
      S r = dec_->receive();
      if (r == S::Ok) {
        int64_t ts = dec_->framePts();
        currentTs_ = ts;
        if (ts == target) break;
        if (ts != kNoTs && ts > target) {
          // The seek landed after the frame (a demuxer without a usable index): start over.
          if (fromStart || !seekTo(INT64_MIN)) fail();
          fromStart = true;
        }
        continue;
      }
      if (r != S::Again) fail();
      if (eof_) fail();
      int got = av_read_frame(fmt_, pkt_);
      if (got < 0) {
        eof_ = true;
        if (dec_->sendEnd() != S::Ok) fail();
        continue;
      }
      if (pkt_->stream_index == stream_) {
        S sent = dec_->sendPacket(pkt_);
        if (sent == S::Error) {
          av_packet_unref(pkt_);
          fail();
        }
      }
      av_packet_unref(pkt_);
    }
  }
  dec_->convert(out);
}

std::string FfmpegContainerSource::describe() const {
  return std::string(fmt_->iformat ? fmt_->iformat->name : "?") + " via FFmpeg " + dec_->codecName() + " " +
         std::to_string(width_) + "x" + std::to_string(height_);
}

}  // namespace

std::unique_ptr<VideoSource> MakeFfmpegContainerSource(VideoBytes bytes) {
  return std::make_unique<FfmpegContainerSource>(std::move(bytes));
}

}  // namespace frames
