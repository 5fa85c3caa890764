#pragma once
// frmCrunchbox: the preview player with its toolbar. It opens one movie, plays, pauses and stops
// it, offers the IV50 decode options for clips the codec made, hands the movie to the encode
// options window for a compression and opens the compressed file afterwards.
#include <string>

#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/wzpanel.h"
#include "iv50/iv50.h"

class frmCrunchbox : public Form {
 public:
  frmCrunchbox();

  // Opens name as the movie to preview; failures end the open silently (see the source).
  void open_video_worker(std::string& name);
  void Compress_video_Click();
  void play_video_Click();
  void stop_video_Click();
  void pause_video_Click();
  void Crunchbox_Decode_Options_Click();
  void open_video_Click();
  // Grows the window, when it must, until Picture1 shows the whole video window (placed at its
  // corner in the size the renderer chose), within the screen.
  void FitPreview(IVideoWindow* window);

  std::string g_InputFileName;
  std::string g_CompressFileName;
  bool g_CompressionActive = false;
  ComPtr<IMediaControl> g_objMC;
  std::string EncodedFile;
  std::string sNewName;
  // The decode options of the open clip, nullptr when it is no IV50 clip or no clip is open.
  ComPtr<IV50DecodeOptions> decodeOptions;

  Ctl<WzPanel> Panel1{this, "Panel1"};
  Ctl<CommandButton> open_video{this, "open_video"};
  Ctl<CommandButton> play_video{this, "play_video"};
  Ctl<CommandButton> stop_video{this, "stop_video"};
  Ctl<CommandButton> pause_video{this, "pause_video"};
  Ctl<CommandButton> Crunchbox_Decode_Options{this, "Crunchbox_Decode_Options"};
  Ctl<CommandButton> Compress_video{this, "Compress_video"};
  Ctl<CommandButton> cmdCancel{this, "cmdCancel"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<Label> openfilename{this, "openfilename"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<Label> Label3{this, "Label3"};
  Ctl<PictureBox> Picture1{this, "Picture1"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Form_Resize();
  void Form_Activate();
  void ReleasePreview();
};
