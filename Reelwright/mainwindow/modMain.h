#pragma once
// modMain: the program's start procedure Main and its road to the main window.
#include <functional>

class Form;

// The start: the program folder becomes the current folder, the splash window is loaded (then
// given its picture's width, keeping its left edge), shown, and waited for until it is visible;
// after a pause of two seconds the main window is loaded (its own load shows it). Any failure
// ends Main quietly, with nothing further loaded; the splash's watchdog then reports a main
// window that never became visible. The command line is not read.
void Main();

// The main window Main loads and the splash's watchdog looks at. The storyboard window registers
// itself here; until one is registered there is no main window, so Main ends at its last step as
// it does when the main window cannot be created, and the watchdog finds no visible main window.
void SetMainWindow(std::function<Form&()> mainWindow);
// The registered main window (made on first use); nullptr while none is registered.
Form* MainWindow();
