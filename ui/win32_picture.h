// Pictures for the Win32 backend: JPEG and BMP files decoded into pixels, and the device
// contexts the backend draws them with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/win32/windows_api.h"

namespace ui::win32 {

// A window's device context (the screen's for a null window), released when it goes.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A decoded picture: top-down rows of 32-bit pixels (blue, green, red, unused).
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> data;
};

// A 32-bit top-down DIB header of that size.
BITMAPINFO TopDownInfo(int width, int height);

// JPEG and BMP files both go through OleLoadPicture, which every Windows since 95 provides, so
// the setup carries no image decoder of its own. nullopt for bytes it cannot decode.
std::optional<Pixels> DecodePicture(std::span<const std::uint8_t> bytes);

}  // namespace ui::win32
