// Filling a list control with the transition names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/modDexter.h"
#include "forms/controls.h"
#include "forms/form.h"

namespace {

class frmTransitions : public Form {
 public:
  frmTransitions() : Form("frmTransitions") {}

 protected:
  void Design() override {
    Place({
        {"ComboBox", "cmbTransition", -1, "", 120, 120, 2400, 315, ""},
        {"ComboBox", "cmbEmpty", -1, "", 120, 600, 2400, 315, ""},
        {"ListBox", "lstTransition", -1, "", 120, 1080, 2400, 1200, ""},
        {"TextBox", "txtTransition", -1, "", 120, 2400, 2400, 315, ""},
    });
  }
};

std::vector<std::string> Entries(ComboBox& c) {
  std::vector<std::string> out;
  for (int16_t i = 0; i < c.ListCount(); ++i) out.push_back(c.List(i));
  return out;
}

std::vector<std::string> TableNames() {
  std::vector<std::string> out;
  for (const TransitionName& row : TransitionNames) out.push_back(row.DisplayName);
  return out;
}

TEST(FillTransitionCombo, AppendsTheNamesToComboBoxesOnly) {
  auto form = MakeForm<frmTransitions>();
  Ctl<ComboBox> cmbTransition(form.get(), "cmbTransition");
  Ctl<ComboBox> cmbEmpty(form.get(), "cmbEmpty");
  Ctl<ListBox> lstTransition(form.get(), "lstTransition");
  Ctl<TextBox> txtTransition(form.get(), "txtTransition");

  cmbTransition->AddItem("None");
  cmbTransition->AddItem("Custom");
  FillTransitionCombo(&*cmbTransition);
  std::vector<std::string> expected{"None", "Custom"};
  for (const std::string& name : TableNames()) expected.push_back(name);
  EXPECT_EQ(Entries(*cmbTransition), expected);

  FillTransitionCombo(&*cmbEmpty);
  EXPECT_EQ(Entries(*cmbEmpty), TableNames());
  EXPECT_EQ(cmbEmpty->ListCount(), 37);
  EXPECT_EQ(cmbEmpty->List(26), "SMPTE Wipe");

  lstTransition->AddItem("None");
  txtTransition->Text("Fade");
  FillTransitionCombo(&*lstTransition);
  FillTransitionCombo(&*txtTransition);
  FillTransitionCombo(nullptr);
  EXPECT_EQ(lstTransition->ListCount(), 1);
  EXPECT_EQ(txtTransition->Text(), "Fade");
}

}  // namespace
