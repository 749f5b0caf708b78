// Window classes, windows and the posted-message queue, with the semantics the
// demo's main loop relies on: one queue for the thread, PostQuitMessage
// delivered once the queue is empty, WM_QUIT ending GetMessageA, WM_CLOSE
// turned into DestroyWindow by DefWindowProcA, and WM_DESTROY sent
// synchronously to the window procedure.
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/backend.h"

namespace win32 {

struct Window {
  std::string class_name;
  std::string title;
  DWORD style = 0;
  WNDPROC procedure = nullptr;
  bool visible = false;
  bool destroyed = false;
};

namespace {

struct WindowClass {
  std::string name;
  UINT style;
  WNDPROC procedure;
  HCURSOR cursor;
};

// The one UI thread's state. Written and read only by that thread.
struct Windowing {
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<Window>> windows;
  std::deque<MSG> queue;
  bool quit_posted = false;
  int quit_code = 0;
  HWND foreground = nullptr;
};

Windowing& windowing() {
  static Windowing w;
  return w;
}

const WindowClass* find_class(const char* name) {
  for (const WindowClass& c : windowing().classes) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

bool is_live(HWND window) {
  for (const auto& w : windowing().windows) {
    if (w.get() == window) return !w->destroyed;
  }
  return false;
}

void pump() {
  Windowing& w = windowing();
  backend().pump_events(w.foreground);
}

// Takes the next message the queue would hand out, without removing it.
bool next_message(MSG* msg) {
  Windowing& w = windowing();
  if (!w.queue.empty()) {
    *msg = w.queue.front();
    return true;
  }
  if (w.quit_posted) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(w.quit_code), 0, GetTickCount(), {0, 0}};
    return true;
  }
  return false;
}

void remove_message() {
  Windowing& w = windowing();
  if (!w.queue.empty()) {
    w.queue.pop_front();
  } else {
    w.quit_posted = false;
  }
}

}  // namespace

void reset_windowing() { windowing() = Windowing{}; }

}  // namespace win32

using win32::windowing;

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpszClassName == nullptr ||
      wc->lpfnWndProc == nullptr || win32::find_class(wc->lpszClassName) != nullptr) {
    return 0;
  }
  windowing().classes.push_back({wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->hCursor});
  return static_cast<ATOM>(0xC000 + windowing().classes.size());
}

HWND CreateWindowExA(DWORD /*ex_style*/, LPCSTR class_name, LPCSTR window_name, DWORD style,
                     int /*x*/, int /*y*/, int /*width*/, int /*height*/, HWND /*parent*/,
                     HMENU /*menu*/, HINSTANCE /*instance*/, void* /*param*/) {
  const win32::WindowClass* c = class_name ? win32::find_class(class_name) : nullptr;
  if (c == nullptr) return nullptr;
  auto window = std::make_unique<win32::Window>();
  window->class_name = c->name;
  window->title = window_name ? window_name : "";
  window->style = style;
  window->procedure = c->procedure;
  window->visible = (style & WS_VISIBLE) != 0;
  HWND handle = window.get();
  windowing().windows.push_back(std::move(window));
  if (handle->visible) windowing().foreground = handle;
  return handle;
}

BOOL ShowWindow(HWND window, int show_command) {
  if (!win32::is_live(window)) return FALSE;
  BOOL was_visible = window->visible ? TRUE : FALSE;
  window->visible = show_command != SW_HIDE;
  if (window->visible) windowing().foreground = window;
  return was_visible;
}

BOOL UpdateWindow(HWND window) { return win32::is_live(window) ? TRUE : FALSE; }

BOOL DestroyWindow(HWND window) {
  if (!win32::is_live(window)) return FALSE;
  window->procedure(window, WM_DESTROY, 0, 0);
  window->destroyed = true;
  window->visible = false;
  if (windowing().foreground == window) windowing().foreground = nullptr;
  // Messages still queued for the window are never delivered.
  auto& q = windowing().queue;
  std::erase_if(q, [window](const MSG& m) { return m.hwnd == window && m.message != WM_QUIT; });
  return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  // Only the stock arrow exists; any non-null value names it.
  return name == IDC_ARROW ? reinterpret_cast<HCURSOR>(1) : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  static HCURSOR current = nullptr;
  HCURSOR previous = current;
  current = cursor;
  win32::backend().show_cursor(cursor != nullptr);
  return previous;
}

HWND GetForegroundWindow() { return windowing().foreground; }

BOOL PeekMessageA(MSG* msg, HWND /*window*/, UINT /*filter_min*/, UINT /*filter_max*/,
                  UINT remove) {
  if (msg == nullptr) return FALSE;
  win32::pump();
  if (!win32::next_message(msg)) return FALSE;
  if (remove & PM_REMOVE) win32::remove_message();
  return TRUE;
}

BOOL GetMessageA(MSG* msg, HWND /*window*/, UINT /*filter_min*/, UINT /*filter_max*/) {
  if (msg == nullptr) return -1;
  win32::pump();
  if (!win32::next_message(msg)) {
    // Nothing is waiting. The demo only calls this after PeekMessageA saw a
    // message, so rather than block a headless run, hand out a null message.
    *msg = MSG{nullptr, WM_NULL, 0, 0, GetTickCount(), {0, 0}};
    return TRUE;
  }
  win32::remove_message();
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || !win32::is_live(msg->hwnd)) return 0;
  return msg->hwnd->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (window != nullptr && !win32::is_live(window)) return FALSE;
  windowing().queue.push_back(MSG{window, message, wparam, lparam, GetTickCount(), {0, 0}});
  return TRUE;
}

void PostQuitMessage(int exit_code) {
  windowing().quit_posted = true;
  windowing().quit_code = exit_code;
}
