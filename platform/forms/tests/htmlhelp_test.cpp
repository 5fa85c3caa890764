// The help window: help folders in place of help files, one window per folder, the shell's
// opening of help paths, and the box of a help file that cannot be opened.
#include <gtest/gtest.h>

#include <QImage>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures.h"
#include "hang_guard.h"
#include "forms/form.h"
#include "forms/htmlhelp.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"
#include "shell/files.h"
#include "shell/process.h"

namespace {

QTextBrowser* BrowserOf(HWND window) {
  QWidget* w = WidgetFromHwnd(window);
  return w ? w->findChild<QTextBrowser*>() : nullptr;
}

std::string PageOf(HWND window) { return BrowserOf(window)->source().toLocalFile().toStdString(); }

// A help folder "Guide.help" made for the test, with its start page and one more.
std::string MakeGuide() {
  std::string folder = fixtures::ScratchFolder("help") + "/Guide.help";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/index.html") << "<html><head><title>Guide</title></head><body>Start</body></html>";
  std::ofstream(folder + "/editing.html") << "<html><head><title>Editing</title></head><body>Edit</body></html>";
  return folder;
}

TEST(HtmlHelp, AHelpFileIsItsFolderShownModelessOnItsStartPageOwnedByTheCaller) {
  std::string folder = MakeGuide();
  std::string chm = folder.substr(0, folder.size() - 5) + ".chm";
  TestForm owner("frmOwner");
  owner.Show();
  ScriptScope script;
  HWND window = HtmlHelp(owner.hWnd(), chm, HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(window, 0u);
  QWidget* w = WidgetFromHwnd(window);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->isWindow());
  EXPECT_FALSE(w->isModal());
  EXPECT_EQ(w->parentWidget(), WidgetFromHwnd(owner.hWnd())) << "owned by the caller's window";
  EXPECT_EQ(PageOf(window), folder + "/index.html");
  EXPECT_EQ(w->windowTitle().toStdString(), "Guide");
  EXPECT_NE(BrowserOf(window)->toPlainText().toStdString().find("Start"), std::string::npos);

  // The same help again: the same window. A page of the folder: the same window on that page.
  EXPECT_EQ(HtmlHelp(owner.hWnd(), folder, HH_DISPLAY_TOPIC, 0), window);
  EXPECT_EQ(HtmlHelp(0, folder + "/editing.html", HH_DISPLAY_TOPIC, 0), window);
  EXPECT_EQ(PageOf(window), folder + "/editing.html");
  EXPECT_EQ(w->windowTitle().toStdString(), "Editing");
  EXPECT_EQ(HtmlHelp(0, chm, 1, 0), 0u) << "only the topic command";
  w->close();
  owner.Unload();
}

TEST(HtmlHelp, TheProgramFoldersHelpFileIsFoundByTheShellsNameMapping) {
  // The build copies the sample pages beside this test program, as a program's help sits beside it.
  ScriptScope script;
  HWND window = HtmlHelp(0, AppFile("\\FormsHelpSample.chm"), HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(window, 0u);
  EXPECT_EQ(PageOf(window), AppPath() + "/FormsHelpSample.help/index.html");
  EXPECT_EQ(WidgetFromHwnd(window)->windowTitle().toStdString(), "Sample Help");
  // A link inside the folder (resolved against the page, as a click resolves it) stays in the window.
  BrowserOf(window)->setSource(BrowserOf(window)->source().resolved(QUrl("window.html")));
  EXPECT_EQ(PageOf(window), AppPath() + "/FormsHelpSample.help/window.html");
  WidgetFromHwnd(window)->close();
}

TEST(HtmlHelp, TheShellOpensHelpPathsInTheHelpWindow) {
  std::string folder = MakeGuide();
  ScriptScope script;
  HWND window = HtmlHelp(0, folder, HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(window, 0u);
  WidgetFromHwnd(window)->hide();
  EXPECT_TRUE(ShellOpen(folder.substr(0, folder.size() - 5) + ".chm"));
  EXPECT_TRUE(WidgetFromHwnd(window)->isVisible());
  EXPECT_TRUE(ShellOpen(folder + "/editing.html"));
  EXPECT_EQ(PageOf(window), folder + "/editing.html");
  WidgetFromHwnd(window)->close();
}

TEST(HtmlHelp, AHelpFileThatCannotBeOpenedGetsTheBox) {
  std::string scratch = fixtures::ScratchFolder("help-missing");
  std::filesystem::create_directories(scratch + "/Empty.help");  // no start page
  struct Case {
    std::string file;
    std::string named;
  };
  for (const Case& c : {Case{scratch + "/Gone.chm", scratch + "/Gone.help"},
                        Case{scratch + "/Empty.help", scratch + "/Empty.help"},
                        Case{scratch + "/Empty.help/missing.html", scratch + "/Empty.help/missing.html"}}) {
    SCOPED_TRACE(c.file);
    ScriptScope script;
    script->AnswerMsgBox(vbOK);
    EXPECT_EQ(HtmlHelp(0, c.file, HH_DISPLAY_TOPIC, 0), 0u);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "Cannot open the help file " + c.named + ".");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly | vbExclamation);
  }
  // The shell shows the same box for a help path, and leaves other documents to the opener.
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  EXPECT_TRUE(ShellOpen(scratch + "/Gone.chm"));
  EXPECT_EQ(script->MsgBoxes().size(), 1u);
}

// A page whose pictures name files that are not files (a device that never ends, a FIFO without
// a writer, a folder): the page shows, without those pictures, instead of a window that hangs.
TEST(HtmlHelp, PicturesThatAreNoFilesDoNotHangThePage) {
  std::string folder = fixtures::ScratchFolder("help-odd") + "/Odd.help";
  std::filesystem::create_directories(folder + "/dir.png");
  ::unlink((folder + "/pipe.png").c_str());
  ASSERT_EQ(::mkfifo((folder + "/pipe.png").c_str(), 0600), 0);
  std::ofstream(folder + "/index.html") << "<html><head><title>Odd</title></head><body>Odd page"
                                        << "<img src=\"/dev/zero\"><img src=\"pipe.png\"><img src=\"dir.png\">"
                                        << "<img src=\"file:///dev/zero\"></body></html>";
  ScriptScope script;
  HWND window = 0;
  {
    HangGuard guard("a help page with pictures that are no files");
    window = HtmlHelp(0, folder, HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(window, 0u);
    BrowserOf(window)->grab();  // the pictures are read when the page is laid out and drawn
  }
  EXPECT_NE(BrowserOf(window)->toPlainText().toStdString().find("Odd page"), std::string::npos);
  EXPECT_TRUE(script->MsgBoxes().empty());
  WidgetFromHwnd(window)->close();
}

// Every picture the help window refuses reaches the layout as a (blank) picture of its own, so the
// layout never opens the name by itself: a FIFO named absolutely, by URL or relative to the
// current folder, a device, a folder and a missing file.
TEST(HtmlHelp, RefusedPicturesReachTheLayoutAsBlankPictures) {
  std::string folder = fixtures::ScratchFolder("help-refused") + "/Refused.help";
  std::filesystem::create_directories(folder + "/dir.png");
  ::unlink((folder + "/pipe.png").c_str());
  ASSERT_EQ(::mkfifo((folder + "/pipe.png").c_str(), 0600), 0);
  const std::string sources[] = {folder + "/pipe.png", "file://" + folder + "/pipe.png", "pipe.png", "/dev/zero",
                                 folder + "/dir.png",  folder + "/missing.png"};
  std::string html = "<html><head><title>Refused</title></head><body>Refused page";
  for (const std::string& src : sources) html += "<img src=\"" + src + "\">";
  std::ofstream(folder + "/index.html") << html << "</body></html>";

  // The current folder is the help folder, as when a program's own folder holds its help.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  ScriptScope script;
  HWND window = 0;
  {
    HangGuard guard("a help page with pictures it refuses");
    window = HtmlHelp(0, folder, HH_DISPLAY_TOPIC, 0);
    if (window) BrowserOf(window)->grab();  // the pictures are read when the page is laid out and drawn
  }
  std::filesystem::current_path(before);
  ASSERT_NE(window, 0u);
  EXPECT_NE(BrowserOf(window)->toPlainText().toStdString().find("Refused page"), std::string::npos);
  for (const std::string& src : sources) {
    SCOPED_TRACE(src);
    const QVariant picture =
        BrowserOf(window)->document()->resource(QTextDocument::ImageResource, QUrl(QString::fromStdString(src)));
    ASSERT_EQ(picture.userType(), QMetaType::QImage);
    EXPECT_FALSE(picture.value<QImage>().isNull());
  }
  EXPECT_TRUE(script->MsgBoxes().empty());
  WidgetFromHwnd(window)->close();
}

}  // namespace
