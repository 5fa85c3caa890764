#pragma once
// The media encoder's automation: an encoder object that turns one media file into a Windows
// Media file (WMV8 video and WMA2 audio in ASF) with a named profile.
//
//   ComPtr<IWMEncoder> enc;
//   CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void());
//   ComPtr<IWMEncSourceGroupCollection> groups;  enc->get_SourceGroupCollection(groups.put());
//   ComPtr<IWMEncSourceGroup> group;             groups->Add(Bstr("Main"), group.put());
//   group->AutoSetFileSource(Bstr("/clips/a.avi"));
//   ... group->put_Profile(Variant(profile)); file->put_LocalFileName(Bstr("/out/a.wmv"));
//   enc->Start();  // RunState 2; 5 again when the file is complete
//
// The encoding runs on threads of its own. The object posts a message to a hidden window of the
// thread that created it at every change of RunState, so a caller waiting for the end can block
// in its message loop. The output is written to a temporary file in the target folder and
// renamed over LocalFileName at the end: a failed run leaves no partial file and keeps an
// existing one. A failure during the run sets ErrorState and raises OnError on the creating
// thread (inside its message processing) before RunState turns from 4 to 5.
#include <cstdint>

#include "core/bstr.h"
#include "core/unknown.h"
#include "core/variant.h"

constexpr CLSID CLSID_WMEncoder = MakeGuid("{632B606A-BBC6-11D2-A329-006097C4E476}");
constexpr GUID LIBID_WMEncoderLib = MakeGuid("{632B6060-BBC6-11D2-A329-006097C4E476}");
// The statistics page and the five configuration pages (sources, output, compression,
// attributes, summary), in that order of use.
constexpr CLSID CLSID_WMEncStatisticsPage = MakeGuid("{DF0AD8E0-F91C-4109-AE46-1EAA5CD8AB08}");
constexpr CLSID CLSID_WMEncSourcesPage = MakeGuid("{95F57411-9A21-4846-B131-450ADBEAE753}");
constexpr CLSID CLSID_WMEncOutputPage = MakeGuid("{4178CE3B-11B1-46DD-A36D-BBCD36A5425A}");
constexpr CLSID CLSID_WMEncCompressionPage = MakeGuid("{0037AC54-E32B-4ACA-9864-09F869AA82FE}");
constexpr CLSID CLSID_WMEncAttributesPage = MakeGuid("{FF8F1D65-AD2B-47F1-9E71-66B7D35E3852}");
constexpr CLSID CLSID_WMEncSummaryPage = MakeGuid("{447AC255-CE81-43AD-9827-AFDDB1561B07}");

// Source types of SourceCount and MediaCount.
constexpr int16_t WMENC_AUDIO = 1;
constexpr int16_t WMENC_VIDEO = 2;

// Run states.
constexpr int32_t WMENC_ENCODER_STARTING = 1;
constexpr int32_t WMENC_ENCODER_RUNNING = 2;
constexpr int32_t WMENC_ENCODER_PAUSED = 3;
constexpr int32_t WMENC_ENCODER_STOPPING = 4;
constexpr int32_t WMENC_ENCODER_STOPPED = 5;

// Failures, each with a description in the caller's error object.
constexpr HRESULT WMENC_E_SOURCE_NOT_FOUND = static_cast<HRESULT>(0xC00D1B71);  // no readable file of that name
constexpr HRESULT WMENC_E_NO_SOURCE = static_cast<HRESULT>(0xC00D1B72);         // the group has no source
constexpr HRESULT WMENC_E_NO_PROFILE = static_cast<HRESULT>(0xC00D1B73);        // the group has no profile
constexpr HRESULT WMENC_E_NO_OUTPUT = static_cast<HRESULT>(0xC00D1B74);         // LocalFileName is empty
constexpr HRESULT WMENC_E_OUTPUT_FOLDER = static_cast<HRESULT>(0xC00D1B75);     // the output folder is unusable
constexpr HRESULT WMENC_E_OUTPUT_IS_SOURCE = static_cast<HRESULT>(0xC00D1B76);  // output names the source
constexpr HRESULT WMENC_E_WRITE_FAILED = static_cast<HRESULT>(0xC00D1B77);      // writing the output failed
constexpr HRESULT WMENC_E_RUNNING = static_cast<HRESULT>(0xC00D1B78);           // Start while running
constexpr HRESULT WMENC_E_NO_MATCHING_STREAM = static_cast<HRESULT>(0xC00D1B79);  // no profile stream has a source
constexpr HRESULT WMENC_E_DECODE_FAILED = static_cast<HRESULT>(0xC00D1B7A);     // the source could not be decoded
constexpr HRESULT WMENC_E_CODEC_MISSING = static_cast<HRESULT>(0xC00D1B7B);     // no WMV8 / WMA2 encoder here
constexpr HRESULT WMENC_E_NO_GROUP = static_cast<HRESULT>(0xC00D1B7C);          // no source group to encode
constexpr HRESULT WMENC_E_READ_FAILED = static_cast<HRESULT>(0xC00D1B7D);       // reading the source failed part-way

class IWMEncProfile : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B607D-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT get_Name(Bstr* name) = 0;
  virtual HRESULT get_Description(Bstr* text) = 0;
  // How many streams of the type (WMENC_AUDIO, WMENC_VIDEO) the profile encodes.
  virtual HRESULT get_MediaCount(int16_t type, int16_t* count) = 0;
};

class IWMEncProfileCollection : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B607E-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT get_Count(int32_t* count) = 0;
  // 0-based.
  virtual HRESULT Item(int32_t index, IWMEncProfile** profile) = 0;
};

class IWMEncSourceGroup : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B6070-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT get_Name(Bstr* name) = 0;
  // Makes the file the group's audio and video sources (its first sound and first picture
  // stream). WMENC_E_SOURCE_NOT_FOUND when the path names no readable file; a readable file
  // without decodable sound or picture is taken with both counts 0.
  virtual HRESULT AutoSetFileSource(const Bstr& path) = 0;
  virtual HRESULT get_SourceCount(int16_t type, int16_t* count) = 0;
  // A variant holding a profile object of ProfileCollection.
  virtual HRESULT put_Profile(const Variant& profile) = 0;
  virtual HRESULT get_Profile(IWMEncProfile** profile) = 0;
};

class IWMEncSourceGroupCollection : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B6071-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT get_Count(int32_t* count) = 0;
  virtual HRESULT Item(int32_t index, IWMEncSourceGroup** group) = 0;
  virtual HRESULT Add(const Bstr& name, IWMEncSourceGroup** group) = 0;
};

class IWMEncFile : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B607A-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT get_LocalFileName(Bstr* path) = 0;
  virtual HRESULT put_LocalFileName(const Bstr& path) = 0;
};

// Title, author, copyright and description written into the file's header.
class IWMEncDisplayInfo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B607B-BBC6-11D2-A329-006097C4E476}");
  // field: 0 title, 1 author, 2 copyright, 3 description.
  virtual HRESULT get_Field(int32_t field, Bstr* text) = 0;
  virtual HRESULT put_Field(int32_t field, const Bstr& text) = 0;
};

// What the statistics page shows; read at any time, also during a run.
struct WMEncStatistics {
  double sourceSeconds = 0;   // the source's duration (0 when unknown or a still picture)
  double encodedSeconds = 0;  // how far the run has come
  int64_t videoFrames = 0;
  int64_t audioFrames = 0;
  int64_t bytes = 0;
  int32_t videoBitrate = 0;  // the profile's, bits per second
  int32_t audioBitrate = 0;
};

class IWMEncoder : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{632B606B-BBC6-11D2-A329-006097C4E476}");
  virtual HRESULT Start() = 0;
  // Ends a run: RunState 4, then 5 once the file is complete (a valid, shorter file). Does
  // nothing when stopped.
  virtual HRESULT Stop() = 0;
  virtual HRESULT get_AutoStop(VARIANT_BOOL* on) = 0;
  virtual HRESULT put_AutoStop(VARIANT_BOOL on) = 0;
  virtual HRESULT get_SourceGroupCollection(IWMEncSourceGroupCollection** groups) = 0;
  virtual HRESULT get_ProfileCollection(IWMEncProfileCollection** profiles) = 0;
  virtual HRESULT get_File(IWMEncFile** file) = 0;
  virtual HRESULT get_DisplayInfo(IWMEncDisplayInfo** info) = 0;
  virtual HRESULT get_RunState(int32_t* state) = 0;
  virtual HRESULT get_ErrorState(int32_t* hr) = 0;
  // Not automation: the statistics of the current or last run.
  virtual HRESULT GetStatistics(WMEncStatistics* stats) = 0;
};

// The encoder's events: OnError(hr), DISPID 1.
constexpr IID DIID__IWMEncoderEvents = MakeGuid("{632B606C-BBC6-11D2-A329-006097C4E476}");
constexpr DISPID DISPID_WMENC_ONERROR = 1;

// Test hooks: the profile table the encoder offers (the built-in one when never set), and
// whether class creation fails (for the callers' "encoder missing" roads).
struct WMEncProfileSpec {
  const char* name;
  const char* description;
  int width, height, fps, videoBitrate;  // width 0: no video stream
  int audioBitrate, sampleRate, channels;  // audioBitrate 0: no audio stream
};
void SetWMEncProfilesForTesting(const WMEncProfileSpec* profiles, size_t count);
void SetWMEncCreationFailsForTesting(bool fails);
// Whether creating the five configuration pages fails while the encoder and its statistics page
// are still made (for the callers' "pages missing" roads).
void SetWMEncConfigurationPagesFailForTesting(bool fails);
// Whether showing or hiding a property-page shell fails (for the callers' "Configure" road).
void SetWMEncShellVisibilityFailsForTesting(bool fails);
// Makes the classes creatable; runs once when the library loads.
void RegisterWMEncClasses();

namespace wmenc_detail {
extern const bool kClassesRegistered;
[[gnu::used]] static const bool* const kClassesLink = &kClassesRegistered;
}  // namespace wmenc_detail

// The encoder program: the file its sources page starts with.
#include <string>
void WMEncPresetSourceFile(const std::string& path);
