#include "filewalk/read_ahead.h"

#include <system_error>

namespace RegexClass {
namespace detail {

ReadAhead::ReadAhead(unsigned threads, std::size_t depth) : depth_(depth) {
  workers_.reserve(threads);
  try {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // The system would not start more threads: the ones started do the work
    // (with none, Workers() says so and the caller searches by itself).
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool ReadAhead::Full() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size() >= depth_;
}

bool ReadAhead::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.empty();
}

bool ReadAhead::FrontDone() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty() && queue_.front()->done_;
}

void ReadAhead::Push(std::unique_ptr<ReadAheadJob> job) {
  job->started_ = false;
  job->done_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

std::unique_ptr<ReadAheadJob> ReadAhead::Pop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  ReadAheadJob* front = queue_.front().get();
  if (!front->started_) {
    // No worker has taken it yet: the calling thread does it rather than wait.
    front->started_ = true;
    lock.unlock();
    front->Run();
    lock.lock();
    front->done_ = true;
  }
  done_.wait(lock, [front] { return front->done_; });
  std::unique_ptr<ReadAheadJob> job = std::move(queue_.front());
  queue_.pop_front();
  return job;
}

void ReadAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ReadAheadJob* next = nullptr;
    wake_.wait(lock, [&] {
      if (stopping_) return true;
      for (auto& job : queue_) {
        if (!job->started_) {
          next = job.get();
          return true;
        }
      }
      return false;
    });
    if (stopping_) return;
    next->started_ = true;
    lock.unlock();
    next->Run();
    lock.lock();
    next->done_ = true;
    done_.notify_all();
  }
}

}  // namespace detail
}  // namespace RegexClass
