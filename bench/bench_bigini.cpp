// The INI store on a project-sized file: 5000 frames, de-interlaced, 50,000 per-frame keys
// written in the runs the project writer uses (Ex..., then X/Y interleaved, D/Q interleaved,
// Xa/Ya, Da/Qa, Rank...).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "base/Files.h"
#include "project/BigIni.h"

namespace {

constexpr int kFrames = 5000;

std::string Fraction(int n, int salt) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", (n * 7919 + salt) % 100003 / 100003.0);
  return buf;
}

void WriteProject(project::TBigIniFile& ini) {
  ini.WriteString("Input", "filetype", "AVI");
  ini.WriteInteger("Input", "sequencelength", kFrames);
  for (int n = 0; n < kFrames; ++n) ini.WriteBool("Input", "Ex" + std::to_string(n), n % 17 == 0);
  for (int n = 0; n < kFrames; ++n) {
    ini.WriteInteger("Shifts", "X" + std::to_string(n), n % 23 - 11);
    ini.WriteInteger("Shifts", "Y" + std::to_string(n), n % 19 - 9);
  }
  for (int n = 0; n < kFrames; ++n) {
    ini.WriteString("Info", "D" + std::to_string(n), Fraction(n, 1));
    ini.WriteString("Info", "Q" + std::to_string(n), Fraction(n, 2));
  }
  for (int n = 0; n < kFrames; ++n) {
    ini.WriteInteger("IShifts", "Xa" + std::to_string(n), n % 13 - 6);
    ini.WriteInteger("IShifts", "Ya" + std::to_string(n), n % 11 - 5);
  }
  for (int n = 0; n < kFrames; ++n) {
    ini.WriteString("IInfo", "Da" + std::to_string(n), Fraction(n, 3));
    ini.WriteString("IInfo", "Qa" + std::to_string(n), Fraction(n, 4));
  }
  for (int n = 0; n < kFrames; ++n) ini.WriteInteger("Ranking", "Rank" + std::to_string(n), kFrames - 1 - n);
}

// Reads every per-frame key in the order the project loader does.
long long ReadProject(const project::TBigIniFile& ini) {
  long long sum = 0;
  for (int n = 0; n < kFrames; ++n) sum += ini.ReadBool("Input", "Ex" + std::to_string(n), false);
  for (int n = 0; n < kFrames; ++n) {
    sum += ini.ReadInteger("Shifts", "X" + std::to_string(n), 0);
    sum += ini.ReadInteger("Shifts", "Y" + std::to_string(n), 0);
  }
  for (int n = 0; n < kFrames; ++n) {
    sum += static_cast<long long>(ini.ReadString("Info", "D" + std::to_string(n), "0").size());
    sum += static_cast<long long>(ini.ReadString("Info", "Q" + std::to_string(n), "0").size());
  }
  for (int n = 0; n < kFrames; ++n) {
    sum += ini.ReadInteger("IShifts", "Xa" + std::to_string(n), 0);
    sum += ini.ReadInteger("IShifts", "Ya" + std::to_string(n), 0);
  }
  for (int n = 0; n < kFrames; ++n) {
    sum += static_cast<long long>(ini.ReadString("IInfo", "Da" + std::to_string(n), "0").size());
    sum += static_cast<long long>(ini.ReadString("IInfo", "Qa" + std::to_string(n), "0").size());
  }
  for (int n = 0; n < kFrames; ++n) sum += ini.ReadInteger("Ranking", "Rank" + std::to_string(n), 1);
  return sum;
}

std::string BenchFile() {
  return std::string(PX_BINARY_DIR) + "/bench_bigini_" + std::to_string(::getpid()) + ".pxp";
}

void BM_BigIni_WriteProjectFromEmpty(benchmark::State& state) {
  for (auto _ : state) {
    project::TBigIniFile ini("");
    WriteProject(ini);
    benchmark::DoNotOptimize(ini.Modified());
  }
  state.SetItemsProcessed(state.iterations() * 50000);
}
BENCHMARK(BM_BigIni_WriteProjectFromEmpty)->Unit(benchmark::kMillisecond);

void BM_BigIni_LoadReadAllWriteBack(benchmark::State& state) {
  const std::string path = BenchFile();
  {
    project::TBigIniFile ini(path);
    WriteProject(ini);
  }
  long long stamp = 0;
  for (auto _ : state) {
    project::TBigIniFile ini(path);
    benchmark::DoNotOptimize(ReadProject(ini));
    ini.WriteInteger("Input", "stamp", ++stamp);  // one change makes the flush rewrite the file
    ini.FlushFile();
  }
  state.SetItemsProcessed(state.iterations() * 50000);
  px::DeleteFileIfExists(path);
}
BENCHMARK(BM_BigIni_LoadReadAllWriteBack)->Unit(benchmark::kMillisecond);

void BM_BigIni_LoadOnly(benchmark::State& state) {
  project::TBigIniFile source("");
  WriteProject(source);
  const std::string text = source.ToText();
  for (auto _ : state) {
    project::TBigIniFile ini("");
    ini.LoadFromText(text);
    benchmark::DoNotOptimize(ini.Modified());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}
BENCHMARK(BM_BigIni_LoadOnly)->Unit(benchmark::kMillisecond);

}  // namespace
