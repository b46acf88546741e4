// The whole job as a user runs it headless: select a 1000-frame colour video, click the feature,
// "Align" (with the default automatic optimisation), stack the best half and save a 16-bit TIFF,
// all through pelinoxa-batch. Wall time of the process, start-up included.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "base/Files.h"

namespace {

void BM_EndToEnd_Batch_1000x640x480_Tiff16(benchmark::State& state) {
  std::string avi = pxbench::Capture("endtoend1000.avi", "--frames 1000 --size 640x480 --format avi24 --seed 21");
  std::string dir = px::JoinPath(pxbench::CacheDir(), "endtoend");
  px::ForceDirectories(dir);
  px::WriteFileAtomic(px::JoinPath(dir, "job.batch"),
                      "dialog " + avi + " filter=1\n"
                      "click SelectFileButton\n"
                      "mouse PreviewImage down 320 240\n"
                      "click Allignallbutton\n"
                      "slide StackSlider 499\n"
                      "click Stackbutton\n"
                      "dialog " + dir + "/stack.tif filter=6\n"
                      "click SaveButton\n");
  std::string cmd = "cd " + dir + " && XDG_CONFIG_HOME=" + dir + "/cfg " + PX_BINARY_DIR +
                    "/src/app/pelinoxa-batch --script job.batch > job.log 2>&1";
  for (auto _ : state) {
    px::DeleteFileIfExists(px::JoinPath(dir, "stack.tif"));
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (rc != 0 || !px::FileExists(px::JoinPath(dir, "stack.tif"))) {
      state.SkipWithError(("the batch job failed; see " + dir + "/job.log").c_str());
      return;
    }
    state.SetIterationTime(s);
  }
  state.counters["frames/s"] = benchmark::Counter(1000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EndToEnd_Batch_1000x640x480_Tiff16)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
