// The Kitbroker library: its type library, the control and the string list, resources and exports.
#include <cstdlib>

#include "KitbrokerControl.h"
#include "ModuleResources.h"
#include "StringList.h"
#include "com/resources.h"
#include "com/server.h"
#include "com/typeinfo.h"

namespace kitbroker {
namespace {

constexpr GUID kMediaCategoryEnum = MakeGuid("{73D77525-0DC4-41A9-9690-E34D2F21B33A}");
constexpr GUID kKitbrokerErrorEnum = MakeGuid("{73D77525-0DC4-41A9-9690-E34D2F21B33B}");

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "KITBROKERLib";
  lib.majorVersion = 1;
  lib.minorVersion = 0;
  lib.lcid = 0x0409;
  lib.helpString = "Kitbroker Control";
  std::vector<EnumValue> errors;
  const char* names[] = {"kbErrorNoError",
                         "kbErrorGeneric",
                         "kbErrorException",
                         "kbErrorSysDeviceEnumCreationFailed",
                         "kbErrorCreateClassEnumeratorFailed",
                         "kbErrorCreateGraphBuilderFailed",
                         "kbErrorGraphRenderFailed",
                         "kbErrorMediaControlNotRetrieved",
                         "kbErrorGraphCouldNotBeRun",
                         "kbErrorVideoFormatNotSupported",
                         nullptr,
                         "kbErrorConversionFailed",
                         "kbErrorInvalidFilesSpecified",
                         "kbErrorAlreadyConverting",
                         "kbErrorFileWriterFilterNotAdded",
                         "kbErrorRendererNotAdded",
                         "kbErrorTeeFilterNotInserted",
                         "kbErrorGraphReorganizationFailed",
                         "kbErrorCompressionFiltersNotAdded",
                         "kbErrorGraphObjectUnavailable",
                         "kbErrorAviMuxNotFound",
                         "kbErrorAviMuxPinsNotRetrieved",
                         "kbErrorCouldNotDisconnect",
                         "kbErrorCouldNotCreateCompressor",
                         "kbErrorAudioCompressorPinConnect",
                         "kbErrorVideoCompressorPinConnect",
                         "kbErrorVideoCompressorCouldNotBeAddedToGraph",
                         "kbErrorAudioCompressorCouldNotBeAddedToGraph"};
  for (int i = 0; i < static_cast<int>(std::size(names)); ++i)
    if (names[i]) errors.push_back({names[i], i});
  lib.types = {
      Enumeration(kMediaCategoryEnum, "tagMediaCategory", {{"CodecCategoryVideo", 0}, {"CodecCategoryAudio", 1}}),
      Enumeration(kKitbrokerErrorEnum, "tagKitbrokerError", errors),
      DualInterface(IKitbrokerObj::iid, "IKitbrokerObj",
                    {OfType(Method("ListAVICompressionCodecs", 1,
                                   {In("Category", VT_I4), Retval(VT_I4, "pResult")}),
                            kKitbrokerErrorEnum),
                     Method("TranslateError", 2, {In("errNumber", VT_I4), Retval(VT_BSTR, "pResult")}),
                     Method("TranslateHRESULT", 3, {In("hr", VT_I4), Retval(VT_BSTR, "pResult")}),
                     Method("DoesCodecHaveAboutBox", 4, {In("CodecGuid", VT_BSTR), Retval(VT_BOOL, "pResult")}),
                     Method("DoesCodecHaveConfigureBox", 5, {In("CodecGuid", VT_BSTR), Retval(VT_BOOL, "pResult")}),
                     Method("ShowCodecAboutBox", 6, {In("HwndParent", VT_I4), In("CodecGuid", VT_BSTR)}),
                     Method("ShowCodecConfigureBox", 7, {In("HwndParent", VT_I4), In("CodecGuid", VT_BSTR)}),
                     OfType(Method("InsertCompressorIntoRenderedGraph", 8,
                                   {In("pGraph", VT_UNKNOWN), In("VideoCodecGuid", VT_BSTR),
                                    In("AudioCodecGuid", VT_BSTR), Retval(VT_I4, "pResult")}),
                            kKitbrokerErrorEnum)},
                    "IKitbrokerObj Interface"),
      DispInterface(DIID__IKitbrokerObjEvents, "_IKitbrokerObjEvents",
                    {Method("CompressionCodecListed", kCompressionCodecListed,
                            {In("CodecName", VT_BSTR), In("CodecGuid", VT_BSTR), In("CodecCategory", VT_I4)})},
                    "_IKitbrokerObjEvents Interface"),
      ControlClass(CLSID_Kitbroker, "Kitbroker",
                   {{IKitbrokerObj::iid, IMPLTYPEFLAG_FDEFAULT},
                    {DIID__IKitbrokerObjEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
                   "KitbrokerObj Class"),
      DualInterface(IStringList::iid, "IStringList",
                    {Method("Add", 1, {In("Item", VT_BSTR)}),
                     Method("Get", 2, {In("Index", VT_I4), Retval(VT_BSTR, "pResult")}),
                     Method("RemoveAll", 3), Method("RemoveTail", 4), Method("RemoveHead", 5),
                     Method("Find", 6, {In("Item", VT_BSTR), Retval(VT_I4, "pResult")})},
                    "IStringList Interface"),
      CoClass(CLSID_StringList, "StringList", {{IStringList::iid, IMPLTYPEFLAG_FDEFAULT}}, "StringList Class"),
  };
  return lib;
}

ClassRegistration ControlRegistration() {
  ClassRegistration r{CLSID_Kitbroker, "KitbrokerObj Class", "Kitbroker.KitbrokerObj.1", "Kitbroker.KitbrokerObj"};
  r.control = true;
  r.insertable = true;
  r.toolboxBitmap = 101;
  r.miscStatus = kKitbrokerMiscStatus;
  r.version = "1.0";
  return r;
}

// The control's picture: a small film strip with a gear, in the standard colours.
int IconPixel(int x, int y) {
  if (y < 4 || y > 27) return 16;  // transparent
  if (y < 8 || y > 23) return (x % 6 >= 2 && x % 6 < 4) ? 15 : 0;
  int dx = x - 16, dy = y - 16;
  int r2 = dx * dx + dy * dy;
  if (r2 <= 9) return 8;
  if (r2 <= 30) return 11;
  return 4;
}
int ToolboxPixel(int x, int y) {
  if (y < 2 || y > 13) return 7;
  if (y < 4 || y > 11) return (x % 4 == 1) ? 15 : 0;
  int dx = x - 8, dy = y - 8;
  return dx * dx + dy * dy <= 6 ? 11 : 4;
}

}  // namespace
}  // namespace kitbroker

using namespace kitbroker;

SUITE_COM_SERVER(Description(), {
    ServerClass::Of<KitbrokerControl>(ControlRegistration()),
    ServerClass::Of<StringList, /*Aggregatable=*/true>(
        {CLSID_StringList, "StringList Class", "Kitbroker.StringList.1", "Kitbroker.StringList"}),
})

SUITE_MODULE_RESOURCES({
    {RT_STRING, ResourceId(100), graphparts::Text("Kitbroker")},
    {RT_ICON, ResourceId(201), graphparts::Icon16(32, IconPixel)},
    {RT_BITMAP, ResourceId(101), graphparts::Bitmap16(16, 16, ToolboxPixel)},
    {RT_VERSION, ResourceId(1),
     graphparts::VersionData({{"FileDescription", "Kitbroker Module"},
                              {"FileVersion", "1, 0, 0, 1"},
                              {"InternalName", "Kitbroker"},
                              {"OriginalFilename", "Kitbroker.DLL"},
                              {"ProductName", "Kitbroker Module"},
                              {"ProductVersion", "1, 0, 0, 1"}},
                             true)},
})
