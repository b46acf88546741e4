#pragma once
// SER captures as a video source: frames decoded straight from the mapped file, Bayer mosaics
// turned into colour, 16-bit samples available at full depth for stacking.
#include <memory>
#include <vector>

#include "frames/Debayer.h"
#include "frames/SerFile.h"
#include "frames/VideoSource.h"

namespace frames {

class SerSource final : public VideoSource {
 public:
  SerSource(VideoBytes bytes, SerLayout layout);

  int32_t startFrame() const override { return 0; }
  int32_t frameCount() const override { return layout_.frames; }
  bool hasData(int32_t frame) const override { return frame >= 0 && frame < layout_.frames; }
  int width() const override { return layout_.header.width; }
  int height() const override { return layout_.header.height; }
  void decodeFrame(int32_t frame, ui::Bitmap24& out) override;
  std::string describe() const override { return DescribeSer(layout_); }
  int sampleBits() const override { return layout_.header.depth; }
  bool decodeDeep(int32_t frame, formats::TTIFFBitMap& out) override;
  void setDebayerMethod(DebayerMethod m) override { method_ = m; }
  std::string warnings() const override;
  bool knowsColour() const override { return true; }

  const SerLayout& layout() const { return layout_; }

 private:
  const uint8_t* frameBytes(int32_t frame) const;
  // The frame's samples as 16-bit values scaled to the full 16 bits, in host order.
  const uint16_t* wideSamples(const uint8_t* p, std::vector<uint16_t>& buffer) const;
  // 16-bit R, G, B per pixel into `dst` (rows `stride` samples apart).
  void deepInto(const uint8_t* p, uint16_t* dst, size_t stride, std::vector<uint16_t>& wide, Debayerer& debayer) const;

  VideoBytes bytes_;
  SerLayout layout_;
  DebayerMethod method_ = DebayerMethod::Bilinear;
  // Working buffers: one set for the display decode (which may run on a worker thread), one
  // for the deep decode.
  Debayerer debayer_, deepDebayer_;
  std::vector<uint16_t> wide_, deepWide_, rgb16_;
};

}  // namespace frames
