// The batch encoder's encoding: a movie through the media encoder object with the profile
// "Wz Movie Tools 320X240" (WMV8 320x240 25 fps 400 kbit/s, WMA2 64 kbit/s 44.1 kHz stereo, in
// ASF), against the ffmpeg program writing the same streams with the same scaler.
//
//   bench_batch [movie]
//
// Without a movie, a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated first. Each
// side runs three times; the last line is "ratio <encoder median / ffmpeg median>"; the target
// is at most 1.1.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_movie.h"
#include "bench_timing.h"
#include "com/com.h"
#include "fixtures.h"
#include "wmenc/wmenc.h"

namespace {

using bench::Clock;
using bench::Seconds;
using bench::TimeFfmpeg;

double TimeEncoder(const std::string& movie, const std::string& target) {
  ComPtr<IWMEncoder> enc;
  if (FAILED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void())))
    return -1;
  ComPtr<IWMEncSourceGroupCollection> groups;
  ComPtr<IWMEncSourceGroup> group;
  ComPtr<IWMEncProfileCollection> profiles;
  ComPtr<IWMEncFile> file;
  enc->get_SourceGroupCollection(groups.put());
  groups->Add(Bstr("Bench"), group.put());
  enc->get_ProfileCollection(profiles.put());
  enc->get_File(file.put());
  const auto start = Clock::now();
  if (FAILED(group->AutoSetFileSource(Bstr::FromUtf8(movie)))) return -1;
  int32_t n = 0;
  profiles->get_Count(&n);
  for (int32_t i = 0; i < n; ++i) {
    ComPtr<IWMEncProfile> p;
    Bstr name;
    profiles->Item(i, p.put());
    p->get_Name(&name);
    if (name.Utf8() == "Wz Movie Tools 320X240") group->put_Profile(Variant(static_cast<IDispatch*>(p.Get())));
  }
  file->put_LocalFileName(Bstr::FromUtf8(target));
  if (FAILED(enc->Start())) return -1;
  int32_t state = 0;
  while (SUCCEEDED(enc->get_RunState(&state)) && state != WMENC_ENCODER_STOPPED)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  int32_t error = 0;
  enc->get_ErrorState(&error);
  return error == 0 ? Seconds(Clock::now() - start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  // The encoder posts its state changes to a hidden window: no screen is needed for that.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string folder = fixtures::ScratchFolder("bench-batch");
  const std::string movie = bench::MovieOrSixtySeconds(argc, argv, folder);
  std::vector<double> ours, theirs;
  for (int round = 0; round < 3; ++round) {
    double te = TimeEncoder(movie, folder + "/encoder.wmv");
    double tf = TimeFfmpeg({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", movie, "-vf",
                            "scale=320:240:flags=bicubic", "-r", "25", "-c:v", "wmv2", "-b:v", "400k", "-g", "125",
                            "-c:a", "wmav2", "-b:a", "64k", "-ar", "44100", "-ac", "2", "-f", "asf",
                            folder + "/ffmpeg.wmv"});
    if (te < 0 || tf < 0) {
      std::printf("round %d: failed\n", round + 1);
      return 1;
    }
    std::printf("round %d: encoder %.3f s, ffmpeg %.3f s\n", round + 1, te, tf);
    ours.push_back(te);
    theirs.push_back(tf);
  }
  std::printf("ratio %.3f\n", bench::Median(ours) / bench::Median(theirs));
  return 0;
}
