// The registration module of the video compressors' driver list: regsvr registers it like any
// library of the program folder.
#include "vfw/vfw.h"

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  return vfw::RegisterDriverList();
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return vfw::UnregisterDriverList();
}
