#pragma once
// A map over items on worker threads whose results are handed on in the
// order the items were pushed, with at most `ahead` items held at once
// (pushed and not yet popped), so that memory stays bounded however long
// the input. The package builder compresses its chunks through one, the
// decompressor its streams and blocks.
//
// Pushing and popping may happen on one thread (push while not Full, else
// pop) or on two. Each worker thread makes one `Scratch` (say, the
// compressor's work memory) as a local and hands it to every call of the
// work on that thread.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace decode {

template <typename Item, typename Result, typename Scratch>
class OrderedPool {
 public:
  // Runs on a worker thread; an exception it throws is rethrown by the Pop of its item.
  using Work = std::function<Result(Item& item, Scratch& scratch)>;

  // Starts `workers` threads (at least one), holding at most `ahead` items
  // (at least one). Throws std::system_error when a thread cannot start.
  OrderedPool(unsigned workers, std::size_t ahead, Work work)
      : work_(std::move(work)), ahead_(ahead > 0 ? ahead : 1) {
    try {
      for (unsigned i = 0; i < (workers > 0 ? workers : 1); ++i) threads_.emplace_back([this] { Run(); });
    } catch (...) {
      Stop();
      for (std::thread& thread : threads_) thread.join();
      throw;
    }
  }
  // Stops and joins the workers; results not popped are dropped.
  ~OrderedPool() {
    Stop();
    for (std::thread& thread : threads_) thread.join();
  }
  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  // Queues `item`, waiting while `ahead` items are held; false once stopped.
  bool Push(Item item) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return stop_ || slots_.size() < ahead_; });
    if (stop_) return false;
    slots_.push_back(Slot{std::move(item), {}, {}, false});
    workWake_.notify_one();
    return true;
  }

  // True when Push would wait.
  bool Full() const {
    const std::lock_guard lock(mutex_);
    return slots_.size() >= ahead_;
  }

  // Says that no more items come: Pop returns nothing once all are popped.
  void Close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    done_.notify_all();
  }

  // The result of the oldest item not yet popped, waiting for it; nothing
  // when stopped, or closed with every item popped. Rethrows what its work threw.
  std::optional<Result> Pop() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return stop_ || (slots_.empty() ? closed_ : slots_.front().done); });
    if (stop_ || slots_.empty()) return std::nullopt;
    Slot slot = std::move(slots_.front());
    slots_.pop_front();
    ++front_;
    room_.notify_all();
    lock.unlock();
    if (slot.failure) std::rethrow_exception(slot.failure);
    return std::move(slot.result);
  }

  // Ends the pool: Push and Pop return at once; workers finish the item in hand and end.
  void Stop() {
    const std::lock_guard lock(mutex_);
    stop_ = true;
    workWake_.notify_all();
    room_.notify_all();
    done_.notify_all();
  }

 private:
  struct Slot {
    Item item;
    std::optional<Result> result;
    std::exception_ptr failure;
    bool done;
  };

  void Run() {
    Scratch scratch;
    std::unique_lock lock(mutex_);
    for (;;) {
      workWake_.wait(lock, [this] { return stop_ || untaken_ < front_ + slots_.size(); });
      if (stop_) return;
      // A deque keeps its elements in place as others are added or the
      // front is popped, and the front is popped only once done.
      Slot& slot = slots_[static_cast<std::size_t>(untaken_ - front_)];
      ++untaken_;
      lock.unlock();
      std::optional<Result> result;
      std::exception_ptr failure;
      try {
        result.emplace(work_(slot.item, scratch));
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      slot.result = std::move(result);
      slot.failure = failure;
      slot.done = true;
      done_.notify_all();
    }
  }

  const Work work_;
  const std::size_t ahead_;
  mutable std::mutex mutex_;
  std::condition_variable workWake_, room_, done_;
  std::deque<Slot> slots_;      // pushed and not popped, oldest first
  std::uint64_t front_ = 0;     // sequence number of slots_.front()
  std::uint64_t untaken_ = 0;   // sequence number of the first slot no worker took
  bool closed_ = false;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace decode
