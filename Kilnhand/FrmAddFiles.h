#pragma once
// "Add Batch Items": one input file, an optional output file and a profile for a new queue row.
#include <string>

#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"

class FrmAddFiles : public Form {
 public:
  FrmAddFiles();
  // The results, kept after the window unloads; emptied at each load.
  std::string GetInputFile() const { return input_; }
  std::string GetOutputFile() const { return output_; }
  std::string GetProfile() const { return profile_; }

  Ctl<TextBox> TxtInput{this, "TxtInput"};
  Ctl<TextBox> TxtOutput{this, "TxtOutput"};
  Ctl<ComboBox> CmbProfile{this, "CmbProfile"};
  Ctl<CommonDialog> DlgInOut{this, "DlgInOut"};

 protected:
  void Design() override;

 private:
  void FormLoad();
  void Browse(int16_t index);
  void Analyse();
  void Ok();
  std::string input_, output_, profile_;
};

FrmAddFiles& TheAddFiles();
