// The AVI header reader: a walk over the chunks of the header list that reads only what it needs.
#include "avi_header_reader.h"

#include <cstring>
#include <fstream>
#include <functional>

namespace {

// Reads n bytes at an offset; false when they are not all there.
using ReadAt = std::function<bool(int64_t offset, uint8_t* out, size_t n)>;

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Chunk {
  char id[4];
  int64_t data;  // first byte of the chunk's data
  int64_t end;   // one past its data
  int64_t next;  // where the next chunk starts (data padded to an even length)
};

// The chunk at pos inside a parent ending at parentEnd; nothing when it does not fit.
std::optional<Chunk> ChunkAt(const ReadAt& read, int64_t pos, int64_t parentEnd) {
  uint8_t head[8];
  if (pos + 8 > parentEnd || !read(pos, head, sizeof head)) return std::nullopt;
  Chunk c;
  std::memcpy(c.id, head, 4);
  c.data = pos + 8;
  c.end = c.data + Le32(head + 4);
  if (c.end > parentEnd) return std::nullopt;
  c.next = c.end + ((c.end - c.data) & 1);
  return c;
}

bool Is(const char id[4], const char* name) { return std::memcmp(id, name, 4) == 0; }

// A list's type ("hdrl", "strl", "movi"); empty when the list is too short to have one.
std::string ListType(const ReadAt& read, const Chunk& c) {
  uint8_t type[4];
  if (c.end - c.data < 4 || !read(c.data, type, 4)) return {};
  return std::string(reinterpret_cast<char*>(type), 4);
}

enum class Stream { Video, Other, Damaged };

// One stream list: its stream header (type "vids") and format chunk.
Stream ReadStreamList(const ReadAt& read, const Chunk& strl, AviCodeOffsets* out) {
  std::optional<Chunk> strh, strf;
  for (int64_t pos = strl.data + 4; pos + 8 <= strl.end;) {
    std::optional<Chunk> c = ChunkAt(read, pos, strl.end);
    if (!c) return Stream::Damaged;
    if (Is(c->id, "strh") && !strh) strh = c;
    else if (Is(c->id, "strf") && !strf) strf = c;
    pos = c->next;
  }
  uint8_t type[4];
  if (!strh || strh->end - strh->data < 8 || !read(strh->data, type, 4)) return Stream::Damaged;
  if (std::memcmp(type, "vids", 4) != 0) return Stream::Other;
  if (!strf || strf->end - strf->data < 20) return Stream::Damaged;
  out->handler = strh->data + 4;
  out->compression = strf->data + 16;
  return Stream::Video;
}

std::optional<AviCodeOffsets> Walk(const ReadAt& read, int64_t fileSize) {
  uint8_t head[12];
  if (fileSize < 12 || !read(0, head, sizeof head)) return std::nullopt;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "AVI ", 4) != 0) return std::nullopt;
  const int64_t riffEnd = 8 + static_cast<int64_t>(Le32(head + 4));
  if (riffEnd > fileSize || riffEnd < 12) return std::nullopt;
  for (int64_t pos = 12; pos + 8 <= riffEnd;) {
    std::optional<Chunk> c = ChunkAt(read, pos, riffEnd);
    if (!c) return std::nullopt;
    if (Is(c->id, "LIST")) {
      const std::string type = ListType(read, *c);
      if (type == "movi") return std::nullopt;  // movie data before any header list
      if (type == "hdrl") {
        for (int64_t p = c->data + 4; p + 8 <= c->end;) {
          std::optional<Chunk> s = ChunkAt(read, p, c->end);
          if (!s) return std::nullopt;
          if (Is(s->id, "LIST") && ListType(read, *s) == "strl") {
            AviCodeOffsets found;
            switch (ReadStreamList(read, *s, &found)) {
              case Stream::Video: return found;
              case Stream::Damaged: return std::nullopt;
              case Stream::Other: break;
            }
          }
          p = s->next;
        }
        return std::nullopt;  // no video stream
      }
    }
    pos = c->next;
  }
  return std::nullopt;
}

}  // namespace

std::optional<AviCodeOffsets> FindAviCodeOffsets(const uint8_t* data, size_t size) {
  if (!data) return std::nullopt;
  return Walk(
      [&](int64_t offset, uint8_t* out, size_t n) {
        if (offset < 0 || static_cast<uint64_t>(offset) + n > size) return false;
        std::memcpy(out, data + offset, n);
        return true;
      },
      static_cast<int64_t>(size));
}

std::optional<AviCodeOffsets> FindAviCodeOffsetsInFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  return Walk(
      [&](int64_t offset, uint8_t* out, size_t n) {
        if (offset < 0 || offset + static_cast<int64_t>(n) > size) return false;
        in.clear();
        in.seekg(offset);
        in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
        return static_cast<size_t>(in.gcount()) == n;
      },
      size);
}
