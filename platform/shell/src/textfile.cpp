#include "shell/textfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "core/error.h"
#include "oserror.h"

using shell_detail::Missing;
using shell_detail::RaiseErrno;
using shell_detail::RaiseWriteFailure;

namespace {

// Opened by hand so that a folder is refused and the descriptor is not inherited by programs the
// suite starts.
std::FILE* OpenStream(const std::string& path, TextFileMode mode) {
  int flags = O_RDONLY;
  const char* streamMode = "rb";
  if (mode == TextFileMode::Output) {
    flags = O_WRONLY | O_CREAT | O_TRUNC;
    streamMode = "wb";
  } else if (mode == TextFileMode::Append) {
    flags = O_WRONLY | O_CREAT | O_APPEND;
    streamMode = "ab";
  }
  int fd = shell_detail::OpenFileDescriptor(path, flags,
                                            mode == TextFileMode::Input ? Missing::File : Missing::Path);
  std::FILE* file = ::fdopen(fd, streamMode);
  if (file == nullptr) {
    int err = errno;
    ::close(fd);
    RaiseErrno(err, Missing::File);
  }
  return file;
}

}  // namespace

TextFile::TextFile(const std::string& path, TextFileMode mode)
    : file_(OpenStream(path, mode)), mode_(mode), path_(path) {}

TextFile::~TextFile() {
  if (file_ != nullptr) std::fclose(file_);
}

TextFile::TextFile(TextFile&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), mode_(other.mode_), path_(std::move(other.path_)) {}

TextFile& TextFile::operator=(TextFile&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
    mode_ = other.mode_;
    path_ = std::move(other.path_);
  }
  return *this;
}

void TextFile::RequireOpen(bool forWriting) const {
  if (file_ == nullptr) Raise(vbErrBadFileNameOrNumber);
  if (forWriting != (mode_ != TextFileMode::Input)) Raise(vbErrBadFileMode);
}

void TextFile::Print(std::string_view text) {
  RequireOpen(true);
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    RaiseWriteFailure(errno);
  }
}

void TextFile::PrintLine(std::string_view text) {
  Print(text);
  Print("\r\n");
}

std::string TextFile::LineInput() {
  RequireOpen(false);
  int c = std::getc(file_);
  if (c == EOF) {
    if (std::ferror(file_)) Raise(vbErrDeviceIO);
    Raise(vbErrInputPastEnd);
  }
  std::string line;
  while (c != EOF && c != '\r' && c != '\n') {
    if (line.size() >= kMaxTextLine) Raise(vbErrPathFileAccess);
    line.push_back(static_cast<char>(c));
    c = std::getc(file_);
  }
  if (c == '\r') {
    int next = std::getc(file_);
    if (next != '\n' && next != EOF) std::ungetc(next, file_);
  }
  if (c == EOF && std::ferror(file_)) Raise(vbErrDeviceIO);
  return line;
}

bool TextFile::AtEnd() {
  if (file_ == nullptr) Raise(vbErrBadFileNameOrNumber);
  if (mode_ != TextFileMode::Input) return true;
  int c = std::getc(file_);
  if (c == EOF) return true;
  std::ungetc(c, file_);
  return false;
}

void TextFile::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = std::exchange(file_, nullptr);
  bool failed = std::fflush(file) != 0;
  int err = errno;
  if (std::fclose(file) != 0 && !failed) {
    failed = true;
    err = errno;
  }
  if (failed && mode_ != TextFileMode::Input) RaiseWriteFailure(err);
}
