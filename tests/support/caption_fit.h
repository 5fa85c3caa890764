#pragma once
// Captions that need more room than their control gives them, measured as this desktop draws
// them: a label's text wrapped at the label's width as the label wraps it, a command button's
// text inside its frame, a check box's or option button's text beside its indicator, a frame's
// title inside the frame's width, a message box's text inside its box. Each entry names the control and says what it needs and has.
//
//   Form& f = ...; f.Load();
//   EXPECT_EQ(fit::CutCaptions(f), std::vector<std::string>{});
#include <string>
#include <vector>

#include "forms/hwnd.h"

class Form;
class QGroupBox;
class QRect;
class QWidget;

namespace fit {

// The form's controls (and those of the controls it hosts); `exempt` names controls whose text is
// data rather than a caption (a file's path).
std::vector<std::string> CutCaptions(Form& form, const std::vector<std::string>& exempt = {});
// Any window of the process and what it holds (a property frame, a dialog).
std::vector<std::string> CutCaptionsIn(HWND window, const std::vector<std::string>& exempt = {});
// A window handed over before it shows (a dialog given to a presenter): shown, so that its
// layouts place its controls, measured as above with its title in a title bar and any two shown
// controls of one container drawn over each other, and hidden again when it was hidden.
std::vector<std::string> CutCaptionsShown(QWidget& window, const std::vector<std::string>& exempt = {});
// Where the desktop's style draws a frame's title, in the frame's coordinates.
QRect FrameTitleRect(const QGroupBox& frame);

}  // namespace fit
