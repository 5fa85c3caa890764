// Message windows, SendMessage across threads, and the handle calls over top-level windows.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "forms/app.h"
#include "forms/hwnd.h"
#include "forms_test_support.h"

namespace {
constexpr UINT kWatch = 0x471;
}

TEST(Messages, SameThreadSendCallsTheProcedureAtOnce) {
  std::vector<UINT> seen;
  HWND h = CreateMessageWindow([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    seen.push_back(msg);
    return static_cast<LRESULT>(w) + l;
  });
  EXPECT_EQ(SendMessage(h, WM_USER, 40, 2), 42);
  EXPECT_EQ(seen, std::vector<UINT>{WM_USER});
  EXPECT_TRUE(DestroyWindow(h));
  EXPECT_EQ(seen.back(), WM_DESTROY);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(SendMessage(h, WM_USER, 1, 1), 0) << "a send to a destroyed window does nothing";
  EXPECT_FALSE(PostMessage(h, WM_USER, 1, 1));
}

TEST(Messages, CrossThreadSendBlocksUntilTheWindowThreadPumps) {
  std::atomic<int> handledOnMain{0};
  std::thread::id mainId = std::this_thread::get_id();
  HWND h = CreateMessageWindow([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == kWatch && std::this_thread::get_id() == mainId) ++handledOnMain;
    return static_cast<LRESULT>(w) * 2;
  });
  std::atomic<bool> returned{false};
  LRESULT answer = 0;
  std::thread streaming([&] {
    answer = SendMessage(h, kWatch, 21, 0);
    returned = true;
  });
  // Nothing handles the message until the window thread lets messages through.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
  streaming.join();
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(handledOnMain.load(), 1);
  DestroyWindow(h);
}

TEST(Messages, AWaitThatPumpsSentMessagesDoesNotBlockTheSender) {
  // The window thread waits for a worker that first reports through a synchronous send (a
  // streaming thread stopped by its graph's owner).
  std::atomic<int> handled{0};
  HWND h = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return ++handled; });
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    SendMessage(h, kWatch, 0, 0);
    finished = true;
  });
  while (!finished) {
    PumpSentMessages();  // no event loop here: only the sent messages are handled
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(handled.load(), 1);
  DestroyWindow(h);
}

TEST(Messages, ManySendersAreAllAnswered) {
  std::atomic<int> handled{0};
  HWND h = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
    ++handled;
    return static_cast<LRESULT>(w);
  });
  std::vector<std::thread> senders;
  std::atomic<int> sum{0};
  for (int i = 1; i <= 8; ++i) {
    senders.emplace_back([&, i] { sum += static_cast<int>(SendMessage(h, WM_USER, static_cast<WPARAM>(i), 0)); });
  }
  EXPECT_TRUE(PumpUntil([&] { return handled.load() == 8; }));
  for (auto& t : senders) t.join();
  EXPECT_EQ(sum.load(), 36);
  DestroyWindow(h);
}

TEST(Messages, DestroyingTheWindowReleasesAWaitingSender) {
  HWND h = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 7; });
  std::atomic<bool> returned{false};
  LRESULT answer = -1;
  std::thread sender([&] {
    answer = SendMessage(h, WM_USER, 0, 0);
    returned = true;
  });
  // Wait until the message is queued (the sender blocks), then destroy without pumping.
  while (!returned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (DestroyWindow(h)) break;
  }
  sender.join();
  EXPECT_EQ(answer, 0);
}

TEST(Messages, PostedMessagesRunInTheNextDoEvents) {
  std::vector<WPARAM> seen;
  HWND h = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
    seen.push_back(w);
    return 0;
  });
  EXPECT_TRUE(PostMessage(h, WM_USER, 1, 0));
  EXPECT_TRUE(PostMessage(h, WM_USER, 2, 0));
  EXPECT_TRUE(seen.empty());
  DoEvents();
  EXPECT_EQ(seen, (std::vector<WPARAM>{1, 2}));
  DestroyWindow(h);
}

TEST(Messages, FindWindowAndWalkTopLevelWindows) {
  HWND a = CreateMessageWindow(nullptr, "First Window");
  HWND b = CreateMessageWindow(nullptr, "Second Window");
  EXPECT_EQ(FindWindow(nullptr, "Second Window"), b);
  EXPECT_EQ(FindWindow("AnyClass", "First Window"), a);
  EXPECT_EQ(FindWindow(nullptr, "Nobody"), 0u);
  EXPECT_EQ(GetWindowText(a), "First Window");
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
  EXPECT_TRUE(SetWindowText(a, "Renamed"));
  EXPECT_EQ(FindWindow(nullptr, "Renamed"), a);
  EXPECT_EQ(FindWindow(nullptr, nullptr), TopLevelWindows().front()) << "no caption: the first window";
  DestroyWindow(a);
  DestroyWindow(b);
  EXPECT_EQ(FindWindow(nullptr, "Second Window"), 0u);
}

TEST(Messages, DefaultProcedureKeepsTheCaptionAndCloses) {
  std::vector<UINT> seen;
  // A procedure that looks at every message and leaves the rest to the default procedure.
  HWND h = CreateMessageWindow(
      [&](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        seen.push_back(msg);
        return DefWindowProc(hwnd, msg, w, l);
      },
      "Notify");
  char buf[16] = {};
  EXPECT_EQ(SendMessage(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 6);
  EXPECT_STREQ(buf, "Notify");
  EXPECT_EQ(SendMessage(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed")), 1);
  EXPECT_EQ(GetWindowText(h), "Renamed");
  EXPECT_EQ(SendMessage(h, WM_USER + 113, 0, 0), 0);
  SendMessage(h, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_GETTEXT, WM_SETTEXT, WM_USER + 113, WM_CLOSE, WM_DESTROY}));
}
