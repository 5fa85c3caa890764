#include "com/library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kOwnByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char kOwnByteOrder = ELFDATA2MSB;
#endif
#if __SIZEOF_POINTER__ == 8
constexpr unsigned char kOwnClass = ELFCLASS64;
#else
constexpr unsigned char kOwnClass = ELFCLASS32;
#endif

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly size bytes at offset; false when the file ends first.
bool ReadAt(int fd, uint64_t offset, void* out, size_t size) {
  auto* p = static_cast<char*>(out);
  while (size > 0) {
    ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool Inside(uint64_t offset, uint64_t length, uint64_t fileSize) {
  return offset <= fileSize && length <= fileSize - offset;
}

HRESULT Refuse(HRESULT hr, std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
  return hr;
}

}  // namespace

HRESULT CheckLibraryFile(const std::string& path, std::string* why) {
  if (path.find('/') == std::string::npos) return S_OK;
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) return Refuse(CO_E_DLLNOTFOUND, why, std::string(std::strerror(errno)));
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return Refuse(CO_E_DLLNOTFOUND, why, std::string(std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) return Refuse(CO_E_DLLNOTFOUND, why, "not a library (not a regular file)");
  const uint64_t size = static_cast<uint64_t>(st.st_size);

  unsigned char ident[EI_NIDENT];
  if (!ReadAt(fd.Get(), 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    return Refuse(CO_E_DLLNOTFOUND, why, "not a library (no ELF header)");
  }
  // Another class or byte order: the loader refuses it from the header alone, with its own words.
  if (ident[EI_CLASS] != kOwnClass || ident[EI_DATA] != kOwnByteOrder) return S_OK;

  ElfW(Ehdr) header;
  if (!ReadAt(fd.Get(), 0, &header, sizeof header)) {
    return Refuse(CO_E_ERRORINDLL, why, "a damaged library: the file ends inside its ELF header");
  }
  if (header.e_type != ET_DYN) return Refuse(CO_E_DLLNOTFOUND, why, "not a shared library");
  if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0) {
    return Refuse(CO_E_ERRORINDLL, why, "a damaged library: its program headers are unusable");
  }
  const uint64_t tableSize = uint64_t{header.e_phnum} * header.e_phentsize;
  if (!Inside(header.e_phoff, tableSize, size)) {
    return Refuse(CO_E_ERRORINDLL, why, "a damaged library: the file ends inside its program headers");
  }
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment;
    if (!ReadAt(fd.Get(), header.e_phoff + uint64_t{i} * sizeof segment, &segment, sizeof segment)) {
      return Refuse(CO_E_ERRORINDLL, why, "a damaged library: its program headers cannot be read");
    }
    if (segment.p_type != PT_LOAD && segment.p_type != PT_DYNAMIC && segment.p_type != PT_INTERP) continue;
    if (!Inside(segment.p_offset, segment.p_filesz, size)) {
      return Refuse(CO_E_ERRORINDLL, why,
                    "a damaged library: it is cut short (" + std::to_string(size) +
                        " bytes, a segment reaches to byte " + std::to_string(segment.p_offset + segment.p_filesz) +
                        ")");
    }
  }
  return S_OK;
}

void* OpenLibraryChecked(const std::string& path, HRESULT* failure, std::string* why) {
  std::string reason;
  HRESULT hr = CheckLibraryFile(path, &reason);
  if (FAILED(hr)) {
    if (failure != nullptr) *failure = hr;
    if (why != nullptr) *why = reason;
    return nullptr;
  }
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = ::dlerror();
    if (failure != nullptr) *failure = CO_E_DLLNOTFOUND;
    if (why != nullptr) *why = text != nullptr ? text : path + ": the loader refused it";
  }
  return handle;
}
