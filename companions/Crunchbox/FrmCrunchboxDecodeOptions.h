#pragma once
// FrmCrunchboxDecodeOptions: brightness, saturation, contrast, scalability and access key of the
// IV50 decoding of the clip open in the main window; Apply commits them and the main window draws
// the first frame again.
#include <string>

#include "core/unknown.h"
#include "forms/comctl.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "iv50/iv50.h"

class FrmCrunchboxDecodeOptions : public Form {
 public:
  FrmCrunchboxDecodeOptions();

  // Loads the controls from g_CrunchboxDecodeOA.
  void InitForm();

  ComPtr<IV50DecodeOptions> g_CrunchboxDecodeOA;
  // Set by Apply, never cleared.
  bool bok = false;

  // The percentage label of a slider value (0 .. 510).
  static std::string Percentage(int32_t value);

  Ctl<Slider> Brightness{this, "Brightness"};
  Ctl<Label> BSet{this, "BSet"};
  Ctl<Slider> Saturation{this, "Saturation"};
  Ctl<Label> SSet{this, "SSet"};
  Ctl<Slider> Contrast{this, "Contrast"};
  Ctl<Label> CSet{this, "CSet"};
  Ctl<ComboBox> Scalability{this, "Scalability"};
  Ctl<CheckBox> AKEnabled{this, "AKEnabled"};
  Ctl<TextBox> AccessKey{this, "AccessKey"};
  Ctl<CommandButton> Default{this, "Default"};
  Ctl<CommandButton> Set{this, "Set"};

 protected:
  void Design() override;

 private:
  std::string accessKeyText_;
};
