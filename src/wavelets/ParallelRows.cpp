#include "wavelets/ParallelRows.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace wavelets {

namespace {

int gThreads = 0;

class Pool {
 public:
  ~Pool() {
    {
      std::lock_guard<std::mutex> lk(m_);
      quit_ = true;
      ++generation_;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
  }

  void run(int workers, void (*fn)(void*, int), void* ctx) {
    std::lock_guard<std::mutex> runLock(runMutex_);
    while (static_cast<int>(threads_.size()) < workers - 1) {
      const int index = static_cast<int>(threads_.size()) + 1;
      threads_.emplace_back([this, index] { loop(index); });
    }
    {
      std::lock_guard<std::mutex> lk(m_);
      fn_ = fn;
      ctx_ = ctx;
      active_ = workers;
      pending_ = workers - 1;
      ++generation_;
    }
    cv_.notify_all();
    fn(ctx, 0);
    std::unique_lock<std::mutex> lk(m_);
    done_.wait(lk, [this] { return pending_ == 0; });
  }

 private:
  void loop(int index) {
    unsigned long seen = 0;
    for (;;) {
      void (*fn)(void*, int);
      void* ctx;
      {
        std::unique_lock<std::mutex> lk(m_);
        cv_.wait(lk, [&] { return generation_ != seen; });
        seen = generation_;
        if (quit_) return;
        if (index >= active_) continue;
        fn = fn_;
        ctx = ctx_;
      }
      fn(ctx, index);
      {
        std::lock_guard<std::mutex> lk(m_);
        --pending_;
      }
      done_.notify_one();
    }
  }

  std::mutex runMutex_, m_;
  std::condition_variable cv_, done_;
  std::vector<std::thread> threads_;
  void (*fn_)(void*, int) = nullptr;
  void* ctx_ = nullptr;
  int active_ = 0, pending_ = 0;
  unsigned long generation_ = 0;
  bool quit_ = false;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

void SetWaveletThreads(int n) { gThreads = n; }

int WaveletThreads() {
  int n = gThreads;
  if (n <= 0) n = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(n, 1, 8);
}

void RunOnWorkers(int workers, void (*fn)(void*, int), void* ctx) {
  if (workers <= 1) {
    fn(ctx, 0);
    return;
  }
  ThePool().run(workers, fn, ctx);
}

}  // namespace wavelets
