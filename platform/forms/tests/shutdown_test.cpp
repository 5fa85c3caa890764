// At the program's end, threads blocked in SendMessage are released and later sends answer 0
// at once: the end never waits on a window thread that no longer pumps.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"

TEST(Shutdown, ReleasesBlockedSendersAndRefusesNewOnes) {
  HWND h = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
  std::atomic<bool> returned{false};
  LRESULT answer = -1;
  std::thread streaming([&] {
    answer = SendMessage(h, WM_USER, 0, 0);
    returned = true;
  });
  // The window thread never pumps; only the end releases the sender.
  while (!returned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    forms_detail::ShutdownMessages();
  }
  streaming.join();
  EXPECT_EQ(answer, 0);
  std::thread late([&] { EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0); });
  late.join();
  EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
  DestroyWindow(h);
}
