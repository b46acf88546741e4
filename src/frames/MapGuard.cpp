#include "frames/MapGuard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace frames {

namespace {

struct Slot {
  std::atomic<uintptr_t> base{0};
  std::atomic<size_t> size{0};
  std::atomic<bool> damaged{false};
};

constexpr int kSlots = 32;
Slot gSlots[kSlots];
std::mutex gSlotMutex;  // taking and freeing slots; the handler only reads
struct sigaction gPrevious;
uintptr_t gPageSize = 4096;

// Read by the signal handler of the same thread only.
thread_local volatile sig_atomic_t tArmed = 0;
thread_local volatile sig_atomic_t tCaught = 0;

void PassOn(int sig, siginfo_t* info, void* context) {
  if ((gPrevious.sa_flags & SA_SIGINFO) && gPrevious.sa_sigaction) {
    gPrevious.sa_sigaction(sig, info, context);
    return;
  }
  if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN && gPrevious.sa_handler) {
    gPrevious.sa_handler(sig);
    return;
  }
  // Returning re-runs the faulting access, which now ends the program as it would have.
  signal(sig, SIG_DFL);
}

void OnBusError(int sig, siginfo_t* info, void* context) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  if (tArmed) {
    for (Slot& s : gSlots) {
      const uintptr_t base = s.base.load(std::memory_order_acquire);
      const size_t size = s.size.load(std::memory_order_acquire);
      if (base == 0 || at < base || at - base >= size) continue;
      void* page = reinterpret_cast<void*>(at & ~(gPageSize - 1));
      if (mmap(page, gPageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
      s.damaged.store(true, std::memory_order_release);
      tCaught = 1;
      return;
    }
  }
  PassOn(sig, info, context);
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) gPageSize = static_cast<uintptr_t>(page);
    struct sigaction sa {};
    sa.sa_sigaction = OnBusError;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGBUS, &sa, &gPrevious);
  });
}

}  // namespace

int GuardMapping(const uint8_t* base, size_t size) {
  if (!base || size == 0) return -1;
  InstallHandler();
  std::lock_guard<std::mutex> lock(gSlotMutex);
  for (int i = 0; i < kSlots; ++i) {
    Slot& s = gSlots[i];
    if (s.base.load() != 0) continue;
    s.damaged.store(false);
    s.size.store(size);
    s.base.store(reinterpret_cast<uintptr_t>(base), std::memory_order_release);
    return i;
  }
  return -1;
}

void UnguardMapping(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  std::lock_guard<std::mutex> lock(gSlotMutex);
  gSlots[slot].base.store(0, std::memory_order_release);
  gSlots[slot].size.store(0);
}

bool MappingDamaged(int slot) {
  return slot >= 0 && slot < kSlots && gSlots[slot].damaged.load(std::memory_order_acquire);
}

MappedReadScope::MappedReadScope() : outerCaught_(tCaught != 0) {
  tArmed = tArmed + 1;
  tCaught = 0;
}

MappedReadScope::~MappedReadScope() {
  tArmed = tArmed - 1;
  if (outerCaught_) tCaught = 1;
}

bool MappedReadScope::caught() const { return tCaught != 0; }

}  // namespace frames
