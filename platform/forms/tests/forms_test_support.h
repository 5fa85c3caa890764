#pragma once
// Test helpers of the forms runtime: the shared scripted responder, a bounded DoEvents loop and
// a form whose design the test gives.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "core/error.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "scripted_responder.h"

// The runtime error number a call raises; 0 when it raises none.
inline int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VBError& e) {
    return e.Number();
  }
  return 0;
}

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
