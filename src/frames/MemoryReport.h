#pragma once
// The memory status lines shown after every allocation and on the information page.
#include <cstdint>
#include <string>
#include <vector>

namespace frames {

struct MemoryStatus {
  int loadPercent = 0;
  uint64_t totalPhysical = 0, freePhysical = 0;
  uint64_t totalPaging = 0, freePaging = 0;  // commit limit and what is left of it
  uint64_t totalVirtual = 0, freeVirtual = 0;  // this process's address space
};

// From /proc/meminfo and /proc/self/status; fields that cannot be read stay 0.
MemoryStatus ReadMemoryStatus();
// The five lines, megabytes as "%6.1n" (width 6, one decimal, thousands separated).
std::vector<std::string> MemoryReportLines(const MemoryStatus& s);

}  // namespace frames
