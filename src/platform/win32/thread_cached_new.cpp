// The programs' operator new and delete. Small blocks that a thread frees are
// kept by that thread and handed out again to its next request of the same
// size class, without the process heap: reading one music file's tags makes
// and frees some five hundred small objects, and under Wine every heap call
// takes the heap's lock, which made the heap a tenth of a run that reads every
// file. Larger blocks, and small ones beyond what a thread keeps, go to and
// from the process heap as before.
//
// A block carries its size class in a 16-byte header in front of it, so that
// any thread can take back any block, and the alignment stays that of the
// heap. What a thread keeps goes back to the heap when the thread ends.

#include <windows.h>
// The thread's own block (TEB), for its TLS slots.
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

constexpr std::size_t kHeader = 16;
constexpr std::size_t kGranule = 16;
constexpr std::size_t kClasses = 32;  // blocks of up to 512 bytes
// Per class and thread: at most 128 blocks, about a megabyte in all.
constexpr std::uint32_t kMostKept = 128;

struct KeptBlocks {
  void* first[kClasses];  // each kept block holds the next one's address
  std::uint32_t count[kClasses];
};

struct Slots {
  // Where a thread finds what it keeps: read straight from the thread's own
  // block when the index is one of the first 64, so that the common case is
  // a load, not three calls into kernel32 (the slot lookup and saving and
  // restoring the last error that TlsGetValue and FlsGetValue clear).
  DWORD tls;
  // The same pointer in a fiber-local slot, for its callback when the thread ends.
  DWORD fls;
};

const Slots& TheSlots();

void WINAPI ReturnKept(void* value) {
  auto* kept = static_cast<KeptBlocks*>(value);
  if (kept == nullptr) return;
  // Anything freed later in this thread's exit goes to the heap.
  TlsSetValue(TheSlots().tls, nullptr);
  const HANDLE heap = GetProcessHeap();
  for (std::size_t c = 0; c < kClasses; ++c) {
    for (void* block = kept->first[c]; block != nullptr;) {
      void* next = *static_cast<void**>(block);
      HeapFree(heap, 0, static_cast<char*>(block) - kHeader);
      block = next;
    }
  }
  HeapFree(heap, 0, kept);
}

const Slots& TheSlots() {
  static const Slots slots{TlsAlloc(), FlsAlloc(ReturnKept)};
  return slots;
}

KeptBlocks* KeptNow(DWORD tls) {
  if (tls < 64) return static_cast<KeptBlocks*>(NtCurrentTeb()->TlsSlots[tls]);
  const DWORD lastError = GetLastError();
  auto* kept = static_cast<KeptBlocks*>(TlsGetValue(tls));
  SetLastError(lastError);
  return kept;
}

KeptBlocks* Kept(bool create) {
  const Slots& slots = TheSlots();
  if (slots.tls == TLS_OUT_OF_INDEXES || slots.fls == FLS_OUT_OF_INDEXES) return nullptr;
  KeptBlocks* kept = KeptNow(slots.tls);
  if (kept != nullptr || !create) return kept;
  // Callers read the last error after making the text of a message: new and
  // delete must leave it alone.
  const DWORD lastError = GetLastError();
  kept = static_cast<KeptBlocks*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(KeptBlocks)));
  if (kept != nullptr && !(FlsSetValue(slots.fls, kept) && TlsSetValue(slots.tls, kept))) {
    FlsSetValue(slots.fls, nullptr);
    HeapFree(GetProcessHeap(), 0, kept);
    kept = nullptr;
  }
  SetLastError(lastError);
  return kept;
}

void* Allocate(std::size_t size) {
  if (size > SIZE_MAX - kHeader - kGranule) return nullptr;
  const std::size_t units = size == 0 ? 1 : (size + kGranule - 1) / kGranule;
  const std::size_t sizeClass = units <= kClasses ? units : 0;
  if (sizeClass != 0) {
    if (KeptBlocks* kept = Kept(true); kept != nullptr && kept->first[sizeClass - 1] != nullptr) {
      void* block = kept->first[sizeClass - 1];
      kept->first[sizeClass - 1] = *static_cast<void**>(block);
      --kept->count[sizeClass - 1];
      return block;
    }
  }
  auto* raw = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kHeader + units * kGranule));
  if (raw == nullptr) return nullptr;
  *reinterpret_cast<std::size_t*>(raw) = sizeClass;
  return raw + kHeader;
}

void Release(void* block) {
  if (block == nullptr) return;
  char* raw = static_cast<char*>(block) - kHeader;
  const std::size_t sizeClass = *reinterpret_cast<const std::size_t*>(raw);
  // A thread that never allocated keeps nothing: it may be ending already.
  if (sizeClass != 0) {
    if (KeptBlocks* kept = Kept(false); kept != nullptr && kept->count[sizeClass - 1] < kMostKept) {
      *static_cast<void**>(block) = kept->first[sizeClass - 1];
      kept->first[sizeClass - 1] = block;
      ++kept->count[sizeClass - 1];
      return;
    }
  }
  HeapFree(GetProcessHeap(), 0, raw);
}

void* AllocateOrThrow(std::size_t size) {
  for (;;) {
    if (void* block = Allocate(size)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return AllocateOrThrow(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
