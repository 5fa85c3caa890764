#pragma once
// The runtime's functions: conversions, numbers, text, formatting, dates and times, random numbers.
#include "core/clock.h"
#include "core/runtime_convert.h"
#include "core/runtime_datetime.h"
#include "core/runtime_format.h"
#include "core/runtime_math.h"
#include "core/runtime_strings.h"
