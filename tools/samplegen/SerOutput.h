#pragma once
// SER captures (mono, RGB, BGR, Bayer mosaics at 8 to 16 bits, either byte order) and 8-bit
// grey AVIs holding a Bayer mosaic, written from the generator's colour frames.
#include <memory>
#include <string>

#include "Outputs.h"

namespace samplegen {

std::unique_ptr<FrameSink> MakeSerSink(OutputFormat format, const std::string& path, const SinkOptions& options);
std::unique_ptr<FrameSink> MakeMosaicAviSink(const std::string& path, const SinkOptions& options);

}  // namespace samplegen
