#pragma once
// Test helpers of the forms runtime: a scripted responder whose unexpected boxes fail the test,
// and a bounded DoEvents loop.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "forms/app.h"
#include "forms/responder.h"

// Installs a scripted responder for the scope; an unexpected box fails the test, and answers left
// unused at the end of the scope fail it too.
class ScriptScope {
 public:
  ScriptScope() : script_(std::make_shared<ScriptedResponder>()) {
    script_->OnUnexpected([](const std::string& what) { ADD_FAILURE() << "unexpected " << what; });
    previous_ = SetResponder(script_);
  }
  ~ScriptScope() {
    EXPECT_EQ(script_->Remaining(), 0u) << "scripted answers left unused";
    SetResponder(previous_);
  }
  ScriptedResponder* operator->() { return script_.get(); }
  ScriptedResponder& operator*() { return *script_; }

 private:
  std::shared_ptr<ScriptedResponder> script_;
  std::shared_ptr<Responder> previous_;
};

// Runs DoEvents until the condition holds or the deadline passes; returns the condition.
inline bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    DoEvents();
  }
  return true;
}

#include "forms/controls.h"
#include "forms/form.h"

// A form whose design is given by the test; handlers log into `log`.
class TestForm : public Form {
 public:
  explicit TestForm(std::string name, std::function<void(TestForm&)> design = {})
      : Form(std::move(name)), design_(std::move(design)) {}
  std::vector<std::string> log;
  // Logs "<handler>" each time the named handlers run (without arguments).
  void LogEvents(std::initializer_list<const char*> handlers) {
    for (const char* h : handlers) {
      std::string name = h;
      SetHandler(name, [this, name](EventArgs&) { log.push_back(name); });
    }
  }

 protected:
  void Design() override {
    if (design_) design_(*this);
  }

 private:
  std::function<void(TestForm&)> design_;
};
