#pragma once
// frmCompOpt: the "Compression Tools" chooser. The user starts one of the compression tools at
// once ("Next") or stores one as the join's default compression method ("Set as Default").
#include <cstdint>
#include <string>

#include "forms/controls.h"
#include "forms/form.h"

class frmCompOpt : public Form {
 public:
  frmCompOpt();

  // The first selected element in the order 0, 1, 3, 4, 5, 6; -1 when none is.
  int16_t SelectedElement();
  // The elements of the option group and the help text each shows.
  static const int16_t kElements[6];
  static const std::string& HelpText(int16_t element);

  CtlArray<OptionButton> Option1{this, "Option1"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<CommandButton> Command3{this, "Command3"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Option1_Click();
  void Command1_Click();
  void Command3_Click();
};
