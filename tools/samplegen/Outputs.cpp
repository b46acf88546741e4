#include "Outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/Error.h"
#include "base/Files.h"
#include "formats/FitsWriter.h"
#include "formats/Jpeg.h"
#include "formats/TiffBitmap.h"
#include "frames/AviWriter.h"
#include "ui/BmpCodec.h"
#include "SerOutput.h"

namespace samplegen {

namespace {

// Luminance of a frame's pixel as a byte (grey frames have three equal channels).
uint8_t Luma(const uint8_t* p) { return static_cast<uint8_t>(std::lround(0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0])); }

// Sample i of a deep frame as grey, or one of its colour channels (c 0..2).
uint16_t DeepGrey(const DeepFrame& f, size_t i) {
  if (f.channels == 1) return f.v[i];
  const uint16_t* p = f.v.data() + 3 * i;
  return static_cast<uint16_t>(std::lround(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]));
}
uint16_t DeepChannel(const DeepFrame& f, size_t i, int c) { return f.channels == 1 ? f.v[i] : f.v[3 * i + static_cast<size_t>(c)]; }

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

// One file per frame ("frame_00000.bmp" ...); 16-bit outputs hold the 8-bit levels times 257
// (FITS 32-bit: times 65793), so every format carries the same picture.
class SequenceSink final : public FrameSink {
 public:
  SequenceSink(OutputFormat format, const std::string& dir) : format_(format), dir_(dir) {
    if (!px::ForceDirectories(dir_)) throw px::PelinoxaError("Cannot create folder \"" + dir_ + "\"");
  }
  void add(int index, const ui::Bitmap24& frame) override {
    const std::string file = fileOf(index);
    const int w = frame.width(), h = frame.height();
    switch (format_) {
      case OutputFormat::Bmp: {
        auto bytes = ui::EncodeBmp(frame);
        px::WriteFileAtomic(file, bytes.data(), bytes.size());
        break;
      }
      case OutputFormat::Jpg:
        formats::SaveJpegFile(file, frame, 90);
        break;
      case OutputFormat::Fits16:
      case OutputFormat::Fits32: {
        std::vector<int64_t> v64;
        std::vector<int32_t> v32;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            int l = Luma(frame.row(y) + 3 * x);
            if (format_ == OutputFormat::Fits16) v32.push_back(l * 257);
            else v64.push_back(static_cast<int64_t>(l) * 65793);
          }
        if (format_ == OutputFormat::Fits16) formats::WriteFitsImage16(file, w, h, v32, 32768);
        else formats::WriteFitsImage32(file, w, h, v64, 0);
        break;
      }
      case OutputFormat::FitsLrgb: {
        // Four files per frame: the colour channels and the luminance.
        const char* suffix[] = {"_R", "_G", "_B", "_L"};
        for (int c = 0; c < 4; ++c) {
          std::vector<int32_t> v;
          v.reserve(static_cast<size_t>(w) * h);
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              const uint8_t* p = frame.row(y) + 3 * x;
              int level = c == 0 ? p[2] : c == 1 ? p[1] : c == 2 ? p[0] : Luma(p);
              v.push_back(level * 257);
            }
          formats::WriteFitsImage16(px::ChangeFileExt(file, "") + suffix[c] + ".fit", w, h, v, 32768);
        }
        break;
      }
      case OutputFormat::Tif8:
      case OutputFormat::Tif16:
      case OutputFormat::Tif48: {
        formats::TTIFFBitMap t;
        t.display.assign(frame);
        if (format_ == OutputFormat::Tif8) {
          t.SaveTiff(file, 24, false);
          break;
        }
        t.Allocate48(w, h);
        for (int y = 0; y < h; ++y) {
          const uint8_t* s = frame.row(y);
          uint16_t* d = t.row16(y);
          for (int x = 0; x < w; ++x) {
            if (format_ == OutputFormat::Tif16) {
              uint16_t l = static_cast<uint16_t>(Luma(s + 3 * x) * 257);
              d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = l;
            } else {
              d[3 * x] = static_cast<uint16_t>(s[3 * x + 2] * 257);
              d[3 * x + 1] = static_cast<uint16_t>(s[3 * x + 1] * 257);
              d[3 * x + 2] = static_cast<uint16_t>(s[3 * x] * 257);
            }
          }
        }
        t.has16Bit = true;
        t.SaveTiff(file, format_ == OutputFormat::Tif16 ? 16 : 48, false);
        break;
      }
      default:
        break;
    }
  }
  void addDeep(int index, const DeepFrame& frame) override {
    const std::string file = fileOf(index);
    const int w = frame.width, h = frame.height;
    const size_t n = static_cast<size_t>(w) * h;
    switch (format_) {
      case OutputFormat::Fits16: {
        std::vector<int32_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = DeepGrey(frame, i);
        formats::WriteFitsImage16(file, w, h, v, 32768);
        break;
      }
      case OutputFormat::FitsLrgb: {
        const char* suffix[] = {"_R", "_G", "_B", "_L"};
        for (int c = 0; c < 4; ++c) {
          std::vector<int32_t> v(n);
          for (size_t i = 0; i < n; ++i) v[i] = c == 3 ? DeepGrey(frame, i) : DeepChannel(frame, i, c);
          formats::WriteFitsImage16(px::ChangeFileExt(file, "") + suffix[c] + ".fit", w, h, v, 32768);
        }
        break;
      }
      case OutputFormat::Tif16:
      case OutputFormat::Tif48: {
        formats::TTIFFBitMap t;
        t.display.reset(w, h);
        t.Allocate48(w, h);
        for (int y = 0; y < h; ++y) {
          uint16_t* d = t.row16(y);
          for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            for (int c = 0; c < 3; ++c)
              d[3 * x + c] = format_ == OutputFormat::Tif16 ? DeepGrey(frame, i) : DeepChannel(frame, i, c);
          }
        }
        t.has16Bit = true;
        t.SaveTiff(file, format_ == OutputFormat::Tif16 ? 16 : 48, false);
        break;
      }
      default:
        FrameSink::addDeep(index, frame);
    }
  }
  void addDropped(int) override {}
  void finish() override {}
  std::string fileOf(int index) const override {
    char name[48];
    std::snprintf(name, sizeof name, "frame_%05d.%s", index, Extension(format_));
    return px::JoinPath(dir_, name);
  }

 private:
  static const char* Extension(OutputFormat f) {
    switch (f) {
      case OutputFormat::Bmp: return "bmp";
      case OutputFormat::Jpg: return "jpg";
      case OutputFormat::Fits16:
      case OutputFormat::Fits32: return "fits";
      case OutputFormat::FitsLrgb: return "fit";
      default: return "tif";
    }
  }
  OutputFormat format_;
  std::string dir_;
};

}  // namespace

bool ParseFormat(const std::string& name, OutputFormat& out) {
  static const std::pair<const char*, OutputFormat> names[] = {
      {"avi24", OutputFormat::Avi24}, {"avigrey", OutputFormat::AviGrey}, {"avipal", OutputFormat::AviPal},
      {"avi-y800", OutputFormat::AviY800}, {"bmp", OutputFormat::Bmp}, {"jpg", OutputFormat::Jpg},
      {"fits16", OutputFormat::Fits16}, {"fits32", OutputFormat::Fits32}, {"fits-lrgb", OutputFormat::FitsLrgb},
      {"tif8", OutputFormat::Tif8}, {"tif16", OutputFormat::Tif16}, {"tif48", OutputFormat::Tif48},
      {"ser", OutputFormat::Ser}, {"ser-rgb", OutputFormat::SerRgb}, {"ser-bgr", OutputFormat::SerBgr},
      {"ser-bayer", OutputFormat::SerBayer}, {"avi-mosaic", OutputFormat::AviMosaic}};
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
    case OutputFormat::Fits16: return "fits16";
    case OutputFormat::Fits32: return "fits32";
    case OutputFormat::FitsLrgb: return "fits-lrgb";
    case OutputFormat::Tif8: return "tif8";
    case OutputFormat::Tif16: return "tif16";
    case OutputFormat::Tif48: return "tif48";
    case OutputFormat::Ser: return "ser";
    case OutputFormat::SerRgb: return "ser-rgb";
    case OutputFormat::SerBgr: return "ser-bgr";
    case OutputFormat::SerBayer: return "ser-bayer";
    case OutputFormat::AviMosaic: return "avi-mosaic";
  }
  return "?";
}

bool IsGreyFormat(OutputFormat f) {
  return f == OutputFormat::AviGrey || f == OutputFormat::AviPal || f == OutputFormat::AviY800 ||
         f == OutputFormat::Fits16 || f == OutputFormat::Fits32 || f == OutputFormat::Tif16;
}

bool IsDeepFormat(OutputFormat f) {
  return f == OutputFormat::Fits16 || f == OutputFormat::FitsLrgb || f == OutputFormat::Tif16 || f == OutputFormat::Tif48 ||
         IsSerFormat(f);
}

bool IsSerFormat(OutputFormat f) {
  return f == OutputFormat::Ser || f == OutputFormat::SerRgb || f == OutputFormat::SerBgr || f == OutputFormat::SerBayer;
}

void FrameSink::addDeep(int, const DeepFrame&) { throw px::PelinoxaError("This output format holds 8-bit samples only"); }

bool IsSequenceFormat(OutputFormat f) {
  return f != OutputFormat::Avi24 && f != OutputFormat::AviGrey && f != OutputFormat::AviPal &&
         f != OutputFormat::AviY800 && f != OutputFormat::AviMosaic && !IsSerFormat(f);
}

std::unique_ptr<FrameSink> MakeSink(OutputFormat format, const std::string& out, const SinkOptions& options) {
  if (IsSerFormat(format)) return MakeSerSink(format, out, options);
  if (format == OutputFormat::AviMosaic) return MakeMosaicAviSink(out, options);
  if (IsSequenceFormat(format)) return std::make_unique<SequenceSink>(format, out);
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

}  // namespace samplegen
