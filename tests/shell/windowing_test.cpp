// The message semantics the main loop relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/backend.h"
#include "platform/win32/headless.h"

namespace {

std::vector<std::string> seen;

LRESULT CALLBACK recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  seen.push_back(std::to_string(message) + ":" + std::to_string(wparam));
  if (message == WM_DESTROY) PostQuitMessage(7);
  return DefWindowProcA(window, message, wparam, lparam);
}

class Windowing : public testing::Test {
 protected:
  void SetUp() override {
    win32::reset_windowing();
    win32::use_backend(&backend_);
    seen.clear();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = recording_proc;
    wc.lpszClassName = "Test";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "Test", "Test", WS_VISIBLE, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    win32::use_backend(nullptr);
    win32::reset_windowing();
  }
  // Runs the loop the demo runs, without drawing, until GetMessageA says quit.
  int pump_all() {
    MSG msg{};
    for (int passes = 0; passes < 100; ++passes) {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!GetMessageA(&msg, nullptr, 0, 0)) return static_cast<int>(msg.wParam);
        DispatchMessageA(&msg);
      }
    }
    return -1;
  }

  win32::HeadlessBackend backend_{win32::HeadlessOptions{}};
  HWND window_ = nullptr;
};

TEST_F(Windowing, AClassIsRegisteredOnceAndOnlyWithTheRightRecordSize) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = recording_proc;
  wc.lpszClassName = "Test";
  EXPECT_EQ(RegisterClassExA(&wc), 0);  // taken
  wc.lpszClassName = "Other";
  wc.cbSize = sizeof wc - 8;
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc.cbSize = sizeof wc;
  EXPECT_NE(RegisterClassExA(&wc), 0);
}

TEST_F(Windowing, CloseBecomesDestroyAndTheQuitMessageComesAfterQueuedOnes) {
  PostMessageA(window_, WM_KEYDOWN, 'A', 0);
  PostMessageA(window_, WM_CLOSE, 0, 0);
  PostMessageA(window_, WM_KEYDOWN, 'B', 0);  // for a window that will be gone
  EXPECT_EQ(pump_all(), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"256:65", "16:0", "2:0"}));
}

TEST_F(Windowing, APostedQuitMessageEndsGetMessageInQueueOrder) {
  PostMessageA(window_, WM_QUIT, 3, 0);
  PostMessageA(window_, WM_KEYDOWN, 'C', 0);
  EXPECT_EQ(pump_all(), 3);
  EXPECT_TRUE(seen.empty());
}

TEST_F(Windowing, PeekWithoutRemoveLeavesTheMessageForGet) {
  PostMessageA(window_, WM_KEYDOWN, 'D', 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('D'));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(MessageText, WindowsCodePageBecomesUtf8) {
  EXPECT_EQ(win32::cp1252_to_utf8("APUA P\xC4\xC4\xC4\xC4\xC4\xC4\xC4!!"),
            "APUA P\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4!!");
  EXPECT_EQ(win32::cp1252_to_utf8("\x80 \x9F \xFF"), "\u20AC \u0178 \u00FF");
  EXPECT_EQ(win32::cp1252_to_utf8("\x81"), "\uFFFD");
  EXPECT_EQ(win32::cp1252_to_utf8(nullptr), "");
}

}  // namespace
