// The real Active Desktop. Under Wine the object is created but its methods
// answer E_NOTIMPL; the applier must not care. The applier on the real
// registry and shell is exercised by the installer's test.
#include "platform/win32/win32_desktop_shell.h"

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "support/test_support.h"

namespace auralith {
namespace {

constexpr long kOk = 0;
constexpr long kNotImplemented = static_cast<long>(0x80004001UL);  // E_NOTIMPL

TEST(Win32DesktopShellTest, CreatesAndSurvivesUnimplementedMethods) {
  // Each round on a thread of its own, as the applier's and builder's workers
  // do: COM is initialised and released per thread.
  for (int round = 0; round < 2; ++round) {
    std::thread worker([] {
      Win32DesktopShell shell;
      ASSERT_TRUE(shell.Create());
      shell.SetWallpaper(u"C:\\nowhere\\Auralith.htm");
      EXPECT_TRUE(shell.last_result() == kOk || shell.last_result() == kNotImplemented) << std::hex << shell.last_result();
      int count = 12345;
      const bool counted = shell.GetDesktopItemCount(&count);
      EXPECT_EQ(counted, shell.last_result() >= 0);
      if (!counted) {
        EXPECT_EQ(count, 12345) << "a failed count leaves the caller's value alone";
      }
      shell.ApplyChanges(kApplyAll);
      EXPECT_TRUE(shell.last_result() == kOk || shell.last_result() == kNotImplemented) << std::hex << shell.last_result();
      shell.Release();
      shell.Release();  // a second release is harmless
      // Calls after Release reach no object.
      shell.ApplyChanges(kApplyAll);
      EXPECT_FALSE(shell.GetDesktopItemCount(&count));
      // And the object can be made again on the same thread.
      EXPECT_TRUE(shell.Create());
    });
    worker.join();
  }
}

}  // namespace
}  // namespace auralith
