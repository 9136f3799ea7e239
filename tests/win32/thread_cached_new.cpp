#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Blocks of every kept size and beyond, made here and on other threads and
// all freed here, then made again from what this thread keeps, never overlap;
// and the last error survives them.
TEST(ThreadCachedNew, BlocksKeepTheirBytesWhoeverFreesThem) {
  std::vector<std::vector<unsigned char*>> made(4);
  auto make = [](std::vector<unsigned char*>* blocks) {
    for (std::size_t size = 1; size <= 1100; size += 7)
      blocks->push_back(static_cast<unsigned char*>(std::memset(::operator new(size), size & 0xFF, size)));
  };
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < made.size(); ++t) threads.emplace_back(make, &made[t]);
    make(&made[0]);
    for (auto& t : threads) t.join();
    SetLastError(ERROR_FILE_NOT_FOUND);
    for (auto& blocks : made) {
      for (std::size_t i = 0, size = 1; i < blocks.size(); ++i, size += 7) {
        for (std::size_t b = 0; b < size; ++b) ASSERT_EQ(blocks[i][b], size & 0xFF) << round;
        ::operator delete(blocks[i]);
      }
      blocks.clear();
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
}

TEST(ThreadCachedNew, AThreadThatEndsGivesBackWhatItKept) {
  auto busyBlocks = [] {
    PROCESS_HEAP_ENTRY entry{};
    int busy = 0;
    while (HeapWalk(GetProcessHeap(), &entry)) busy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    return busy;
  };
  const int before = busyBlocks();
  std::thread([] {
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(::operator new(64));
    for (void* block : blocks) ::operator delete(block);
  }).join();
  EXPECT_LT(busyBlocks() - before, 50);
}

TEST(ThreadCachedNew, TooLargeARequestFailsAsTheStandardSays) {
  volatile std::size_t huge = SIZE_MAX - 8;  // a size the header would wrap round
  EXPECT_THROW(static_cast<void>(::operator new(huge)), std::bad_alloc);
  EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
}

}  // namespace
