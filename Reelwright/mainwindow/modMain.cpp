#include "mainwindow/modMain.h"

#include "core/error.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/form.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmSplash.h"
#include "shell/files.h"

namespace {
std::function<Form&()>& MainWindowRoad() {
  static std::function<Form&()> road;
  return road;
}
}  // namespace

void SetMainWindow(std::function<Form&()> mainWindow) { MainWindowRoad() = std::move(mainWindow); }

Form* MainWindow() {
  auto& road = MainWindowRoad();
  return road ? &road() : nullptr;
}

void Main() {
  // Any failure is cleared and Main returns at once.
  EndQuietly([] {
    ChDir(App().Path());
    frmSplash& splash = DefaultForm<frmSplash>();
    splash.Load();
    splash.Width(splash.Picture1->Width());
    splash.Show(vbModeless);
    while (!splash.Visible()) DoEvents();
    Pause(2);
    Form* show = MainWindow();
    if (!show) Raise(vbErrCantCreateObject, "The main window cannot be created", "Main");
    show->Load();
  });
  Err().Clear();
}
