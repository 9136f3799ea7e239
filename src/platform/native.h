#pragma once

// The platform's own implementations of the core's interfaces, under one name
// each, for the programs and the tests that run on either platform.
#ifdef _WIN32
#include "platform/win32/win32_desktop_shell.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry_store.h"
namespace auralith {
using NativeFileSystem = Win32FileSystem;
using NativeRegistryStore = Win32RegistryStore;
// The Active Desktop needs nothing of ours; the registry argument keeps one
// way of making a shell on both platforms.
class NativeDesktopShell : public Win32DesktopShell {
 public:
  explicit NativeDesktopShell(RegistryStore&) {}
};
}  // namespace auralith
#else
#include "platform/posix/file_registry_store.h"
#include "platform/posix/posix_desktop_shell.h"
#include "platform/posix/posix_file_system.h"
namespace auralith {
using NativeFileSystem = PosixFileSystem;
// The file-backed registry in its usual folder ($AURALITH_REGISTRY_DIR, else
// the XDG configuration folder).
class NativeRegistryStore : public FileRegistryStore {
 public:
  NativeRegistryStore() : FileRegistryStore(DefaultFolder()) {}
};
using NativeDesktopShell = PosixDesktopShell;
}  // namespace auralith
#endif
