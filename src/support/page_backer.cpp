#include "support/page_backer.h"

#include <algorithm>
#include <system_error>

#include "support/memmgr.h"

namespace vorlan::support {

namespace {
// Backed a piece at a time, so that a writer catching up waits for no long call and the
// destructor for at most one piece.
constexpr std::size_t kPiece = std::size_t{1} << 20;
}  // namespace

PageBacker::PageBacker(uint8_t* base, std::size_t bytes, std::size_t from)
    : base_(base), bytes_(bytes), wanted_(std::min(from, bytes)), done_(std::min(from, bytes)) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Left without a thread; Running() tells the caller.
  }
}

PageBacker::~PageBacker() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void PageBacker::Ahead(std::size_t upTo) {
  upTo = std::min(upTo, bytes_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (upTo <= wanted_) return;
    wanted_ = upTo;
  }
  wake_.notify_one();
}

void PageBacker::Run() {
  for (;;) {
    std::size_t upTo = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || wanted_ > done_; });
      if (stop_) return;
      upTo = std::min(wanted_, done_ + kPiece);
    }
    PrefaultForWrite(base_ + done_, upTo - done_);
    done_ = upTo;
  }
}

}  // namespace vorlan::support
