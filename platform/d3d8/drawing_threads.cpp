// A fixed pool of drawing threads, made at the first round that wants them
// and kept to the end of the process.
#include "platform/d3d8/drawing_threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace d3d8::raster {

namespace {

// A moment's rest inside a busy wait.
inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

class Pool {
 public:
  // An idle pool's threads are told to stop and joined, so none outlives
  // what it reads. A program may also end with a round still running (a
  // device never released, its draws waiting for more): its threads wait
  // for draws that never come, so they are left to end with the process.
  ~Pool() {
    bool busy;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      busy = pending_ != 0;
    }
    start_.notify_all();
    for (std::thread& t : threads_) {
      if (busy) {
        t.detach();
      } else {
        t.join();
      }
    }
  }

  void start(int participants, const std::function<void(int)>& work) {
    wait();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (static_cast<int>(threads_.size()) < participants) {
        const int i = static_cast<int>(threads_.size());
        threads_.emplace_back([this, i] { serve(i); });
      }
      work_ = &work;
      participants_ = participants;
      pending_ = participants;
      // Read once: the C library reads it from /sys on every call.
      static const int hardware_threads = static_cast<int>(std::thread::hardware_concurrency());
      watch_ = participants < hardware_threads;
      ++round_;
    }
    start_.notify_all();
  }

  void wait() {
    // The bands are balanced to end together, so the others are usually
    // a few microseconds from done: watched for, rather than slept on, as
    // a sleep and its wake-up cost about 20 microseconds on a virtual
    // machine. Not when there are more threads than cores, where the
    // watching would take a core from those it waits for.
    if (watch_) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
      while (pending_.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 16; ++i) pause();
      }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    work_ = nullptr;
  }

 private:
  void serve(int participant) {
    uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* work;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        start_.wait(lock, [&] { return stopping_ || round_ != seen; });
        if (stopping_) return;
        seen = round_;
        if (participant >= participants_) continue;  // not wanted this round
        work = work_;
      }
      (*work)(participant);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--pending_ == 0) done_.notify_all();
      }
    }
  }

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  const std::function<void(int)>* work_ = nullptr;  // guarded by mutex_
  uint64_t round_ = 0;                               // guarded by mutex_
  int participants_ = 0;                             // guarded by mutex_
  // Changed under mutex_; also read without it by wait() as it watches.
  std::atomic<int> pending_{0};
  bool stopping_ = false;                            // guarded by mutex_
  bool watch_ = false;  // whether wait() watches (the caller's)
};

Pool& pool() {
  static Pool p;
  return p;
}

}  // namespace

void start_on_drawing_threads(int participants, const std::function<void(int)>& work) {
  pool().start(participants, work);
}

void wait_for_drawing_threads() { pool().wait(); }

}  // namespace d3d8::raster
