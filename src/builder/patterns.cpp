#include "builder/patterns.h"

#include "base/path.h"
#include "builder/file_info.h"

namespace auralith {

namespace {

bool HasToken(std::string_view pattern, char digit) {
  const char token[2] = {'%', digit};
  return pattern.find(std::string_view(token, 2)) != std::string_view::npos;
}

// The name the pattern describes: extension cut at the last '.', then the
// folders dropped. The cut comes first, so a '.' in a folder name of a path
// without extension cuts there; scanned paths always end in an extension.
std::string_view PatternSubject(std::string_view path) {
  const auto dot = path.rfind('.');
  if (dot != std::string_view::npos) path = path.substr(0, dot);
  const auto separator = path.rfind(kPathSeparator);
  if (separator != std::string_view::npos) path = path.substr(separator + 1);
  return path;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void ApplyFolderFormat(AFileInfo& record, Settings& settings) {
  const std::string_view p = record.path;
  const auto first = p.find(kPathSeparator);
  if (first == std::string_view::npos || first == 0) return;
  const auto last = p.rfind(kPathSeparator);

  switch (settings._4_organizationnum.Get()) {
    case 2:
      if (first == last && record.artist.empty()) record.artist = p.substr(0, first);
      break;
    case 3:
      if (record.artist.empty()) record.artist = p.substr(0, first);
      if (record.album.empty() && last > first + 1) {
        const auto next = p.find(kPathSeparator, first + 1);
        record.album = p.substr(first + 1, next - first - 1);
        if (settings._4_prefix.Get() != 0) record.album = StripLeadingNumbers(record.album);
      }
      break;
    default:
      break;
  }
}

// The pattern is walked piece by piece as it is split (literal, then the
// token after it), so there is no piece list to size and no limit on the
// number of tokens; only the result is allocated.
std::string ExtractToken(std::string_view path, std::string_view pattern, char digit) {
  if (!HasToken(pattern, digit)) return std::string();

  std::string_view rest = PatternSubject(path);
  std::string_view result;
  bool capturing = false;
  bool cut = false;

  while (!pattern.empty()) {
    const auto percent = pattern.find('%');
    const std::string_view literal = pattern.substr(0, percent);
    // A trailing "%" ends the pattern with a token of no character, which
    // never names a digit.
    bool hasToken = false;
    char token = '\0';
    if (percent == std::string_view::npos) {
      pattern = std::string_view();
    } else if (percent + 1 < pattern.size()) {
      hasToken = true;
      token = pattern[percent + 1];
      pattern.remove_prefix(percent + 2);
    } else {
      pattern = std::string_view();
    }

    if (!literal.empty()) {
      const auto at = rest.find(literal);
      if (at == std::string_view::npos) return std::string();
      rest.remove_prefix(at + literal.size());
      if (capturing && !cut) {
        result = result.substr(0, result.find(literal));
        cut = true;
      }
    }
    if (hasToken && token == digit) {
      result = rest;
      capturing = true;
      cut = false;
    }
  }
  return std::string(result);
}

std::optional<std::array<std::string, 4>> MatchPattern(std::string_view path,
                                                       std::string_view pattern) {
  std::array<std::string, 4> values;
  for (int i = 0; i < 4; ++i) values[i] = ExtractToken(path, pattern, static_cast<char>('1' + i));
  for (int i = 0; i < 4; ++i) {
    if (values[i].empty() && HasToken(pattern, static_cast<char>('1' + i))) return std::nullopt;
  }
  return values;
}

void ApplyFileNamePattern(AFileInfo& record, Settings& settings) {
  const std::string pattern = settings._4_format.Get();
  if (pattern.find('%') == std::string::npos) return;
  auto values = MatchPattern(record.path, pattern);
  if (!values) return;
  auto& [artist, album, track, title] = *values;

  if (record.artist.empty()) record.artist = std::move(artist);
  if (record.album.empty()) {
    record.album = std::move(album);
  } else if (settings._4_prefix.Get() != 0 && !album.empty() && IsDigit(album.front())) {
    record.album = std::move(album);
  }
  if (record.title.empty()) record.title = std::move(title);
  if (record.track.empty()) record.track = std::move(track);
}

}  // namespace auralith
