#pragma once
// frmOptions: the "Options" window where the user edits the main program's settings (transitions,
// still delay, compression tool, image editor, output folder, program and message switches). Its
// load reads every setting it shows and refreshes the matching globals; "Save and Exit" writes
// them back, updates the globals, the storyboard's tiles and the main window, and closes.
#include <string>

#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "options/modOptions.h"

class frmOptions : public Form {
 public:
  frmOptions();

  // Refills List2 with the registered filters whose name contains "video".
  void RefreshRegFilters();

  Ctl<CheckBox> Check1{this, "Check1"};
  Ctl<ComboBox> Combo1{this, "Combo1"};
  Ctl<ListBox> List1{this, "List1"};
  Ctl<ListBox> lstDelay{this, "lstDelay"};
  CtlArray<OptionButton> Option1{this, "Option1"};
  Ctl<ListBox> List2{this, "List2"};
  Ctl<CheckBox> chkProject{this, "chkProject"};
  Ctl<CheckBox> chkResize{this, "chkResize"};
  Ctl<CheckBox> Check5{this, "Check5"};
  Ctl<CheckBox> Check4{this, "Check4"};
  Ctl<CheckBox> Check3{this, "Check3"};
  Ctl<CheckBox> Check2{this, "Check2"};
  Ctl<ComboBox> Combo2{this, "Combo2"};
  Ctl<TextBox> Text1{this, "Text1"};
  Ctl<CommandButton> Command3{this, "Command3"};
  Ctl<TextBox> Text2{this, "Text2"};
  Ctl<CommandButton> Command4{this, "Command4"};
  Ctl<CheckBox> chkTips{this, "chkTips"};
  Ctl<CheckBox> chkShowDivX{this, "chkShowDivX"};
  Ctl<ListBox> List3{this, "List3"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

  // The values of the two number lists (a text none of their lines has is kept).
  std::string DelayValue() { return delay_.Get(*lstDelay); }
  std::string TransitionTimeValue() { return transitionTime_.Get(*List1); }

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Command1_Click();
  void ListsClicked(bool delayClicked);
  void EnableTransitionControls();

  ComPtr<IMediaControl> m_objFilgraph;
  ComPtr<IAMCollection> m_objRegFilters;
  modOptions::ListValue delay_;
  modOptions::ListValue transitionTime_;
};
