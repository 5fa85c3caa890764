// Add File with a name that is no file a movie can be read from (a FIFO, a device, a folder),
// chosen in the open dialog (the browser lists only files): the tile takes the name and the
// media-error handling says that the file may be corrupt, as for any other file the tile cannot
// read; nothing waits on the FIFO.
#include <sys/stat.h>

#include <filesystem>

#include "MainWindowFixture.h"
#include "hang_guard.h"

namespace fs = std::filesystem;

namespace {

class UnreadableSource : public MainWindowFixture {};

TEST_F(UnreadableSource, AddFileSaysTheFileMayBeCorrupt) {
  const fs::path fifo = media_ / "pipe.avi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path device = media_ / "zero.avi";
  fs::create_symlink("/dev/zero", device);
  const fs::path folder = media_ / "folder.avi";
  fs::create_directories(folder);
  for (const fs::path& path : {fifo, device, folder}) {
    SCOPED_TRACE(path.string());
    ScriptScope script;
    frmShow& w = Window();
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path.string())).AnswerMsgBox(vbOK);
    {
      HangGuard guard("adding " + path.string());
      w.mnuImport_Click();
    }
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, frmShow::MediaErrorMessage('c', path.string()));
    EXPECT_EQ(Files(w), std::vector<std::string>{path.string()}) << "the tile keeps the name";
    w_->ProjectChanged = false;
    w_.reset();
  }
}

}  // namespace
