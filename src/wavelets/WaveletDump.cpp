// The wavelet stage's state as JSON for the batch tool.
#include "wavelets/WaveletController.h"

namespace wavelets {

px::Json WaveletController::DumpJson() const {
  px::Json j = px::Json::object();
  j["DecompositionStale"] = st_.DecompositionStale;
  j["LayersValid"] = st_.LayersValid;
  j["Width"] = st_.Width;
  j["Height"] = st_.Height;
  const AreaRect a = areaRect();
  px::Json area = px::Json::object();
  area["left"] = d_.area.left;
  area["top"] = d_.area.top;
  area["width"] = d_.area.width;
  area["height"] = d_.area.height;
  area["limit"] = d_.area.limit;
  area["x0"] = a.x0;
  area["y0"] = a.y0;
  area["x1"] = a.x1;
  area["y1"] = a.y1;
  j["area"] = area;
  px::Json layers = px::Json::array();
  for (int n = 1; n <= 6; ++n) {
    px::Json l = px::Json::object();
    l["Scale"] = st_.LayerScales[n];
    l["Variance"] = st_.Stats.Variance[n];
    l["MeanAbs"] = st_.Stats.MeanAbs[n];
    l["NoiseRatio"] = st_.Stats.NoiseRatio[n];
    l["NoiseLevel"] = st_.Stats.NoiseLevel[n];
    l["Threshold"] = st_.LayerThreshold[n];
    l["SavedThreshold"] = st_.SavedThresholds[n];
    l["Gain"] = c_.LayerSliders[n - 1]->value() * 0.1;
    layers.push(l);
  }
  j["layers"] = layers;
  px::Json kernel = px::Json::array();
  for (float w : st_.FilterKernel) kernel.push(w);
  j["FilterKernel"] = kernel;
  j["AntiRingLevel"] = st_.AntiRingLevel;
  j["ShiftRed"] = px::Json::array();
  j["ShiftRed"].push(st_.ShiftRedX);
  j["ShiftRed"].push(st_.ShiftRedY);
  j["ShiftBlue"] = px::Json::array();
  j["ShiftBlue"].push(st_.ShiftBlueX);
  j["ShiftBlue"].push(st_.ShiftBlueY);
  j["LumWeights"] = px::Json::array();
  for (float w : {st_.LumWeightR, st_.LumWeightG, st_.LumWeightB}) j["LumWeights"].push(w);
  px::Json hist = px::Json::array();
  for (int c = 0; c < 3; ++c) {
    long long total = 0, weighted = 0;
    for (int i = 0; i < 256; ++i) {
      total += st_.Hist[c][i];
      weighted += static_cast<long long>(i) * st_.Hist[c][i];
    }
    px::Json h = px::Json::object();
    h["count"] = static_cast<double>(total);
    h["mean"] = total ? static_cast<double>(weighted) / total : 0.0;
    hist.push(h);
  }
  j["histograms"] = hist;
  j["DoAllMs"] = st_.LastDoAllMs;
  j["DoAllVisible"] = c_.DoAll.visible();
  return j;
}

}  // namespace wavelets
