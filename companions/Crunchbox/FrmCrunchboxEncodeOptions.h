#pragma once
// FrmCrunchboxEncodeOptions: the output file and the IV50 encode options of a compression. It
// builds the compression graph (source, AVI splitter, a tee whose first branch previews in the
// main window, the IV50 compressor, AVI mux, file writer), binds its controls to the codec's
// encode options and runs the compression; the main window gets the output back when it unloads.
#include <string>

#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "iv50/iv50.h"

class FrmCrunchboxEncodeOptions : public Form {
 public:
  FrmCrunchboxEncodeOptions();

  // Builds the compression graph and loads the controls from its encode options.
  void InitForm();
  // Unloads the window (and with it the compression graph).
  void OK_Click();
  void Encode_Click();

  ComPtr<IMediaControl> g_objMCEnc;
  ComPtr<IV50EncodeOptions> g_CrunchboxEncodeOA;

  Ctl<TextBox> OutFile{this, "OutFile"};
  Ctl<CommandButton> BrowseBTN{this, "BrowseBTN"};
  Ctl<TextBox> KeyFrameRate{this, "KeyFrameRate"};
  Ctl<CheckBox> DREnable{this, "DREnable"};
  Ctl<TextBox> DataRate{this, "DataRate"};
  Ctl<CheckBox> Scalability{this, "Scalability"};
  Ctl<CheckBox> QuickCompress{this, "QuickCompress"};
  Ctl<Label> TLabel{this, "TLabel"};
  Ctl<ComboBox> Transparency{this, "Transparency"};
  Ctl<Frame> AccessKeyFrame{this, "AccessKeyFrame"};
  Ctl<CheckBox> AKEnabled{this, "AKEnabled"};
  Ctl<Label> Key{this, "Key"};
  Ctl<TextBox> AccessKey{this, "AccessKey"};
  Ctl<ComboBox> ViewportSize{this, "ViewportSize"};
  Ctl<Label> QLabel{this, "QLabel"};
  Ctl<Slider> Quality{this, "Quality"};
  Ctl<CommandButton> Encode{this, "Encode"};
  Ctl<CommandButton> OK{this, "OK"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

 protected:
  void Design() override;

 private:
  void BuildCompressionGraph();
  void SetGraphOutputFile(const std::string& fileName);
  void Timer1_Timer();
  void Form_QueryUnload();
  void BrowseBTN_Click();
  void EnableAccessKeyControls(bool enable);
  void QuickCompress_Click();
  void AKEnabled_Click();
  // A number box's change: the text as a 32-bit number written by put; a text that is no such
  // number, or that the options refuse, gives way to the box's last valid text.
  void NumberChanged(TextBox& box, std::string& lastValid, HRESULT (IV50EncodeOptions::*put)(int32_t));
  // Whether this window started a run whose output file it wrote.
  bool runStarted_ = false;
  // The file the run writes, beside the output, until it replaces the output or is removed.
  std::string temporary_;
  // How the run ended: the completion's event code, 0 while it runs or when it was cancelled.
  LONG runEnd_ = 0;
  std::string keyFrameRateText_, dataRateText_, accessKeyText_;
};
