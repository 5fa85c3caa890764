#pragma once
// Sequential text files and binary files.
//
//   TextFile list(path, TextFileMode::Output);   // Open path For Output As #n
//   list.PrintLine(mediaFile);                   // Print #n, mediaFile   (ends with CR LF)
//   list.Close();                                // Close #n
//
//   TextFile in(path, TextFileMode::Input);      // Open path For Input As #n
//   while (!in.AtEnd()) line = in.LineInput();   // Do Until EOF(n): Line Input #n, line
//
// Lines are written with CR LF. Reading, CR LF, CR alone and LF alone each end a line; a last
// line without a line end is a line as well. Text is passed through byte for byte (UTF-8).
// Only regular files are opened (without waiting for a FIFO): a folder, a FIFO or a device is 75.
// A line longer than kMaxTextLine bytes is no text line: reading it raises 75, as for a damaged
// file, instead of reading on without end (/dev/zero, a movie).
// Failures throw VBError: 53 file not found, 76 path not found, 75 a folder, 62 input past end,
// 54 the wrong direction, 52 a closed file, 61 disk full, 57 other write failures.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

enum class TextFileMode { Input, Output, Append };

inline constexpr size_t kMaxTextLine = size_t{1} << 20;

class TextFile {
 public:
  // Input: the file must exist. Output: created or emptied. Append: created when absent.
  TextFile(const std::string& path, TextFileMode mode);
  ~TextFile();  // closes; a failure at that point is not reported (call Close to learn of it)
  TextFile(TextFile&& other) noexcept;
  TextFile& operator=(TextFile&& other) noexcept;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Writes the text followed by CR LF.
  void PrintLine(std::string_view text);
  // Writes the text without a line end.
  void Print(std::string_view text);

  // Reads the next line without its line end; 62 when the file is at its end.
  std::string LineInput();
  // True when nothing is left to read (for a file opened for writing: always).
  bool AtEnd();

  // Closes the file; reports a write that failed on the way to the disk. Closing twice is harmless.
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }

 private:
  void RequireOpen(bool forWriting) const;
  std::FILE* file_ = nullptr;
  TextFileMode mode_ = TextFileMode::Input;
  std::string path_;
};

// Binary access at byte offsets (counted from 0) without truncating the file.
enum class BinaryAccess {
  Read,       // the file must exist; writes are refused (75)
  ReadWrite,  // created empty when absent, as the runtime's Open For Binary does
  Modify,     // an existing file changed in place: never created, and not opened through a link
};

class BinaryFile {
 public:
  BinaryFile(const std::string& path, BinaryAccess access);
  ~BinaryFile();
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Up to count bytes from offset; fewer (or none) where the file ends. 63 for a negative offset.
  std::vector<uint8_t> ReadAt(int64_t offset, size_t count);
  // Writes the bytes at offset; the rest of the file stays as it is; writing beyond the end
  // extends the file (with zero bytes in any gap).
  void WriteAt(int64_t offset, const std::vector<uint8_t>& bytes);
  void WriteAt(int64_t offset, std::string_view bytes);
  // The current length in bytes (LOF).
  int64_t Length() const;

  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  void WriteRaw(int64_t offset, const uint8_t* data, size_t size);
  int fd_ = -1;
  BinaryAccess access_ = BinaryAccess::Read;
};
