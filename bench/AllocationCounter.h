#pragma once
// Heap allocations made by the whole benchmark program so far (every operator new is counted),
// so a benchmark can show that a pass allocates nothing per frame.
namespace pxbench {
long long AllocationCount();
}
