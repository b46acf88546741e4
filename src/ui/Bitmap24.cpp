#include "ui/Bitmap24.h"

#include <algorithm>

namespace ui {

void Bitmap24::setSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  if (width == width_) {
    data_.resize(static_cast<size_t>(width) * 3 * height, 0);
    height_ = height;
    return;
  }
  std::vector<uint8_t> next(static_cast<size_t>(width) * 3 * height, 0);
  int w = std::min(width, width_), h = std::min(height, height_);
  for (int y = 0; y < h; ++y)
    std::memcpy(next.data() + static_cast<size_t>(y) * width * 3, row(y), static_cast<size_t>(w) * 3);
  data_.swap(next);
  width_ = width;
  height_ = height;
}

void Bitmap24::reset(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  data_.assign(static_cast<size_t>(width_) * 3 * height_, 0);
}

void Bitmap24::fill(Color c) {
  if (c.r == c.g && c.g == c.b) {
    std::fill(data_.begin(), data_.end(), c.r);
    return;
  }
  for (size_t i = 0; i + 2 < data_.size(); i += 3) {
    data_[i] = c.b;
    data_[i + 1] = c.g;
    data_[i + 2] = c.r;
  }
}

void Bitmap24::assign(const Bitmap24& other) {
  if (this == &other) return;
  width_ = other.width_;
  height_ = other.height_;
  data_.resize(other.data_.size());
  std::memcpy(data_.data(), other.data_.data(), other.data_.size());
}

}  // namespace ui
