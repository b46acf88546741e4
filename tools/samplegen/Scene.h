#pragma once
// The master scenes: rendered once per run, supersampled and slightly smoothed so that every
// frame can be made from them by shifting and blurring (the content is band-limited, which
// makes sub-pixel shifts by interpolation exact to a few thousandths of a pixel).
#include <cstdint>
#include <string>
#include <vector>

namespace samplegen {

// Three float planes (red, green, blue), values on the 0..255 scale, row-major.
struct Master {
  int width = 0, height = 0;
  std::vector<float> plane[3];
  float at(int c, int x, int y) const { return plane[c][static_cast<size_t>(y) * width + x]; }
};

enum class SceneKind { Planet, Moon, Sun };

bool ParseScene(const std::string& name, SceneKind& out);
const char* SceneName(SceneKind k);

// Renders `kind` on a width x height canvas; the interesting part (planet disc, spot) sits in
// the centre. Deterministic for a seed.
Master RenderScene(SceneKind kind, int width, int height, uint64_t seed);

}  // namespace samplegen
