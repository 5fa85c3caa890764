#include "engine/modDexterCombo.h"

#include <strings.h>

#include "core/error.h"
#include "engine/modDexterTransitions.h"
#include "forms/controls.h"

void FillTransitionCombo(Control* control) {
  EndQuietly([&] {
    if (!control || strcasecmp(control->TypeName().c_str(), "ComboBox") != 0) return;
    auto* combo = dynamic_cast<ComboBox*>(control);
    if (!combo) return;
    for (const TransitionName& row : TransitionNames) combo->AddItem(row.DisplayName);
  });
  Err().Clear();
}
