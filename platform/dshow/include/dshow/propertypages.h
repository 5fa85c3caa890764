#pragma once
// The property page interfaces (com/propertypages.h) and the frame that shows a filter's pages
// (forms/propertyframe.h), as the filters' callers know them.
#include "com/propertypages.h"
#include "dshow/interfaces.h"
#include "forms/propertyframe.h"
