// The Windows test binaries' entry: the shell link object needs COM on this thread, as the setup
// program initialises it at start-up.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(::CoInitialize(nullptr))) return 3;
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
