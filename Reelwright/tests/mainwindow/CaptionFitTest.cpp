// Every window of the program as it loads: no caption of a label, command button, check box,
// option button or frame needs more room than its control gives it (a label's text wrapped as
// the label wraps it, a check box's text beside its indicator).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "caption_fit.h"
#include "forms/form.h"
#include "mainwindow/frmAbout.h"
#include "mainwindow/frmSplash.h"
#include "options/frmCodecDialog.h"
#include "options/frmCodecs.h"
#include "options/frmCompOpt.h"
#include "options/frmCompress.h"
#include "options/frmDuration.h"
#include "options/frmOptions.h"
#include "scripted_responder.h"
#include "splitter/WzTick.h"
#include "splitter/frmSplitter.h"
#include "windows/frmBrowse.h"
#include "windows/frmCapture.h"
#include "windows/frmDivx.h"
#include "windows/frmPreview.h"
#include "windows/frmStartTips.h"
#include "windows/frmSupport.h"

namespace {

// Labels that show a file's path, which is data, not a caption.
const std::vector<std::string> kPaths = {"lblPlaybackFileName", "lblWriteFileName"};

class CaptionFit : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    // The codec dialog hosts the codec-manager control.
    const std::string cmd = std::string("'") + REGSVR + "' /s '" + KITBROKER_LIBRARY + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    // The splitter's ruler, a user control of the program.
    RegisterWzTick();
  }
};

TEST_F(CaptionFit, TheMainWindowsCaptionsFitTheirControls) {
  ScriptScope script;
  frmShow& w = Window();
  EXPECT_EQ(fit::CutCaptions(w, kPaths), std::vector<std::string>{});
}

TEST_F(CaptionFit, EveryOtherWindowsCaptionsFitTheirControls) {
  struct Case {
    const char* name;
    std::function<FormPtr<Form>()> make;
  };
  const Case cases[] = {
      {"frmAbout", [] { return FormPtr<Form>(MakeForm<frmAbout>().release()); }},
      {"frmSplash", [] { return FormPtr<Form>(MakeForm<frmSplash>().release()); }},
      {"frmOptions", [] { return FormPtr<Form>(MakeForm<frmOptions>().release()); }},
      {"frmCompOpt", [] { return FormPtr<Form>(MakeForm<frmCompOpt>().release()); }},
      {"frmCompress", [] { return FormPtr<Form>(MakeForm<frmCompress>().release()); }},
      {"frmCodecs", [] { return FormPtr<Form>(MakeForm<frmCodecs>().release()); }},
      {"frmCodecDialog", [] { return FormPtr<Form>(MakeForm<frmCodecDialog>().release()); }},
      {"frmDuration", [] { return FormPtr<Form>(MakeForm<frmDuration>().release()); }},
      {"frmSplitter", [] { return FormPtr<Form>(MakeForm<frmSplitter>().release()); }},
      {"frmBrowse", [] { return FormPtr<Form>(MakeForm<frmBrowse>().release()); }},
      {"frmCapture", [] { return FormPtr<Form>(MakeForm<frmCapture>().release()); }},
      {"frmDivx", [] { return FormPtr<Form>(MakeForm<frmDivx>().release()); }},
      {"frmPreview", [] { return FormPtr<Form>(MakeForm<frmPreview>().release()); }},
      {"frmStartTips", [] { return FormPtr<Form>(MakeForm<frmStartTips>().release()); }},
      {"frmSupport", [] { return FormPtr<Form>(MakeForm<frmSupport>().release()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    FormPtr<Form> f = c.make();
    f->Load();
    ASSERT_TRUE(f->IsLoaded());
    EXPECT_EQ(fit::CutCaptions(*f, kPaths), std::vector<std::string>{});
    f->Unload();
  }
}

}  // namespace
