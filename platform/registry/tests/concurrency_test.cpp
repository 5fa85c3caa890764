// Two processes saving settings at the same time lose none of each other's.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <map>

#include "registry/settings.h"
#include "registry_fixture.h"

extern char** environ;

namespace {

class TwoProcesses : public RegistryFolder {};

pid_t Start(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0) << argv[0];
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(TwoProcesses, WritingOneThousandSettingsEachLoseNone) {
  constexpr int kEach = 1000;
  SaveSetting("Race", "Before", "kept", "yes");
  pid_t a = Start({SETTING_WRITER_PATH, "Race", "Shared", "a", std::to_string(kEach)});
  pid_t b = Start({SETTING_WRITER_PATH, "Race", "Shared", "b", std::to_string(kEach)});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);

  std::map<std::string, std::string> all;
  for (auto& [k, v] : GetAllSettings("Race", "Shared")) all[k] = v;
  EXPECT_EQ(all.size(), 2u * kEach);
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < kEach; ++i) {
      auto it = all.find(prefix + std::to_string(i));
      ASSERT_NE(it, all.end()) << "lost " << prefix << i;
      EXPECT_EQ(it->second, "value " + std::to_string(i));
    }
  EXPECT_EQ(GetSetting("Race", "Before", "kept"), "yes");
}

}  // namespace
