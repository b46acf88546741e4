#include "frames/SerSource.h"

#include <algorithm>
#include <cstring>

#include "base/Error.h"
#include "frames/AviContainer.h"

namespace frames {

SerSource::SerSource(VideoBytes bytes, SerLayout layout) : bytes_(std::move(bytes)), layout_(std::move(layout)) {}

const uint8_t* SerSource::frameBytes(int32_t frame) const {
  if (frame < 0 || frame >= layout_.frames) throw px::PelinoxaError(avierr::Decompress);
  const size_t end = layout_.frameOffset(frame) + layout_.frameBytes;
  if (end > bytes_.size) throw px::PelinoxaError(std::string(avierr::Decompress) + ": its data lie past the end of the file");
  // A capture cut by another program may have shrunk since it was mapped.
  if (!bytes_.path.empty() && end > LiveSize(bytes_)) throw px::PelinoxaError(avierr::Shrunk);
  return bytes_.data + layout_.frameOffset(frame);
}

const uint16_t* SerSource::wideSamples(const uint8_t* p, std::vector<uint16_t>& buf) const {
  const size_t n = layout_.frameBytes / static_cast<size_t>(layout_.bytesPerSample);
  buf.resize(n);
  const int depth = layout_.header.depth;
  if (layout_.bytesPerSample == 1) {
    const int shift = 16 - depth;
    for (size_t i = 0; i < n; ++i) buf[i] = static_cast<uint16_t>(std::min<uint32_t>(uint32_t(p[i]) << shift, 65535));
    return buf.data();
  }
  const int lo = layout_.littleEndian ? 0 : 1, hi = 1 - lo, shift = 16 - depth;
  const uint32_t maxValue = (1u << depth) - 1;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = std::min<uint32_t>(uint32_t(p[2 * i + lo]) | uint32_t(p[2 * i + hi]) << 8, maxValue);
    buf[i] = static_cast<uint16_t>(v << shift);
  }
  return buf.data();
}

void SerSource::deepInto(const uint8_t* p, uint16_t* dst, size_t stride, std::vector<uint16_t>& wide,
                         Debayerer& debayer) const {
  const int w = width(), h = height();
  const uint16_t* s = wideSamples(p, wide);
  switch (layout_.colour) {
    case SerColour::Bayer:
      debayer.Run(s, static_cast<size_t>(w), w, h, layout_.pattern, method_, dst, stride, 0);
      break;
    case SerColour::Mono:
      for (int y = 0; y < h; ++y) {
        const uint16_t* r = s + static_cast<size_t>(y) * w;
        uint16_t* o = dst + static_cast<size_t>(y) * stride;
        for (int x = 0; x < w; ++x) o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = r[x];
      }
      break;
    case SerColour::Rgb:
    case SerColour::Bgr: {
      const bool swap = layout_.colour == SerColour::Bgr;
      for (int y = 0; y < h; ++y) {
        const uint16_t* r = s + static_cast<size_t>(y) * w * 3;
        uint16_t* o = dst + static_cast<size_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
          o[3 * x] = r[3 * x + (swap ? 2 : 0)];
          o[3 * x + 1] = r[3 * x + 1];
          o[3 * x + 2] = r[3 * x + (swap ? 0 : 2)];
        }
      }
      break;
    }
  }
}

void SerSource::decodeFrame(int32_t frame, ui::Bitmap24& out) {
  const uint8_t* p = frameBytes(frame);
  const int w = width(), h = height();
  if (out.width() != w || out.height() != h) out.reset(w, h);
  const size_t W = static_cast<size_t>(w);
  if (layout_.bytesPerSample == 2 && layout_.colour != SerColour::Bayer) {
    // Deep frames shown by the high byte of their samples scaled to 16 bits.
    const int lo = layout_.littleEndian ? 0 : 1, hi = 1 - lo, shift = layout_.header.depth - 8;
    const uint32_t maxValue = (1u << layout_.header.depth) - 1;
    const int planes = layout_.planes;
    const bool swap = layout_.colour == SerColour::Rgb;
    for (int y = 0; y < h; ++y) {
      const uint8_t* r = p + static_cast<size_t>(y) * W * planes * 2;
      uint8_t* o = out.row(y);
      if (planes == 1 && lo == 0) {
        for (size_t x = 0; x < W; ++x) {
          const uint32_t v = std::min<uint32_t>(uint32_t(r[2 * x]) | uint32_t(r[2 * x + 1]) << 8, maxValue);
          o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = static_cast<uint8_t>(v >> shift);
        }
      } else if (planes == 1) {
        for (size_t x = 0; x < W; ++x) {
          const uint32_t v = std::min<uint32_t>(uint32_t(r[2 * x + lo]) | uint32_t(r[2 * x + hi]) << 8, maxValue);
          o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = static_cast<uint8_t>(v >> shift);
        }
      } else {
        for (size_t i = 0; i < W * 3; ++i) {
          const uint32_t v = std::min<uint32_t>(uint32_t(r[2 * i + lo]) | uint32_t(r[2 * i + hi]) << 8, maxValue);
          o[swap ? i + 2 - 2 * (i % 3) : i] = static_cast<uint8_t>(v >> shift);
        }
      }
    }
    return;
  }
  if (layout_.bytesPerSample == 2) {
    // Deep mosaics: the 16-bit colour image, shown by its high bytes.
    rgb16_.resize(W * 3 * h);
    deepInto(p, rgb16_.data(), W * 3, wide_, debayer_);
    for (int y = 0; y < h; ++y) {
      const uint16_t* s = rgb16_.data() + y * W * 3;
      uint8_t* o = out.row(y);
      for (size_t x = 0; x < W; ++x) {
        o[3 * x] = static_cast<uint8_t>(s[3 * x + 2] >> 8);
        o[3 * x + 1] = static_cast<uint8_t>(s[3 * x + 1] >> 8);
        o[3 * x + 2] = static_cast<uint8_t>(s[3 * x] >> 8);
      }
    }
    return;
  }
  // 8-bit words; depths below 8 are brought to the full byte.
  const int shift = 8 - layout_.header.depth;
  const uint8_t* s = p;
  if (shift > 0) {
    wide_.resize(layout_.frameBytes);
    uint8_t* scaled = reinterpret_cast<uint8_t*>(wide_.data());
    for (size_t i = 0; i < layout_.frameBytes; ++i) scaled[i] = static_cast<uint8_t>(std::min(p[i] << shift, 255));
    s = scaled;
  }
  switch (layout_.colour) {
    case SerColour::Bayer:
      debayer_.Run(s, W, w, h, layout_.pattern, method_, out.data(), out.stride(), 2);
      break;
    case SerColour::Mono:
      for (int y = 0; y < h; ++y) {
        const uint8_t* r = s + y * W;
        uint8_t* o = out.row(y);
        for (size_t x = 0; x < W; ++x) o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = r[x];
      }
      break;
    case SerColour::Bgr:
      std::memcpy(out.data(), s, W * 3 * h);
      break;
    case SerColour::Rgb:
      for (int y = 0; y < h; ++y) {
        const uint8_t* r = s + y * W * 3;
        uint8_t* o = out.row(y);
        for (size_t x = 0; x < W; ++x) {
          o[3 * x] = r[3 * x + 2];
          o[3 * x + 1] = r[3 * x + 1];
          o[3 * x + 2] = r[3 * x];
        }
      }
      break;
  }
}

std::string SerSource::warnings() const {
  std::string s;
  for (const std::string& n : layout_.notes) s += (s.empty() ? "" : "; ") + n;
  return s;
}

bool SerSource::decodeDeep(int32_t frame, formats::TTIFFBitMap& out) {
  const uint8_t* p = frameBytes(frame);
  const int w = width(), h = height();
  if (out.width48() != w || out.height48() != h) out.Allocate48(w, h);
  deepInto(p, out.row16(0), static_cast<size_t>(w) * 3, deepWide_, deepDebayer_);
  out.has16Bit = true;
  return true;
}

}  // namespace frames
