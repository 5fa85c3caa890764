#pragma once
// frmCodecDialog: "Select a Compression Codec", the dialog a "Manual" join opens on its rendered
// graph. The codec-manager control Kitbroker on it lists the video and audio compressors; OK has
// the control insert the chosen ones into the graph. One object per run: its variables outlive
// Unload.
#include <cstdint>
#include <string>

#include "core/unknown.h"
#include "forms/activex.h"
#include "forms/comctl.h"
#include "forms/controls.h"
#include "forms/form.h"

class frmCodecDialog : public Form {
 public:
  frmCodecDialog();

  // Written only after a successful insertion: whether a real video compressor went in.
  bool m_bVideoCodecSelected = false;

  // Shows the dialog modally over `parent` for the rendered graph; true: go on with the join,
  // false: abandon it. A failed insertion answered Yes shows it again. The second form gives the
  // answer through `result` as well.
  bool Popup(IUnknown* pGraph, Form* parent);
  void Popup(IUnknown* pGraph, Form* parent, bool& result) { result = Popup(pGraph, parent); }
  // The identifier of the selected line: 1 the video list, 2 the audio list, 0 the visible one;
  // "" for no selection or another category.
  std::string GetSelectedItemGuid(int32_t category);
  void EnableAboutConfigButtons();

  // The information text shown above the lists.
  static std::string InformationText();

  Ctl<TextBox> Text1{this, "Text1"};
  Ctl<CheckBox> Check1{this, "Check1"};
  Ctl<Frame> FrameCodecs{this, "FrameCodecs"};
  Ctl<TabStrip> TabStripCodecs{this, "TabStripCodecs"};
  Ctl<ListBox> ListVideoCodecs{this, "ListVideoCodecs"};
  Ctl<ListBox> ListAudioCodecs{this, "ListAudioCodecs"};
  Ctl<CommandButton> CmdAbout{this, "CmdAbout"};
  Ctl<CommandButton> CmdConfig{this, "CmdConfig"};
  Ctl<CommandButton> CmdOK{this, "CmdOK"};
  Ctl<CommandButton> CmdCancel{this, "CmdCancel"};
  Ctl<ActiveXHost> Kitbroker{this, "Kitbroker"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Check1_Click();
  void CmdOK_Click();
  Variant CallKitbroker(DISPID id, std::vector<Variant> args);

  bool m_bCancelled = false;
  bool m_bRetry = false;
  ComPtr<IUnknown> m_objGraph;
  ComPtr<IDispatch> m_objVideoGuids;
  ComPtr<IDispatch> m_objAudioGuids;
};
