#pragma once
// frmEncode: the media encoder's front end. The "Configure" tab holds the encoder's five
// configuration pages in a property-page shell, the "Encoder" tab its statistics page; OK (or
// leaving the "Configure" tab) applies the pages, Start and Stop run the encoder.
#include "core/unknown.h"
#include "forms/comctl.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "wmenc/wmenc.h"

class frmEncode : public Form {
 public:
  frmEncode();

  // The window's encoder, created on first use.
  IWMEncoder* objEncoder();
  // The encoder "OK" uses.
  ComPtr<IWMEncoder> EncoderMain() const { return encoderMain_; }
  void EncoderMain(const ComPtr<IWMEncoder>& vNewValue) { encoderMain_ = vNewValue; }

  // Whether Form_Load ended at a failure (the window is then not shown).
  bool loadFailed = false;

  void CmdOk_Click();

  Ctl<SSTab> SSTab1{this, "SSTab1"};
  Ctl<CommandButton> CmdOk{this, "CmdOk"};
  Ctl<CommandButton> cmdCancel{this, "cmdCancel"};
  Ctl<CommandButton> CmdConfigure{this, "CmdConfigure"};
  Ctl<CommandButton> CmdStart{this, "CmdStart"};
  Ctl<CommandButton> CmdStop{this, "CmdStop"};
  Ctl<CommandButton> CmdExit{this, "CmdExit"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Form_Unload();
  void SSTab1_Click(int16_t PreviousTab);
  IDispatch* Shell(const char* name);
  ComPtr<IWMEncoder> encoder_;
  ComPtr<IWMEncoder> encoderMain_;
};
