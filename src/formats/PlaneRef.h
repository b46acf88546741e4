#pragma once
// Views of a float plane laid out as column + row * stride (the layout of the working planes,
// whose stride is width + 10). The formats layer reads into and writes from such views without
// knowing who owns the storage.
#include <cstddef>

namespace formats {

struct PlaneRef {
  float* data = nullptr;
  ptrdiff_t stride = 0;

  float* row(int y) const { return data + static_cast<ptrdiff_t>(y) * stride; }
  float& at(int x, int y) const { return data[x + static_cast<ptrdiff_t>(y) * stride]; }
  explicit operator bool() const { return data != nullptr; }
};

struct ConstPlaneRef {
  const float* data = nullptr;
  ptrdiff_t stride = 0;

  ConstPlaneRef() = default;
  ConstPlaneRef(const float* d, ptrdiff_t s) : data(d), stride(s) {}
  ConstPlaneRef(PlaneRef p) : data(p.data), stride(p.stride) {}  // NOLINT: implicit on purpose

  const float* row(int y) const { return data + static_cast<ptrdiff_t>(y) * stride; }
  float at(int x, int y) const { return data[x + static_cast<ptrdiff_t>(y) * stride]; }
  explicit operator bool() const { return data != nullptr; }
};

}  // namespace formats
