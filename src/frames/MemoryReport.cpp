#include "frames/MemoryReport.h"

#include <fstream>
#include <sstream>

#include "base/Numbers.h"

namespace frames {

static uint64_t KbField(const std::string& text, const std::string& key) {
  auto p = text.find(key + ":");
  if (p == std::string::npos) return 0;
  std::istringstream in(text.substr(p + key.size() + 1));
  uint64_t kb = 0;
  in >> kb;
  return kb * 1024;
}

static std::string Slurp(const char* path) {
  std::ifstream f(path);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

MemoryStatus ReadMemoryStatus() {
  MemoryStatus s;
  std::string mem = Slurp("/proc/meminfo");
  s.totalPhysical = KbField(mem, "MemTotal");
  s.freePhysical = KbField(mem, "MemAvailable");
  if (s.freePhysical == 0) s.freePhysical = KbField(mem, "MemFree");
  if (s.totalPhysical > 0)
    s.loadPercent = static_cast<int>((s.totalPhysical - s.freePhysical) * 100 / s.totalPhysical);
  s.totalPaging = KbField(mem, "CommitLimit");
  uint64_t committed = KbField(mem, "Committed_AS");
  s.freePaging = committed < s.totalPaging ? s.totalPaging - committed : 0;
  std::string self = Slurp("/proc/self/status");
  // The address space a process may use is effectively unbounded on 64-bit Linux; report
  // what this process has reserved as "used" against the commit limit as the total.
  uint64_t vmSize = KbField(self, "VmSize");
  s.totalVirtual = s.totalPaging > vmSize ? s.totalPaging : vmSize;
  s.freeVirtual = s.totalVirtual - vmSize;
  return s;
}

std::vector<std::string> MemoryReportLines(const MemoryStatus& s) {
  auto mb = [](uint64_t bytes) { return px::FormatThousands(static_cast<double>(bytes) / 1024 / 1024, 6, 1); };
  return {
      "Current memory load: " + std::to_string(s.loadPercent) + "%",
      "Free physical memory: " + mb(s.freePhysical) + " Mbytes",
      "Used physical memory: " + mb(s.totalPhysical - s.freePhysical) + " Mbytes",
      "Used paging file memory: " + mb(s.totalPaging - s.freePaging) + " Mbytes",
      "Used virtual memory: " + mb(s.totalVirtual - s.freeVirtual) + " Mbytes",
  };
}

}  // namespace frames
