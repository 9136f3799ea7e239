#include "builder/scan.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>

#include "base/path.h"
#include "base/strings.h"

namespace auralith {

namespace {

constexpr std::string_view kDelimiters = ", ;|\t";

bool IsExtensionChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// A hostile or broken tree (a link chain that defeats the identity check, or
// a deliberately deep nesting) must not exhaust the stack; no real music
// collection comes near either bound.
constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxPathBytes = 32767;

struct Ancestor {
  std::uint64_t node;
  std::size_t length;  // of its relative path, a prefix of the current one
};

// A directory still to be walked, with the descent path above it.
struct Subtree {
  std::string relative;
  std::size_t depth = 0;
  bool nodeKnown = false;
  std::uint64_t node = 0;
  std::vector<Ancestor> ancestors;
};

class TreeWalker {
 public:
  TreeWalker(FileSystem& fs, const std::string& root, const std::vector<std::string>& extensions,
             ProgressSink* progress, std::vector<MusicFile>& found)
      : fs_(fs), root_(root), extensions_(extensions), progress_(progress), found_(found) {}

  // Walks `tree` whole, or, given `later`, lists only its own files and
  // leaves its subdirectories there.
  void Walk(Subtree& tree, std::vector<Subtree>* later) {
    ancestors_ = std::move(tree.ancestors);
    later_ = later;
    Walk(tree.relative, tree.depth, tree.nodeKnown ? &tree.node : nullptr);
  }

 private:
  // `relative` is the directory being walked; it is extended in place for the
  // children and restored before returning, so building the paths of a deep
  // tree costs no more than their total length.
  // `known` is the directory's node when its parent's listing gave it.
  void Walk(std::string& relative, std::size_t depth, const std::uint64_t* known) {
    std::string dir;
    dir.reserve(root_.size() + relative.size());
    dir.append(root_).append(relative);

    // Without an identity the directory cannot be checked against the
    // descent path; it is walked anyway and the depth bound stops a loop.
    std::uint64_t node = known ? *known : 0;
    const bool identified = known || fs_.IdentifyNode(dir, &node);
    if (identified && LeadsBack(dir, node, relative)) return;

    std::vector<DirEntry> entries;
    if (!fs_.ListDirectory(dir, &entries)) return;
    if (identified) ancestors_.push_back({node, relative.size()});

    const std::size_t base = relative.size();
    for (const DirEntry& entry : entries) {
      if (entry.hidden || entry.name.empty()) continue;
      // A playlist holds one path per line: a name with a line break in it
      // (possible outside Windows) would split its entry in two.
      if (entry.name.find_first_of("\r\n") != std::string::npos) continue;
      if (entry.directory) {
        if (entry.name.front() == '.') continue;
        if (depth + 1 > kMaxDepth) continue;
        if (root_.size() + base + entry.name.size() + 1 > kMaxPathBytes) continue;
        relative.append(entry.name).push_back(kPathSeparator);
        if (later_ != nullptr) {
          later_->push_back({relative, depth + 1, entry.nodeKnown, entry.node, ancestors_});
        } else {
          Walk(relative, depth + 1, entry.nodeKnown ? &entry.node : nullptr);
        }
        relative.resize(base);
      } else if (MatchesExtension(entry.name, extensions_)) {
        MusicFile& file = found_.emplace_back();
        file.path.reserve(base + entry.name.size());
        file.path.append(relative).append(entry.name);
        file.statusKnown = entry.statusKnown;
        file.status = entry.status;
        if (progress_ != nullptr) progress_->SetItemLine(file.path);
      }
    }

    if (identified) ancestors_.pop_back();
  }

  // Whether `dir` is one of the directories on the descent path. The whole
  // identities are asked for only when the nodes agree, which only a link
  // back into the tree, or another volume's directory, makes happen.
  bool LeadsBack(const std::string& dir, std::uint64_t node, const std::string& relative) {
    DirectoryId id;
    bool known = false;
    for (const Ancestor& ancestor : ancestors_) {
      if (ancestor.node != node) continue;
      if (!known && !fs_.Identify(dir, &id)) return false;
      known = true;
      DirectoryId other;
      if (fs_.Identify(root_ + relative.substr(0, ancestor.length), &other) && other == id) return true;
    }
    return false;
  }

  FileSystem& fs_;
  const std::string& root_;
  const std::vector<std::string>& extensions_;
  ProgressSink* progress_;
  std::vector<MusicFile>& found_;
  std::vector<Ancestor> ancestors_;
  std::vector<Subtree>* later_ = nullptr;
};

}  // namespace

std::vector<std::string> ParseExtensions(std::string_view text) {
  std::vector<std::string> list;
  std::size_t pos = 0;
  for (;;) {
    pos = text.find_first_not_of(kDelimiters, pos);
    if (pos == std::string_view::npos) break;
    std::size_t end = text.find_first_of(kDelimiters, pos);
    if (end == std::string_view::npos) end = text.size();
    std::string token = AsciiLower(text.substr(pos, end - pos));
    pos = end;
    if (std::all_of(token.begin(), token.end(), IsExtensionChar)) {
      list.push_back(std::move(token));
    } else {
      list.clear();
    }
  }
  return list;
}

bool MatchesExtension(std::string_view name, const std::vector<std::string>& extensions) {
  for (const std::string& extension : extensions) {
    const std::size_t suffix = extension.size() + 1;
    if (name.size() <= suffix) continue;
    const std::string_view tail = name.substr(name.size() - suffix);
    if (tail.front() == '.' && EqualsIgnoreAsciiCase(tail.substr(1), extension)) return true;
  }
  return false;
}

std::vector<MusicFile> ScanMusicTree(FileSystem& fs, const std::string& root, const std::string& relative,
                                     const std::vector<std::string>& extensions, ProgressSink& progress) {
  std::vector<MusicFile> found;
  if (extensions.empty()) return found;
  TreeWalker walker(fs, root, extensions, &progress, found);
  std::vector<Subtree> trees(1);
  trees[0].relative = relative;
  // Listing a directory and the status of its entries is a few system calls
  // each, which on a warm disk is all a run over an unchanged tree does:
  // with a second core, a second thread walks half of the subtrees. The
  // top levels are listed here first, until there are subtrees enough to
  // share out evenly. The order found is of no account; the run sorts it.
  if (std::thread::hardware_concurrency() > 1) {
    for (int level = 0; level < 3 && !trees.empty() && trees.size() < 32; ++level) {
      std::vector<Subtree> next;
      for (Subtree& tree : trees) walker.Walk(tree, &next);
      trees = std::move(next);
    }
  }
  std::atomic<std::size_t> next{0};
  const auto walkShare = [&](TreeWalker& mine) {
    for (std::size_t i; (i = next.fetch_add(1)) < trees.size();) mine.Walk(trees[i], nullptr);
  };
  std::vector<MusicFile> theirs;
  std::exception_ptr failure;
  std::thread helper;
  if (trees.size() > 1) {
    try {
      helper = std::thread([&] {
        try {
          TreeWalker other(fs, root, extensions, nullptr, theirs);
          walkShare(other);
        } catch (...) {
          failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: this one walks them all.
    }
  }
  // Should this thread fail, the helper stops after its current subtree.
  struct Join {
    std::thread& thread;
    std::atomic<std::size_t>& next;
    std::size_t end;
    ~Join() {
      next = end;
      if (thread.joinable()) thread.join();
    }
  } join{helper, next, trees.size()};
  walkShare(walker);
  if (helper.joinable()) helper.join();
  if (failure) std::rethrow_exception(failure);
  // The helper's files are shown now: the sink is this thread's alone.
  found.reserve(found.size() + theirs.size());
  for (MusicFile& file : theirs) {
    progress.SetItemLine(file.path);
    found.push_back(std::move(file));
  }
  return found;
}

}  // namespace auralith
