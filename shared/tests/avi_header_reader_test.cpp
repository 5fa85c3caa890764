// The AVI header reader on byte fixtures built here (standard layout, sound first, JUNK chunks,
// stream headers of other sizes, odd sizes, damaged and foreign files, every cut) and on
// generated movies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "avi_header_reader.h"
#include "fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

Bytes Chunk(const char* id, const Bytes& data) {
  Bytes b;
  PutId(b, id);
  Put32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}

Bytes List(const char* outer, const char* type, const std::vector<Bytes>& children) {
  Bytes data;
  PutId(data, type);
  for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
  return Chunk(outer, data);
}

// A stream header of `size` bytes (56 in most files) of the type with the handler.
Bytes Strh(const char* type, const char* handler, size_t size = 56) {
  Bytes d;
  PutId(d, type);
  PutId(d, handler);
  d.resize(size, 0);
  return Chunk("strh", d);
}

// A bitmap header with the compression code.
Bytes StrfVideo(const char* compression) {
  Bytes d;
  Put32(d, 40);
  Put32(d, 160);
  Put32(d, 120);
  d.push_back(1), d.push_back(0), d.push_back(24), d.push_back(0);
  PutId(d, compression);
  d.resize(40, 0);
  return Chunk("strf", d);
}

Bytes StrfAudio() { return Chunk("strf", Bytes(18, 1)); }

Bytes VideoList(size_t strhSize = 56) { return List("LIST", "strl", {Strh("vids", "DIV3", strhSize), StrfVideo("DIV3")}); }
Bytes AudioList() { return List("LIST", "strl", {Strh("auds", "\0\0\0\0", 56), StrfAudio()}); }
Bytes Avih() { return Chunk("avih", Bytes(56, 0)); }
Bytes Movi() { return List("LIST", "movi", {Chunk("00dc", Bytes(100, 7)), Chunk("01wb", Bytes(33, 9))}); }

Bytes Avi(const std::vector<Bytes>& top) { return List("RIFF", "AVI ", top); }

std::string At(const Bytes& b, int64_t offset) {
  return std::string(reinterpret_cast<const char*>(b.data() + offset), 4);
}

struct Case {
  const char* name;
  Bytes bytes;
  int64_t handler;  // -1: not found
  int64_t compression;
};

std::vector<Case> Cases() {
  const Bytes hdrl = List("LIST", "hdrl", {Avih(), VideoList(), AudioList()});
  Bytes riffx = Avi({hdrl, Movi()});
  std::memcpy(riffx.data(), "RIFX", 4);
  Bytes wave = Avi({hdrl});
  std::memcpy(wave.data() + 8, "WAVE", 4);
  Bytes tooLong = Avi({hdrl, Movi()});
  const uint32_t riffSize = static_cast<uint32_t>(tooLong.size() - 8 + 2);  // runs past the file
  for (int i = 0; i < 4; ++i) tooLong[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
  Bytes strhPastList = Avi({List("LIST", "hdrl", {Avih(), VideoList()}), Movi()});
  strhPastList[12 + 12 + 64 + 12 + 4] = 200;  // the stream header's size beyond its stream list
  const std::string text = "This is a plain text file named .avi, long enough to be read.";
  return {
      {"standard", Avi({hdrl, Movi()}), 112, 188},
      {"sound first", Avi({List("LIST", "hdrl", {Avih(), AudioList(), VideoList()}), Movi()}), 112 + 102, 188 + 102},
      {"JUNK before the header list", Avi({Chunk("JUNK", Bytes(100, 0)), hdrl, Movi()}), 112 + 108, 188 + 108},
      {"JUNK inside the header list", Avi({List("LIST", "hdrl", {Avih(), Chunk("JUNK", Bytes(20, 0)), VideoList()}), Movi()}), 112 + 28, 188 + 28},
      {"odd-sized JUNK", Avi({Chunk("JUNK", Bytes(7, 0)), hdrl, Movi()}), 112 + 16, 188 + 16},
      {"64-byte stream header", Avi({List("LIST", "hdrl", {Avih(), VideoList(64)}), Movi()}), 112, 196},
      {"48-byte stream header", Avi({List("LIST", "hdrl", {Avih(), VideoList(48)}), Movi()}), 112, 180},
      {"sound only", Avi({List("LIST", "hdrl", {Avih(), AudioList()}), Movi()}), -1, -1},
      {"movie data first", Avi({Movi(), hdrl}), -1, -1},
      {"RIFX", riffx, -1, -1},
      {"RIFF WAVE", wave, -1, -1},
      {"RIFF size past the end", tooLong, -1, -1},
      {"stream header past its list", strhPastList, -1, -1},
      {"text", Bytes(text.begin(), text.end()), -1, -1},
      {"empty", Bytes(), -1, -1},
  };
}

TEST(AviHeaderReader, FindsTheFirstVideoStreamsCodes) {
  for (const Case& c : Cases()) {
    std::optional<AviCodeOffsets> found = FindAviCodeOffsets(c.bytes.data(), c.bytes.size());
    if (c.handler < 0) {
      EXPECT_FALSE(found) << c.name;
      continue;
    }
    ASSERT_TRUE(found) << c.name;
    EXPECT_EQ(found->handler, c.handler) << c.name;
    EXPECT_EQ(found->compression, c.compression) << c.name;
    EXPECT_EQ(At(c.bytes, found->handler), "DIV3") << c.name;
    EXPECT_EQ(At(c.bytes, found->compression), "DIV3") << c.name;
  }
}

TEST(AviHeaderReader, AFileCutAnywhereIsRefused) {
  const Bytes whole = Avi({List("LIST", "hdrl", {Avih(), AudioList(), VideoList()}), Movi()});
  ASSERT_TRUE(FindAviCodeOffsets(whole.data(), whole.size()));
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_FALSE(FindAviCodeOffsets(whole.data(), length)) << length;
}

TEST(AviHeaderReader, ReadsGeneratedMoviesFromTheirFiles) {
  const std::string folder = fixtures::ScratchFolder("movies");
  fixtures::Options o;
  o.seconds = 0.2;
  struct Movie {
    fixtures::Kind kind;
    int64_t handler;  // -1: any offset beyond the standard one
    int64_t compression;
    const char* code;  // "": not found
  };
  const Movie movies[] = {
      {fixtures::Kind::AviMjpegPcm, 112, 188, "MJPG"},
      {fixtures::Kind::AviDiv3, 112, 188, "DIV3"},
      {fixtures::Kind::AviLongStreamHeader, 112, 196, "MJPG"},
      {fixtures::Kind::AviIv50Tagged, 112, 188, "IV50"},
      {fixtures::Kind::AviAudioFirst, -1, -1, "MJPG"},
      {fixtures::Kind::WavAsAvi, 0, 0, ""},
      {fixtures::Kind::TextAsAvi, 0, 0, ""},
      {fixtures::Kind::EmptyFile, 0, 0, ""},
      {fixtures::Kind::TruncatedAvi, 0, 0, ""},
  };
  for (const Movie& m : movies) {
    const std::string path = fixtures::Make(m.kind, folder, o);
    const Bytes bytes = fixtures::ReadFile(path);
    std::optional<AviCodeOffsets> inFile = FindAviCodeOffsetsInFile(path);
    std::optional<AviCodeOffsets> inMemory = FindAviCodeOffsets(bytes.data(), bytes.size());
    ASSERT_EQ(inFile.has_value(), inMemory.has_value()) << fixtures::Name(m.kind);
    if (!*m.code) {
      EXPECT_FALSE(inFile) << fixtures::Name(m.kind);
      continue;
    }
    ASSERT_TRUE(inFile) << fixtures::Name(m.kind);
    EXPECT_EQ(inFile->handler, inMemory->handler);
    EXPECT_EQ(inFile->compression, inMemory->compression);
    if (m.handler >= 0) {
      EXPECT_EQ(inFile->handler, m.handler) << fixtures::Name(m.kind);
      EXPECT_EQ(inFile->compression, m.compression) << fixtures::Name(m.kind);
    } else {
      EXPECT_GT(inFile->handler, 188) << fixtures::Name(m.kind);
    }
    EXPECT_EQ(At(bytes, inFile->handler), m.code) << fixtures::Name(m.kind);
    EXPECT_EQ(At(bytes, inFile->compression), m.code) << fixtures::Name(m.kind);
  }
  EXPECT_FALSE(FindAviCodeOffsetsInFile(folder + "/missing.avi"));
}

}  // namespace
