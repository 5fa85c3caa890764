// The main window's roads into the options, compression, duration, codec, title maker and splitter
// windows: menu items and toolbar keys open the real windows, the options window reaches back into
// the main window, "Change Duration" applies only an OK, a title slide saved and kept in the title
// maker joins the storyboard, and the splitter's hand-back replaces the tile's movie.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "MainWindowFixture.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "mainwindow/FormInstances.h"
#include "forms/responder.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "options/frmDuration.h"
#include "options/frmOptions.h"
#include "options/modOptions.h"
#include "scripted_responder.h"
#include "splitter/WzTick.h"
#include "splitter/frmSplitter.h"
#include "window_driver.h"
#include "windows/frmCapture.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

class MenuRoads : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    RegisterWzTick();
  }
  std::string Media(Kind kind, const std::string& name) {
    const std::string made = fixtures::Make(kind, (root_ / "made").string(), {});
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  void Add(frmShow& w, const std::string& path) { w.TilePut(w.TileUBound(), tile::kMediaFile, Variant(path)); }
  void PressKey(frmShow& w, const char* key) {
    Button& b = w.Toolbar1->ButtonsOf().Item(key);
    EventArgs click{Variant(static_cast<IUnknown*>(&b))};
    w.RaiseEvent("Toolbar1_ButtonClick", click);
  }
  void Choose(frmShow& w, const char* handler) {
    EventArgs none;
    w.RaiseEvent(handler, none);
  }
};

}  // namespace

// A "Manual" join pops up the program's own codec dialog unless a test replaces it.
TEST_F(MenuRoads, TheCodecDialogOfAManualJoinIsTheProgramsOwn) {
  using Fn = bool (*)(frmShow&, IMediaControl*, bool&);
  const Fn* target = frmShow::CodecDialog.target<Fn>();
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(*target, &frmShow::ShowCodecDialog);
}

// The menu items and the toolbar keys open the compression chooser and the options window
// modally; each window's own close button ends the command.
TEST_F(MenuRoads, MenuItemsAndToolbarKeysOpenTheirWindows) {
  ScriptScope script;
  frmShow& w = Window();
  struct Case {
    const char* name;
    std::function<void()> open;
    const char* form;
    const char* closeButton;
  };
  const Case cases[] = {
      {"Compression Tools", [&] { Choose(w, "mnuOptions_Click"); }, "frmCompOpt", "Command2"},
      {"toolbar Compression", [&] { PressKey(w, "Compression"); }, "frmCompOpt", "Command2"},
      {"Settings and Preferences", [&] { Choose(w, "mnuSettings_Click"); }, "frmOptions", "Command2"},
      {"toolbar Options", [&] { PressKey(w, "Options"); }, "frmOptions", "Command2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int shown = 0;
    auto watch = driver::WhenShownModally(c.form, [&](Form& f) {
      ++shown;
      driver::Click(*f.FindControl(c.closeButton));
    });
    c.open();
    EXPECT_EQ(shown, 1);
  }
}

// The options window fills its frame sizes from the main window and its "Save and Exit" sets the
// main window's drag-and-drop flag and toolbar.
TEST_F(MenuRoads, TheOptionsWindowReachesTheMainWindow) {
  ScriptScope script;
  frmShow& w = Window();
  const bool toolbarBefore = ShowToolbarEnabled;
  w.m_boolEnableDragDrop = !DragDropEnabled;
  int sizes = 0;
  auto watch = driver::WhenShownModally("frmOptions", [&](Form& f) {
    auto& options = static_cast<frmOptions&>(f);
    sizes = options.Combo2->ListCount();
    driver::Click(*options.Command1);
  });
  w.mnuSettings_Click();
  EXPECT_GT(sizes, 0);
  EXPECT_EQ(w.m_boolEnableDragDrop, DragDropEnabled);
  const modOptions::MainWindowServices& calls = modOptions::MainWindowCalls();
  EXPECT_TRUE(calls.ShowHideToolbar && calls.LoadToolBar);
  ShowToolbarEnabled = toolbarBefore;
}

// "Change Duration": an OK gives the tile the chosen seconds; a close without OK changes nothing,
// however ChosenClipDuration stands.
TEST_F(MenuRoads, ChangeDurationAppliesOnlyAnOk) {
  ScriptScope script;
  frmShow& w = Window();
  Add(w, Media(Kind::Bmp, "still.bmp"));
  DefaultClipDuration = 5;
  struct Case {
    const char* name;
    int chosen;  // the line picked before OK; 0: closed without OK
    double before, after;
  };
  const Case cases[] = {
      {"OK with 12", 12, 5, 12},
      {"closed without OK after an earlier OK", 0, 7, 7},
      {"OK with 1", 1, 9, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.SelectedClipIndex = 0;
    w.TilePut(0, tile::kDuration, Variant(c.before));
    auto watch = driver::WhenShownModally("frmDuration", [&](Form& f) {
      auto& d = static_cast<frmDuration&>(f);
      if (c.chosen == 0) {
        // The window's own close box.
        bool closed = false;
        for (QWidget* top : QApplication::topLevelWidgets()) {
          if (closed || !top->isVisible() || top->windowTitle().toStdString() != d.Caption()) continue;
          top->close();
          closed = true;
        }
        EXPECT_TRUE(closed);
        EXPECT_FALSE(d.IsLoaded());
        if (d.IsLoaded()) d.Unload();  // never left waiting
        return;
      }
      driver::ClickListItem(*d.lstDelay, static_cast<int16_t>(c.chosen - 1));
      driver::Click(*d.Command1);
    });
    w.mnuDuration_Click();
    EXPECT_DOUBLE_EQ(CDbl(w.TileGet(0, tile::kDuration)), c.after);
  }
}

// The splitter: a file it refuses unloads it unshown; a saved piece replaces the selected file in
// the first tile holding it (in any case); a close without saving changes no tile.
TEST_F(MenuRoads, TheSplitterRoadHandsThePieceToTheTile) {
  ScriptScope script;
  frmShow& w = Window();
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi");
  const std::string piece = Media(Kind::AviMjpegPcm, "piece.avi");
  const fs::path text = media_ / "notes.avi";
  std::ofstream(text) << "not a movie\n";
  Add(w, movie);
  Add(w, movie);

  {  // Refused: the no-video message, never shown, unloaded.
    script->AnswerMsgBox(vbOK);
    w.sLoadedFileName = text.string();
    int shown = 0;
    auto watch = driver::WhenShownModally("frmSplitter", [&](Form& f) {
      ++shown;
      f.Unload();
    });
    w.mnuSplitter_Click();
    EXPECT_EQ(shown, 0);
    EXPECT_FALSE(DefaultForm<frmSplitter>().IsLoaded());
    ASSERT_FALSE(script->MsgBoxes().empty());
    EXPECT_EQ(script->MsgBoxes().back().prompt, "The Selected File does not contain an editable video stream.");
  }
  // Another file whose name differs from the movie's only in case.
  const std::string other = Media(Kind::AviMjpegPcm, "MOVIE.AVI");
  struct Case {
    const char* name;
    bool splitButton;      // the preview pane's split button instead of the menu item
    std::string before0;   // the tiles before
    bool save;
    std::string tile0;     // the tiles afterwards
    std::string tile1;
  };
  const Case cases[] = {
      {"closed without saving", false, movie, false, movie, movie},
      {"saved: the first tile holding the file", false, movie, true, piece, movie},
      {"saved: the name matched in any case", false, other, true, piece, movie},
      {"the split button, saved", true, movie, true, piece, movie},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.TilePut(0, tile::kMediaFile, Variant(c.before0));
    w.TilePut(1, tile::kMediaFile, Variant(movie));
    w.sLoadedFileName = movie;
    Err().Number = 5;  // left from before: the road starts clear
    int shown = 0;
    auto watch = driver::WhenShownModally("frmSplitter", [&](Form& f) {
      ++shown;
      // The splitter opened the selected movie at the main window's size.
      EXPECT_EQ(f.Width(), w.Width());
      EXPECT_EQ(f.Height(), w.Height());
      if (c.save) LoadedFileNameHolder() = piece;  // the save's hand-back
      SelectionUnsaved = false;                   // no close question
      f.Unload();
    });
    if (c.splitButton) {
      w.cmdSplit_Click();
    } else {
      w.mnuSplitter_Click();
    }
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(CStr(w.TileGet(0, tile::kMediaFile)), c.tile0);
    EXPECT_EQ(CStr(w.TileGet(1, tile::kMediaFile)), c.tile1);
    if (c.save) {
      EXPECT_EQ(w.sLoadedFileName, piece);
    }
  }
}

// Title Maker, from the menu and from the toolbar key: a slide saved in the title maker and kept
// at its close question becomes a new tile and re-enables the joined preview's Play; a close
// without a slide, or with the slide refused at the question, places nothing. The project's changed
// flag is left as it was, and the clip loaded in the preview pane is not stopped on the way in
// (placing the slide loads the pane anew, as every added file does).
TEST_F(MenuRoads, TheTitleMakerPlacesTheSavedSlide) {
  ScriptScope script;
  frmShow& w = Window();
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi");
  const std::string background = Media(Kind::Bmp, "background.bmp");
  Add(w, movie);  // loaded into the pane, not playing
  ASSERT_EQ(w.sLoadedFileName, movie);
  struct Case {
    const char* name;
    bool toolbar;        // the toolbar's "Title" key instead of the menu item
    const char* slide;   // the slide saved in the title maker; nullptr: closed without saving
    int keep;            // the answer to the close question about the saved slide
    bool projectChanged;
  };
  const Case cases[] = {
      {"menu: closed without a slide", false, nullptr, 0, false},
      {"menu: slide saved and kept", false, "title one.bmp", vbYes, false},
      {"toolbar: slide saved and kept", true, "title two.bmp", vbYes, true},
      {"toolbar: slide saved, refused at the close", true, "title three.bmp", vbNo, false},
      {"toolbar: closed without a slide", true, nullptr, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int16_t drop = w.TileUBound();
    const std::string slide = c.slide ? (media_ / c.slide).string() : std::string();
    TitleFileName = "left from before";
    w.ProjectChanged = c.projectChanged;
    w.cmdPlayVideoWindow->Enabled(false);
    w.txtElapsed->Text("kept");
    const size_t boxes = script->MsgBoxes().size();
    int shown = 0;
    auto watch = driver::WhenShownModally("frmCapture", [&](Form& f) {
      ++shown;
      EXPECT_EQ(TitleFileName, "") << "emptied before the title maker opens";
      EXPECT_EQ(w.txtElapsed->Text(), "kept") << "the preview pane is not stopped";
      if (c.slide) {
        // A picture as the background, a title over it, saved as a bitmap.
        script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(background));
        driver::Click(*f.FindControl("Command1"));
        static_cast<frmCapture&>(f).Text1->Text("Our holiday");
        driver::Click(*f.FindControl("Command3"));
        script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(slide));
        driver::Click(*f.FindControl("Command7"));
        EXPECT_EQ(TitleFileName, slide);
        script->AnswerMsgBox(c.keep);
      }
      driver::Click(*f.FindControl("Command2"));
      if (f.IsLoaded()) f.Unload();  // never left waiting
    });
    if (c.toolbar) {
      PressKey(w, "Title");
    } else {
      Choose(w, "mnuTitleMaker_Click");
    }
    EXPECT_EQ(shown, 1);
    const bool placed = c.slide && c.keep == vbYes;
    EXPECT_EQ(script->MsgBoxes().size(), boxes + (c.slide ? 1 : 0)) << "only the close question";
    if (placed) {
      ASSERT_EQ(w.TileUBound(), drop + 1);
      EXPECT_EQ(w.TileFile(drop), slide);
      const fixtures::Probe p = fixtures::RunFfprobe(slide);
      ASSERT_TRUE(p.ok) << p.error;
      ASSERT_EQ(p.streams.size(), 1u);
      EXPECT_EQ(p.streams[0].codecName, "bmp");
      EXPECT_TRUE(w.cmdPlayVideoWindow->Enabled());
    } else {
      EXPECT_EQ(w.TileUBound(), drop);
      EXPECT_EQ(w.TileFile(drop), "");
      EXPECT_FALSE(w.cmdPlayVideoWindow->Enabled());
      EXPECT_EQ(w.txtElapsed->Text(), "kept");
    }
    EXPECT_EQ(w.ProjectChanged, c.projectChanged);
  }
  TitleFileName.clear();
}

// The preview pane's split button opens the splitter only on a movie that exists: a picture (its
// extension in any case), an empty path and a file that is gone do nothing, without a box.
TEST_F(MenuRoads, TheSplitButtonIgnoresPicturesAndMissingFiles) {
  ScriptScope script;
  frmShow& w = Window();
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi");
  const std::string bmp = Media(Kind::Bmp, "still.bmp");
  const std::string gif = Media(Kind::Gif, "STILL.GIF");
  const std::string jpg = Media(Kind::Jpeg, "still.Jpg");
  struct Case {
    const char* name;
    std::string loaded;
    bool opens;
  };
  const Case cases[] = {
      {"a picture", bmp, false},
      {"a picture, upper-case extension", gif, false},
      {"a picture, mixed-case extension", jpg, false},
      {"an empty path", "", false},
      {"a file that is gone", (media_ / "gone.avi").string(), false},
      {"a movie", movie, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.sLoadedFileName = c.loaded;
    int shown = 0;
    auto watch = driver::WhenShownModally("frmSplitter", [&](Form& f) {
      ++shown;
      SelectionUnsaved = false;  // no close question
      f.Unload();
    });
    w.cmdSplit_Click();
    EXPECT_EQ(shown, c.opens ? 1 : 0);
    EXPECT_FALSE(DefaultForm<frmSplitter>().IsLoaded());
    EXPECT_EQ(w.sLoadedFileName, c.loaded);
  }
  EXPECT_EQ(script->MsgBoxes().size(), 0u);
}
