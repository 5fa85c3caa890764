// A damaged hive file is refused with a message, kept under another name and never overwritten.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "core/error.h"
#include "registry/settings.h"
#include "registry_fixture.h"

namespace {

class DamagedHive : public RegistryFolder {};

struct Damage {
  const char* what;
  std::function<std::string(const std::string&)> apply;
};

std::vector<std::filesystem::path> KeptFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> kept;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string().starts_with("HKEY_CURRENT_USER.reg.damaged-")) kept.push_back(e.path());
  return kept;
}

TEST_F(DamagedHive, IsReportedOnceKeptAsideAndNotOverwritten) {
  for (int i = 0; i < 20; ++i) SaveSetting("App", "S", "key" + std::to_string(i), "value " + std::to_string(i));
  const std::string good = ReadFile(HiveFile());
  ASSERT_NE(good.find("key19"), std::string::npos);

  const Damage damages[] = {
      {"cut in the middle of a line", [](const std::string& t) { return t.substr(0, t.size() / 2); }},
      {"cut after a whole line", [](const std::string& t) { return t.substr(0, t.rfind('\n', t.size() - 2) + 1); }},
      {"a garbled line", [](const std::string& t) {
         size_t at = t.find("\"key7\"");
         return t.substr(0, at) + "#%$ garbage @@\n" + t.substr(at);
       }},
      {"a broken escape", [](const std::string& t) {
         size_t at = t.find("value 3");
         return t.substr(0, at) + "\\q" + t.substr(at);
       }},
      {"another file altogether", [](const std::string&) { return std::string("just some text\n"); }},
      {"an empty file", [](const std::string&) { return std::string(); }},
      {"zero bytes in place of text", [](const std::string& t) { return std::string(t.size(), '\0'); }},
  };
  const auto root = folder_;
  int n = 0;
  for (const auto& d : damages) {
    SCOPED_TRACE(d.what);
    const auto folder = root / ("case" + std::to_string(++n));
    std::filesystem::create_directories(folder);
    const std::string damaged = d.apply(good);
    WriteFile(folder / "HKEY_CURRENT_USER.reg", damaged);
    UseFolder(folder);

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetSetting("App", "S", "key1", "default"), "default") << "the hive starts empty";
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("damaged"), std::string::npos) << message;
    EXPECT_NE(message.find((folder / "HKEY_CURRENT_USER.reg").string()), std::string::npos) << message;

    auto kept = KeptFiles(folder);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(kept[0]), damaged) << "kept as it was";
    EXPECT_NE(message.find(kept[0].string()), std::string::npos) << "the message says where: " << message;

    testing::internal::CaptureStderr();
    SaveSetting("App", "S", "fresh", "start");
    EXPECT_EQ(GetSetting("App", "S", "fresh"), "start");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "reported once only";
    EXPECT_EQ(ReadFile(kept[0]), damaged) << "the damaged file was overwritten";
    EXPECT_EQ(KeptFiles(folder).size(), 1u);
  }
}

TEST_F(DamagedHive, AKeptFileIsNeverReplacedByALaterOne) {
  std::filesystem::create_directories(folder_);
  WriteFile(HiveFile(), "first damage\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetSetting("App", "S", "k", "d"), "d");
  WriteFile(HiveFile(), "second damage\n");
  SaveSetting("App", "S", "k", "after");  // the next damage is met by a save
  std::string message = testing::internal::GetCapturedStderr();
  auto kept = KeptFiles(folder_);
  ASSERT_EQ(kept.size(), 2u) << message;
  std::set<std::string> texts{ReadFile(kept[0]), ReadFile(kept[1])};
  EXPECT_EQ(texts, (std::set<std::string>{"first damage\n", "second damage\n"}));
  EXPECT_EQ(GetSetting("App", "S", "k", "d"), "after");
}

TEST_F(DamagedHive, AHandEditedFileIsReadAgain) {
  SaveSetting("App", "S", "k", "old");
  std::string text = ReadFile(HiveFile());
  size_t at = text.find("\"old\"");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 5, "\"edited by hand\"");
  WriteFile(HiveFile(), text);  // in place: same file, new size
  EXPECT_EQ(GetSetting("App", "S", "k"), "edited by hand");

  // Saved with CR LF line ends and without the last line break: still the same hive.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  crlf.resize(crlf.size() - 2);
  crlf.replace(crlf.find("edited by hand"), 14, "edited again");
  WriteFile(HiveFile(), crlf);
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetSetting("App", "S", "k"), "edited again");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Reading a FIFO blocks until a writer comes, /dev/zero never ends: neither is read.
TEST_F(DamagedHive, SomethingThatIsNoFileIsLeftAloneAndTheHiveStartsEmpty) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> plant;
    fs::file_type type;  // what must still be there afterwards
  } cases[] = {
      {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, fs::file_type::fifo},
      {"a link to a device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, fs::file_type::character},
      {"a folder", [](const fs::path& p) { fs::create_directories(p); }, fs::file_type::directory},
  };
  const auto root = folder_;
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto folder = root / ("case" + std::to_string(++n));
    fs::create_directories(folder);
    c.plant(folder / "HKEY_CURRENT_USER.reg");
    UseFolder(folder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetSetting("App", "S", "k", "default"), "default");
    EXPECT_EQ(GetSetting("App", "S", "k", "default"), "default");
    EXPECT_THROW(SaveSetting("App", "S", "k", "v"), VBError) << "never written over";
    std::string message = testing::internal::GetCapturedStderr();
    const std::string report = "is not a regular file; it is left alone";
    EXPECT_NE(message.find(report), std::string::npos) << message;
    EXPECT_EQ(message.find(report), message.rfind(report)) << "reported once: " << message;
    EXPECT_EQ(fs::status(folder / "HKEY_CURRENT_USER.reg").type(), c.type);
    EXPECT_TRUE(KeptFiles(folder).empty()) << "nothing set aside";
    EXPECT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, "Soft", "v", "x")) << "the other hives work";
  }
}

TEST_F(DamagedHive, TemporaryFilesOfWritersThatNoLongerRunAreRemoved) {
  namespace fs = std::filesystem;
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  fs::create_directories(folder_);
  const std::string deadName = ".reg.tmp-" + std::to_string(dead);
  const std::string liveName = ".reg.tmp-" + std::to_string(::getppid());
  for (const std::string& name : {"HKEY_CURRENT_USER" + deadName, "HKEY_CURRENT_USER" + liveName,
                                  "HKEY_LOCAL_MACHINE" + deadName, std::string("HKEY_CURRENT_USER.reg.tmp-notapid"),
                                  "HKEY_CURRENT_USER.reg.tmp-" + std::to_string(::getpid())}) {
    WriteFile(folder_ / name, "half a hive");
  }
  EXPECT_EQ(GetSetting("App", "S", "k", "d"), "d");
  EXPECT_FALSE(fs::exists(folder_ / ("HKEY_CURRENT_USER" + deadName))) << "its writer is gone";
  EXPECT_FALSE(fs::exists(folder_ / ("HKEY_CURRENT_USER.reg.tmp-" + std::to_string(::getpid()))))
      << "this process is saving nothing";
  EXPECT_TRUE(fs::exists(folder_ / ("HKEY_CURRENT_USER" + liveName))) << "its writer still runs";
  EXPECT_TRUE(fs::exists(folder_ / "HKEY_CURRENT_USER.reg.tmp-notapid"));
  EXPECT_TRUE(fs::exists(folder_ / ("HKEY_LOCAL_MACHINE" + deadName))) << "that hive has not been opened yet";
  EXPECT_FALSE(registry::ReadString(HKEY_LOCAL_MACHINE, "Soft", "v"));
  EXPECT_FALSE(fs::exists(folder_ / ("HKEY_LOCAL_MACHINE" + deadName)));
}

}  // namespace
