#include "options/frmCodecs.h"

#include "core/error.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"
#include "options/modOptions.h"
#include "registry/settings.h"

frmCodecs::frmCodecs() : Form("frmCodecs") {
  On("Form_Load", [this] {
    Step([&] {
      Top((Screen().Height() - Height()) / 2);
      Left((Screen().Width() - Width()) / 2);
    });
    Step([&] { RefreshRegFilters(); });
    Step([&] { List2->Text(GetSetting(kSettingsApp, kSectionInit, kKeyDefaultCodec, kDefaultDefaultCodec)); });
    Err().Clear();
  });
  On("Command1_Click", [this] { Unload(); });
}

void frmCodecs::RefreshRegFilters() { modOptions::RefreshRegFilters(*List2, m_objFilgraph, m_objRegFilters); }

void frmCodecs::Design() {
  Caption("Installed Codecs");
  BorderStyle(vbFixedDouble);
  Size(6210, 5400);
  Place({
      {"ListBox", "List2", -1, "", 120, 120, 5835, 1980, ""},
      {"Label", "Label1", -1, "", 120, 2220, 5835, 1695,
       "Each time you save a file you will be presented with a list of the video codecs that are installed on your "
       "computer. It is important to note that some of the displayed codecs might be written specifically for a device "
       "such as your video card and may not work at all in saving a file. Generally if you select the wrong codec the "
       "worst thing that will happen is that your file will not be compressed. If the codec is locked by the "
       "manufacturer after you select it nothing at all the will happen. (No progress bar, no output.)",
       {{"WordWrap", Variant(true)}}},
      {"Label", "Label2", -1, "", 120, 3960, 5835, 495,
       "By experimenting with the various codecs using varying property settings you will be able to arrive at a "
       "reasonable balance between size and quality. ",
       {{"WordWrap", Variant(true)}}},
      {"CommandButton", "Command1", -1, "", 4740, 4500, 1215, 375, "OK", {{"Default", Variant(true)}}},
  });
}
