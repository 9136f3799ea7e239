// The shipped gen_auralith.dll is 32-bit, which this Wine cannot load, so it
// is read as the player's loader reads it: machine, entry point and DLLs.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

// Windows' own DLLs; the compiler's run-time DLLs are not in the player's folder.
const std::set<std::string> kSystemDlls = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                                           "kernel32.dll", "msvcrt.dll",   "ole32.dll",    "oleaut32.dll",
                                           "shell32.dll",  "shlwapi.dll",  "user32.dll",   "ucrtbase.dll"};

// The loader's own header readers, which take a PE32 file's bytes in a 64-bit process.
template <typename Function>
Function FromNtdll(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}
const auto NtHeader = FromNtdll<IMAGE_NT_HEADERS*(WINAPI*)(void*)>("RtlImageNtHeader");
const auto DirectoryEntry = FromNtdll<void*(WINAPI*)(void*, BOOLEAN, USHORT, ULONG*)>("RtlImageDirectoryEntryToData");
const auto RvaToVa = FromNtdll<void*(WINAPI*)(IMAGE_NT_HEADERS*, void*, ULONG, void*)>("RtlImageRvaToVa");

TEST(PluginImageTest, TheShippedPluginIsA32BitDllThatNeedsOnlyWindows) {
  std::string bytes = testing::ReadFile(testing::ProgramFolder() + "gen_auralith.dll");
  void* base = bytes.data();
  IMAGE_NT_HEADERS* nt = bytes.empty() ? nullptr : NtHeader(base);
  ASSERT_NE(nt, nullptr);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_NE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
  auto text = [&](DWORD rva) { return static_cast<const char*>(RvaToVa(nt, base, rva, nullptr)); };

  ULONG size = 0;
  const auto* exports =
      static_cast<IMAGE_EXPORT_DIRECTORY*>(DirectoryEntry(base, FALSE, IMAGE_DIRECTORY_ENTRY_EXPORT, &size));
  ASSERT_NE(exports, nullptr);
  const auto* names = static_cast<const DWORD*>(RvaToVa(nt, base, exports->AddressOfNames, nullptr));
  std::vector<std::string> exported;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) exported.push_back(text(names[i]));
  // Undecorated: the player asks GetProcAddress for exactly this name.
  EXPECT_THAT(exported, ::testing::Contains("winampGetGeneralPurposePlugin"));

  std::vector<std::string> dlls;
  for (const auto* entry =
           static_cast<IMAGE_IMPORT_DESCRIPTOR*>(DirectoryEntry(base, FALSE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size));
       entry && entry->Name != 0; ++entry) {
    std::string dll = text(entry->Name);
    CharLowerBuffA(dll.data(), static_cast<DWORD>(dll.size()));
    dlls.push_back(dll);
    EXPECT_EQ(kSystemDlls.count(dll), 1u) << "needs " << dll << ", which is not part of Windows";
  }
  EXPECT_THAT(dlls, ::testing::Contains("kernel32.dll"));
}

}  // namespace
}  // namespace auralith
