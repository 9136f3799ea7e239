// The player is a 32-bit program, which this machine's Wine cannot run, so
// the gen_auralith.dll that ships is checked as the player's loader reads it:
// its machine, the entry point the player looks up by name, and the DLLs it
// would bring along.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

// Windows' own DLLs, which every process can load. The compiler's run-time
// DLLs (libstdc++, libgcc, libwinpthread) are not among them: the player's
// folder has none.
const std::set<std::string> kSystemDlls = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                                           "kernel32.dll", "msvcrt.dll",   "ole32.dll",    "oleaut32.dll",
                                           "shell32.dll",  "shlwapi.dll",  "user32.dll",   "ucrtbase.dll"};

// The headers of a PE file, read from its bytes; any field out of range
// leaves the image invalid rather than reading past the end.
class PeImage {
 public:
  explicit PeImage(std::string bytes) : bytes_(std::move(bytes)) {
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    if (!Read(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return;
    const std::size_t nt = static_cast<std::size_t>(dos.e_lfanew);
    if (!Read(nt, &signature) || signature != IMAGE_NT_SIGNATURE || !Read(nt + 4, &file_)) return;
    const std::size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    WORD magic = 0;
    if (!Read(optional, &magic)) return;
    // The data directories end the optional header, whose size differs
    // between PE32 and PE32+.
    const std::size_t directories =
        optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                           : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    if (!Read(directories + IMAGE_DIRECTORY_ENTRY_EXPORT * sizeof(IMAGE_DATA_DIRECTORY), &exports_) ||
        !Read(directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY), &imports_))
      return;
    const std::size_t table = optional + file_.SizeOfOptionalHeader;
    sections_.resize(file_.NumberOfSections);
    for (std::size_t i = 0; i < sections_.size(); ++i)
      if (!Read(table + i * sizeof(IMAGE_SECTION_HEADER), &sections_[i])) return;
    valid_ = true;
  }

  bool valid() const { return valid_; }
  WORD machine() const { return file_.Machine; }
  bool dll() const { return (file_.Characteristics & IMAGE_FILE_DLL) != 0; }

  std::vector<std::string> ExportedNames() const {
    std::vector<std::string> names;
    IMAGE_EXPORT_DIRECTORY directory{};
    if (exports_.Size == 0 || !Read(Offset(exports_.VirtualAddress), &directory)) return names;
    for (DWORD i = 0; i < directory.NumberOfNames; ++i) {
      DWORD name = 0;
      if (!Read(Offset(directory.AddressOfNames) + i * sizeof(DWORD), &name)) break;
      names.push_back(Text(Offset(name)));
    }
    return names;
  }

  std::vector<std::string> ImportedDlls() const {
    std::vector<std::string> dlls;
    IMAGE_IMPORT_DESCRIPTOR entry{};
    for (std::size_t at = Offset(imports_.VirtualAddress); imports_.Size != 0 && Read(at, &entry) && entry.Name != 0;
         at += sizeof(entry))
      dlls.push_back(Text(Offset(entry.Name)));
    return dlls;
  }

 private:
  template <typename T>
  bool Read(std::size_t offset, T* out) const {
    if (offset > bytes_.size() || sizeof(T) > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, sizeof(T));
    return true;
  }
  // Where the section that holds a loaded address keeps it in the file;
  // past the end when none does.
  std::size_t Offset(DWORD address) const {
    for (const IMAGE_SECTION_HEADER& s : sections_)
      if (address >= s.VirtualAddress && address - s.VirtualAddress < s.SizeOfRawData)
        return s.PointerToRawData + (address - s.VirtualAddress);
    return bytes_.size();
  }
  std::string Text(std::size_t offset) const {
    if (offset >= bytes_.size()) return "";
    return std::string(bytes_.c_str() + offset, strnlen(bytes_.c_str() + offset, bytes_.size() - offset));
  }

  std::string bytes_;
  bool valid_ = false;
  IMAGE_FILE_HEADER file_{};
  IMAGE_DATA_DIRECTORY exports_{}, imports_{};
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

// The shipped plug-in, and the 64-bit one of the stand-in player's test,
// which shows that the reading tells the two apart.
TEST(PluginImageTest, TheShippedPluginIsA32BitDllThatNeedsOnlyWindows) {
  const struct {
    std::string path;
    WORD machine;
  } kCases[] = {
      {testing::ProgramFolder() + "gen_auralith.dll", IMAGE_FILE_MACHINE_I386},
      {testing::PathFromEnvironment("AURALITH_PLUGIN_X64"), IMAGE_FILE_MACHINE_AMD64},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(testing::FileExists(c.path)) << c.path;
    const PeImage image(testing::ReadFile(c.path));
    ASSERT_TRUE(image.valid()) << c.path;
    EXPECT_EQ(image.machine(), c.machine) << c.path;
    EXPECT_TRUE(image.dll()) << c.path;
    // Undecorated: the player asks GetProcAddress for exactly this name.
    EXPECT_THAT(image.ExportedNames(), ::testing::Contains("winampGetGeneralPurposePlugin")) << c.path;
    const std::vector<std::string> dlls = image.ImportedDlls();
    EXPECT_THAT(dlls, ::testing::Contains(::testing::StrCaseEq("kernel32.dll"))) << c.path;
    for (std::string dll : dlls) {
      CharLowerBuffA(dll.data(), static_cast<DWORD>(dll.size()));
      EXPECT_EQ(kSystemDlls.count(dll), 1u) << c.path << " needs " << dll << ", which is not part of Windows";
    }
  }
}

}  // namespace
}  // namespace auralith
