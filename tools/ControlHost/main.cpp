// ControlHost [ProgID] [file]: hosts one ActiveX control (by default WzAnimatedGif.Flickgem) and
// loads the file given into it, else the file its stored properties name.
#include <string>

#include "ControlHostForm.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"

int main(int argc, char** argv) {
  const std::string progId = argc > 1 ? argv[1] : "WzAnimatedGif.Flickgem";
  try {
    auto form = MakeForm<ControlHostForm>(progId, argc > 2 ? std::string(argv[2]) : std::string());
    form->Show();
    RunMessageLoop();
  } catch (const VBError& e) {
    MsgBox(e.Description() + "\n\nRegister the control's library first: regsvr <library>.so", vbCritical,
           "ControlHost");
    return 1;
  }
  return 0;
}
