#include "base/path.h"

namespace auralith {

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != kPathSeparator) dir.push_back(kPathSeparator);
  return dir;
}

std::string WithoutTrailingSeparators(std::string dir) {
  while (!dir.empty() && dir.back() == kPathSeparator) dir.pop_back();
  return dir;
}

std::string DirectoryPart(std::string_view path) {
  const auto pos = path.rfind(kPathSeparator);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string FileNamePart(std::string_view path) {
  const auto pos = path.rfind(kPathSeparator);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

}  // namespace auralith
