// The title maker: its settings (round trip, defaults, values that are no numbers), the load
// roads (movie, sound only, picture, missing, damaged, cancel), the frame slider and the frame
// pictures at the slider's frame, Set Title Text, and saving: first save, re-save, overwrite
// question, failures that keep the old file, and the close question.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PrivateRegistry.h"
#include "WindowsTestSupport.h"
#include "core/error.h"
#include "fixtures.h"
#include "forms/responder.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"
#include "windows/frmCapture.h"

namespace fs = std::filesystem;

namespace {

// The frame number drawn into a 24-bit bitmap file (bottom-up rows).
int FrameNumberOfBitmap(const std::string& path) {
  std::vector<uint8_t> b = fixtures::ReadFile(path);
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || b[28] != 24) return -2;
  auto le32 = [&](size_t at) { return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24); };
  const int32_t offset = le32(10), width = le32(18), height = le32(22);
  const std::ptrdiff_t stride = ((width * 3 + 3) / 4) * 4;
  const uint8_t* top = b.data() + offset + stride * (height - 1);
  return fixtures::ReadFrameNumber(top, -stride, width, height);
}

class Capture : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    // Boxes go to the scripted responder of each test.
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    dir_ = windows_test::Scratch("capture");
    TitleFileName.clear();
  }
  void TearDown() override {
    if (f_.IsLoaded()) {
      f_.bTitleSaved = false;
      f_.Unload();
    }
    PrivateRegistry::TearDown();
  }
  void LoadFile(ScriptScope& script, const std::string& path) {
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    driver::Click(*f_.FindControl("Command1"));
  }
  std::string Setting(const char* section, const char* key) { return GetSetting("Reelwright", section, key, "(none)"); }
  fs::path dir_;
  frmCapture f_;
};

}  // namespace

TEST_F(Capture, SettingsRoundTrip) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> stored;  // Font keys, then Colors/BackColor as "Back"
    OLE_COLOR fore, back;
    std::string font;
    float size;
    bool bold, italic;
    std::vector<std::string> written;  // ForeColor, FontName, FontSize, FontBold, FontItalic, BackColor
  };
  const Case cases[] = {
      {"nothing stored", {}, 65535, 0x8000000F, "MS Sans Serif", 18, false, false,
       {"65535", "MS Sans Serif", "18", "False", "False", "-2147483633"}},
      {"stored values",
       {{"ForeColor", "255"}, {"FontName", "DejaVu Sans"}, {"FontSize", "13.5"}, {"FontBold", "TRUE"},
        {"FontItalic", "false"}, {"Back", "16711680.4"}},
       255, 0xFF0000, "DejaVu Sans", 13.5f, true, false,
       {"255", "DejaVu Sans", "13.5", "True", "False", "16711680"}},
      {"no numbers: the design values", {{"ForeColor", "yellow"}, {"FontSize", "big"}, {"Back", "-"}, {"FontItalic", "True"}},
       65535, 0x8000000F, "MS Sans Serif", 18, false, true,
       {"65535", "MS Sans Serif", "18", "False", "True", "-2147483633"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Step([] { DeleteSetting("Reelwright", "Font"); });
    Step([] { DeleteSetting("Reelwright", "Colors"); });
    Err().Clear();
    for (auto& [key, value] : c.stored) {
      if (std::string(key) == "Back") {
        SaveSetting("Reelwright", "Colors", "BackColor", value);
      } else {
        SaveSetting("Reelwright", "Font", key, value);
      }
    }
    f_.Load();
    EXPECT_EQ(f_.Label4->BackColor(), c.fore);
    EXPECT_EQ(f_.Text1->ForeColor(), c.fore);
    EXPECT_EQ(f_.lblBackColor->BackColor(), c.back);
    EXPECT_EQ(f_.picPreview->BackColor(), c.back);
    EXPECT_EQ(f_.picBMP->BackColor(), c.back);
    EXPECT_EQ(f_.Text1->Font().Name, c.font);
    EXPECT_EQ(f_.Label6->Caption(), c.font);
    EXPECT_FLOAT_EQ(f_.Text1->Font().Size, c.size);
    EXPECT_EQ(f_.Text1->Font().Bold, c.bold);
    EXPECT_EQ(f_.Check1->Value(), c.bold ? vbChecked : vbUnchecked);
    EXPECT_EQ(f_.Text1->Font().Italic, c.italic);
    f_.Unload();
    const std::vector<std::string> written = {Setting("Font", "ForeColor"), Setting("Font", "FontName"),
                                              Setting("Font", "FontSize"),  Setting("Font", "FontBold"),
                                              Setting("Font", "FontItalic"), Setting("Colors", "BackColor")};
    EXPECT_EQ(written, c.written);
  }
}

TEST_F(Capture, DesignAtLoad) {
  f_.Load();
  EXPECT_EQ(f_.Caption(), "Title Maker");
  EXPECT_EQ(f_.Height(), 6525);
  EXPECT_EQ(f_.lblReadFileName->Caption(), "No file loaded");
  EXPECT_EQ(f_.Text1->Text().find("            Sample Text"), 4u * f_.Text1->Text().find('\n') + 4u)
      << "four empty lines, then twelve blanks and the sample";
  EXPECT_EQ(f_.picPreview->Width(), 4800);
  EXPECT_EQ(f_.picPreview->Height(), 3600);
  EXPECT_EQ(f_.picBMP->Left(), f_.picPreview->Left());
  EXPECT_EQ(f_.picBMP->Top(), f_.picPreview->Top());
  EXPECT_TRUE(f_.picPreview->AutoRedraw());
  EXPECT_FALSE(f_.Frame1->Visible());
  EXPECT_TRUE(f_.Frame4->Visible());
  EXPECT_EQ(f_.Frame4->Top(), f_.Frame1->Top());
  EXPECT_TRUE(f_.Timer1->Enabled());
  EXPECT_TRUE(f_.tmrTimer->Enabled());
}

TEST_F(Capture, AMovieGivesTheSliderAndFramePicturesAtTheSlidersFrame) {
  ScriptScope script;
  fixtures::Options o;
  o.seconds = 2;  // 50 frames: SmallChange and TickFrequency round to 0
  std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "media").string(), o);
  f_.Show();
  LoadFile(script, movie);
  EXPECT_TRUE(f_.bMovieLoaded);
  EXPECT_TRUE(f_.Frame1->Visible());
  EXPECT_FALSE(f_.Frame4->Visible());
  EXPECT_EQ(f_.lblReadFileName->Caption(), movie);
  EXPECT_EQ(f_.lFrameCount, 50);
  EXPECT_EQ(f_.lblFrameCount->Caption(), "50");
  EXPECT_EQ(f_.ctrlSlider->Max(), 50);
  EXPECT_EQ(f_.ctrlSlider->LargeChange(), 5);
  EXPECT_EQ(f_.ctrlSlider->SmallChange(), 0);
  EXPECT_EQ(f_.ctrlSlider->TickFrequency(), 0);
  EXPECT_EQ(f_.picPreview->GetPicture().PixelWidth(), 320);
  EXPECT_EQ(f_.picPreview->GetPicture().PixelHeight(), 240);
  EXPECT_EQ(FrameNumberOfBitmap(frmCapture::FramePictureFile()), 0);
  EXPECT_EQ(f_.lblCurrentFrameValue->Caption(), "0");

  f_.ctrlSlider->Value(30);
  EventArgs none;
  f_.RaiseEvent("ctrlSlider_Scroll", none);
  EXPECT_EQ(f_.lblCurrentFrameValue->Caption(), "30");
  EXPECT_EQ(f_.lblCurrentTimeValue->Caption(), "1.2");
  EXPECT_TRUE(f_.bSliderMoved);
  f_.RaiseEvent("tmrTimer_Timer", none);
  EXPECT_FALSE(f_.bSliderMoved);
  EXPECT_EQ(FrameNumberOfBitmap(frmCapture::FramePictureFile()), 30) << "the frame at the slider";
  EXPECT_TRUE(script->MsgBoxes().empty());
}

TEST_F(Capture, LoadRoads) {
  ScriptScope script;
  const std::string media = (dir_ / "media").string();
  std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media);
  std::string wav = fixtures::Make(fixtures::Kind::Wav, media);
  std::string bmp = fixtures::Make(fixtures::Kind::Bmp, media);
  std::string damaged = (dir_ / "damaged.bmp").string();
  std::ofstream(damaged) << "this is no bitmap";
  f_.Show();

  LoadFile(script, bmp);
  EXPECT_TRUE(f_.picBMP->Visible());
  EXPECT_FALSE(f_.picPreview->Visible());
  EXPECT_EQ(f_.lblReadFileName->Caption(), bmp);
  Picture picture = f_.picBMP->GetPicture();
  EXPECT_EQ(picture.PixelWidth(), 160);

  LoadFile(script, damaged);
  EXPECT_EQ(f_.picBMP->GetPicture(), picture) << "a picture it cannot read leaves the previous one";

  LoadFile(script, (dir_ / "missing.avi").string());
  EXPECT_EQ(f_.lblReadFileName->Caption(), damaged) << "a missing file changes nothing";

  LoadFile(script, movie);
  EXPECT_TRUE(f_.bMovieLoaded);
  Picture frame = f_.picPreview->GetPicture();

  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(wav)).AnswerMsgBox(vbOK);
  driver::Click(*f_.FindControl("Command1"));
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "The Selected File does not contain an editable video stream.");
  EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly + vbExclamation);
  EXPECT_EQ(f_.lblReadFileName->Caption(), wav) << "the movie layout with the new path";
  EXPECT_EQ(f_.picPreview->GetPicture(), frame) << "the frame stays";
  EXPECT_EQ(f_.lFrameCount, 25);

  // Cancel loads the name chosen last time again: the sound file, and its box.
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel()).AnswerMsgBox(vbOK);
  driver::Click(*f_.FindControl("Command1"));
  EXPECT_EQ(script->MsgBoxes().size(), 2u);
  const DialogRequest open = script->Dialogs().back();
  EXPECT_EQ(open.filter,
            "Video Files (*.avi;*.mov;*.wza;*.mpeg)|*.avi;*.mov;*.wza;*.mpeg|Pictures (*.bmp;*.jpg;*.gif;*.wmf)|"
            "*.bmp;*.jpg;*.gif;*.wmf|");
}

TEST_F(Capture, SaveResaveOverwriteAndClose) {
  ScriptScope script;
  std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "media").string());
  const std::string slide = (dir_ / "slide.bmp").string();
  fs::remove(slide);
  f_.Show();
  LoadFile(script, movie);
  driver::Click(*f_.FindControl("Command3"));  // Set Title Text

  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(slide));
  driver::Click(*f_.FindControl("Command7"));
  EXPECT_EQ(script->Dialogs().back().filter, "Title Bitmap (*.bmp)|*.bmp|");
  EXPECT_EQ(script->Dialogs().back().defaultExt, "bmp");
  EXPECT_EQ(TitleFileName, slide);
  EXPECT_TRUE(f_.bTitleSaved);
  EXPECT_EQ(f_.Text1->Text(), "");
  EXPECT_EQ(f_.lblReadFileName->Caption(), slide);
  EXPECT_TRUE(f_.picBMP->Visible());
  fixtures::Probe p = fixtures::RunFfprobe(slide);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_EQ(p.streams.size(), 1u);
  EXPECT_EQ(p.streams[0].codecName, "bmp");
  EXPECT_EQ(p.streams[0].width, 320);
  EXPECT_EQ(p.streams[0].height, 240);
  EXPECT_EQ(FrameNumberOfBitmap(slide), 0) << "the movie's frame is the background";

  // Re-save: no dialog, the same file.
  f_.picBMP->Line(0, 0, 4800, 3600, 0x00FF00, 2);
  driver::Click(*f_.FindControl("Command7"));
  EXPECT_EQ(fixtures::RunFfprobe(slide).streams.at(0).width, 320);
  std::vector<uint8_t> resaved = fixtures::ReadFile(slide);

  // A re-save that cannot be written (the disk is full) keeps the old file, leaves no side file
  // and says so.
  {
    fixtures::FileSizeLimit full(1000);
    script->AnswerMsgBox(vbOK);
    driver::Click(*f_.FindControl("Command7"));
  }
  EXPECT_EQ(script->MsgBoxes().back().prompt, "The title slide could not be saved to " + slide + ".");
  EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly + vbExclamation);
  EXPECT_EQ(fixtures::ReadFile(slide), resaved);
  for (const auto& entry : fs::directory_iterator(fs::path(slide).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find("slide.bmp.saving"), std::string::npos)
        << entry.path();

  // Links planted at side-file names (the old fixed one, one of a process that no longer runs)
  // are never followed: the files they point at stay as they were, and the save succeeds.
  {
    const std::string outside = fixtures::ScratchFolder("capture-outside") + "/victim";
    const std::vector<uint8_t> victim{'k', 'e', 'e', 'p'};
    {
      std::ofstream out(outside, std::ios::binary);
      out.write(reinterpret_cast<const char*>(victim.data()), victim.size());
    }
    const std::vector<std::string> links{slide + ".saving", slide + ".saving-",
                                         slide + ".saving-999999999-0"};
    for (const std::string& link : links) fs::create_symlink(outside, link);
    f_.picBMP->Line(0, 0, 2400, 3600, 0x0000FF, 2);
    driver::Click(*f_.FindControl("Command7"));
    EXPECT_EQ(fixtures::ReadFile(outside), victim);
    EXPECT_EQ(fixtures::RunFfprobe(slide).streams.at(0).width, 320);
    for (const std::string& link : links) {
      EXPECT_TRUE(fs::is_symlink(link)) << link;
      fs::remove(link);
    }
    resaved = fixtures::ReadFile(slide);
  }

  // Close: Yes keeps TitleFileName, No empties it.
  script->AnswerMsgBox(vbYes);
  driver::Click(*f_.FindControl("Command2"));
  EXPECT_EQ(script->MsgBoxes().back().prompt, "Do you want to add the file " + slide + " to your storyboard?");
  EXPECT_EQ(script->MsgBoxes().back().buttons, vbYesNo);
  EXPECT_EQ(TitleFileName, slide);
  EXPECT_FALSE(f_.IsLoaded());

  f_.Show();
  EXPECT_FALSE(f_.bTitleSaved);
  // First save onto an existing file: the question names the file; No keeps it.
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(slide)).AnswerMsgBox(vbNo);
  driver::Click(*f_.FindControl("Command7"));
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "A file named slide.bmp already exists.\r\nDo you want to replace it with your file?");
  EXPECT_EQ(script->MsgBoxes().back().buttons, vbYesNo);
  EXPECT_EQ(fixtures::ReadFile(slide), resaved);
  EXPECT_FALSE(f_.bTitleSaved);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(slide)).AnswerMsgBox(vbYes);
  driver::Click(*f_.FindControl("Command7"));
  EXPECT_NE(fixtures::ReadFile(slide), resaved) << "replaced";
  TitleFileName = slide;
  script->AnswerMsgBox(vbNo);
  f_.Unload();
  EXPECT_EQ(TitleFileName, "") << "No empties it";
}

TEST_F(Capture, ASaveIntoAFolderThatIsGoneSaysSoAndSetsNothing) {
  ScriptScope script;
  f_.Show();
  const std::string target = (dir_ / "gone" / "slide.bmp").string();
  fs::remove_all(dir_ / "gone");
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbOK);
  driver::Click(*f_.FindControl("Command7"));
  EXPECT_EQ(script->MsgBoxes().back().prompt, "The title slide could not be saved to " + target + ".");
  EXPECT_EQ(TitleFileName, "");
  EXPECT_FALSE(f_.bTitleSaved);
  EXPECT_FALSE(fs::exists(target));
  f_.Unload();  // nothing saved: no question
  EXPECT_EQ(script->MsgBoxes().size(), 1u);
}

TEST_F(Capture, FontAndColourDialogsAndTheTitleDrawing) {
  ScriptScope script;
  f_.Show();
  // Font: flags 1, preset with name, bold and italic; the answer's size is taken too.
  DialogAnswer font = DialogAnswer::Ok("");
  font.font.Name = "DejaVu Serif";
  font.font.Size = 24;
  font.font.Bold = true;
  script->AnswerDialog(DialogKind::Font, font);
  driver::Click(*f_.FindControl("Command5"));
  const DialogRequest asked = script->Dialogs().back();
  EXPECT_EQ(asked.flags, 1);
  EXPECT_EQ(asked.font.Name, "MS Sans Serif");
  EXPECT_FALSE(asked.font.Bold);
  EXPECT_EQ(f_.Text1->Font().Name, "DejaVu Serif");
  EXPECT_EQ(f_.Text1->Font().Size, 24.0f);
  EXPECT_TRUE(f_.Text1->Font().Bold);
  EXPECT_EQ(f_.Check1->Value(), vbChecked);
  EXPECT_EQ(f_.Label6->Caption(), "DejaVu Serif");
  EXPECT_EQ(f_.Label7->Caption(), "24");
  // Cancel ends each command without a change or a box.
  script->AnswerDialog(DialogKind::Font, DialogAnswer::Cancel());
  driver::Click(*f_.FindControl("Command5"));
  EXPECT_EQ(f_.Text1->Font().Name, "DejaVu Serif");

  DialogAnswer red = DialogAnswer::Ok("");
  red.color = 0x0000FF;
  script->AnswerDialog(DialogKind::Color, red);
  driver::Click(*f_.FindControl("Command4"));
  EXPECT_EQ(script->Dialogs().back().color, OLE_COLOR{65535}) << "preset with the title colour";
  EXPECT_EQ(f_.Label4->BackColor(), OLE_COLOR{0x0000FF});
  EXPECT_EQ(f_.Text1->ForeColor(), OLE_COLOR{0x0000FF});
  DialogAnswer blue = DialogAnswer::Ok("");
  blue.color = 0xFF0000;
  script->AnswerDialog(DialogKind::Color, blue).AnswerDialog(DialogKind::Color, DialogAnswer::Cancel());
  driver::Click(*f_.FindControl("Command8"));
  driver::Click(*f_.FindControl("Command8"));
  EXPECT_EQ(f_.lblBackColor->BackColor(), OLE_COLOR{0xFF0000});
  EXPECT_EQ(f_.picPreview->BackColor(), OLE_COLOR{0xFF0000});
  EXPECT_EQ(f_.picBMP->BackColor(), OLE_COLOR{0xFF0000});
  EXPECT_TRUE(script->MsgBoxes().empty());

  // Set Title Text prints onto the frame box; Clear Title Text clears it again.
  const std::string before = (dir_ / "before.bmp").string(), with = (dir_ / "with.bmp").string(),
                    cleared = (dir_ / "cleared.bmp").string();
  f_.picPreview->Cls();
  SavePicture(f_.picPreview->Image(), before);
  driver::Click(*f_.FindControl("Command3"));
  SavePicture(f_.picPreview->Image(), with);
  driver::Click(*f_.FindControl("Command6"));
  SavePicture(f_.picPreview->Image(), cleared);
  EXPECT_NE(fixtures::ReadFile(with), fixtures::ReadFile(before)) << "the title is drawn";
  EXPECT_EQ(fixtures::ReadFile(cleared), fixtures::ReadFile(before));
}

TEST_F(Capture, HoldingTheSliderStopsTheFrameTimerUntilReleased) {
  f_.Load();
  EventArgs down{Variant(int16_t{1}), Variant(int16_t{0}), Variant(0.0f), Variant(0.0f)};
  f_.RaiseEvent("ctrlSlider_MouseDown", down);
  EXPECT_FALSE(f_.tmrTimer->Enabled());
  EXPECT_TRUE(f_.Timer1->Enabled()) << "the title timer runs on";
  EventArgs up{Variant(int16_t{1}), Variant(int16_t{0}), Variant(0.0f), Variant(0.0f)};
  f_.RaiseEvent("ctrlSlider_MouseUp", up);
  EXPECT_TRUE(f_.tmrTimer->Enabled());
}

// Another user holds every fixed name of the private temp folder: the frame pictures go into a
// folder of the user's own all the same. Where no temp folder can be had at all, no frame picture
// is written anywhere (never bitmap.bmp in the current folder or in "/"), and the load goes on.
TEST_F(Capture, FramePicturesStayInAFolderOfTheUsersOwnWhenOthersHoldTheTempNames) {
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "media").string());
  const std::string current = (dir_ / "current").string();
  fs::create_directories(current);
  const fs::path before = fs::current_path();
  fs::current_path(current);
  for (const bool noFolder : {false, true}) {
    SCOPED_TRACE(noFolder ? "no temp folder at all" : "every fixed name taken");
    const bool rootHadOne = fs::exists("/bitmap.bmp");
    {
      fixtures::TempNamesTaken taken(noFolder);
      ScriptScope script;
      f_.Show();
      LoadFile(script, movie);
      EXPECT_TRUE(f_.bMovieLoaded);
      if (noFolder) {
        int32_t error = 0;
        try {
          frmCapture::FramePictureFile();
        } catch (const VBError& e) {
          error = e.Number();
        }
        EXPECT_EQ(error, vbErrPathNotFound);
      } else {
        const fs::path picture = frmCapture::FramePictureFile();
        EXPECT_EQ(picture.string().rfind(taken.Tmpdir() + "/", 0), 0u) << picture;
        struct stat st;
        ASSERT_EQ(::lstat(picture.parent_path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_EQ(FrameNumberOfBitmap(picture.string()), 0);
        EXPECT_EQ(f_.picPreview->GetPicture().PixelWidth(), 320);
      }
      EXPECT_TRUE(script->MsgBoxes().empty());
      f_.Unload();
    }
    EXPECT_TRUE(fs::is_empty(current)) << "nothing in the current folder";
    EXPECT_EQ(fs::exists("/bitmap.bmp"), rootHadOne) << "nothing in /";
  }
  fs::current_path(before);
}

// A slide's name as long as the folder takes: the side file it is written into still fits beside
// it, and the slide gets exactly the name asked for.
TEST_F(Capture, SlidesSaveUnderTheLongestNames) {
  std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "media").string());
  const fs::path folder = dir_ / "long";
  f_.Show();
  for (const size_t length : {250u, 255u}) {
    SCOPED_TRACE(length);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string name = std::string(length - 4, 's') + ".bmp";
    const std::string slide = (folder / name).string();
    ScriptScope script;
    LoadFile(script, movie);
    driver::Click(*f_.FindControl("Command3"));  // Set Title Text
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(slide));
    driver::Click(*f_.FindControl("Command7"));
    for (const MsgBoxRequest& box : script->MsgBoxes()) ADD_FAILURE() << box.prompt;
    EXPECT_EQ(TitleFileName, slide);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{name});
    EXPECT_EQ(FrameNumberOfBitmap(slide), 0);
    f_.bTitleSaved = false;  // the next round saves through the dialog again
  }
}
