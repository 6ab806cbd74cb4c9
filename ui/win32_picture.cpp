#include "ui/win32_picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>

namespace ui::win32 {

namespace {

// A COM interface pointer released when it goes out of scope.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T** Out() { return &p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

std::optional<Pixels> DecodePicture(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return std::nullopt;
  if (void* target = GlobalLock(memory)) {
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(target));
    GlobalUnlock(memory);
  } else {
    GlobalFree(memory);
    return std::nullopt;
  }
  ComRef<IStream> stream;
  // The stream owns the memory from here on and frees it on its last release.
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Out()))) {
    GlobalFree(memory);
    return std::nullopt;
  }
  ComRef<IPicture> picture;
  if (FAILED(OleLoadPicture(stream.operator->(), static_cast<LONG>(bytes.size()), FALSE,
                            IID_IPicture, reinterpret_cast<void**>(picture.Out())))) {
    return std::nullopt;
  }
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle))) {
    return std::nullopt;
  }
  // The bitmap belongs to the picture object; its pixels are copied out before it goes.
  HBITMAP bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
  BITMAP info = {};
  if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
    return std::nullopt;
  }
  Pixels pixels;
  pixels.width = info.bmWidth;
  pixels.height = info.bmHeight;
  pixels.data.resize(static_cast<std::size_t>(pixels.width) * pixels.height);
  BITMAPINFO dib = TopDownInfo(pixels.width, pixels.height);
  WindowDc screen(nullptr);
  if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(pixels.height), pixels.data.data(), &dib,
                DIB_RGB_COLORS) != pixels.height) {
    return std::nullopt;
  }
  return pixels;
}

}  // namespace ui::win32
