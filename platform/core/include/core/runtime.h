#pragma once
// The runtime's functions: conversions, numbers, text, formatting, dates and times, random numbers.
#include "core/runtime_convert.h"
