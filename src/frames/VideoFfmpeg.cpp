#include "frames/VideoFfmpeg.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "base/Error.h"

namespace frames {

void QuietFfmpegLog() {
  static const bool once = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)once;
}

struct FfmpegDecoder::Impl {
  AVCodecContext* ctx = nullptr;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  bool haveFrame = false;
  AVBufferRef* buffer = nullptr;  // padded packet data, reused while nobody else holds it
  SwsContext* sws = nullptr;
  bool hasPalette = false;
  bool paletteSent = false;
  uint32_t palette[256] = {};

  ~Impl() {
    sws_freeContext(sws);
    av_buffer_unref(&buffer);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
  }
};

namespace {

[[noreturn]] void FailStart() { throw px::PelinoxaError(avierr::StartDecompression); }

std::unique_ptr<FfmpegDecoder::Impl> NewImpl(const AVCodec* codec) {
  auto impl = std::make_unique<FfmpegDecoder::Impl>();
  impl->ctx = avcodec_alloc_context3(codec);
  impl->pkt = av_packet_alloc();
  impl->frame = av_frame_alloc();
  if (!impl->ctx || !impl->pkt || !impl->frame) FailStart();
  return impl;
}

void Open(FfmpegDecoder::Impl& impl, const AVCodec* codec) {
  // Slice threads only: frame threads would delay the output by several packets.
  impl.ctx->thread_count = 0;
  impl.ctx->thread_type = FF_THREAD_SLICE;
  if (avcodec_open2(impl.ctx, codec, nullptr) < 0) FailStart();
}

}  // namespace

FfmpegDecoder::FfmpegDecoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FfmpegDecoder::~FfmpegDecoder() = default;

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::ForAviFormat(const AviBitmapFormat& f) {
  QuietFfmpegLog();
  const AVCodecTag* tags[] = {avformat_get_riff_video_tags(), nullptr};
  AVCodecID id = av_codec_get_id(tags, f.compression);
  if (id == AV_CODEC_ID_NONE) FailStart();
  const AVCodec* codec = avcodec_find_decoder(id);
  if (!codec) FailStart();
  auto impl = NewImpl(codec);
  AVCodecContext* c = impl->ctx;
  c->width = f.width;
  c->height = f.height < 0 ? -f.height : f.height;
  c->codec_tag = f.compression;
  c->bits_per_coded_sample = f.bitCount;

  // Codec data follows the 40-byte header. Raw bottom-up RGB is flagged the way FFmpeg's own
  // AVI demuxer flags it.
  std::vector<uint8_t> extra(f.strf.begin() + std::min<size_t>(40, f.strf.size()), f.strf.end());
  if (f.bitCount <= 8 && f.bitCount > 0) {
    size_t entries = f.clrUsed ? f.clrUsed : (1u << f.bitCount);
    const uint8_t* table = f.strf.data() + f.headerSize;
    size_t available = (f.strf.size() - f.headerSize) / 4;
    for (size_t i = 0; i < std::min<size_t>({entries, available, 256}); ++i) {
      uint32_t v = table[i * 4] | table[i * 4 + 1] << 8 | table[i * 4 + 2] << 16;
      impl->palette[i] = 0xFF000000u | v;
    }
    impl->hasPalette = available > 0;
  }
  if (f.compression == 0 && f.height > 0) {
    static const char kBottomUp[] = "BottomUp";
    extra.insert(extra.end(), kBottomUp, kBottomUp + sizeof kBottomUp);
  }
  if (!extra.empty()) {
    c->extradata = static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!c->extradata) FailStart();
    std::memcpy(c->extradata, extra.data(), extra.size());
    c->extradata_size = static_cast<int>(extra.size());
  }
  Open(*impl, codec);
  return std::unique_ptr<FfmpegDecoder>(new FfmpegDecoder(std::move(impl)));
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::ForStream(const AVCodecParameters* params) {
  QuietFfmpegLog();
  const AVCodec* codec = avcodec_find_decoder(params->codec_id);
  if (!codec) FailStart();
  auto impl = NewImpl(codec);
  if (avcodec_parameters_to_context(impl->ctx, params) < 0) FailStart();
  Open(*impl, codec);
  return std::unique_ptr<FfmpegDecoder>(new FfmpegDecoder(std::move(impl)));
}

bool FfmpegDecoder::intraOnly() const {
  const AVCodecDescriptor* d = avcodec_descriptor_get(impl_->ctx->codec_id);
  return d && (d->props & AV_CODEC_PROP_INTRA_ONLY);
}

std::string FfmpegDecoder::codecName() const { return impl_->ctx->codec ? impl_->ctx->codec->name : "?"; }

void FfmpegDecoder::reset() {
  avcodec_flush_buffers(impl_->ctx);
  impl_->haveFrame = false;
  impl_->paletteSent = false;
}

FfmpegDecoder::Status FfmpegDecoder::send(const uint8_t* data, size_t size, int64_t pts) {
  Impl& m = *impl_;
  if (size > static_cast<size_t>(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) return Status::Error;
  size_t need = size + AV_INPUT_BUFFER_PADDING_SIZE;
  if (!m.buffer || static_cast<size_t>(m.buffer->size) < need || !av_buffer_is_writable(m.buffer)) {
    av_buffer_unref(&m.buffer);
    m.buffer = av_buffer_alloc(need + need / 4);
    if (!m.buffer) return Status::Error;
  }
  std::memcpy(m.buffer->data, data, size);
  std::memset(m.buffer->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  av_packet_unref(m.pkt);
  m.pkt->buf = av_buffer_ref(m.buffer);
  if (!m.pkt->buf) return Status::Error;
  m.pkt->data = m.buffer->data;
  m.pkt->size = static_cast<int>(size);
  m.pkt->pts = pts;
  m.pkt->dts = pts;
  m.pkt->flags = 0;
  if (m.hasPalette && !m.paletteSent) {
    uint8_t* side = av_packet_new_side_data(m.pkt, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (side) std::memcpy(side, m.palette, AVPALETTE_SIZE);
    m.paletteSent = true;
  }
  int r = avcodec_send_packet(m.ctx, m.pkt);
  av_packet_unref(m.pkt);
  if (r == AVERROR(EAGAIN)) {
    m.paletteSent = false;
    return Status::Again;
  }
  if (r == AVERROR_EOF) return Status::End;
  return r < 0 ? Status::Error : Status::Ok;
}

FfmpegDecoder::Status FfmpegDecoder::sendPacket(const AVPacket* packet) {
  int r = avcodec_send_packet(impl_->ctx, packet);
  if (r == AVERROR(EAGAIN)) return Status::Again;
  if (r == AVERROR_EOF) return Status::End;
  return r < 0 ? Status::Error : Status::Ok;
}

FfmpegDecoder::Status FfmpegDecoder::sendEnd() {
  int r = avcodec_send_packet(impl_->ctx, nullptr);
  if (r == AVERROR_EOF) return Status::End;
  return r < 0 ? Status::Error : Status::Ok;
}

FfmpegDecoder::Status FfmpegDecoder::receive() {
  Impl& m = *impl_;
  int r = avcodec_receive_frame(m.ctx, m.frame);
  m.haveFrame = r >= 0;
  if (r >= 0) return Status::Ok;
  if (r == AVERROR(EAGAIN)) return Status::Again;
  if (r == AVERROR_EOF) return Status::End;
  return Status::Error;
}

bool FfmpegDecoder::frameIsKey() const { return impl_->haveFrame && impl_->frame->key_frame; }

int64_t FfmpegDecoder::framePts() const {
  if (!impl_->haveFrame) return AV_NOPTS_VALUE;
  return impl_->frame->best_effort_timestamp;
}

int64_t FfmpegDecoder::framePacketPts() const {
  if (!impl_->haveFrame) return AV_NOPTS_VALUE;
  return impl_->frame->pts;
}

void FfmpegDecoder::convert(ui::Bitmap24& out) {
  Impl& m = *impl_;
  if (!m.haveFrame) throw px::PelinoxaError(avierr::Decompress);
  AVFrame* f = m.frame;
  int w = f->width, h = f->height;
  if (w <= 0 || h <= 0 || w > 65535 || h > 65535) throw px::PelinoxaError(avierr::Decompress);
  auto format = static_cast<AVPixelFormat>(f->format);
  m.sws = sws_getCachedContext(m.sws, w, h, format, w, h, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!m.sws) throw px::PelinoxaError(avierr::Decompress);
  // Honour a full-range flag on formats that do not say it in their name; keep the default
  // matrix, as FFmpeg's own tools do.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB)) {
    int* inv = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(m.sws, &inv, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation) >= 0) {
      int wantRange = f->color_range == AVCOL_RANGE_JPEG ? 1 : srcRange;
      if (wantRange != srcRange)
        sws_setColorspaceDetails(m.sws, inv, wantRange, table, dstRange, brightness, contrast, saturation);
    }
  }
  if (out.width() != w || out.height() != h) out.reset(w, h);
  uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {w * 3, 0, 0, 0};
  int rows = sws_scale(m.sws, f->data, f->linesize, 0, h, dst, dstStride);
  if (rows != h) throw px::PelinoxaError(avierr::Decompress);
}

}  // namespace frames
