// The align run's last step when the reference is made of the best frames: every frame's
// quality measured again against that reference. Frames whose kept crop covers the quality
// box are measured on all cores (each worker with its own transform, so the values do not
// depend on the number of cores); the others are read from the input here, one at a time.
#include <algorithm>
#include <exception>
#include <thread>

#include "base/Numbers.h"
#include "registration/BoxRegistration.h"
#include "registration/RegistrationController.h"

namespace registration {

namespace {
constexpr int kChunk = 256;      // frames between two looks at the event queue
constexpr unsigned kMaxWorkers = 4;
}  // namespace

RegistrationController::QualityWorker& RegistrationController::QualityWorkerAt(int index, int side) {
  while (static_cast<int>(qualityWorkers_.size()) <= index) qualityWorkers_.push_back(std::make_unique<QualityWorker>());
  QualityWorker& w = *qualityWorkers_[static_cast<size_t>(index)];
  if (w.e.FFTSize() != side) w.e.FFTSetup(side);
  return w;
}

void RegistrationController::QualityAgainstReference() {
  if (!referenceQuality_.Ready()) return;
  auto& in = x_.input;
  auto& table = x_.table;
  const int last = std::min(c_.AlignSlider.max(), frames::MaxFrames - 1);
  const int n = referenceQuality_.Side();
  const LuminanceWeights lw{lumWeights_[0], lumWeights_[1], lumWeights_[2]};
  auto boxX = [&](int q) { return st_.HotX - n / 2 + table[q].ShiftX; };
  auto boxY = [&](int q) { return st_.HotY - n / 2 + table[q].ShiftY; };

  std::vector<float> quality(static_cast<size_t>(last + 1), -1.0f);
  std::vector<int> covered, others;
  for (int q = 0; q <= last; ++q) {
    if (table[q].Excluded) continue;
    (CropCovers(q, boxX(q), boxY(q), boxX(q) + n, boxY(q) + n) ? covered : others).push_back(q);
  }
  const int total = static_cast<int>(covered.size() + others.size());
  const int workers = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers));
  for (int t = 0; t < workers; ++t) QualityWorkerAt(t, n);
  int done = 0;
  auto report = [&] {
    if (total > 0) s_.progress.setProgress(px::Round(100.0 * done / total));
    s_.ui.processEvents();
  };

  // Worker t takes every workers-th frame of [start, end) from the kept crops.
  auto measureKept = [&](int t, size_t start, size_t end) {
    QualityWorker& w = *qualityWorkers_[static_cast<size_t>(t)];
    for (size_t k = start + static_cast<size_t>(t); k < end; k += static_cast<size_t>(workers)) {
      const int q = covered[k];
      ExtractBox(crops_.crop(q), static_cast<size_t>(crops_.side) * 3, crops_.side, crops_.side,
                 boxX(q) - crops_.left[q], boxY(q) - crops_.top[q], n, lw, w.box);
      quality[static_cast<size_t>(q)] = static_cast<float>(referenceQuality_.Measure(w.e, w.box));
    }
  };
  std::vector<std::thread> pool;
  for (size_t start = 0; start < covered.size() && !in.CancelRequested; start += kChunk) {
    const size_t end = std::min(covered.size(), start + kChunk);
    pool.clear();
    for (int t = 1; t < workers; ++t) pool.emplace_back(measureKept, t, start, end);
    measureKept(0, start, end);
    for (auto& th : pool) th.join();
    done += static_cast<int>(end - start);
    report();
  }

  // Reading a single frame must not register it.
  const bool alignPass = in.AlignPass;
  in.AlignPass = false;
  QualityWorker& w = *qualityWorkers_[0];
  for (const int q : others) {
    if (in.CancelRequested) break;
    try {
      LoadFrameForShow(q);
    } catch (const std::exception&) {
      continue;  // unreadable now: keeps the first pass's value
    }
    const ui::Bitmap24& pic = x_.source.preview();
    ExtractBox(pic, std::min(in.ImageWidth, pic.width()), std::min(in.ImageHeight, pic.height()), boxX(q), boxY(q), n,
               lw, w.box);
    quality[static_cast<size_t>(q)] = static_cast<float>(referenceQuality_.Measure(w.e, w.box));
    if (++done % 64 == 0) report();
  }
  in.AlignPass = alignPass;
  // A cancelled run keeps the first pass's values, never a mixture of two measures.
  if (in.CancelRequested) return;
  for (int q = 0; q <= last; ++q)
    if (quality[static_cast<size_t>(q)] >= 0) table[q].Quality = quality[static_cast<size_t>(q)];
  c_.Memo2.add("Quality measured against the best frames");
}

}  // namespace registration
