#pragma once
// The generator's options and the per-frame series shared by its two ways of making frames
// (Gaussian blur, or seeing through turbulence).
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "Outputs.h"
#include "Render.h"
#include "Scene.h"
#include "base/Json.h"

namespace samplegen {

enum class Seeing { Gaussian, Turbulent, None };

struct Options {
  SceneKind scene = SceneKind::Planet;
  int frames = 300;
  int width = 640, height = 480;
  OutputFormat format = OutputFormat::Avi24;
  std::string out;
  uint64_t seed = 1;
  std::set<int> drop;
  double dropRate = 0;
  bool interlaced = false;
  double dispersion = 0;
  double jitter = 6;
  double blurMin = 0.5, blurMax = 3;
  double noise = 4;
  double fps = 25;
  bool openDml = false;
  std::string truth;
  std::string truthImage;
  int threads = 0;  // 0: as many as the machine has, at most 4
  // Turbulent seeing.
  Seeing seeing = Seeing::Gaussian;
  double dR0Min = 3, dR0Max = 8;
  double aniso = -1;  // -1: by scene
  double peakElectrons = 1400;
  double readNoise = 3;
  int bits = 8;
  // SER and mosaic outputs.
  int pattern = 0;  // RGGB, GRBG, GBRG, BGGR
  bool serBigEndian = false;
  int serFlag = 0;
};

// Per frame: positions of the two fields (telescope jitter), Gaussian seeing, dropped flag.
struct Series {
  std::vector<Shift> field0, field1;
  std::vector<double> sigma;
  std::vector<bool> dropped;
};

Series MakeSeries(const Options& o);
// The truth's keys every mode writes, with the mode's own after "jitter".
px::Json TruthHeader(const Options& o, const px::Json& mode);
int Workers(const Options& o);

int RunTurbulent(const Options& o);

}  // namespace samplegen
