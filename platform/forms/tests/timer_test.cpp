// Timer rules: Interval 0 never ticks, Enabled False stops ticking, setting Interval restarts the
// count, a running Timer handler is not entered again. Loops are bounded by deadlines and assert
// on counts, never on timing precision.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms_test_support.h"
#include "hang_guard.h"

using namespace std::chrono_literals;

namespace {

struct TimerForm : TestForm {
  explicit TimerForm(int32_t interval, bool enabled = true)
      : TestForm("frmTimer", [interval, enabled](TestForm& f) {
          f.Place({{"Timer", "tmrTick", -1, "", 0, 0, 0, 0, "",
                    {{"Interval", Variant(interval)}, {"Enabled", Variant(enabled)}}}});
        }) {
    On("tmrTick_Timer", [this] { ++ticks; });
  }
  Ctl<TimerControl> tmrTick{this, "tmrTick"};
  int ticks = 0;
};

// Lets events run for a while (whatever the clock does, the loop ends).
void PumpFor(std::chrono::milliseconds d) {
  auto end = std::chrono::steady_clock::now() + d;
  while (std::chrono::steady_clock::now() < end) {
    DoEvents();
    std::this_thread::sleep_for(1ms);
  }
}

}  // namespace

TEST(TimerControl, TicksWhileEnabledWithAnInterval) {
  TimerForm f(5);
  PumpFor(50ms);
  EXPECT_EQ(f.ticks, 0) << "timers of a form that is not loaded do not tick";
  f.Load();
  EXPECT_TRUE(PumpUntil([&] { return f.ticks >= 3; }));
  f.tmrTick->Enabled(false);
  int stopped = f.ticks;
  PumpFor(100ms);
  EXPECT_EQ(f.ticks, stopped) << "a disabled timer does not tick";
  f.tmrTick->Enabled(true);
  EXPECT_TRUE(PumpUntil([&] { return f.ticks > stopped; }));
}

TEST(TimerControl, IntervalZeroNeverTicks) {
  TimerForm f(0);
  f.Load();
  PumpFor(150ms);
  EXPECT_EQ(f.ticks, 0);
  f.tmrTick->Interval(5);
  EXPECT_TRUE(PumpUntil([&] { return f.ticks >= 1; }));
  f.tmrTick->Interval(0);
  int stopped = f.ticks;
  PumpFor(100ms);
  EXPECT_EQ(f.ticks, stopped);
}

TEST(TimerControl, SettingTheIntervalRestartsTheCount) {
  TimerForm f(400);
  f.Load();
  // Re-set the interval far more often than it could elapse, for three intervals: the count
  // starts again each time, so the timer never reaches a tick. A round in which this thread was
  // held for a whole interval between two re-sets (a busy machine) proves nothing either way and
  // is made again.
  {
    HangGuard guard("re-setting a timer's interval");
    for (bool held = true; held;) {
      held = false;
      f.ticks = 0;
      f.tmrTick->Interval(400);
      const auto start = std::chrono::steady_clock::now();
      auto last = start;
      while (last - start < 1200ms) {
        PumpFor(20ms);
        f.tmrTick->Interval(400);
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= 400ms) held = true;
        last = now;
      }
    }
  }
  EXPECT_EQ(f.ticks, 0);
  EXPECT_TRUE(PumpUntil([&] { return f.ticks >= 1; })) << "left alone it ticks";
}

TEST(TimerControl, HandlerIsNotReenteredFromItsOwnDoEvents) {
  TimerForm f(2);
  int depth = 0, maxDepth = 0, calls = 0;
  f.On("tmrTick_Timer", [&] {
    ++calls;
    maxDepth = std::max(maxDepth, ++depth);
    PumpFor(20ms);
    --depth;
  });
  f.Load();
  EXPECT_TRUE(PumpUntil([&] { return calls >= 3; }));
  EXPECT_EQ(maxDepth, 1);
}

// Unloaded from the top, or inside another form's handler while a nested loop runs (the
// unloaded controls then wait to be deleted until no handler runs): no tick of the unloaded
// form reaches its handler. A second timer of the same interval, started after, tells that
// the first would have ticked several times.
TEST(TimerControl, UnloadingTheFormStopsItsTimers) {
  for (const bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "inside a handler" : "from the top");
    TimerForm f(2);
    f.Load();
    EXPECT_TRUE(PumpUntil([&] { return f.ticks >= 1; }));
    int after = -1;
    TimerForm probe(2, false);
    auto unloadAndWait = [&] {
      f.Unload();
      after = f.ticks;
      probe.Load();
      probe.tmrTick->Enabled(true);
      EXPECT_TRUE(PumpUntil([&] { return probe.ticks >= 5; }));
    };
    if (nested) {
      TestForm other("frmOther", [](TestForm&) {});
      other.On("Form_Click", [&] { unloadAndWait(); });
      other.Load();
      EventArgs none;
      other.RaiseEvent("Form_Click", none);
      other.Unload();
    } else {
      unloadAndWait();
    }
    EXPECT_EQ(f.ticks, after);
    probe.Unload();
  }
}
