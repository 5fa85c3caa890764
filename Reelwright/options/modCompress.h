#pragma once
// modCompress: the state shared by the AVI recompression window and the save function's progress
// callback: the user's stop request and the last percentage reported.
#include <cstdint>
#include <string>

#include "core/hresult.h"

// The user asked to stop the save ("Cancel" or "Exit"); cleared when a save starts.
extern bool CompressCancelRequested;
// The percentage the save function reported last.
extern int32_t CompressPercent;

namespace modCompress {

// The save function's progress callback: shows the percentage in the recompression window's
// status box, repaints it, lets pending window messages through (the window's buttons are
// handled here during a save) and answers AVIERR_USERABORT when a stop was requested, else 0.
intptr_t AviSaveCallback(int32_t nPercent);

// A sentence that says what an AVIFile result code means, for the user.
std::string AviErrorText(HRESULT status);

}  // namespace modCompress
