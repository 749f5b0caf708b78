// A fixed pool of drawing threads, made at the first draw that wants more
// than one and kept to the end of the process.
#include "platform/d3d8/drawing_threads.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>


namespace d3d8::raster {

namespace {

class Pool {
 public:
  // The process ends with the pool idle: its threads are told to stop and
  // joined, so none outlives what it reads.
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void run(int participants, const std::function<void(int)>& work) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (static_cast<int>(threads_.size()) + 1 < participants) {
        const int i = static_cast<int>(threads_.size()) + 1;
        threads_.emplace_back([this, i] { serve(i); });
      }
      work_ = &work;
      participants_ = participants;
      pending_ = participants - 1;
      ++round_;
    }
    start_.notify_all();
    work(0);
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
        if (--pending_ == 0) done_.notify_one();
      }
    }
  }

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  const std::function<void(int)>* work_ = nullptr;  // guarded by mutex_
  uint64_t round_ = 0;                               // guarded by mutex_
  int participants_ = 0;                             // guarded by mutex_
  int pending_ = 0;                                  // guarded by mutex_
  bool stopping_ = false;                            // guarded by mutex_
};

}  // namespace

void run_on_drawing_threads(int participants, const std::function<void(int)>& work) {
  if (participants <= 1) {
    work(0);
    return;
  }
  static Pool pool;
  pool.run(participants, work);
}

}  // namespace d3d8::raster
