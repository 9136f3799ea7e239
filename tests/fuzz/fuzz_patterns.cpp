// Folder formats and file-name patterns on any pattern and path. Input: one byte of switches (folder format in
// bits 0-1, 4_prefix in bit 2), the pattern, a NUL, the relative path. Neither source may invent text: every value
// it stores is a piece of the path.

#include "builder/patterns.h"
#include "fuzz_support.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  if (size == 0) return 0;
  const std::uint8_t switches = data[0];
  const std::string_view rest = fuzz::AsText(data + 1, size - 1);
  const auto nul = rest.find('\0');
  if (nul == std::string_view::npos) return 0;
  const std::string pattern(rest.substr(0, nul));
  const std::string_view path = rest.substr(nul + 1);
  auto expectPiece = [&](const std::string& value, const char* what) {
    if (path.find(value) == std::string_view::npos) fuzz::Violation(what, value);
  };

  const auto values = MatchPattern(path, pattern);
  for (int i = 0; i < 4; ++i) {
    const char digit = static_cast<char>('1' + i);
    const std::string value = ExtractToken(path, pattern, digit);
    expectPiece(value, "a token value that is not in the path");
    if (values && (*values)[i] != value) fuzz::Violation("MatchPattern and ExtractToken disagree", value);
  }

  Settings& settings = env.settings;
  settings._4_organizationnum.Set(switches & 3);
  settings._4_prefix.Set((switches >> 2) & 1);
  settings._4_format.Set(pattern);
  AFileInfo record;
  record.path = std::string(path);
  ApplyFolderFormat(record, settings);
  ApplyFileNamePattern(record, settings);
  for (const std::string* field : {&record.artist, &record.album, &record.title, &record.track})
    expectPiece(*field, "a field that is not in the path");
  return 0;
}
