#include "options/modCompress.h"

#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "options/frmCompress.h"
#include "vfw/vfw.h"

bool CompressCancelRequested = false;
int32_t CompressPercent = 0;

namespace modCompress {

intptr_t AviSaveCallback(int32_t nPercent) {
  CompressPercent = nPercent;
  frmCompress& window = DefaultForm<frmCompress>();
  if (window.IsLoaded()) {
    window.txtStatus->Text(std::to_string(nPercent));
    window.txtStatus->Refresh();
  }
  DoEvents();
  return CompressCancelRequested ? AVIERR_USERABORT : 0;
}

std::string AviErrorText(HRESULT status) {
  switch (status) {
    case AVIERR_FILEWRITE:
      return "The file could not be written: the disk may be full or the folder read-only.";
    case AVIERR_FILEOPEN:
      return "The file could not be opened.";
    case AVIERR_FILEREAD:
      return "The source file could not be read to its end.";
    case AVIERR_BADFORMAT:
      return "The file is not an AVI file this program can read.";
    case AVIERR_NODATA:
      return "The file has no video stream.";
    case AVIERR_NOCOMPRESSOR:
      return "The selected codec is not installed.";
    case AVIERR_CANTCOMPRESS:
      return "The selected codec cannot compress video of this frame size.";
    case AVIERR_COMPRESSOR:
      return "The selected codec failed while compressing.";
    case AVIERR_MEMORY:
      return "There was not enough memory.";
    default: {
      static const char* digits = "0123456789ABCDEF";
      std::string hex;
      for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(static_cast<uint32_t>(status) >> shift) & 0xF];
      return "The save failed (error 0x" + hex + ").";
    }
  }
}

}  // namespace modCompress
