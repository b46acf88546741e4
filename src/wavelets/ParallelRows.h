#pragma once
// Splits a range of rows among the workers of a small persistent pool (no thread is started and
// nothing is allocated per call once the pool exists): in contiguous blocks, one per worker, or
// in small blocks taken from a shared queue. Each row's result depends only on that row, so the
// outcome is the same for any worker count; callers that reduce combine per-row partial results
// in row order afterwards, or sum counts, whose order does not matter.
#include <algorithm>
#include <atomic>
#include <type_traits>

namespace wavelets {

// Workers used by the wavelet loops (0 = one per core, at most 8). Tests set 1 and 2.
void SetWaveletThreads(int n);
int WaveletThreads();

// Runs fn(ctx, w) for w = 0..workers-1, w = 0 on the calling thread; returns when all ended.
void RunOnWorkers(int workers, void (*fn)(void*, int), void* ctx);

template <class F>
void Call(F& body, int a, int b, int w) {
  if constexpr (std::is_invocable_v<F&, int, int, int>) body(a, b, w);
  else body(a, b);
}

// Calls body(first, last) -- or body(first, last, worker) -- for blocks covering rows
// begin..end-1 (end exclusive); worker is 0..WaveletThreads()-1, one block each.
template <class F>
void ParallelRows(int begin, int end, F&& body, int minRowsPerWorker = 8) {
  const int rows = end - begin;
  if (rows <= 0) return;
  const int workers = std::min(WaveletThreads(), std::max(1, rows / minRowsPerWorker));
  if (workers <= 1) {
    Call(body, begin, end, 0);
    return;
  }
  struct Ctx {
    F* body;
    int begin, end, per;
  } ctx{&body, begin, end, (rows + workers - 1) / workers};
  RunOnWorkers(
      workers,
      [](void* p, int w) {
        auto* c = static_cast<Ctx*>(p);
        const int a = c->begin + w * c->per, b = std::min(c->end, a + c->per);
        if (a < b) Call(*c->body, a, b, w);
      },
      &ctx);
}

// Rows begin..end-1 handed out `grain` at a time to whichever worker asks next: a worker whose
// core is busy with other work leaves its share to the others.
class RowQueue {
 public:
  RowQueue(int begin, int end, int grain) : next_(begin), end_(end), grain_(std::max(1, grain)) {}
  bool next(int& first, int& last) {
    first = next_.fetch_add(grain_, std::memory_order_relaxed);
    if (first >= end_) return false;
    last = std::min(end_, first + grain_);
    return true;
  }

 private:
  std::atomic<int> next_;
  const int end_, grain_;
};

// Calls body(queue, worker) on WaveletThreads() workers (fewer for few blocks); each takes
// blocks from the queue until it is empty. Which worker makes a row varies from run to run, so
// the body's results must depend on the row alone (counts are summed per worker afterwards).
template <class F>
void SharedRows(int begin, int end, int grain, F&& body) {
  if (end <= begin) return;
  grain = std::max(1, grain);
  RowQueue queue(begin, end, grain);
  struct Ctx {
    F* body;
    RowQueue* queue;
  } ctx{&body, &queue};
  const int blocks = (end - begin + grain - 1) / grain;
  RunOnWorkers(
      std::min(WaveletThreads(), blocks),
      [](void* p, int w) {
        auto* c = static_cast<Ctx*>(p);
        (*c->body)(*c->queue, w);
      },
      &ctx);
}

}  // namespace wavelets
