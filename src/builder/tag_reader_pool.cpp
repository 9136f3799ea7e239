#include "builder/tag_reader_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace auralith {

namespace {

// Beyond a few readers the disk, not the processor, sets the pace, and on a
// spinning disk more of them only make it seek.
constexpr unsigned kMostThreads = 4;

}  // namespace

unsigned TagReaderPool::ThreadsFor(std::size_t files) {
  // The caller reads too: one core is its own.
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores <= 1 || files <= 1) return 0;
  return static_cast<unsigned>(std::min<std::size_t>({cores - 1, kMostThreads - 1, files - 1}));
}

TagReaderPool::TagReaderPool(std::vector<AFileInfo*> records, TagReadOptions options)
    : records_(std::move(records)), options_(std::move(options)), states_(new std::atomic<State>[records_.size()]()) {
  const unsigned threads = ThreadsFor(records_.size());
  // Room first: a thread started and then lost to a failed allocation could
  // never be joined.
  workers_.reserve(threads);
  try {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back(&TagReaderPool::Work, this);
  } catch (const std::system_error&) {
    // No thread to be had: the workers that did start read the whole list,
    // and with none the caller reads each file itself.
  }
}

TagReaderPool::~TagReaderPool() {
  stopping_ = true;
  for (std::thread& worker : workers_) worker.join();
}

bool TagReaderPool::ReadNext(ReadBuffers& buffers) {
  const std::size_t i = next_.fetch_add(1);
  if (i >= records_.size()) return false;
  states_[i] = ReadTags(*records_[i], options_, buffers) ? kRead : kFailed;
  return true;
}

void TagReaderPool::Work() {
  ReadBuffers buffers;
  while (!stopping_ && ReadNext(buffers)) {
    // The caller sets waiting_ before it looks at the state it waits for,
    // and this looks at waiting_ after storing a state: one of the two sees
    // the other's store, so no wake-up is lost.
    if (waiting_) {
      const std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_one();
    }
  }
}

bool TagReaderPool::Result(std::size_t i) {
  if (workers_.empty()) return ReadTags(*records_[i], options_, callerBuffers_);
  while (states_[i] == kPending) {
    if (ReadNext(callerBuffers_)) continue;
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_ = true;
    done_.wait(lock, [&] { return states_[i] != kPending; });
    waiting_ = false;
  }
  return states_[i] == kRead;
}

}  // namespace auralith
