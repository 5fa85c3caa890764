#pragma once
// The filter graph platform: media types, filter and graph interfaces, class identifiers,
// device enumeration.
#include "dshow/devenum.h"
#include "dshow/interfaces.h"
#include "dshow/mediatype.h"
#include "dshow/uuids.h"
