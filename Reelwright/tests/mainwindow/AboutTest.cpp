// The about box: its design, size and centring, the version line, and what its three actions do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>
#include <string>

#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/picture.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmAbout.h"
#include "window_driver.h"
#include "windows/WindowsTestSupport.h"

extern const unsigned char kAboutLogoPicture[];
extern const size_t kAboutLogoPictureSize;

TEST(AboutBox, DesignSizeAndCentre) {
  frmAbout& f = DefaultForm<frmAbout>();
  f.Load();
  EXPECT_EQ(f.Caption(), "About Reelwright");
  EXPECT_EQ(f.Width(), 5865);
  EXPECT_EQ(f.Height(), 3795);
  // Centred by the formula; a window's place falls on whole pixels (15 twips).
  EXPECT_NEAR(f.Top(), Screen().Height() / 2.0 - 3795 / 2.0, 15);
  EXPECT_NEAR(f.Left(), Screen().Width() / 2.0 - 5865 / 2.0, 15);
  const struct {
    Control* control;
    const char* container;
    int32_t left, top, width, height;
  } layout[] = {
      {&*f.Label1, "", 720, 1860, 4200, 195},
      {&*f.Picture2, "", 0, 2175, 5745, 1725},
      {&*f.lblDisclaimer, "Picture2", 120, 180, 3660, 1290},
      {&*f.Label2, "Picture2", 3975, 165, 1635, 210},
      {&*f.Command2, "Picture2", 3930, 495, 1725, 540},
      {&*f.Command1, "Picture2", 3930, 1065, 1725, 540},
  };
  for (const auto& l : layout) {
    EXPECT_EQ(l.control->Left(), l.left) << l.control->Name();
    EXPECT_EQ(l.control->Top(), l.top) << l.control->Name();
    EXPECT_EQ(l.control->Width(), l.width) << l.control->Name();
    EXPECT_EQ(l.control->Height(), l.height) << l.control->Name();
  }
  EXPECT_EQ(f.Command2->Caption(), "Check for Update");
  EXPECT_EQ(f.Command2->ToolTipText(), "Check for update...");
  EXPECT_EQ(f.Command1->Caption(), "OK");
  EXPECT_EQ(f.Command1->ToolTipText(), "Close");
  EXPECT_FALSE(f.Label1->Caption().empty());
  EXPECT_FALSE(f.lblDisclaimer->Caption().empty());
  // The version line: the program's own version, plain numbers.
  EXPECT_EQ(f.Label2->Caption(), "Version: " + std::to_string(App().Major) + "." + std::to_string(App().Minor) +
                                     "." + std::to_string(App().Revision));
  EXPECT_EQ(std::string("Version: ") + SUITE_PROJECT_VERSION, f.Label2->Caption());
  // The logo: a GIF of 575 x 125 pixels.
  ASSERT_GT(kAboutLogoPictureSize, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kAboutLogoPicture), 6), "GIF89a");
  Picture logo = f.Picture1->GetPicture();
  EXPECT_EQ(logo.PixelWidth(), 575);
  EXPECT_EQ(logo.PixelHeight(), 125);
  driver::Click(*f.Command1);
  EXPECT_FALSE(f.IsLoaded());
}

TEST(AboutBox, VersionLineHasNoLeadingZeros) {
  EXPECT_EQ(frmAbout::VersionLine(4, 8, 9), "Version: 4.8.9");
  EXPECT_EQ(frmAbout::VersionLine(1, 0, 10), "Version: 1.0.10");
}

TEST(AboutBox, UpdateAndNoticeGoToTheOpener) {
  windows_test::RecordingOpener opener;
  frmAbout& f = DefaultForm<frmAbout>();
  f.Load();
  driver::Click(*f.Command2);
  driver::Click(*f.Label1);
  std::vector<std::string> opened = opener.Opened(2);
  // The two openers run detached, so either may record first.
  std::sort(opened.begin(), opened.end());
  std::vector<std::string> expected = {kSupportPageAddress, std::string("mailto:") + kSupportMailAddress};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(opened, expected);
  EXPECT_TRUE(f.IsLoaded());
  f.Unload();
}
