#pragma once
// The clock behind Timer, Now, Date and Time. Tests replace it to control what time it is.
#include <chrono>
#include <functional>

using ClockFunction = std::function<std::chrono::system_clock::time_point()>;

// Installs a clock; returns the previous one (empty when it was the system clock). An empty
// function restores the system clock.
ClockFunction SetClockForTesting(ClockFunction clock);

// The current time of the installed clock.
std::chrono::system_clock::time_point ClockNow();
