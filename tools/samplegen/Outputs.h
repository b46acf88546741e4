#pragma once
// Where generated frames go: uncompressed AVI in several pixel formats, or sequences of BMP,
// JPEG, FITS (16-bit, 32-bit, an _R/_G/_B/_L set) or TIFF (8-bit RGB, 16-bit grey, 48-bit RGB)
// files (one per frame, "frame_00000.bmp" ..., dropped frames left out).
#include <memory>
#include <string>
#include <vector>

#include "ui/Bitmap24.h"

namespace samplegen {

enum class OutputFormat { Avi24, AviGrey, AviPal, AviY800, Bmp, Jpg, Fits16, Fits32, FitsLrgb, Tif8, Tif16, Tif48,
                          Ser, SerRgb, SerBgr, SerBayer, AviMosaic };

bool ParseFormat(const std::string& name, OutputFormat& out);
const char* FormatName(OutputFormat f);
// Formats made from grey frames (the frame's single channel becomes the stored byte).
bool IsGreyFormat(OutputFormat f);
// Formats written as one file (or a set of files) per frame into a folder.
bool IsSequenceFormat(OutputFormat f);

bool IsSerFormat(OutputFormat f);
// Formats that can hold samples deeper than 8 bits.
bool IsDeepFormat(OutputFormat f);

// A frame at the sensor's depth: channels (1 grey, or 3: R, G, B) interleaved, row by row.
struct DeepFrame {
  int width = 0, height = 0, channels = 1;
  std::vector<uint16_t> v;
};

struct SinkOptions {
  int width = 0, height = 0;
  double fps = 25;
  bool openDml = false;
  int bits = 8;              // SER sample depth
  int pattern = 0;           // Bayer pattern of ser-bayer and avi-mosaic: RGGB, GRBG, GBRG, BGGR
  bool serBigEndian = false; // 16-bit SER samples stored big-endian
  int serFlag = 0;           // the SER header's byte-order flag as written
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void add(int index, const ui::Bitmap24& frame) = 0;
  // Stores the samples as they are (deep formats only).
  virtual void addDeep(int index, const DeepFrame& frame);
  virtual void addDropped(int index) = 0;
  virtual void finish() = 0;
  // The file written for a frame ("" for a video or a frame left out).
  virtual std::string fileOf(int index) const { (void)index; return ""; }
};

std::unique_ptr<FrameSink> MakeSink(OutputFormat format, const std::string& out, const SinkOptions& options);

// The colour palette of the 'avipal' format: index i is a warm ramp with red > green > blue.
std::vector<uint32_t> WarmPalette();


}  // namespace samplegen
