// The real Active Desktop. Under Wine the object is created but its methods
// answer E_NOTIMPL; the applier must not care. The applier on the real
// registry and shell is exercised by the installer's test.
#include "platform/win32/win32_desktop_shell.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/native.h"

namespace auralith {
namespace {

TEST(Win32DesktopShellTest, CreatesAndSurvivesUnimplementedMethods) {
  // On a thread of its own, as the applier's and builder's workers use it:
  // COM is initialised and released per thread.
  for (int round = 0; round < 2; ++round) {
    std::thread([] {
      constexpr long kNotImplemented = static_cast<long>(0x80004001UL);
      Win32DesktopShell shell;
      ASSERT_TRUE(shell.Create());
      shell.SetWallpaper(u"C:\\nowhere\\Auralith.htm");
      EXPECT_TRUE(shell.last_result() == 0 || shell.last_result() == kNotImplemented)
          << std::hex << shell.last_result();
      int count = 12345;
      const bool counted = shell.GetDesktopItemCount(&count);
      EXPECT_EQ(counted, shell.last_result() >= 0);
      if (!counted) {
        EXPECT_EQ(count, 12345) << "a failed count leaves the caller's value alone";
      }
      shell.ApplyChanges(kApplyAll);
      EXPECT_TRUE(shell.last_result() == 0 || shell.last_result() == kNotImplemented)
          << std::hex << shell.last_result();
      shell.Release();
      shell.Release();  // a second release is harmless
      EXPECT_FALSE(shell.GetDesktopItemCount(&count)) << "no object after Release";
      EXPECT_TRUE(shell.Create());
    }).join();
  }
}

}  // namespace
}  // namespace auralith
