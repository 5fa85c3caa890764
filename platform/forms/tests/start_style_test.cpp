// The first window a program shows takes the show style it was started with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "forms/form.h"
#include "shell/process.h"

namespace {

class Plain : public Form {
 public:
  Plain() : Form("frmPlain") {}

 protected:
  void Design() override { Size(3000, 2000); }
};

TEST(StartStyle, TheFirstWindowStartsMinimizedTheNextNormally) {
  setenv("SUITE_COMMAND_PID", std::to_string(getpid()).c_str(), 1);
  setenv("SUITE_SHOW_STYLE", std::to_string(vbMinimizedNoFocus).c_str(), 1);
  ASSERT_EQ(StartupWindowStyle(), vbMinimizedNoFocus);
  auto first = MakeForm<Plain>();
  first->Show();
  EXPECT_EQ(first->WindowState(), vbMinimized);
  EXPECT_TRUE(first->Visible());
  auto second = MakeForm<Plain>();
  second->Show();
  EXPECT_EQ(second->WindowState(), vbNormal);
  first->Unload();
  second->Unload();
  unsetenv("SUITE_SHOW_STYLE");
  unsetenv("SUITE_COMMAND_PID");
}

}  // namespace
