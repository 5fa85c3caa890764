#pragma once
// The list filler of modDexter's transition names.
class Control;

// Appends the 37 transition names, in table order, to a combo box (a control whose type name is
// "ComboBox" in any letter case); entries already in the list stay in front, "None" is not
// added. Any other control, and no control, gets nothing. A failure stops the adding at that
// row; nothing is reported.
void FillTransitionCombo(Control* control);
