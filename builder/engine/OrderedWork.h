// The threads of a build with several compressing threads: one reader queues items in
// archive order, a pool of workers compresses those queued as work, first free first, and
// the building thread takes the items strictly in the order they were queued, so the SFX
// file is the same whatever the timing. The items' bytes, read ahead or compressed and not
// yet written, stay within a budget.
//
// An Item has `bytes`, `cost` (what it holds against the budget), `ready` and `error`.
// A worker's exception is kept with its item and raised when the item is taken; the
// reader's ends the reading and waits behind everything queued before it. No thread lets
// an exception out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "BuildJob.h"

template <typename Item>
class OrderedWork {
 public:
  // What compresses an item's bytes; it runs outside the lock, each worker with its own.
  using Compress = std::function<std::vector<uint8_t>(const Item&)>;

  // `overhead`: what an item costs besides its bytes.
  OrderedWork(BuildJob& job, uint64_t budget, uint64_t overhead) : job_(job), budget_(budget), overhead_(overhead) {}
  // Stops every thread and waits for it, on every way out of the build.
  ~OrderedWork() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    readerWaits_.notify_all();
    workersWait_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // Runs `read` on a thread of its own and `workers` threads, each with a compressor that
  // `compressor` makes.
  void Start(std::function<void()> read, unsigned workers, const std::function<Compress()>& compressor) {
    threads_.emplace_back(&OrderedWork::Read, this, std::move(read));
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back(&OrderedWork::Work, this, compressor());
  }

  // For the reader: waits until `cost` more fits the budget and takes it; false once
  // stopped. An item larger than the budget still goes, alone.
  bool Reserve(uint64_t cost) {
    std::unique_lock<std::mutex> lock(mutex_);
    readerWaits_.wait(lock, [&] { return stop_ || held_ == 0 || held_ + cost <= budget_; });
    if (stop_) return false;
    held_ += cost;
    return true;
  }

  // For the reader and the building thread: gives back what an item held.
  void Release(uint64_t cost) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_ -= cost;
    }
    readerWaits_.notify_one();
  }

  // For the reader: the item's cost reserved; `work` when it is still to be compressed.
  void Queue(Item item, bool work) {
    std::lock_guard<std::mutex> lock(mutex_);
    item.ready = !work;
    items_.push_back(std::move(item));
    if (work) {
      work_.push_back(&items_.back());
      workersWait_.notify_one();
    }
    writerWaits_.notify_one();
  }

  // For the building thread: the next item in order once it is ready; false when every
  // item has been taken or the build was cancelled while waiting. Raises the reader's
  // failure in its place.
  bool Next(Item& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!items_.empty() && items_.front().ready) break;
      if (items_.empty() && readDone_) {
        if (readFailure_) std::rethrow_exception(readFailure_);
        return false;
      }
      // A long wait lets the window repaint and take a click on Cancel.
      if (writerWaits_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
        lock.unlock();
        if (BuildProgress* progress = job_.Progress()) progress->ProcessMessages();
        if (job_.Cancelled()) return false;
        lock.lock();
      }
    }
    item = std::move(items_.front());
    items_.pop_front();
    return true;
  }

 private:
  void Read(const std::function<void()>& read) {
    try {
      read();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      readFailure_ = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    readDone_ = true;
    writerWaits_.notify_one();
  }

  void Work(const Compress& compress) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      workersWait_.wait(lock, [&] { return stop_ || !work_.empty(); });
      if (stop_) return;
      Item& item = *work_.front();
      work_.pop_front();
      lock.unlock();
      std::vector<uint8_t> packed;
      std::exception_ptr error;
      try {
        packed = compress(item);
      } catch (...) {
        error = std::current_exception();
      }
      std::vector<uint8_t> raw;
      lock.lock();
      raw.swap(item.bytes);
      item.bytes.swap(packed);
      uint64_t cost = item.bytes.size() + overhead_;
      held_ = held_ - item.cost + cost;
      item.cost = cost;
      item.error = error;
      item.ready = true;
      writerWaits_.notify_one();
      readerWaits_.notify_one();
      // The raw bytes are freed outside the lock.
      lock.unlock();
      raw = std::vector<uint8_t>();
      lock.lock();
    }
  }

  BuildJob& job_;
  const uint64_t budget_, overhead_;
  std::mutex mutex_;
  std::condition_variable readerWaits_, workersWait_, writerWaits_;
  std::deque<Item> items_;  // in archive order; workers point into it
  std::deque<Item*> work_;  // items not yet taken by a worker, oldest first
  uint64_t held_ = 0;
  bool stop_ = false, readDone_ = false;
  std::exception_ptr readFailure_;
  std::vector<std::thread> threads_;
};
