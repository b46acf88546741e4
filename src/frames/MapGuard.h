#pragma once
// Guarding reads of memory-mapped video files against another program shrinking the file:
// touching a mapped page past the file's new end raises SIGBUS. While a MappedReadScope is
// alive on a thread, such a fault inside a guarded mapping maps a zero page over the vanished
// page, marks the mapping damaged and lets the read go on; the reader then checks caught() and
// reports the frame instead of crashing. Faults elsewhere go to the handler installed before.
#include <cstddef>
#include <cstdint>

namespace frames {

// Guards [base, base + size); returns the slot, or -1 when every slot is taken (the mapping
// then stays unguarded).
int GuardMapping(const uint8_t* base, size_t size);
void UnguardMapping(int slot);
// True once a fault was caught in the slot's mapping: its pages past the file's end read zero.
bool MappingDamaged(int slot);

class MappedReadScope {
 public:
  MappedReadScope();
  ~MappedReadScope();
  MappedReadScope(const MappedReadScope&) = delete;
  MappedReadScope& operator=(const MappedReadScope&) = delete;
  // A fault was caught on this thread since the scope began.
  bool caught() const;

 private:
  bool outerCaught_;
};

}  // namespace frames
