#pragma once
// Message boxes and dialogs in tests: answers from a script for the scope of one test. A box the
// script does not expect fails the test, and so do answers left unused at the end of the scope.
//
//   ScriptScope script;
//   script->AnswerMsgBox(vbYes).AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/tmp/out.avi"));
//   ... run the code ...
//   EXPECT_EQ(script->MsgBoxes().at(0).prompt, "Do you want to save your changes?");
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "forms/responder.h"

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
  ScriptScope(const ScriptScope&) = delete;
  ScriptScope& operator=(const ScriptScope&) = delete;
  ScriptedResponder* operator->() { return script_.get(); }
  ScriptedResponder& operator*() { return *script_; }

 private:
  std::shared_ptr<ScriptedResponder> script_;
  std::shared_ptr<Responder> previous_;
};
