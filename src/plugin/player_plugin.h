#pragma once

#include <windows.h>

// The player's general-purpose plug-in header, as its published SDK declares
// it. The host fills hwndParent and hDllInstance before it calls init.
struct winampGeneralPurposePlugin {
  int version;
  char* description;
  int (*init)();
  void (*config)();
  void (*quit)();
  HWND hwndParent;
  HINSTANCE hDllInstance;
};
