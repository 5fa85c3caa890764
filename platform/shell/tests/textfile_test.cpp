// Sequential text files (line ends both ways) and binary access at an offset.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "scratch.h"
#include "shell/textfile.h"

namespace {

class TextFileTest : public ScratchTest {};

std::vector<std::string> ReadAllLines(const std::string& path) {
  TextFile in(path, TextFileMode::Input);
  std::vector<std::string> lines;
  while (!in.AtEnd()) lines.push_back(in.LineInput());
  return lines;
}

TEST_F(TextFileTest, WrittenLinesEndWithCrLf) {
  TextFile out(At("list.txt"), TextFileMode::Output);
  out.PrintLine("C:/Movies/a.avi");
  out.PrintLine("");
  out.Print("b;");
  out.PrintLine("Fade");
  out.Close();
  EXPECT_EQ(ReadBytes(At("list.txt")), "C:/Movies/a.avi\r\n\r\nb;Fade\r\n");

  // Output empties an existing file; Append adds to it and creates a missing one.
  TextFile again(At("list.txt"), TextFileMode::Output);
  again.PrintLine("one");
  again.Close();
  TextFile more(At("list.txt"), TextFileMode::Append);
  more.PrintLine("two");
  more.Close();
  EXPECT_EQ(ReadBytes(At("list.txt")), "one\r\ntwo\r\n");
  TextFile fresh(At("drop.lst"), TextFileMode::Append);
  fresh.PrintLine("x");
  fresh.Close();
  EXPECT_EQ(ReadBytes(At("drop.lst")), "x\r\n");
}

TEST_F(TextFileTest, EveryKindOfLineEndEndsALine) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"last without end", {"last without end"}},
      {"\r\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR: two line ends
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r", {"a"}},
      {"\xC3\xA9t\xC3\xA9\r\n", {"\xC3\xA9t\xC3\xA9"}},
      {std::string("nul\0inside\r\n", 12), {std::string("nul\0inside", 10)}},
  };
  for (const Case& c : cases) {
    WriteBytes(At("in.txt"), c.bytes);
    EXPECT_EQ(ReadAllLines(At("in.txt")), c.lines) << testing::PrintToString(c.bytes);
  }
}

TEST_F(TextFileTest, RefusalsHaveTheirNumbers) {
  WriteBytes(At("one.txt"), "only\r\n");
  TextFile in(At("one.txt"), TextFileMode::Input);
  EXPECT_EQ(in.LineInput(), "only");
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(ErrorOf([&] { in.LineInput(); }), vbErrInputPastEnd);
  EXPECT_EQ(ErrorOf([&] { in.PrintLine("x"); }), vbErrBadFileMode);
  in.Close();
  EXPECT_EQ(ErrorOf([&] { in.LineInput(); }), vbErrBadFileNameOrNumber);
  in.Close();  // twice is harmless

  std::filesystem::create_directory(At("folder"));
  struct Case {
    std::string path;
    TextFileMode mode;
    int32_t expected;
  } opens[] = {
      {At("missing.txt"), TextFileMode::Input, vbErrFileNotFound},
      {At("nofolder/x.txt"), TextFileMode::Input, vbErrFileNotFound},
      {At("nofolder/x.txt"), TextFileMode::Output, vbErrPathNotFound},
      {At("nofolder/x.txt"), TextFileMode::Append, vbErrPathNotFound},
      {At("folder"), TextFileMode::Input, vbErrPathFileAccess},
      {At("folder"), TextFileMode::Output, vbErrPathFileAccess},
  };
  for (const Case& c : opens) {
    EXPECT_EQ(ErrorOf([&] { TextFile f(c.path, c.mode); }), c.expected) << c.path;
  }
}

class BinaryFileTest : public ScratchTest {};

TEST_F(BinaryFileTest, WriteAtAnOffsetKeepsTheRest) {
  std::string original(300, '\0');
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<char>(i * 7);
  WriteBytes(At("movie.avi"), original);
  {
    BinaryFile f(At("movie.avi"), BinaryAccess::ReadWrite);
    f.WriteAt(112, std::string_view("mp43"));
    f.WriteAt(188, std::vector<uint8_t>{'M', 'P', '4', '3'});
    EXPECT_EQ(f.Length(), 300);
    std::vector<uint8_t> back = f.ReadAt(110, 8);
    EXPECT_EQ(std::string(back.begin(), back.end()),
              original.substr(110, 2) + "mp43" + original.substr(116, 2));
  }
  std::string expected = original;
  expected.replace(112, 4, "mp43");
  expected.replace(188, 4, "MP43");
  EXPECT_EQ(ReadBytes(At("movie.avi")), expected);
}

TEST_F(BinaryFileTest, EndsOfFilesAndAccess) {
  WriteBytes(At("short.bin"), "0123456789");
  BinaryFile f(At("short.bin"), BinaryAccess::ReadWrite);
  EXPECT_EQ(f.ReadAt(8, 1024).size(), 2u);  // fewer bytes where the file ends
  EXPECT_TRUE(f.ReadAt(50, 4).empty());
  f.WriteAt(12, std::string_view("AB"));  // beyond the end: the gap is zero bytes
  f.Close();
  EXPECT_EQ(ReadBytes(At("short.bin")), std::string("0123456789\0\0AB", 14));

  BinaryFile reader(At("short.bin"), BinaryAccess::Read);
  struct Case {
    const char* what;
    std::function<void()> call;
    int32_t expected;
  } cases[] = {
      {"write to a file opened for reading", [&] { reader.WriteAt(0, std::string_view("x")); },
       vbErrPathFileAccess},
      {"negative offset", [&] { reader.ReadAt(-1, 1); }, 63},
      {"open missing for reading", [&] { BinaryFile m(At("missing"), BinaryAccess::Read); },
       vbErrFileNotFound},
      {"open in missing folder", [&] { BinaryFile m(At("no/x"), BinaryAccess::ReadWrite); },
       vbErrPathNotFound},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.expected) << c.what;
  EXPECT_EQ(ReadBytes(At("short.bin")).size(), 14u);  // nothing was written by the refusals
}

}  // namespace
