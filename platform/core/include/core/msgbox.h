#pragma once
// The message box entry point. The forms layer routes it to real windows (and tests route it to
// scripted answers); without either, the box is written to standard error and answered with its
// default button.
#include <functional>
#include <optional>
#include <string>

enum VbMsgBoxStyle : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbAbortRetryIgnore = 2,
  vbYesNoCancel = 3,
  vbYesNo = 4,
  vbRetryCancel = 5,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton1 = 0,
  vbDefaultButton2 = 256,
  vbDefaultButton3 = 512,
  vbDefaultButton4 = 768,
  vbApplicationModal = 0,
  vbSystemModal = 4096,
  vbMsgBoxSetForeground = 0x10000,
};

enum VbMsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// What a message box asks: prompt, button and icon flags, and the title actually shown.
struct MsgBoxRequest {
  std::string prompt;
  int buttons = vbOKOnly;
  std::string title;
};

using MsgBoxHandler = std::function<int(const MsgBoxRequest&)>;

// Installs a handler; returns the previous one. An empty handler restores the default.
MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler);

// Shows a message box; with no title the application's title is used.
int MsgBox(const std::string& prompt, int buttons = vbOKOnly,
           const std::optional<std::string>& title = std::nullopt);

// The application's title (App.Title): the program's name unless a program sets it.
const std::string& AppTitle();
void SetAppTitle(std::string title);

// The button a box answers with when nobody is there to click: its default button.
int DefaultMsgBoxAnswer(int buttons);
