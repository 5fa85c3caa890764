// The encoder gives its output a new file's permissions without touching the process's umask,
// which every thread shares (a file another thread creates meanwhile would be open to all).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "com/com.h"
#include "core/error.h"
#include "fixtures.h"
#include "forms/app.h"
#include "wmenc/wmenc.h"

namespace {
std::atomic<int> umaskChanges{0};
}

// Every change of the mask in this process is counted (the libraries' calls land here first).
extern "C" mode_t umask(mode_t mask) {
  using Real = mode_t (*)(mode_t);
  static Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "umask"));
  const mode_t old = real(mask);
  if (old != mask) umaskChanges.fetch_add(1);
  return old;
}

namespace {

TEST(EncoderFiles, TheOutputGetsANewFilesPermissionsWithoutChangingTheUmask) {
  DoEvents();
  fixtures::Options o;
  o.seconds = 0.5;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("umask src"), o);
  const std::string target = fixtures::ScratchFolder("umask out") + "/clip.wmv";
  const mode_t previous = ::umask(027);
  umaskChanges = 0;
  ComPtr<IWMEncoder> enc;
  ASSERT_EQ(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void()), S_OK);
  ComPtr<IWMEncSourceGroupCollection> groups;
  enc->get_SourceGroupCollection(groups.put());
  ComPtr<IWMEncSourceGroup> group;
  groups->Add(Bstr("Main"), group.put());
  ASSERT_EQ(group->AutoSetFileSource(Bstr::FromUtf8(movie)), S_OK);
  ComPtr<IWMEncProfileCollection> profiles;
  enc->get_ProfileCollection(profiles.put());
  int32_t count = 0;
  profiles->get_Count(&count);
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IWMEncProfile> p;
    Bstr name;
    profiles->Item(i, p.put());
    p->get_Name(&name);
    if (name.Utf8() == "Wz Video Only 320X240") group->put_Profile(Variant(static_cast<IDispatch*>(p.Get())));
  }
  ComPtr<IWMEncFile> file;
  enc->get_File(file.put());
  file->put_LocalFileName(Bstr::FromUtf8(target));
  ASSERT_EQ(enc->Start(), S_OK);
  int32_t state = 0;
  for (long i = 0; i < 20000000; ++i) {
    enc->get_RunState(&state);
    if (state == WMENC_ENCODER_STOPPED) break;
    DoEvents();
    std::this_thread::yield();
  }
  ASSERT_EQ(state, WMENC_ENCODER_STOPPED);
  const int changes = umaskChanges.load();
  ::umask(previous);
  EXPECT_EQ(changes, 0) << "the umask was changed while threads ran";
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "0666 less the umask 027";
}

}  // namespace
