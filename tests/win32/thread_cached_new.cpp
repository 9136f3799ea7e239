#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Blocks the process heap has handed out and not had back.
int BusyHeapBlocks() {
  const HANDLE heap = GetProcessHeap();
  PROCESS_HEAP_ENTRY entry{};
  int busy = 0;
  HeapLock(heap);
  while (HeapWalk(heap, &entry))
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++busy;
  HeapUnlock(heap);
  return busy;
}

// Blocks of every kept size and beyond, freed and taken again on several
// threads and across them, never overlap: each keeps the bytes written to it.
TEST(ThreadCachedNew, BlocksKeepTheirBytesWhoeverFreesThem) {
  struct Block {
    unsigned char* bytes;
    std::size_t size;
  };
  std::vector<std::vector<Block>> made(4);
  auto make = [&made](std::size_t owner) {
    for (std::size_t size = 1; size <= 1100; size += owner + 3) {
      auto* bytes = static_cast<unsigned char*>(::operator new(size));
      std::memset(bytes, static_cast<int>(size & 0xFF), size);
      made[owner].push_back({bytes, size});
    }
  };
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (std::size_t owner = 0; owner < made.size(); ++owner) threads.emplace_back(make, owner);
    for (auto& t : threads) t.join();
    // Every other block is freed here, by a thread that did not make it.
    for (auto& blocks : made) {
      for (std::size_t i = 0; i < blocks.size(); ++i) {
        for (std::size_t b = 0; b < blocks[i].size; ++b) ASSERT_EQ(blocks[i].bytes[b], blocks[i].size & 0xFF);
        if (i % 2 == 0) ::operator delete(std::exchange(blocks[i].bytes, nullptr));
      }
      std::erase_if(blocks, [](const Block& block) { return block.bytes == nullptr; });
    }
  }
  for (auto& blocks : made)
    for (const Block& block : blocks) ::operator delete(block.bytes);
}

TEST(ThreadCachedNew, AThreadThatEndsGivesBackWhatItKept) {
  const int before = BusyHeapBlocks();
  std::thread([] {
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(::operator new(64));
    for (void* block : blocks) ::operator delete(block);
  }).join();
  EXPECT_LT(BusyHeapBlocks() - before, 50);
}

TEST(ThreadCachedNew, LeavesTheLastErrorAlone) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  ::operator delete(::operator new(24));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ThreadCachedNew, TooLargeARequestFailsAsTheStandardSays) {
  volatile std::size_t huge = SIZE_MAX - 8;  // a size the header would wrap round
  EXPECT_THROW(static_cast<void>(::operator new(huge)), std::bad_alloc);
  EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
}

}  // namespace
