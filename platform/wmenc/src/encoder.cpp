// The encoder object and its collections, described for late-bound callers.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/interfaces.h"
#include "com/connection.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "engine.h"
#include "forms/hwnd.h"
#include "shell/files.h"
#include "wmenc/wmenc.h"
#include "wmenc_internal.h"

namespace wmenc {

namespace {

const WMEncProfileSpec kBuiltIn[] = {
    {"WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)",
     "Video for LAN delivery: 240 x 180 at 15 frames per second, mono sound", 240, 180, 15, 76000, 24000,
     22050, 1},
    {"Wz Movie Tools 320X240", "Movie at 320 x 240, 25 frames per second, stereo sound", 320, 240, 25, 400000,
     64000, 44100, 2},
    {"Wz Movie Tools 640X480", "Movie at 640 x 480, 25 frames per second, stereo sound", 640, 480, 25, 1200000,
     128000, 44100, 2},
    {"Wz Video Only 320X240", "Picture only at 320 x 240, 25 frames per second", 320, 240, 25, 400000, 0, 0, 0},
    {"Wz Audio 64Kbps (44 kHz, stereo)", "Sound only: 64 kbit/s, 44.1 kHz, stereo", 0, 0, 0, 0, 64000, 44100, 2},
    {"Wz Audio 32Kbps (22 kHz, mono)", "Sound only: 32 kbit/s, 22.05 kHz, mono", 0, 0, 0, 0, 32000, 22050, 1},
};

std::mutex gTableLock;
std::vector<WMEncProfileSpec> gTable(std::begin(kBuiltIn), std::end(kBuiltIn));
std::atomic<bool> gCreationFails{false};

constexpr const char* kSource = "WMEncoder";

enum DispIds : DISPID {
  kStart = 1, kStop, kAutoStop, kGroups, kProfiles, kFile, kRunState, kErrorState, kDisplayInfo,
  kCount = 20, kItem, kAdd, kName, kDescription, kMediaCount, kAutoSetFileSource, kSourceCount, kProfile,
  kLocalFileName, kField,
};

constexpr IID DIID_IWMEncProfile = IWMEncProfile::iid;

TypeLibDesc Library() {
  using namespace desc;
  auto getWithArg = [](const char* name, DISPID id, VARTYPE arg, VARTYPE result) {
    MemberDesc m;
    m.name = name;
    m.id = id;
    m.kind = INVOKE_PROPERTYGET;
    m.params = {In("Type", arg), Retval(result)};
    return m;
  };
  TypeLibDesc lib;
  lib.libid = LIBID_WMEncoderLib;
  lib.name = "WMEncoderLib";
  lib.helpString = "Media encoder";
  lib.types = {
      DualInterface(IWMEncoder::iid, "IWMEncoder",
                    {Method("Start", kStart), Method("Stop", kStop), PropertyGet("AutoStop", kAutoStop, VT_BOOL),
                     PropertyPut("AutoStop", kAutoStop, VT_BOOL),
                     PropertyGet("SourceGroupCollection", kGroups, VT_DISPATCH),
                     PropertyGet("ProfileCollection", kProfiles, VT_DISPATCH), PropertyGet("File", kFile, VT_DISPATCH),
                     PropertyGet("RunState", kRunState, VT_I4), PropertyGet("ErrorState", kErrorState, VT_I4),
                     PropertyGet("DisplayInfo", kDisplayInfo, VT_DISPATCH)},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(IWMEncSourceGroupCollection::iid, "IWMEncSourceGroupCollection",
                    {PropertyGet("Count", kCount, VT_I4),
                     Method("Item", kItem, {In("Index", VT_I4), Retval(VT_DISPATCH)}),
                     Method("Add", kAdd, {In("Name", VT_BSTR), Retval(VT_DISPATCH)})},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(IWMEncSourceGroup::iid, "IWMEncSourceGroup",
                    {PropertyGet("Name", kName, VT_BSTR),
                     Method("AutoSetFileSource", kAutoSetFileSource, {In("FileName", VT_BSTR)}),
                     getWithArg("SourceCount", kSourceCount, VT_I2, VT_I2),
                     PropertyPut("Profile", kProfile, VT_VARIANT), PropertyGet("Profile", kProfile, VT_DISPATCH)},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(IWMEncProfileCollection::iid, "IWMEncProfileCollection",
                    {PropertyGet("Count", kCount, VT_I4),
                     Method("Item", kItem, {In("Index", VT_I4), Retval(VT_DISPATCH)})},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(DIID_IWMEncProfile, "IWMEncProfile",
                    {PropertyGet("Name", kName, VT_BSTR), PropertyGet("Description", kDescription, VT_BSTR),
                     getWithArg("MediaCount", kMediaCount, VT_I2, VT_I2)},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(IWMEncFile::iid, "IWMEncFile",
                    {PropertyGet("LocalFileName", kLocalFileName, VT_BSTR),
                     PropertyPut("LocalFileName", kLocalFileName, VT_BSTR)},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DualInterface(IWMEncDisplayInfo::iid, "IWMEncDisplayInfo",
                    {getWithArg("Field", kField, VT_I4, VT_BSTR),
                     [] {
                       MemberDesc m;
                       m.name = "Field";
                       m.id = kField;
                       m.kind = INVOKE_PROPERTYPUT;
                       m.params = {desc::In("Type", VT_I4), desc::In("Value", VT_BSTR)};
                       return m;
                     }()},
                    {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION),
      DispInterface(DIID__IWMEncoderEvents, "_IWMEncoderEvents",
                    {Method("OnError", DISPID_WMENC_ONERROR, {In("hResult", VT_I4)})}),
      CoClass(CLSID_WMEncoder, "WMEncoder",
              {ImplType{IWMEncoder::iid, IMPLTYPEFLAG_FDEFAULT},
               ImplType{DIID__IWMEncoderEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}),
  };
  return lib;
}

template <class T>
Variant ObjectVariant(const ComPtr<T>& p) {
  return Variant(static_cast<IDispatch*>(p.Get()));
}

class ProfileObject final : public DispatchObject<IWMEncProfile> {
 public:
  explicit ProfileObject(Profile p) : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncProfile::iid), p_(std::move(p)) {
    Dispatch()
        .Get(kName, [this](DispatchArgs&) { return Variant(p_.name); })
        .Get(kDescription, [this](DispatchArgs&) { return Variant(p_.description); })
        .Get(kMediaCount, [this](DispatchArgs& a) {
          int16_t n = 0;
          CheckWithInfo(get_MediaCount(a.Integer(0), &n));
          return Variant(n);
        });
  }
  HRESULT get_Name(Bstr* name) override { return name ? (*name = Bstr::FromUtf8(p_.name), S_OK) : E_POINTER; }
  HRESULT get_Description(Bstr* text) override {
    return text ? (*text = Bstr::FromUtf8(p_.description), S_OK) : E_POINTER;
  }
  HRESULT get_MediaCount(int16_t type, int16_t* count) override {
    if (!count) return E_POINTER;
    if (type == WMENC_AUDIO) *count = p_.HasAudio() ? 1 : 0;
    else if (type == WMENC_VIDEO) *count = p_.HasVideo() ? 1 : 0;
    else return ReportError(E_INVALIDARG, "The source type must be 1 (audio) or 2 (video).", kSource);
    return S_OK;
  }
  const Profile& Data() const { return p_; }

 private:
  Profile p_;
};

class ProfileCollection final : public DispatchObject<IWMEncProfileCollection> {
 public:
  ProfileCollection() : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncProfileCollection::iid) {
    std::lock_guard lock(gTableLock);
    for (const auto& s : gTable) {
      Profile p;
      p.name = s.name;
      p.description = s.description;
      p.width = s.width;
      p.height = s.height;
      p.fps = s.fps;
      p.videoBitrate = s.videoBitrate;
      p.audioBitrate = s.audioBitrate;
      p.sampleRate = s.sampleRate;
      p.channels = s.channels;
      items_.push_back(MakeComObject<ProfileObject>(std::move(p)));
    }
    Dispatch()
        .Get(kCount, [this](DispatchArgs&) { return Variant(static_cast<int32_t>(items_.size())); })
        .Method(kItem, [this](DispatchArgs& a) {
          ComPtr<IWMEncProfile> p;
          CheckWithInfo(Item(a.Long(0), p.put()));
          return ObjectVariant(p);
        });
  }
  HRESULT get_Count(int32_t* count) override {
    return count ? (*count = static_cast<int32_t>(items_.size()), S_OK) : E_POINTER;
  }
  HRESULT Item(int32_t index, IWMEncProfile** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
      return ReportError(E_INVALIDARG, "There is no profile at index " + std::to_string(index) + ".", kSource);
    return items_[index]->QueryInterface(IWMEncProfile::iid, reinterpret_cast<void**>(out));
  }

 private:
  std::vector<ComPtr<ProfileObject>> items_;
};

class SourceGroup final : public DispatchObject<IWMEncSourceGroup> {
 public:
  explicit SourceGroup(std::string name)
      : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncSourceGroup::iid), name_(std::move(name)) {
    Dispatch()
        .Get(kName, [this](DispatchArgs&) { return Variant(name_); })
        .Method(kAutoSetFileSource, [this](DispatchArgs& a) {
          CheckWithInfo(AutoSetFileSource(a.BString(0)));
          return Variant();
        })
        .Get(kSourceCount, [this](DispatchArgs& a) {
          int16_t n = 0;
          CheckWithInfo(get_SourceCount(a.Integer(0), &n));
          return Variant(n);
        })
        .Put(kProfile, [this](DispatchArgs& a) {
          CheckWithInfo(put_Profile(a[0]));
          return Variant();
        })
        .Get(kProfile, [this](DispatchArgs&) {
          ComPtr<IWMEncProfile> p;
          CheckWithInfo(get_Profile(p.put()));
          return ObjectVariant(p);
        });
  }
  HRESULT get_Name(Bstr* name) override { return name ? (*name = Bstr::FromUtf8(name_), S_OK) : E_POINTER; }
  HRESULT AutoSetFileSource(const Bstr& path) override {
    std::string p = path.Utf8();
    SourceInfo info = p.empty() ? SourceInfo{} : InspectSource(p);
    struct stat st {};
    if (!info.readable || stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      return ReportError(WMENC_E_SOURCE_NOT_FOUND, "The source file \"" + p + "\" cannot be found or read.", kSource);
    std::lock_guard lock(m_);
    path_ = p;
    info_ = info;
    return S_OK;
  }
  HRESULT get_SourceCount(int16_t type, int16_t* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(m_);
    if (type == WMENC_AUDIO) *count = static_cast<int16_t>(info_.audio);
    else if (type == WMENC_VIDEO) *count = static_cast<int16_t>(info_.video);
    else return ReportError(E_INVALIDARG, "The source type must be 1 (audio) or 2 (video).", kSource);
    return S_OK;
  }
  HRESULT put_Profile(const Variant& v) override {
    Variant value = v.Deref();
    ComPtr<IWMEncProfile> p;
    if (value.IsObject() && value.punk()) value.punk()->QueryInterface(IWMEncProfile::iid, p.put_void());
    auto* data = dynamic_cast<ProfileObject*>(p.Get());
    if (!data) return ReportError(DISP_E_TYPEMISMATCH, "The profile must be a profile of ProfileCollection.", kSource);
    std::lock_guard lock(m_);
    profile_ = p;
    return S_OK;
  }
  HRESULT get_Profile(IWMEncProfile** out) override {
    if (!out) return E_POINTER;
    std::lock_guard lock(m_);
    *out = profile_.Get();
    if (*out) (*out)->AddRef();
    return S_OK;
  }
  // The file AutoSetFileSource took, empty when none.
  std::string Path() {
    std::lock_guard lock(m_);
    return path_;
  }
  // The state Start needs.
  bool Snapshot(std::string* path, SourceInfo* info, Profile* profile, bool* hasProfile) {
    std::lock_guard lock(m_);
    *path = path_;
    *info = info_;
    *hasProfile = static_cast<bool>(profile_);
    if (profile_) *profile = static_cast<ProfileObject*>(profile_.Get())->Data();
    return !path_.empty();
  }

 private:
  std::mutex m_;
  std::string name_, path_;
  SourceInfo info_;
  ComPtr<IWMEncProfile> profile_;
};

class GroupCollection final : public DispatchObject<IWMEncSourceGroupCollection> {
 public:
  GroupCollection() : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncSourceGroupCollection::iid) {
    Dispatch()
        .Get(kCount, [this](DispatchArgs&) {
          int32_t n = 0;
          get_Count(&n);
          return Variant(n);
        })
        .Method(kItem, [this](DispatchArgs& a) {
          ComPtr<IWMEncSourceGroup> g;
          CheckWithInfo(Item(a.Long(0), g.put()));
          return ObjectVariant(g);
        })
        .Method(kAdd, [this](DispatchArgs& a) {
          ComPtr<IWMEncSourceGroup> g;
          CheckWithInfo(Add(a.BString(0), g.put()));
          return ObjectVariant(g);
        });
  }
  HRESULT get_Count(int32_t* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(m_);
    *count = static_cast<int32_t>(items_.size());
    return S_OK;
  }
  HRESULT Item(int32_t index, IWMEncSourceGroup** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::lock_guard lock(m_);
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
      return ReportError(E_INVALIDARG, "There is no source group at index " + std::to_string(index) + ".", kSource);
    return items_[index]->QueryInterface(IWMEncSourceGroup::iid, reinterpret_cast<void**>(out));
  }
  HRESULT Add(const Bstr& name, IWMEncSourceGroup** out) override {
    if (!out) return E_POINTER;
    auto g = MakeComObject<SourceGroup>(name.Utf8());
    std::lock_guard lock(m_);
    items_.push_back(g);
    return g->QueryInterface(IWMEncSourceGroup::iid, reinterpret_cast<void**>(out));
  }
  ComPtr<SourceGroup> First() {
    std::lock_guard lock(m_);
    return items_.empty() ? nullptr : items_.front();
  }

 private:
  std::mutex m_;
  std::vector<ComPtr<SourceGroup>> items_;
};

class FileObject final : public DispatchObject<IWMEncFile> {
 public:
  FileObject() : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncFile::iid) {
    Dispatch()
        .Get(kLocalFileName, [this](DispatchArgs&) { return Variant(Name()); })
        .Put(kLocalFileName, [this](DispatchArgs& a) {
          put_LocalFileName(a.BString(0));
          return Variant();
        });
  }
  HRESULT get_LocalFileName(Bstr* path) override {
    return path ? (*path = Bstr::FromUtf8(Name()), S_OK) : E_POINTER;
  }
  HRESULT put_LocalFileName(const Bstr& path) override {
    std::lock_guard lock(m_);
    name_ = path.Utf8();
    return S_OK;
  }
  std::string Name() {
    std::lock_guard lock(m_);
    return name_;
  }

 private:
  std::mutex m_;
  std::string name_;
};

class DisplayInfo final : public DispatchObject<IWMEncDisplayInfo> {
 public:
  DisplayInfo() : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncDisplayInfo::iid) {
    Dispatch()
        .Get(kField, [this](DispatchArgs& a) {
          Bstr t;
          CheckWithInfo(get_Field(a.Long(0), &t));
          return Variant(t);
        })
        .Put(kField, [this](DispatchArgs& a) {
          CheckWithInfo(put_Field(a.Long(0), a.BString(1)));
          return Variant();
        });
  }
  HRESULT get_Field(int32_t field, Bstr* text) override {
    if (!text) return E_POINTER;
    if (field < 0 || field > 3) return ReportError(E_INVALIDARG, "The field must be 0 to 3.", kSource);
    std::lock_guard lock(m_);
    *text = Bstr::FromUtf8(fields_[field]);
    return S_OK;
  }
  HRESULT put_Field(int32_t field, const Bstr& text) override {
    if (field < 0 || field > 3) return ReportError(E_INVALIDARG, "The field must be 0 to 3.", kSource);
    std::lock_guard lock(m_);
    fields_[field] = text.Utf8();
    return S_OK;
  }
  std::string Get(int i) {
    std::lock_guard lock(m_);
    return fields_[i];
  }

 private:
  std::mutex m_;
  std::string fields_[4];
};

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path with its folder's links resolved (the file itself need not exist).
std::string Resolved(const std::string& path) {
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf)) return buf;
  if (realpath(Folder(path).c_str(), buf)) {
    size_t slash = path.rfind('/');
    return std::string(buf) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
  }
  return path;
}

}  // namespace

bool NamesSameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  struct stat sa {}, sb {};
  return Resolved(a) == Resolved(b) ||
         (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino);
}

std::string GroupSourceFile(IWMEncSourceGroup* group) {
  auto* g = dynamic_cast<SourceGroup*>(group);
  return g ? g->Path() : std::string();
}

std::atomic<bool> gConfigurationPagesFail{false};

namespace {

constexpr UINT kStateMessage = WM_USER + 0x71;

// Shared between the object, its run and its message window.
struct EncoderShared {
  std::atomic<int32_t> runState{WMENC_ENCODER_STOPPED};
  std::atomic<int32_t> errorState{0};
  HWND window = 0;
};

class Encoder final : public DispatchObject<IWMEncoder, ConnectionPointContainerImpl> {
 public:
  Encoder()
      : DispatchObject(LIBID_WMEncoderLib, 1, 0, IWMEncoder::iid),
        shared_(std::make_shared<EncoderShared>()),
        groups_(MakeComObject<GroupCollection>()),
        profiles_(MakeComObject<ProfileCollection>()),
        file_(MakeComObject<FileObject>()),
        info_(MakeComObject<DisplayInfo>()) {
    events_ = &AddConnectionPoint(Unknown(), DIID__IWMEncoderEvents);
    // A failure reaches the creating thread here: OnError first, then the stopped state.
    shared_->window = CreateMessageWindow([this](HWND, UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
      if (msg != kStateMessage) return 0;
      HRESULT hr = static_cast<HRESULT>(lParam);
      if (FAILED(hr)) {
        shared_->errorState = hr;
        ComPtr<IUnknown> keep(Unknown());  // a handler may drop the last reference
        events_->FireDispatch(DISPID_WMENC_ONERROR, {Variant(static_cast<int32_t>(hr))});
        shared_->runState = WMENC_ENCODER_STOPPED;
      }
      return 0;
    });
    Dispatch()
        .Method(kStart, [this](DispatchArgs&) { CheckWithInfo(Start()); return Variant(); })
        .Method(kStop, [this](DispatchArgs&) { CheckWithInfo(Stop()); return Variant(); })
        .Get(kAutoStop, [this](DispatchArgs&) { return Variant(autoStop_.load()); })
        .Put(kAutoStop, [this](DispatchArgs& a) { autoStop_ = a.Bool(0); return Variant(); })
        .Get(kGroups, [this](DispatchArgs&) { return ObjectVariant(groups_); })
        .Get(kProfiles, [this](DispatchArgs&) { return ObjectVariant(profiles_); })
        .Get(kFile, [this](DispatchArgs&) { return ObjectVariant(file_); })
        .Get(kDisplayInfo, [this](DispatchArgs&) { return ObjectVariant(info_); })
        .Get(kRunState, [this](DispatchArgs&) { return Variant(shared_->runState.load()); })
        .Get(kErrorState, [this](DispatchArgs&) { return Variant(shared_->errorState.load()); });
  }
  ~Encoder() override {
    DestroyWindow(shared_->window);
    run_.reset();  // stops and joins
  }

  HRESULT Start() override {
    int32_t state = shared_->runState;
    if (state != WMENC_ENCODER_STOPPED)
      return ReportError(WMENC_E_RUNNING, "The encoder is already running.", kSource);
    ComPtr<SourceGroup> group = groups_->First();
    if (!group) return ReportError(WMENC_E_NO_GROUP, "There is no source group to encode.", kSource);
    Job job;
    SourceInfo info;
    bool hasProfile = false;
    if (!group->Snapshot(&job.source, &info, &job.profile, &hasProfile))
      return ReportError(WMENC_E_NO_SOURCE, "The source group has no source.", kSource);
    struct stat st {};
    if (stat(job.source.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(job.source.c_str(), R_OK) != 0)
      return ReportError(WMENC_E_SOURCE_NOT_FOUND,
                         "The source file \"" + job.source + "\" cannot be found or read.", kSource);
    if (!hasProfile) return ReportError(WMENC_E_NO_PROFILE, "The source group has no profile.", kSource);
    job.useVideo = job.profile.HasVideo() && info.video > 0;
    job.useAudio = job.profile.HasAudio() && info.audio > 0;
    if (!job.useVideo && !job.useAudio)
      return ReportError(WMENC_E_NO_MATCHING_STREAM,
                         "The source has no stream that the profile \"" + job.profile.name + "\" encodes.", kSource);
    job.target = file_->Name();
    if (job.target.empty()) return ReportError(WMENC_E_NO_OUTPUT, "No output file has been named.", kSource);
    const std::string folder = Folder(job.target);
    struct stat fst {};
    if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode) || access(folder.c_str(), W_OK | X_OK) != 0 ||
        (stat(job.target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
      return ReportError(WMENC_E_OUTPUT_FOLDER, "The output file \"" + job.target + "\" cannot be written in its folder.",
                         kSource);
    if (NamesSameFile(job.source, job.target))
      return ReportError(WMENC_E_OUTPUT_IS_SOURCE, "The output file \"" + job.target + "\" is the source file.", kSource);
    // The temporary file, hidden in the target folder, keeps the name until the file is whole.
    std::string base = job.target.substr(job.target.rfind('/') == std::string::npos ? 0 : job.target.rfind('/') + 1);
    // Named with this process's id, so that one left by a killed run is removed by the next.
    std::string temp;
    try {
      temp = NewSideFile(folder + "/." + base + ".encoding-");
      // The finished file gets the permissions a newly created file would (the umask is read,
      // never changed: it is shared by every thread of the process).
      CreatedFile made(temp, false);
      fchmod(made.Descriptor(), static_cast<mode_t>(NewFilePermissions()));
    } catch (const VBError&) {
      if (!temp.empty()) std::remove(temp.c_str());
      return ReportError(WMENC_E_OUTPUT_FOLDER, "The output file \"" + job.target + "\" cannot be written in its folder.",
                         kSource);
    }
    job.temp = temp;
    job.title = info_->Get(0);
    job.author = info_->Get(1);
    job.copyright = info_->Get(2);
    job.description = info_->Get(3);
    run_.reset();
    shared_->errorState = 0;
    shared_->runState = WMENC_ENCODER_RUNNING;
    std::weak_ptr<EncoderShared> weak = shared_;
    run_ = std::make_unique<Run>(std::move(job), [weak](HRESULT hr) {
      auto s = weak.lock();
      if (!s) return;
      // A success is complete at once; a failure waits for OnError on the creating thread.
      s->runState = SUCCEEDED(hr) ? WMENC_ENCODER_STOPPED : WMENC_ENCODER_STOPPING;
      PostMessage(s->window, kStateMessage, 0, static_cast<LPARAM>(hr));
    });
    run_->Start();
    PostMessage(shared_->window, kStateMessage, 0, 0);
    return S_OK;
  }
  HRESULT Stop() override {
    int32_t expected = WMENC_ENCODER_RUNNING;
    if (shared_->runState.compare_exchange_strong(expected, WMENC_ENCODER_STOPPING) && run_) {
      run_->RequestStop();
      PostMessage(shared_->window, kStateMessage, 0, 0);
    }
    return S_OK;
  }
  HRESULT get_AutoStop(VARIANT_BOOL* on) override {
    return on ? (*on = autoStop_ ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT put_AutoStop(VARIANT_BOOL on) override {
    autoStop_ = on != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_SourceGroupCollection(IWMEncSourceGroupCollection** out) override { return Give(groups_, out); }
  HRESULT get_ProfileCollection(IWMEncProfileCollection** out) override { return Give(profiles_, out); }
  HRESULT get_File(IWMEncFile** out) override { return Give(file_, out); }
  HRESULT get_DisplayInfo(IWMEncDisplayInfo** out) override { return Give(info_, out); }
  HRESULT get_RunState(int32_t* state) override { return state ? (*state = shared_->runState, S_OK) : E_POINTER; }
  HRESULT get_ErrorState(int32_t* hr) override { return hr ? (*hr = shared_->errorState, S_OK) : E_POINTER; }
  HRESULT GetStatistics(WMEncStatistics* stats) override {
    if (!stats) return E_POINTER;
    *stats = run_ ? run_->Statistics() : WMEncStatistics{};
    return S_OK;
  }

 private:
  template <class T, class I>
  static HRESULT Give(const ComPtr<T>& p, I** out) {
    if (!out) return E_POINTER;
    return p->QueryInterface(I::iid, reinterpret_cast<void**>(out));
  }
  std::shared_ptr<EncoderShared> shared_;
  ComPtr<GroupCollection> groups_;
  ComPtr<ProfileCollection> profiles_;
  ComPtr<FileObject> file_;
  ComPtr<DisplayInfo> info_;
  ConnectionPoint* events_ = nullptr;
  std::atomic<bool> autoStop_{true};
  std::unique_ptr<Run> run_;
};

}  // namespace

void PublishLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { PublishTypeLib(Library()); });
}

}  // namespace wmenc

void SetWMEncProfilesForTesting(const WMEncProfileSpec* profiles, size_t count) {
  std::lock_guard lock(wmenc::gTableLock);
  if (profiles) wmenc::gTable.assign(profiles, profiles + count);
  else wmenc::gTable.assign(std::begin(wmenc::kBuiltIn), std::end(wmenc::kBuiltIn));
}

void SetWMEncCreationFailsForTesting(bool fails) { wmenc::gCreationFails = fails; }

void SetWMEncConfigurationPagesFailForTesting(bool fails) { wmenc::gConfigurationPagesFail = fails; }

void RegisterWMEncClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    wmenc::PublishLibrary();
    RegisterPlatformClass(CLSID_WMEncoder, "WMEncEng.WMEncoder", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
      if (!ppv) return E_POINTER;
      *ppv = nullptr;
      if (outer) return CLASS_E_NOAGGREGATION;
      if (wmenc::gCreationFails) return REGDB_E_CLASSNOTREG;
      try {
        return MakeComObject<wmenc::Encoder>()->QueryInterface(riid, ppv);
      } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
      } catch (const std::exception&) {
        return E_FAIL;
      }
    });
    wmenc::RegisterPages();
  });
}

extern const bool wmenc_detail::kClassesRegistered = (RegisterWMEncClasses(), true);
