// The Sizewarden library: its type library, its one class, its resources and exports.
#include "ModuleResources.h"
#include "StreamResize.h"
#include "com/resources.h"
#include "com/server.h"
#include "com/typeinfo.h"

namespace sizewarden {
namespace {

constexpr GUID kErrorValueEnum = MakeGuid("{9D8424DA-3111-49BB-BEC2-AC6B13706DB3}");
constexpr GUID kErrorValueAlias = MakeGuid("{9D8424DA-3111-49BB-BEC2-AC6B13706DB4}");

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "DESStreamResizeLib";
  lib.majorVersion = 1;
  lib.minorVersion = 0;
  lib.lcid = 0x0409;
  lib.helpString = "DES StreamResize";
  lib.types = {
      Enumeration(kErrorValueEnum, "",
                  {{"errVal_NoError", 0},
                   {"errVal_FatalError", 1},
                   {"errVal_NonFatalError", 2},
                   {"errVal_ObjectNotFound", 3},
                   {"errVal_InvalidPtr", 4},
                   {"errVal_MediaTypeInvalid", 5},
                   {"errVal_VideoSizeInvalid", 6}}),
      Alias(kErrorValueAlias, "ErrorValue", kErrorValueEnum),
      DualInterface(IStreamResize::iid, "IStreamResize",
                    {PropertyGet("TimelineGroup", 1, VT_UNKNOWN),
                     PropertyPut("TimelineGroup", 1, VT_UNKNOWN),
                     Method("DestroyObjects", 2),
                     OfType(Method("ChangeMediaType", 3,
                                   {In("biWidth", VT_I4), In("biHeight", VT_I4), In("biPlanes", VT_I4),
                                    In("biBitCount", VT_I4), Retval(VT_I4, "pResult")}),
                            kErrorValueAlias),
                     PropertyGet("SizeCount", 5, VT_I4),
                     OfType(Method("QuerySize", 6,
                                   {In("nIndex", VT_I4), Out("Cx", VT_I4), Out("Cy", VT_I4),
                                    Out("description", VT_BSTR), Retval(VT_I4, "pResult")}),
                            kErrorValueAlias),
                     Method("PromptForGraph", 7, {In("pGraph", VT_UNKNOWN)}),
                     Method("CheckIfSizeIsSupported", 8, {In("pGraph", VT_UNKNOWN), Retval(VT_BOOL, "pbResult")}),
                     Method("About", 9)},
                    "IStreamResize Interface"),
      DispInterface(DIID__IStreamResizeEvents, "_IStreamResizeEvents",
                    {Method("OnError", 1, {In("errVal", VT_I4), In("description", VT_BSTR)})},
                    "_IStreamResizeEvents Interface"),
      CoClass(CLSID_StreamResize, "StreamResize",
              {{IStreamResize::iid, IMPLTYPEFLAG_FDEFAULT},
               {DIID__IStreamResizeEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
              "StreamResize Class"),
  };
  return lib;
}

// The about box, in dialog units of its 8-point font.
constexpr const char* kAboutDialog =
    "DIALOG 0 0 268 85\n"
    "STYLE MODALFRAME CAPTION SYSMENU\n"
    "CAPTION \"About DES StreamResize Object\"\n"
    "FONT 8 \"MS Sans Serif\"\n"
    "DEFPUSHBUTTON \"OK\" 1 109 64 50 14\n"
    "LTEXT \"Direct Show Video Editing System Stream Resizing Control v1.01\" -1 29 21 217 14\n"
    "LTEXT \"Sets the join's frame size and watches its compressor.\" -1 29 38 217 10\n";

}  // namespace
}  // namespace sizewarden

using namespace sizewarden;

SUITE_COM_SERVER(Description(), {
    ServerClass::Of<StreamResize>({CLSID_StreamResize, "StreamResize Class", "SizewardenPrj.StreamResize.1",
                                   "SizewardenPrj.StreamResize"}),
})

SUITE_MODULE_RESOURCES({
    {RT_STRING, ResourceId(100), graphparts::Text("SizewardenPrj")},
    {RT_DIALOG, ResourceId(102), graphparts::Text(kAboutDialog)},
    {RT_VERSION, ResourceId(1),
     graphparts::VersionData({{"FileDescription", "DES Stream ResizingObject"},
                              {"FileVersion", "1, 0, 0, 5"},
                              {"InternalName", "SizewardenPrj"},
                              {"OriginalFilename", "Sizewarden.dll"},
                              {"PrivateBuild", "29"},
                              {"ProductName", "DES Stream ResizingObject"},
                              {"ProductVersion", "1, 0, 0, 5"},
                              {"SpecialBuild", "12876"}},
                             true)},
})
