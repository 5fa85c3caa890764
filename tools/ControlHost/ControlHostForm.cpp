// ControlHost's form.
#include "ControlHostForm.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/propertypages.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "core/runtime_format.h"
#include "forms/activex.h"
#include "forms/controls.h"
#include "forms/picture.h"
#include "forms/picture_object.h"
#include "forms/propertyframe.h"
#include "registry/settings.h"
#include "shell/files.h"

namespace {
constexpr const char* kApp = "ControlHost";
constexpr const char* kPicturePrefix = "picture:";
constexpr const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A property value as settings text; pictures as Base64 BMP.
std::string ValueText(const Variant& v) {
  if (v.IsObject()) {
    Picture p = PictureFromVariant(v);
    if (p.IsEmpty()) return "";
    std::string path = TempFolder() + "ControlHost." + std::to_string(getpid()) + ".bmp";
    SavePicture(p, path);
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    Kill(path);
    return kPicturePrefix + Base64Encode(bytes);
  }
  return CStr(v);
}

Variant TextValue(const std::string& text) {
  if (text.rfind(kPicturePrefix, 0) != 0) return Variant(text);
  std::vector<uint8_t> bytes = Base64Decode(text.substr(std::string(kPicturePrefix).size()));
  std::string path = TempFolder() + "ControlHost." + std::to_string(getpid()) + ".bmp";
  if (!CreateNewFile(path)) Kill(path), CreateNewFile(path);
  WriteFileBytes(path, bytes);
  Picture p;
  try {
    p = LoadPicture(path);
  } catch (const VBError&) {
    Err().Clear();
  }
  Kill(path);
  return PictureVariant(p);
}
}  // namespace

const char* const kControlHostUsage =
    "Usage: ControlHost [ProgID] [file]\n"
    "  hosts the control (by default WzAnimatedGif.Flickgem) and loads the file into it\n";

ControlHostCommand ReadControlHostCommand(const std::vector<std::string>& args) {
  ControlHostCommand c;
  for (const std::string& a : args) {
    for (const char* word : {"/?", "-?", "-h", "/h", "--help", "/help"})
      if (strcasecmp(a.c_str(), word) == 0) c.help = true;
  }
  if (c.help) return c;
  if (args.size() > 2) {
    c.wrong = true;
    return c;
  }
  if (args.size() == 2) {
    c.progId = args[0];
    c.file = args[1];
  } else if (args.size() == 1) {
    std::error_code ec;
    CLSID clsid;
    if (std::filesystem::exists(args[0], ec)) {
      c.file = args[0];
    } else if (SUCCEEDED(CLSIDFromProgID(args[0], &clsid))) {
      c.progId = args[0];
    } else {
      c.wrong = true;
    }
  }
  return c;
}

std::string Base64Encode(const std::vector<uint8_t>& b) {
  std::string out;
  for (size_t i = 0; i < b.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(b[i]) << 16;
    if (i + 1 < b.size()) v |= static_cast<uint32_t>(b[i + 1]) << 8;
    if (i + 2 < b.size()) v |= b[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < b.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < b.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    const char* at = std::strchr(kAlphabet, c);
    if (c == '=' || !at || c == 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(at - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<uint8_t>(acc >> bits));
    }
  }
  return out;
}

ControlHostForm::ControlHostForm(std::string progId, std::string startFile)
    : Form("frmControlHost"), progId_(std::move(progId)), startFile_(std::move(startFile)) {
  On("Form_Load", [this] { LoadStartFile(); });
  On("cmdLoad_Click", [this] {
    EndQuietly([&] { CallByName(Hosted().DispatchObject(), "LoadFile", DISPATCH_METHOD); });
  });
  On("cmdStart_Click", [this] {
    if (!EndQuietly([&] { CallByName(Hosted().DispatchObject(), "StartPlay", DISPATCH_METHOD); })) {
      MsgBox(Err().Description, vbExclamation);
      Err().Clear();
    }
  });
  On("cmdStop_Click", [this] {
    if (!EndQuietly([&] { CallByName(Hosted().DispatchObject(), "StopPlay", DISPATCH_METHOD); })) {
      MsgBox(Err().Description, vbExclamation);
      Err().Clear();
    }
  });
  On("cmdProperties_Click", [this] {
    ComPtr<IUnknown> obj = static_cast<ActiveXHost&>(Hosted()).Object();
    ComPtr<ISpecifyPropertyPages> specify;
    CAUUID pages;
    if (!obj || FAILED(obj->QueryInterface(ISpecifyPropertyPages::iid, specify.put_void())) ||
        FAILED(specify->GetPages(&pages)) || pages.cElems == 0) {
      MsgBox("The control has no property pages.", vbInformation);
      return;
    }
    IUnknown* objects[] = {obj.Get()};
    HRESULT hr = OleCreatePropertyFrame(static_cast<OAHWND>(hWnd()), 0, 0, Utf8ToUtf16(progId_).c_str(), 1, objects,
                                        pages.cElems, pages.pElems, 0x409, 0, nullptr);
    CoTaskMemFree(pages.pElems);
    if (FAILED(hr)) {
      try {
        CheckWithInfo(hr);
      } catch (const VBError& e) {
        MsgBox(e.Description(), vbExclamation);
      }
    }
  });
  On("Form_Unload", [this](int16_t&) { SaveProperties(); });
  On("Form_Resize", [this] {
    EndQuietly([&] {
      Control& list = *FindControl("lstEvents");
      list.Height(std::max(600, static_cast<int32_t>(ScaleHeight()) - list.Top() - 120));
    });
  });
}

Control& ControlHostForm::Hosted() {
  Control* c = FindControl("ctlHosted");
  if (!c) ::Raise(340, "Control 'ctlHosted' doesn't exist");
  return *c;
}

void ControlHostForm::LoadFile(const std::string& path) {
  Bstr name(path);
  CallByName(Hosted().DispatchObject(), "LoadFile", DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &name)});
}

// The file given at the start, else the name the control restored from its stored properties
// (a control without a GifFileName loads nothing). The control reports a file it cannot load.
void ControlHostForm::LoadStartFile() {
  std::string file = startFile_;
  if (file.empty()) {
    if (!EndQuietly([&] { file = CStr(CallByName(Hosted().DispatchObject(), "GifFileName", DISPATCH_PROPERTYGET)); }))
      Err().Clear();
  }
  if (file.empty()) return;
  if (!EndQuietly([&] { LoadFile(file); })) {
    MsgBox(Err().Description, vbExclamation);
    Err().Clear();
  }
}

void ControlHostForm::Design() {
  Caption("ControlHost - " + progId_);
  Size(9600, 6600);
  ControlDef hosted{progId_, "ctlHosted", -1, "", 120, 120, 4800, 3600, ""};
  auto stored = GetAllSettings(kApp, progId_);
  if (stored.empty()) {
    hosted.newInstance = true;
  } else {
    for (const auto& [key, text] : stored) hosted.props.emplace_back(key, TextValue(text));
  }
  Add(hosted);
  Place({
      {"CommandButton", "cmdLoad", -1, "", 5100, 120, 1500, 375, "Load..."},
      {"CommandButton", "cmdStart", -1, "", 5100, 600, 1500, 375, "Start"},
      {"CommandButton", "cmdStop", -1, "", 5100, 1080, 1500, 375, "Stop"},
      {"CommandButton", "cmdProperties", -1, "", 5100, 1560, 1500, 375, "Properties..."},
      {"Label", "lblEvents", -1, "", 120, 3840, 4800, 255, "Events:"},
      {"ListBox", "lstEvents", -1, "", 120, 4140, 9240, 1800, ""},
  });
  // Every event of the control's default source is logged with its arguments.
  EndQuietly([&] {
    ComPtr<IUnknown> obj = static_cast<ActiveXHost&>(Hosted()).Object();
    ComPtr<IProvideClassInfo> info;
    ComPtr<ITypeInfo> cls;
    ComPtr<ITypeLib> lib;
    if (!obj || FAILED(obj->QueryInterface(IProvideClassInfo::iid, info.put_void())) ||
        FAILED(info->GetClassInfo(cls.put())) || FAILED(cls->GetContainingTypeLib(lib.put(), nullptr)))
      return;
    auto desc = lib->Description();
    TYPEATTR attr;
    if (FAILED(cls->GetTypeAttr(&attr))) return;
    const TypeDesc* klass = desc->Find(attr.guid);
    const TypeDesc* source = klass ? desc->Find(klass->DefaultSource()) : nullptr;
    if (!source) return;
    for (const MemberDesc& m : source->members) {
      std::string name = m.name;
      SetHandler("ctlHosted_" + name, [this, name](EventArgs& a) { LogEvent(name, a); });
    }
  });
}

void ControlHostForm::LogEvent(const std::string& name, EventArgs& args) {
  std::string line = name;
  for (size_t i = 0; i < args.size(); ++i) {
    Variant v = args[i].Deref();
    std::string text;
    if (!EndQuietly([&] { text = v.vt() == VT_DATE ? Format(v, "hh:nn:ss") : CStr(v); })) Err().Clear();
    line += (i == 0 ? " " : ", ") + text;
  }
  auto* list = dynamic_cast<ListBox*>(FindControl("lstEvents"));
  if (!list) return;
  list->AddItem(line);
}

void ControlHostForm::SaveProperties() {
  if (!EndQuietly([&] {
        PropertyList bag = static_cast<ActiveXHost&>(Hosted()).SaveProperties();
        if (!EndQuietly([&] { DeleteSetting(kApp, progId_); })) Err().Clear();
        for (const auto& [key, value] : bag) SaveSetting(kApp, progId_, key, ValueText(value));
      })) {
    Err().Clear();
  }
}
