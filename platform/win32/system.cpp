// Ticks and message boxes: thin calls into the active backend.
#include <string>

#include "platform/win32/backend.h"
#include "platform/win32/headless.h"

namespace win32 {

namespace {
Backend* active_backend = nullptr;
}

void use_backend(Backend* b) { active_backend = b; }

Backend& backend() {
  if (active_backend == nullptr) {
    static HeadlessBackend fallback{HeadlessOptions{}};
    return fallback;
  }
  return *active_backend;
}

std::string cp1252_to_utf8(const char* text) {
  // Code points of 0x80..0x9F in Windows-1252; 0 where the code page leaves a hole.
  static const char16_t kHigh[32] = {
      0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
  std::string out;
  if (text == nullptr) return out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    unsigned code = *p;
    if (code >= 0x80 && code < 0xA0) code = kHigh[code - 0x80] ? kHigh[code - 0x80] : 0xFFFD;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace win32

DWORD GetTickCount() { return win32::backend().now_ms(); }

DWORD timeGetTime() { return win32::backend().now_ms(); }

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  win32::backend().message_box(win32::cp1252_to_utf8(text), win32::cp1252_to_utf8(caption));
  return IDOK;
}
