#pragma once
// The help window. A help file "Name.chm" of the original design is here the folder "Name.help"
// of HTML pages (the shell's name mapping, shell/files.h), whose default topic is index.html.
//
// HtmlHelp(owner, file, HH_DISPLAY_TOPIC, 0) shows a modeless window owned by `owner` with the
// file's topic: "X.chm" or the folder "X.help" show X.help/index.html, a page inside a ".help"
// folder shows that page. The window of one help folder is shown again, not opened twice.
// ShellOpen of such a path shows the same window. A missing or unreadable help file: "Cannot open
// the help file " & path & "." (OK, exclamation), with the path of the help folder or page.
#include <cstdint>
#include <string>

#include "forms/hwnd.h"

constexpr uint32_t HH_DISPLAY_TOPIC = 0;

// The help window's handle; 0 after the box of a help file that cannot be opened, or for a command
// other than HH_DISPLAY_TOPIC.
HWND HtmlHelp(HWND owner, const std::string& file, uint32_t command, uintptr_t data);
