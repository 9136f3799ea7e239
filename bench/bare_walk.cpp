// The floor for a run over an unchanged tree: the bare walk of tree_walk.h
// and nothing else.
//
//   bare_walk ROOT      prints "<files> files, <bytes> bytes"

#include <cstdint>
#include <cstdio>

#include "tree_walk.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bare_walk ROOT\n");
    return 2;
  }
  long long files = 0;
  std::uint64_t bytes = 0, newest = 0;
  bench::WalkTree(bench::RootArgument(argv[1]), [&](const bench::Path&, const auto&, std::uint64_t size,
                                                     std::uint64_t modified) {
    ++files;
    bytes += size;
    if (modified > newest) newest = modified;
  });
  std::printf("%lld files, %llu bytes\n", files, static_cast<unsigned long long>(bytes));
  return newest > 0 ? 0 : 1;
}
