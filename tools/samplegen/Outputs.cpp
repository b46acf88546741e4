#include "Outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "base/Error.h"
#include "base/Files.h"
#include "frames/AviWriter.h"

namespace samplegen {

namespace {

void Le32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Le16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

class AviSink final : public FrameSink {
 public:
  AviSink(OutputFormat format, const std::string& path, const SinkOptions& o) : format_(format) {
    frames::AviWriterOptions w;
    w.width = o.width;
    w.height = o.height;
    w.rate = static_cast<uint32_t>(std::lround(o.fps * 1000));
    w.scale = 1000;
    w.index = o.openDml ? frames::AviWriterOptions::Index::OpenDml : frames::AviWriterOptions::Index::Idx1;
    switch (format) {
      case OutputFormat::Avi24:
        w.bitCount = 24;
        break;
      case OutputFormat::AviGrey:
        w.bitCount = 8;
        for (uint32_t i = 0; i < 256; ++i) w.palette.push_back(i << 16 | i << 8 | i);
        break;
      case OutputFormat::AviPal:
        w.bitCount = 8;
        w.palette = WarmPalette();
        break;
      case OutputFormat::AviY800:
        w.bitCount = 8;
        w.compression = frames::FourCCFromText("Y800");
        break;
      default:
        break;
    }
    writer_ = std::make_unique<frames::AviWriter>(path, w);
  }
  void add(int, const ui::Bitmap24& frame) override {
    if (format_ == OutputFormat::Avi24) frames::PackBgr24(frame, true, chunk_);
    else frames::PackGrey8(frame, format_ != OutputFormat::AviY800, chunk_);
    writer_->addFrame(chunk_);
  }
  void addDropped(int) override { writer_->addFrame(nullptr, 0); }
  void finish() override { writer_->finish(); }

 private:
  OutputFormat format_;
  std::unique_ptr<frames::AviWriter> writer_;
  std::vector<uint8_t> chunk_;
};

class SequenceSink final : public FrameSink {
 public:
  SequenceSink(OutputFormat format, const std::string& dir) : format_(format), dir_(dir) {
    if (!px::ForceDirectories(dir_)) throw px::PelinoxaError("Cannot create folder \"" + dir_ + "\"");
  }
  void add(int index, const ui::Bitmap24& frame) override {
    std::vector<uint8_t> bytes = format_ == OutputFormat::Bmp ? EncodeBmp24(frame) : EncodeJpeg(frame, 90);
    px::WriteFileAtomic(fileOf(index), bytes.data(), bytes.size());
  }
  void addDropped(int) override {}
  void finish() override {}
  std::string fileOf(int index) const override {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.%s", index, format_ == OutputFormat::Bmp ? "bmp" : "jpg");
    return px::JoinPath(dir_, name);
  }

 private:
  OutputFormat format_;
  std::string dir_;
};

}  // namespace

bool ParseFormat(const std::string& name, OutputFormat& out) {
  static const std::pair<const char*, OutputFormat> names[] = {
      {"avi24", OutputFormat::Avi24}, {"avigrey", OutputFormat::AviGrey}, {"avipal", OutputFormat::AviPal},
      {"avi-y800", OutputFormat::AviY800}, {"bmp", OutputFormat::Bmp}, {"jpg", OutputFormat::Jpg}};
  for (auto& [n, f] : names)
    if (name == n) {
      out = f;
      return true;
    }
  return false;
}

const char* FormatName(OutputFormat f) {
  switch (f) {
    case OutputFormat::Avi24: return "avi24";
    case OutputFormat::AviGrey: return "avigrey";
    case OutputFormat::AviPal: return "avipal";
    case OutputFormat::AviY800: return "avi-y800";
    case OutputFormat::Bmp: return "bmp";
    case OutputFormat::Jpg: return "jpg";
  }
  return "?";
}

bool IsGreyFormat(OutputFormat f) {
  return f == OutputFormat::AviGrey || f == OutputFormat::AviPal || f == OutputFormat::AviY800;
}

std::unique_ptr<FrameSink> MakeSink(OutputFormat format, const std::string& out, const SinkOptions& options) {
  if (format == OutputFormat::Bmp || format == OutputFormat::Jpg) return std::make_unique<SequenceSink>(format, out);
  return std::make_unique<AviSink>(format, out, options);
}

std::vector<uint32_t> WarmPalette() {
  std::vector<uint32_t> p;
  for (int i = 0; i < 256; ++i) {
    double t = i / 255.0;
    auto r = static_cast<uint32_t>(i);
    auto g = static_cast<uint32_t>(std::lround(255 * std::pow(t, 1.4)));
    auto b = static_cast<uint32_t>(std::lround(255 * std::pow(t, 2.4)));
    p.push_back(r << 16 | g << 8 | b);
  }
  return p;
}

std::vector<uint8_t> EncodeBmp24(const ui::Bitmap24& bmp) {
  const int w = bmp.width(), h = bmp.height();
  const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> b(54 + stride * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Le32(b, 2, static_cast<uint32_t>(b.size()));
  Le32(b, 10, 54);
  Le32(b, 14, 40);
  Le32(b, 18, static_cast<uint32_t>(w));
  Le32(b, 22, static_cast<uint32_t>(h));
  Le16(b, 26, 1);
  Le16(b, 28, 24);
  Le32(b, 34, static_cast<uint32_t>(stride * h));
  Le32(b, 38, 2835);  // 72 dpi
  Le32(b, 42, 2835);
  for (int y = 0; y < h; ++y) std::memcpy(b.data() + 54 + stride * (h - 1 - y), bmp.row(y), static_cast<size_t>(w) * 3);
  return b;
}

std::vector<uint8_t> EncodeJpeg(const ui::Bitmap24& bmp, int quality) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  jpeg_mem_dest(&c, &mem, &memSize);
  c.image_width = static_cast<JDIMENSION>(bmp.width());
  c.image_height = static_cast<JDIMENSION>(bmp.height());
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> rgb(static_cast<size_t>(bmp.width()) * 3);
  while (c.next_scanline < c.image_height) {
    const uint8_t* s = bmp.row(static_cast<int>(c.next_scanline));
    for (int x = 0; x < bmp.width(); ++x) {
      rgb[3 * x] = s[3 * x + 2];
      rgb[3 * x + 1] = s[3 * x + 1];
      rgb[3 * x + 2] = s[3 * x];
    }
    JSAMPROW row = rgb.data();
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(mem, mem + memSize);
  jpeg_destroy_compress(&c);
  std::free(mem);
  return out;
}

}  // namespace samplegen
