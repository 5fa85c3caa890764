#pragma once
// Form1: the FOURCC changer's window. It shows the two codes of an AVI file's video stream (the
// stream header's handler and the bitmap header's compression), names the codec they stand for
// and relabels the file as one of three other MPEG-4-family codecs, changing only those 8 bytes.
#include <string>

#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"

// The program's name, the title of its boxes.
inline constexpr const char* kTagswapperTitle = "Tagswapper";

class Form1 : public Form {
 public:
  Form1();

  // Reads the file's codes and shows them with the codec they name; a file that cannot be read
  // raises its error (the display stays as it was); a file that is no AVI with a video stream
  // gets a box and the display of an unknown code.
  void LoadFile(const std::string& sFile);
  // Writes the code pair of sCodec ("MP43", "DIV3", "AP41"; anything else writes nothing) over
  // the file's video stream codes, in place. Files it cannot change get a box and stay as they
  // were.
  void WriteDiVx(const std::string& sLoadedFileName, const std::string& sCodec);

  Ctl<Label> lblFileName{this, "lblFileName"};
  CtlArray<Label> lblFourC{this, "lblFourC"};
  Ctl<Label> lblExp{this, "lblExp"};
  CtlArray<OptionButton> Option2{this, "Option2"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<CommandButton> Command4{this, "Command4"};
  Ctl<CommandButton> Command5{this, "Command5"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

 protected:
  void Design() override;

 private:
  void ShowUnknownCode();
  void Command2_Click();
  void Command4_Click();
};
