#pragma once
// modDexter: the main program's timeline engine module. Each piece of the module lives in a
// header of its own and is gathered here.
#include "engine/modDexterTransitions.h"
#include "engine/modDexterCombo.h"
#include "engine/modDexterProbe.h"
#include "engine/modDexterTimeline.h"
