#include "mainwindow/modDivx.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "avi_header_reader.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/textfile.h"
#include "windows/frmDivx.h"

namespace modDivx {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// A name beside target that nothing holds yet, created empty for this writer (the leftovers of
// killed repairs go first).
std::string NewNameBeside(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return NewSideFile(folder + "." + name + ".repair-");
}

}  // namespace

const char* const kDivxQuestion =
    "This clip uses an illegal DivX codec that may cause serious problems with DirectX if left as is.\r\n"
    "Converting the header to MPEG-4 will allow it to work in DirectX 90% of the time.\r\n"
    "Do you want to try to convert it to MPEG-4?";

DivxVerdict CheckDivxFilters(IMediaControl* graph, const std::string& loadedFileName) {
  if (!graph) Raise(vbErrObjectNotSet);
  ComPtr<IDispatch> filtersDisp;
  Check(graph->get_FilterCollection(filtersDisp.put()));
  ComPtr<IAMCollection> filters;
  Check(filtersDisp.As(filters));
  LONG count = 0;
  Check(filters->get_Count(&count));
  const std::string source = Lower(loadedFileName);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    Check(filters->Item(i, item.put()));
    ComPtr<IFilterInfo> info;
    Check(item.As(info));
    Bstr name;
    Check(info->get_Name(&name));
    const std::string lower = Lower(name.Utf8());
    if (lower.find("divx") == std::string::npos || lower == source) continue;
    return lower == "divx decoder filter" ? DivxVerdict::Genuine : DivxVerdict::Illegal;
  }
  return DivxVerdict::NoCandidate;
}

std::string DivxRepairCopy(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + "_wz";
  return path.substr(0, dot) + "_wz" + path.substr(dot);
}

bool AskDivxRepair() { return MsgBox(kDivxQuestion, vbYesNo | vbCritical) == vbYes; }

bool MakeDivxRepairCopy(const std::string& original, const std::string& copy) {
  std::string temp;
  try {
    temp = NewNameBeside(copy);
    CopyIntoCreatedFile(original, temp);
    std::optional<AviCodeOffsets> at = FindAviCodeOffsetsInFile(temp);
    if (!at) Raise(321, "The file's AVI headers cannot be read", "modDivx");  // invalid file format
    BinaryFile file(temp, BinaryAccess::ReadWrite);
    file.WriteAt(at->handler, std::string_view("mp43"));
    file.WriteAt(at->compression, std::string_view("MP43"));
    file.Close();
    ReplaceFile(temp, copy);
    return true;
  } catch (const VBError&) {
  } catch (const std::exception&) {
  }
  if (!temp.empty()) {
    try {
      if (FileExists(temp)) Kill(temp);
    } catch (const VBError&) {
    }
  }
  Err().Clear();
  return false;
}

void ShowDivxNotice(const std::string& copy) {
  if (Lower(GetSetting(kSettingsApp, kSectionInit, kKeyDivXMessage, "")) == "hide") return;
  Screen().MousePointer(vbDefault);
  DivxMessageHidden = false;
  frmDivx& notice = DefaultForm<frmDivx>();
  notice.Label1->Caption(copy);
  notice.Check1->Visible(true);
  notice.Show(vbModal);
  if (DivxMessageHidden) SaveSetting(kSettingsApp, kSectionInit, kKeyDivXMessage, "Hide");
}

}  // namespace modDivx
