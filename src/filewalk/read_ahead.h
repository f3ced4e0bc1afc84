// Reading and searching files ahead of the calling thread. The walk hands
// each file over in order; worker threads open, read and search the files
// while the calling thread takes the results back in the same order, so every
// callback still runs on the calling thread, in walk order. A job no worker
// has started when the calling thread wants its result is run by the calling
// thread itself, so it works alongside the workers rather than wait. The queue is
// bounded: the walk waits when it is full. Destruction stops the workers
// promptly (jobs not yet started are dropped) and joins them.
#ifndef RAVELIN_FILEWALK_READ_AHEAD_H
#define RAVELIN_FILEWALK_READ_AHEAD_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace RegexClass {
namespace detail {

// One unit of work; the worker fills in the results.
class ReadAheadJob {
 public:
  virtual ~ReadAheadJob() = default;
  // Runs on a worker thread. Must not throw.
  virtual void Run() noexcept = 0;

 private:
  friend class ReadAhead;
  bool done_ = false;
  bool started_ = false;
};

class ReadAhead {
 public:
  // threads workers; at most depth jobs between Push and Pop.
  ReadAhead(unsigned threads, std::size_t depth);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Workers actually started (the system may refuse threads).
  std::size_t Workers() const { return workers_.size(); }
  // True when Push would have to wait for a Pop first.
  bool Full() const;
  bool Empty() const;
  // Queues a job (one popped before may be queued again). REQUIRES: !Full().
  void Push(std::unique_ptr<ReadAheadJob> job);
  // The oldest job, once it is done (runs it, or waits for the worker running
  // it); null when none is queued.
  std::unique_ptr<ReadAheadJob> Pop();
  // Whether the oldest job is done already.
  bool FrontDone() const;

 private:
  void Work();

  mutable std::mutex mutex_;
  std::condition_variable wake_;                     // workers: a job to start, or stop
  std::condition_variable done_;                     // the calling thread: a job finished
  std::deque<std::unique_ptr<ReadAheadJob>> queue_;  // in walk order
  std::size_t depth_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_FILEWALK_READ_AHEAD_H
