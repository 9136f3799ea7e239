#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "builder/afile_info.h"
#include "builder/file_info.h"

namespace auralith {

// Reads the tags of a list of records on a few threads of its own, ahead of
// the caller, who takes the results in list order. The caller keeps everything
// that must happen in order (progress, alerts, the table) on its own thread,
// and while a result it asks for is not ready it reads the next unclaimed file
// itself, so it seldom waits: a wait and its wake-up are calls to the Wine
// server, each costing as much as reading a small file.
// Reading costs mostly waiting for the disk and parsing, so a cold run keeps
// every core busy; with one core, or one file, nothing is started and each
// file is read when its result is asked for.
class TagReaderPool {
 public:
  // The records must stay where they are until the pool is gone; the caller
  // touches record i only after Result(i).
  TagReaderPool(std::vector<AFileInfo*> records, TagReadOptions options);
  // Stops the workers after the files they are reading and waits for them.
  ~TagReaderPool();
  TagReaderPool(const TagReaderPool&) = delete;
  TagReaderPool& operator=(const TagReaderPool&) = delete;

  // Waits until record i is read: true when it was read without error.
  bool Result(std::size_t i);

  // How many threads a list of `files` files gets on this machine.
  static unsigned ThreadsFor(std::size_t files);

 private:
  enum State : unsigned char { kPending, kRead, kFailed };
  void Work();
  // Reads the next unclaimed record; false when none is left.
  bool ReadNext(ReadBuffers& buffers);

  const std::vector<AFileInfo*> records_;
  const TagReadOptions options_;
  std::unique_ptr<std::atomic<State>[]> states_;
  ReadBuffers callerBuffers_;  // the workers' are their own
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stopping_{false};
  // Whether the caller sleeps on done_; the workers only wake it then.
  std::atomic<bool> waiting_{false};
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<std::thread> workers_;
};

}  // namespace auralith
