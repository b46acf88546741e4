#include "SerOutput.h"

#include <cmath>
#include <cstdio>

#include "base/Error.h"
#include "frames/AviWriter.h"
#include "frames/Debayer.h"
#include "frames/SerFile.h"

namespace samplegen {

namespace {

int ColorIdOf(OutputFormat f, int pattern) {
  switch (f) {
    case OutputFormat::SerRgb: return 100;
    case OutputFormat::SerBgr: return 101;
    case OutputFormat::SerBayer: return 8 + pattern;
    default: return 0;
  }
}

// Frames are appended as they come; the header's frame count is written at the end.
class SerSink final : public FrameSink {
 public:
  SerSink(OutputFormat format, const std::string& path, const SinkOptions& o) : format_(format), o_(o) {
    opts_.colorId = ColorIdOf(format, o.pattern);
    opts_.width = o.width;
    opts_.height = o.height;
    opts_.depth = o.bits;
    opts_.littleEndianData = !o.serBigEndian;
    opts_.littleEndianFlag = o.serFlag;
    opts_.observer = "pelinoxa-samplegen";
    opts_.instrument = "synthetic sensor";
    opts_.telescope = "synthetic optics";
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw px::PelinoxaError("Cannot write \"" + path + "\"");
    write(frames::WriteSerBytes(opts_, {}, 0));
  }
  ~SerSink() override {
    if (file_) std::fclose(file_);
  }
  void add(int, const ui::Bitmap24& frame) override {
    // 8-bit colour frames; deeper outputs take the bytes times 257 shifted to the depth.
    DeepFrame d{frame.width(), frame.height(), 3, {}};
    d.v.reserve(static_cast<size_t>(d.width) * d.height * 3);
    for (int y = 0; y < d.height; ++y)
      for (int x = 0; x < d.width; ++x) {
        const uint8_t* p = frame.row(y) + 3 * x;
        for (int c = 0; c < 3; ++c) {
          const uint32_t v = p[2 - c];
          d.v.push_back(static_cast<uint16_t>(o_.bits == 8 ? v : (v * 257) >> (16 - o_.bits)));
        }
      }
    addDeep(0, d);
  }
  void addDeep(int, const DeepFrame& f) override {
    samples_.clear();
    const auto pattern = static_cast<frames::BayerPattern>(o_.pattern);
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const size_t i = static_cast<size_t>(y) * f.width + x;
        auto channel = [&](int c) { return f.channels == 1 ? f.v[i] : f.v[3 * i + static_cast<size_t>(c)]; };
        switch (format_) {
          case OutputFormat::SerRgb:
            for (int c = 0; c < 3; ++c) samples_.push_back(channel(c));
            break;
          case OutputFormat::SerBgr:
            for (int c = 2; c >= 0; --c) samples_.push_back(channel(c));
            break;
          case OutputFormat::SerBayer:
            samples_.push_back(channel(frames::MosaicColour(pattern, x, y)));
            break;
          default:
            samples_.push_back(f.channels == 1 ? f.v[i]
                                               : static_cast<uint16_t>((299 * f.v[3 * i] + 587 * f.v[3 * i + 1] +
                                                                        114 * f.v[3 * i + 2] + 500) / 1000));
        }
      }
    std::vector<uint8_t> bytes = frames::WriteSerBytes(opts_, samples_, 1);
    bytes.erase(bytes.begin(), bytes.begin() + frames::kSerHeaderSize);
    write(bytes);
    ++count_;
  }
  // SER has no empty frames: a dropped frame is simply not there.
  void addDropped(int) override {}
  void finish() override {
    std::vector<uint8_t> header = frames::WriteSerBytes(opts_, {}, count_);
    header.resize(frames::kSerHeaderSize);
    if (std::fseek(file_, 0, SEEK_SET) != 0) throw px::PelinoxaError("Cannot write the SER header");
    write(header);
    if (std::fclose(file_) != 0) throw px::PelinoxaError("Cannot write the SER file");
    file_ = nullptr;
  }

 private:
  void write(const std::vector<uint8_t>& b) {
    if (std::fwrite(b.data(), 1, b.size(), file_) != b.size()) throw px::PelinoxaError("Cannot write the SER file");
  }
  OutputFormat format_;
  SinkOptions o_;
  frames::SerWriteOptions opts_;
  std::FILE* file_ = nullptr;
  std::vector<uint16_t> samples_;
  int32_t count_ = 0;
};

class MosaicAviSink final : public FrameSink {
 public:
  MosaicAviSink(const std::string& path, const SinkOptions& o) : pattern_(static_cast<frames::BayerPattern>(o.pattern)) {
    frames::AviWriterOptions w;
    w.width = o.width;
    w.height = o.height;
    w.rate = static_cast<uint32_t>(std::lround(o.fps * 1000));
    w.scale = 1000;
    w.bitCount = 8;
    for (uint32_t i = 0; i < 256; ++i) w.palette.push_back(i << 16 | i << 8 | i);
    writer_ = std::make_unique<frames::AviWriter>(path, w);
  }
  void add(int, const ui::Bitmap24& frame) override {
    grey_.reset(frame.width(), frame.height());
    for (int y = 0; y < frame.height(); ++y)
      for (int x = 0; x < frame.width(); ++x) {
        const uint8_t v = frame.row(y)[3 * x + 2 - frames::MosaicColour(pattern_, x, y)];
        uint8_t* d = grey_.row(y) + 3 * x;
        d[0] = d[1] = d[2] = v;
      }
    frames::PackGrey8(grey_, true, chunk_);
    writer_->addFrame(chunk_);
  }
  void addDropped(int) override { writer_->addFrame(nullptr, 0); }
  void finish() override { writer_->finish(); }

 private:
  frames::BayerPattern pattern_;
  std::unique_ptr<frames::AviWriter> writer_;
  ui::Bitmap24 grey_;
  std::vector<uint8_t> chunk_;
};

}  // namespace

std::unique_ptr<FrameSink> MakeSerSink(OutputFormat format, const std::string& path, const SinkOptions& options) {
  return std::make_unique<SerSink>(format, path, options);
}

std::unique_ptr<FrameSink> MakeMosaicAviSink(const std::string& path, const SinkOptions& options) {
  return std::make_unique<MosaicAviSink>(path, options);
}

}  // namespace samplegen
