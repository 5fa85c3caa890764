// Picture editing without a desktop's window list: the Paint test, how the editor is found and
// started (its command line), and the messages for an editor that is missing or cannot start.
// The watch of the editor's window is tested on an X11 desktop (PictureEditorX11Test).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures.h"
#include "mainwindow/PictureEditor.h"
#include "scripted_responder.h"
#include "shell/files.h"

namespace fs = std::filesystem;

namespace {

// A program folder of the test's own, with editors that record their arguments and end.
class EditorFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fixtures::ScratchFolder("picture-editor");
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (const char* old = std::getenv("SUITE_PROGRAM_FOLDER")) saved_ = old;
    setenv("SUITE_PROGRAM_FOLDER", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("SUITE_PROGRAM_FOLDER");
    } else {
      setenv("SUITE_PROGRAM_FOLDER", saved_.c_str(), 1);
    }
  }
  // A program that writes its arguments, one a line, to <path>.args and ends.
  std::string Recorder(const std::string& relative) {
    std::string path = folder_ + "/" + relative;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << path
                        << ".part'\nmv '" << path << ".part' '" << path << ".args'\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::vector<std::string> ArgsOf(const std::string& program) {
    std::vector<std::string> lines;
    std::ifstream in(program + ".args");
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  std::string folder_;
  std::string saved_;
};

}  // namespace

TEST(PictureEditorPaintTest, MspaintByNameOrAtTheEndOfAPath) {
  const struct {
    const char* editor;
    bool paint;
  } cases[] = {
      {"mspaint.exe", true},     {"MSPAINT.EXE", true},         {"/opt/tools/MSPaint.exe", true},
      {"c:\\x\\mspaint.exe", true}, {"mspaint", false},          {"mspaint.exe.bak", false},
      {"/usr/bin/painter", false},  {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureEditor::IsPaintEditor(c.editor), c.paint) << c.editor;
}

TEST_F(EditorFolder, ANamedEditorGetsThePictureInQuotesAsOneArgument) {
  std::string editor = Recorder("tools/editor");
  std::string picture = folder_ + "/my pictures/a b.bmp";
  PictureEditor watch;
  ScriptScope script;  // no box: the editor ends without a window, which is no failure
  EXPECT_FALSE(watch.EditPicture(picture, editor));
  EXPECT_EQ(ArgsOf(editor), std::vector<std::string>{picture});
  EXPECT_FALSE(watch.Busy());
  EXPECT_EQ(editor, folder_ + "/tools/editor");
}

TEST_F(EditorFolder, PaintIsTheProgramMspaintWhereProgramsAreLookedFor) {
  std::string paint = Recorder("mspaint");
  std::string picture = folder_ + "/p.jpg";
  std::string editor;
  PictureEditor watch;
  ScriptScope script;
  EXPECT_FALSE(watch.EditPicture(picture, editor));
  EXPECT_EQ(editor, "mspaint.exe");
  EXPECT_EQ(ArgsOf(paint), std::vector<std::string>{picture});
}

TEST_F(EditorFolder, MessagesForEditorsThatAreMissingOrCannotStart) {
  std::ofstream(folder_ + "/notes.txt") << "not a program\n";
  fs::create_directories(folder_ + "/a folder");
  const struct {
    std::string editor;
    std::string message;
    std::string editorAfter;
  } cases[] = {
      {folder_ + "/no-such-editor", "Can't find " + folder_ + "/no-such-editor on your system.", ""},
      {"", "Can't find mspaint.exe on your system.", "mspaint.exe"},  // no mspaint anywhere
      {folder_ + "/notes.txt", "Can't start " + folder_ + "/notes.txt.", ""},
      {folder_ + "/a folder", "Can't find " + folder_ + "/a folder on your system.", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.editor);
    ScriptScope script;
    script->AnswerMsgBox(vbOK);
    std::string editor = c.editor;
    std::string picture = folder_ + "/p.bmp";
    PictureEditor watch;
    EXPECT_FALSE(watch.EditPicture(picture, editor));
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, c.message);
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
    EXPECT_EQ(editor, c.editorAfter.empty() ? c.editor : c.editorAfter);
    EXPECT_FALSE(watch.Busy());
  }
}
