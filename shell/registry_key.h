// A registry key opened for one call of the shell helpers; closed on every path out of it.
#pragma once

#include "platform/os.h"

namespace shell {

class KeyGuard {
 public:
  KeyGuard() = default;
  ~KeyGuard() {
    if (key_ != 0) platform::CurrentOs().RegCloseKey(key_);
  }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;
  platform::Handle* out() { return &key_; }
  platform::Handle get() const { return key_; }

 private:
  platform::Handle key_ = 0;
};

}  // namespace shell
