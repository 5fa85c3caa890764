#pragma once
// The profile lists of the batch encoder's windows.
#include "forms/controls.h"

namespace kilnhand {
// Appends the name of every profile the encoder offers, in order, and shows "Wz Movie Tools
// 320X240" when it is among them, else the first. A failure of the encoder is raised after the
// names read so far are in the list (the box's text is then left as it was).
void FillProfileList(ComboBox& box);
}  // namespace kilnhand
