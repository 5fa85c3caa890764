// Media probes of modDexter on generated media, and on a detector that answers in its own way.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/object.h"
#include "core/error.h"
#include "des/mediadet.h"
#include "engine/modDexter.h"
#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Kind;

std::string FixtureFolder() { return fixtures::ScratchFolder("probe"); }

struct KindCase {
  Kind kind;
  bool media, video, audio;
};

const KindCase kKindCases[] = {
    {Kind::AviMjpegPcm, true, true, true},  {Kind::AviRgb, true, true, true},
    {Kind::AviDiv3, true, true, true},      {Kind::AviMp43, true, true, true},
    {Kind::AviDx50, true, true, true},      {Kind::Mpeg1Ps, true, true, true},
    {Kind::Mov, true, true, true},          {Kind::Mp4, true, true, true},
    {Kind::Wav, true, false, true},         {Kind::Mp3, true, false, true},
    {Kind::Bmp, true, true, false},         {Kind::Jpeg, true, true, false},
    {Kind::Gif, true, true, false},         {Kind::TruncatedAvi, true, true, true},
    {Kind::TextAsAvi, false, false, false}, {Kind::EmptyFile, false, false, false},
    {Kind::AviDamagedIndex, false, false, false},
};

TEST(MediaProbes, EveryKindOfFile) {
  for (const KindCase& c : kKindCases) {
    SCOPED_TRACE(fixtures::Name(c.kind));
    const std::string path = fixtures::Make(c.kind, FixtureFolder());
    Err().Clear();
    EXPECT_EQ(IsMediaFile(path), c.media);
    EXPECT_EQ(HasVideoStream(path), c.video);
    EXPECT_EQ(HasAudioStream(path), c.audio);
    // Failures are cleared, never left behind.
    EXPECT_EQ(Err().Number, 0);
  }
}

TEST(MediaProbes, AMovieWithoutSoundAndASoundFile) {
  fixtures::Options mute;
  mute.audio = false;
  const std::string movie = fixtures::Make(Kind::Mov, FixtureFolder(), mute);
  EXPECT_TRUE(IsMediaFile(movie));
  EXPECT_TRUE(HasVideoStream(movie));
  EXPECT_FALSE(HasAudioStream(movie));

  const std::string sound = fixtures::Make(Kind::Mp3, FixtureFolder());
  EXPECT_TRUE(IsMediaFile(sound));
  EXPECT_FALSE(HasVideoStream(sound));
  EXPECT_TRUE(HasAudioStream(sound));
}

TEST(MediaProbes, MissingFilesFoldersAndTextNamedAsPicturesAreNoMedia) {
  std::vector<std::string> paths = {FixtureFolder() + "/missing.avi", FixtureFolder() + "/no/such/folder/clip.mov",
                                    FixtureFolder(), std::string("relative/missing.mpg")};
  for (const char* name : {"note.jpg", "note.bmp", "note.png", "note.tif"}) {
    paths.push_back(FixtureFolder() + "/" + name);
    std::ofstream(paths.back()) << "A note, not a picture.\n";
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    Err().Clear();
    EXPECT_FALSE(IsMediaFile(path));
    EXPECT_FALSE(HasVideoStream(path));
    EXPECT_FALSE(HasAudioStream(path));
    EXPECT_EQ(Err().Number, 0);
  }
}

// ---------------------------------------------------------------------------------------------
// A stand-in detector, put in place of the platform's for one test: it counts the detectors
// made and alive, and can give the stream type texts in lower case. Everything else goes to a
// real detector.

std::atomic<int> gMade{0};
std::atomic<int> gAlive{0};
bool gLowerCase = false;

class StandInDetector final : public ComObject<IMediaDet> {
 public:
  explicit StandInDetector(ComPtr<IMediaDet> real) : real_(std::move(real)) {
    ++gMade;
    ++gAlive;
  }
  ~StandInDetector() override { --gAlive; }

  HRESULT GetTypeInfoCount(uint32_t* n) override { return real_->GetTypeInfoCount(n); }
  HRESULT GetTypeInfo(uint32_t i, LCID l, ITypeInfo** t) override {
    return real_->GetTypeInfo(i, l, t);
  }
  HRESULT GetIDsOfNames(REFIID r, const char16_t** n, uint32_t c, LCID l, DISPID* d) override {
    return real_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                 uint32_t* a) override {
    return real_->Invoke(id, r, l, f, p, v, e, a);
  }
  HRESULT get_OutputStreams(LONG* n) override { return real_->get_OutputStreams(n); }
  HRESULT get_CurrentStream(LONG* i) override { return real_->get_CurrentStream(i); }
  HRESULT put_CurrentStream(LONG i) override { return real_->put_CurrentStream(i); }
  HRESULT get_StreamType(GUID* g) override { return real_->get_StreamType(g); }
  HRESULT get_StreamTypeB(Bstr* text) override {
    const HRESULT hr = real_->get_StreamTypeB(text);
    if (SUCCEEDED(hr) && gLowerCase) {
      std::string s = text->Utf8();
      for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      *text = Bstr(s);
    }
    return hr;
  }
  HRESULT get_StreamLength(double* s) override { return real_->get_StreamLength(s); }
  HRESULT get_Filename(Bstr* p) override { return real_->get_Filename(p); }
  HRESULT put_Filename(const Bstr& p) override { return real_->put_Filename(p); }
  HRESULT GetBitmapBits(double t, LONG* size, char* buffer, LONG w, LONG h) override {
    return real_->GetBitmapBits(t, size, buffer, w, h);
  }
  HRESULT WriteBitmapBits(double t, LONG w, LONG h, const Bstr& p) override {
    return real_->WriteBitmapBits(t, w, h, p);
  }
  HRESULT get_StreamMediaType(AM_MEDIA_TYPE* mt) override { return real_->get_StreamMediaType(mt); }
  HRESULT get_FrameRate(double* r) override { return real_->get_FrameRate(r); }
  HRESULT EnterBitmapGrabMode(double t) override { return real_->EnterBitmapGrabMode(t); }

 private:
  ComPtr<IMediaDet> real_;
};

// Puts the stand-in in place of the platform's detector and back again.
class StandInScope {
 public:
  StandInScope() {
    EXPECT_EQ(CoGetClassObject(CLSID_MediaDet, CLSCTX_INPROC_SERVER, nullptr, IClassFactory::iid,
                               real_.put_void()),
              S_OK);
    ComPtr<IClassFactory> real = real_;
    gMade = 0;
    gAlive = 0;
    RegisterPlatformClass(CLSID_MediaDet, "DexterLib.MediaDet",
                          [real](IUnknown*, REFIID riid, void** ppv) -> HRESULT {
                            ComPtr<IMediaDet> det;
                            HRESULT hr = real->CreateInstance(nullptr, IMediaDet::iid,
                                                              det.put_void());
                            if (FAILED(hr)) return hr;
                            return MakeComObject<StandInDetector>(det)->QueryInterface(riid, ppv);
                          });
  }
  ~StandInScope() {
    ComPtr<IClassFactory> real = real_;
    RegisterPlatformClass(CLSID_MediaDet, "DexterLib.MediaDet",
                          [real](IUnknown* outer, REFIID riid, void** ppv) {
                            return real->CreateInstance(outer, riid, ppv);
                          });
    gLowerCase = false;
  }

 private:
  ComPtr<IClassFactory> real_;
};

TEST(MediaProbes, EachProbeMakesAndReleasesItsOwnDetector) {
  const std::string movie = fixtures::Make(Kind::AviMjpegPcm, FixtureFolder());
  StandInScope scope;
  EXPECT_TRUE(IsMediaFile(movie));
  EXPECT_TRUE(HasVideoStream(movie));
  EXPECT_TRUE(HasAudioStream(movie));
  EXPECT_FALSE(HasVideoStream(FixtureFolder() + "/missing.avi"));
  EXPECT_EQ(gMade.load(), 4);
  EXPECT_EQ(gAlive.load(), 0);

  // An empty path is answered without a detector.
  EXPECT_FALSE(IsMediaFile(""));
  EXPECT_FALSE(HasVideoStream(""));
  EXPECT_FALSE(HasAudioStream(""));
  EXPECT_EQ(gMade.load(), 4);
}

TEST(MediaProbes, TypeTextsInLowerCaseStillMatch) {
  const std::string movie = fixtures::Make(Kind::Mp4, FixtureFolder());
  StandInScope scope;
  gLowerCase = true;
  EXPECT_TRUE(HasVideoStream(movie));
  EXPECT_TRUE(HasAudioStream(movie));
}

// ---------------------------------------------------------------------------------------------
// Short paths

TEST(ShortPath, ExistingMissingAndLongPaths) {
  const std::string folder = FixtureFolder();
  const std::string file = fixtures::Make(Kind::Wav, folder);
  EXPECT_EQ(GetShortPath(file), file);
  EXPECT_EQ(GetShortPath(folder), folder);
  EXPECT_EQ(GetShortPath(folder + "/missing.avi"), "");
  EXPECT_EQ(GetShortPath(""), "");

  // A path longer than the system's classic 260 characters comes back whole.
  std::string deep = folder;
  while (deep.size() < 300) deep += "/a_rather_long_folder_name_for_a_clip";
  fs::create_directories(deep);
  const std::string longFile = deep + "/clip.wav";
  fs::copy_file(file, longFile, fs::copy_options::overwrite_existing);
  EXPECT_EQ(GetShortPath(longFile), longFile);
  EXPECT_EQ(GetShortPath(longFile + "x"), "");
}

}  // namespace
