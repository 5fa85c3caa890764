// ControlHost [ProgID] [file]: hosts one ActiveX control (by default WzAnimatedGif.Flickgem) and
// loads the file given into it, else the file its stored properties name. A lone argument that
// names a file is the file to load.
#include <cstdio>
#include <string>
#include <vector>

#include "ControlHostForm.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"

int main(int argc, char** argv) {
  const ControlHostCommand command = ReadControlHostCommand(std::vector<std::string>(argv + 1, argv + argc));
  if (command.help || command.wrong) {
    std::fputs(kControlHostUsage, command.help ? stdout : stderr);
    return command.help ? 0 : 1;
  }
  try {
    auto form = MakeForm<ControlHostForm>(command.progId, command.file);
    form->Show();
    RunMessageLoop();
  } catch (const VBError& e) {
    MsgBox(e.Description() + "\n\nRegister the control's library first: regsvr <library>.so", vbCritical,
           "ControlHost");
    return 1;
  }
  return 0;
}
