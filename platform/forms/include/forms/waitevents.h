#pragma once
// A DoEvents that sleeps until something happens: for loops that wait on another thread's
// progress (an encoder posting its state changes) without spinning a core.
#include <cstdint>

// Waits until a window message, timer, input or cross-thread message arrives (at most
// maxMilliseconds), handles everything pending like DoEvents, and returns the number of loaded
// forms.
int16_t DoEventsWaiting(int32_t maxMilliseconds);
