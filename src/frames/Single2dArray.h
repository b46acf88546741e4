#pragma once
// A plane of 32-bit floats with a margin: created for a nominal width and height, stored as
// (width + 10) columns by (height + 10) rows, addressed by column and row without bounds
// checks. The storage is not cleared: every value is undefined until its owner writes it
// (a fresh plane costs no page touches, so large planes are cheap to create).
#include <cstddef>
#include <memory>

namespace frames {

class Single2dArray {
 public:
  Single2dArray() = default;
  Single2dArray(int width, int height) { Create(width, height); }

  void Create(int width, int height) {
    stride_ = width + 10;
    rows_ = height + 10;
    data_.reset(new float[static_cast<size_t>(stride_) * static_cast<size_t>(rows_)]);
  }
  void Release() {
    data_.reset();
    stride_ = rows_ = 0;
  }

  float Get(int col, int row) const { return data_[col + static_cast<ptrdiff_t>(row) * stride_]; }
  void Set(int col, int row, float v) { data_[col + static_cast<ptrdiff_t>(row) * stride_] = v; }
  float& At(int col, int row) { return data_[col + static_cast<ptrdiff_t>(row) * stride_]; }
  float* Row(int row) { return data_.get() + static_cast<ptrdiff_t>(row) * stride_; }
  const float* Row(int row) const { return data_.get() + static_cast<ptrdiff_t>(row) * stride_; }
  float* Data() { return data_.get(); }
  const float* Data() const { return data_.get(); }

  int stride() const { return stride_; }  // columns of storage = nominal width + 10
  int rows() const { return rows_; }      // rows of storage = nominal height + 10
  int nominalWidth() const { return stride_ - 10; }
  int nominalHeight() const { return rows_ - 10; }
  bool empty() const { return !data_; }
  size_t byteSize() const { return static_cast<size_t>(stride_) * rows_ * sizeof(float); }

  // Sets columns 0..cols-1 of rows 0..rows-1 (clamped to the storage) to v.
  void Fill(float v, int cols, int rows);

 private:
  std::unique_ptr<float[]> data_;
  int stride_ = 0, rows_ = 0;
};

}  // namespace frames
