#pragma once
// Where generated frames go: uncompressed AVI in several pixel formats, or BMP / JPEG
// sequences (one file per frame, "frame_00000.bmp" ..., dropped frames left out).
#include <memory>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"

namespace samplegen {

enum class OutputFormat { Avi24, AviGrey, AviPal, AviY800, Bmp, Jpg };

bool ParseFormat(const std::string& name, OutputFormat& out);
const char* FormatName(OutputFormat f);
// Formats made from grey frames (the frame's single channel becomes the stored byte).
bool IsGreyFormat(OutputFormat f);

struct SinkOptions {
  int width = 0, height = 0;
  double fps = 25;
  bool openDml = false;
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void add(int index, const ui::Bitmap24& frame) = 0;
  virtual void addDropped(int index) = 0;
  virtual void finish() = 0;
  // The file written for a frame ("" for a video or a frame left out).
  virtual std::string fileOf(int index) const { (void)index; return ""; }
};

std::unique_ptr<FrameSink> MakeSink(OutputFormat format, const std::string& out, const SinkOptions& options);

// The colour palette of the 'avipal' format: index i is a warm ramp with red > green > blue.
std::vector<uint32_t> WarmPalette();

// 24-bit BMP and baseline JPEG (quality 90) encoders for the sequences.
std::vector<uint8_t> EncodeBmp24(const ui::Bitmap24& bmp);
std::vector<uint8_t> EncodeJpeg(const ui::Bitmap24& bmp, int quality);

}  // namespace samplegen
