// Runs a capture's output work (conversion, hashing, encoding, file writes)
// on a thread of its own, in the order it was posted, so the demo's thread
// only renders. The bytes written are the same as writing in place.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tools {

class BackgroundWriter {
 public:
  // At most `max_pending` jobs wait; post() blocks beyond that, which bounds
  // the memory held by frames not yet written.
  explicit BackgroundWriter(size_t max_pending);
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Called on the demo's thread. After a job has failed, later jobs are
  // dropped; finish() reports the failure.
  void post(std::function<void()> job);

  // Runs what is left, stops the thread and rethrows the first failure.
  void finish();

  // Whether a job has failed: every later one is dropped, so a caller can
  // stop producing them.
  bool failed();

 private:
  void run();

  size_t max_pending_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace tools
