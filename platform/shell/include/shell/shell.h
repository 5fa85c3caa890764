#pragma once
// Files, folders, processes, the desktop's opener and trash.
#include "shell/files.h"
#include "shell/process.h"
#include "shell/textfile.h"
#include "shell/trash.h"
#include "shell/listfile.h"
#include "shell/instance.h"
#include "shell/system.h"
