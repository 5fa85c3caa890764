#include "typelib.h"

#include <mutex>

namespace dshow {

using namespace desc;

namespace {

constexpr VARTYPE kOutI4 = VT_I4 | VT_BYREF;
constexpr VARTYPE kOutDispatch = VT_DISPATCH | VT_BYREF;

std::vector<MemberDesc> Property(const std::string& name, DISPID id, VARTYPE vt, bool writable) {
  std::vector<MemberDesc> m = {PropertyGet(name, id, vt)};
  if (writable) m.push_back(PropertyPut(name, id, vt));
  return m;
}

void Append(std::vector<MemberDesc>& to, std::vector<MemberDesc> more) {
  to.insert(to.end(), more.begin(), more.end());
}

TypeLibDesc Build() {
  TypeLibDesc lib;
  lib.libid = LIBID_FilterGraphAutomation;
  lib.name = "FilterGraphAutomation";
  lib.helpString = "Filter graph automation";

  std::vector<MemberDesc> graph = {
      Method("Run", 1), Method("Pause", 2), Method("Stop", 3),
      Method("GetState", 4, {In("msTimeout", VT_I4), Out("pfs", kOutI4)}),
      Method("RenderFile", 5, {In("strFilename", VT_BSTR)}),
      Method("AddSourceFilter", 6, {In("strFilename", VT_BSTR), Out("ppUnk", kOutDispatch)}),
      PropertyGet("FilterCollection", 7, VT_DISPATCH), PropertyGet("RegFilterCollection", 8, VT_DISPATCH),
      Method("StopWhenReady", 9),
      Method("GetEvent", 11,
             {Out("lEventCode", kOutI4), Out("lParam1", kOutI4), Out("lParam2", kOutI4), In("msTimeout", VT_I4)}),
      Method("WaitForCompletion", 12, {In("msTimeout", VT_I4), Out("pEvCode", kOutI4)}),
      Method("CancelDefaultHandling", 13, {In("lEvCode", VT_I4)}),
      Method("RestoreDefaultHandling", 14, {In("lEvCode", VT_I4)}),
      PropertyGet("Duration", 20, VT_R8),
      Method("CanSeekForward", 25, {Retval(VT_I4)}), Method("CanSeekBackward", 26, {Retval(VT_I4)}),
      PropertyGet("AvgTimePerFrame", 60, VT_R8), PropertyGet("BitRate", 61, VT_I4),
      PropertyGet("VideoWidth", 62, VT_I4), PropertyGet("VideoHeight", 63, VT_I4),
      Method("GetVideoSize", 64, {Out("pWidth", kOutI4), Out("pHeight", kOutI4)}),
      Method("SetWindowPosition", 52,
             {In("Left", VT_I4), In("Top", VT_I4), In("Width", VT_I4), In("Height", VT_I4)}),
      Method("GetWindowPosition", 53,
             {Out("pLeft", kOutI4), Out("pTop", kOutI4), Out("pWidth", kOutI4), Out("pHeight", kOutI4)}),
      Method("SetWindowForeground", 54, {In("Focus", VT_I4)}),
  };
  Append(graph, Property("CurrentPosition", 21, VT_R8, true));
  Append(graph, Property("StopTime", 22, VT_R8, true));
  Append(graph, Property("PrerollTime", 23, VT_R8, true));
  Append(graph, Property("Rate", 24, VT_R8, true));
  Append(graph, Property("Volume", 30, VT_I4, true));
  Append(graph, Property("Balance", 31, VT_I4, true));
  Append(graph, Property("Caption", 40, VT_BSTR, true));
  const char* longProps[] = {"WindowStyle", "WindowStyleEx", "AutoShow", "WindowState", "Visible",
                             "Left",        "Width",         "Top",      "Height",      "Owner",
                             "MessageDrain"};
  DISPID id = 41;
  for (const char* p : longProps) Append(graph, Property(p, id++, VT_I4, true));

  std::vector<MemberDesc> collection = {PropertyGet("Count", 1, VT_I4),
                                        Method("Item", 2, {In("lItem", VT_I4), Out("ppUnk", VT_UNKNOWN | VT_BYREF)})};
  std::vector<MemberDesc> filterInfo = {
      Method("FindPin", 1, {In("strPinID", VT_BSTR), Out("ppUnk", kOutDispatch)}),
      PropertyGet("Name", 2, VT_BSTR), PropertyGet("VendorInfo", 3, VT_BSTR),
      PropertyGet("Filter", 4, VT_UNKNOWN), PropertyGet("Pins", 5, VT_DISPATCH),
      PropertyGet("IsFileSource", 6, VT_I4)};
  Append(filterInfo, Property("Filename", 7, VT_BSTR, true));
  std::vector<MemberDesc> pinInfo = {
      PropertyGet("Pin", 1, VT_UNKNOWN),          PropertyGet("ConnectedTo", 2, VT_DISPATCH),
      PropertyGet("ConnectionMediaType", 3, VT_DISPATCH), PropertyGet("FilterInfo", 4, VT_DISPATCH),
      PropertyGet("Name", 5, VT_BSTR),            PropertyGet("Direction", 6, VT_I4),
      PropertyGet("PinID", 7, VT_BSTR),           PropertyGet("MediaTypes", 8, VT_DISPATCH),
      Method("Connect", 9, {In("pPin", VT_UNKNOWN)}), Method("ConnectDirect", 10, {In("pPin", VT_UNKNOWN)}),
      Method("ConnectWithType", 11, {In("pPin", VT_UNKNOWN), In("pMediaType", VT_DISPATCH)}),
      Method("Disconnect", 12), Method("Render", 13)};
  std::vector<MemberDesc> regFilterInfo = {PropertyGet("Name", 1, VT_BSTR),
                                           Method("Filter", 2, {Out("ppUnk", kOutDispatch)})};
  std::vector<MemberDesc> mediaTypeInfo = {PropertyGet("Type", 1, VT_BSTR), PropertyGet("Subtype", 2, VT_BSTR)};

  lib.types = {
      DispInterface(DIID_FilgraphManagerAutomation, "FilgraphManagerAutomation", graph),
      DualInterface(IAMCollection::iid, "IAMCollection", collection, "Collection"),
      DualInterface(IFilterInfo::iid, "IFilterInfo", filterInfo, "FilterInfo Object"),
      DualInterface(IPinInfo::iid, "IPinInfo", pinInfo, "PinInfo Object"),
      DualInterface(IRegFilterInfo::iid, "IRegFilterInfo", regFilterInfo, "Registered Filter Info Object"),
      DualInterface(IMediaTypeInfo::iid, "IMediaTypeInfo", mediaTypeInfo, "Media Type Info Object"),
      CoClass(CLSID_FilgraphManager, "FilgraphManager",
              {{DIID_FilgraphManagerAutomation, IMPLTYPEFLAG_FDEFAULT}}),
  };
  return lib;
}

}  // namespace

std::shared_ptr<const TypeLibDesc> AutomationTypeLib() {
  static std::once_flag once;
  static std::shared_ptr<const TypeLibDesc> lib;
  std::call_once(once, [] {
    lib = std::make_shared<const TypeLibDesc>(Build());
    PublishTypeLib(*lib);
  });
  return lib;
}

}  // namespace dshow
