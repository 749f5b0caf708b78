#include "tools/background_writer.h"

namespace tools {

BackgroundWriter::BackgroundWriter(size_t max_pending)
    : max_pending_(max_pending == 0 ? 1 : max_pending), thread_([this] { run(); }) {}

BackgroundWriter::~BackgroundWriter() {
  try {
    finish();
  } catch (...) {
    // Destruction after an error elsewhere: the failure was not asked for.
  }
}

void BackgroundWriter::post(std::function<void()> job) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.size() < max_pending_ || failure_ != nullptr; });
  if (failure_ != nullptr || stopping_) return;
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void BackgroundWriter::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  if (failure_ != nullptr) {
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

bool BackgroundWriter::failed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_ != nullptr;
}

void BackgroundWriter::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      changed_.notify_all();
    }
    try {
      job();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failure_ == nullptr) failure_ = std::current_exception();
      jobs_.clear();
      changed_.notify_all();
    }
  }
}

}  // namespace tools
