// Crunchbox on a machine without the IV50 codec (this executable does not load the stand-in):
// every clip gets the message line, and the compression graph cannot be built.
#include "CrunchboxSupport.h"

using fixtures::Kind;
using namespace crunchbox_test;

TEST_F(CrunchboxTest, WithoutTheCodec) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start(movie);
  EXPECT_EQ(MainForm().Label2->Caption(),
            "This is not an Crunchbox compressed clip.  You may now encode it to Crunchbox video but decode options "
            "are not available.");
  EXPECT_FALSE(MainForm().Crunchbox_Decode_Options->Enabled());
  EXPECT_TRUE(MainForm().Compress_video->Enabled());
  script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
  auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
    auto& e = static_cast<FrmCrunchboxEncodeOptions&>(f);
    WaitActive(f);
    EXPECT_FALSE(e.g_CrunchboxEncodeOA);
    EXPECT_EQ(e.KeyFrameRate->Text(), "Text1") << "no options to read";
    e.KeyFrameRate->Text("20");  // no options object: nothing is written, nothing fails
    driver::Click(*e.OK);
  });
  driver::Click(*MainForm().Compress_video);
  ASSERT_EQ(script->MsgBoxes().size(), 2u);
  for (const auto& box : script->MsgBoxes()) EXPECT_EQ(box.prompt, "Could not create the compression filter graph.");
}
