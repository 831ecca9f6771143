// Backing the pages of a region on a thread of its own, ahead of a writer that fills the
// region front to back.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vorlan::support {

// A fresh page costs the system far more than the bytes written into it (on some virtual
// machines several microseconds a page). A writer that produces hundreds of megabytes asks
// this backer to back the pages it will reach next, and the system's work runs on the other
// core meanwhile. Backing is only advice: a page the backer has not reached yet is backed
// by the writer's own fault, and the contents never change.
//
// [base, base + bytes) must stay mapped and writable, at the same address, until the backer
// is destroyed; the destructor waits for the backing call under way.
class PageBacker {
 public:
  // Pages below `from` are taken as backed already.
  PageBacker(uint8_t* base, std::size_t bytes, std::size_t from);
  ~PageBacker();
  PageBacker(const PageBacker&) = delete;
  PageBacker& operator=(const PageBacker&) = delete;

  // False when no thread could be had: the caller backs its pages itself.
  bool Running() const { return thread_.joinable(); }
  // Asks for the pages below `upTo` (clamped to the region) to be backed; returns at once.
  void Ahead(std::size_t upTo);

 private:
  void Run();

  uint8_t* const base_;
  const std::size_t bytes_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::size_t wanted_;  // guarded by mutex_
  bool stop_ = false;   // guarded by mutex_
  std::size_t done_;    // the backing thread's own
  std::thread thread_;
};

}  // namespace vorlan::support
