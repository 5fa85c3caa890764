#include "shell/textfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/error.h"
#include "oserror.h"

using shell_detail::Missing;

namespace {
constexpr int32_t kBadRecordNumber = 63;
}

BinaryFile::BinaryFile(const std::string& path, BinaryAccess access)
    : fd_(shell_detail::OpenFileDescriptor(path,
                                           access == BinaryAccess::Read     ? O_RDONLY
                                           : access == BinaryAccess::Modify ? (O_RDWR | O_NOFOLLOW)
                                                                            : (O_RDWR | O_CREAT),
                                           access == BinaryAccess::ReadWrite ? Missing::Path : Missing::File)),
      access_(access) {}

BinaryFile::~BinaryFile() { Close(); }

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), access_(other.access_) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    access_ = other.access_;
  }
  return *this;
}

std::vector<uint8_t> BinaryFile::ReadAt(int64_t offset, size_t count) {
  if (fd_ < 0) Raise(vbErrBadFileNameOrNumber);
  if (offset < 0) Raise(kBadRecordNumber);
  std::vector<uint8_t> bytes(count);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, bytes.data() + done, count - done,
                        static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Raise(vbErrDeviceIO);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void BinaryFile::WriteRaw(int64_t offset, const uint8_t* data, size_t size) {
  if (fd_ < 0) Raise(vbErrBadFileNameOrNumber);
  if (offset < 0) Raise(kBadRecordNumber);
  if (access_ == BinaryAccess::Read) Raise(vbErrPathFileAccess);
  size_t done = 0;
  while (done < size) {
    ssize_t n =
        ::pwrite(fd_, data + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      shell_detail::RaiseWriteFailure(errno);
    }
    done += static_cast<size_t>(n);
  }
}

void BinaryFile::WriteAt(int64_t offset, const std::vector<uint8_t>& bytes) {
  WriteRaw(offset, bytes.data(), bytes.size());
}

void BinaryFile::WriteAt(int64_t offset, std::string_view bytes) {
  WriteRaw(offset, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int64_t BinaryFile::Length() const {
  if (fd_ < 0) Raise(vbErrBadFileNameOrNumber);
  struct stat st;
  if (::fstat(fd_, &st) != 0) Raise(vbErrDeviceIO);
  return static_cast<int64_t>(st.st_size);
}

void BinaryFile::Close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}
