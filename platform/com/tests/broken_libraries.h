#pragma once
// Files that are named as in-process server libraries but cannot be loaded: real system library
// copies cut short at several points, a text file, a FIFO and a folder.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/hresult.h"

struct BrokenLibrary {
  std::string name;         // file name in the folder
  HRESULT hr;               // what creation answers
  std::string explanation;  // part of the description
};

// The C library this process runs on: a real system library.
inline std::string SystemLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&::getpid), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

// Makes the files in folder and lists them with the answers they must get.
inline std::vector<BrokenLibrary> MakeBrokenLibraries(const std::string& folder) {
  namespace fs = std::filesystem;
  fs::create_directories(folder);
  std::ifstream in(SystemLibraryPath(), std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out << bytes;
  };
  write("Half.so", whole.substr(0, whole.size() / 2));
  write("Tenth.so", whole.substr(0, whole.size() / 10));
  write("HeaderOnly.so", whole.substr(0, 100));  // the program headers start inside, end outside
  write("CutHeader.so", whole.substr(0, 40));
  write("Text.so", "This is a note, not a library.\n");
  ::unlink((folder + "/Fifo.so").c_str());
  ::mkfifo((folder + "/Fifo.so").c_str(), 0600);
  fs::create_directories(folder + "/Folder.so");
  return {
      {"Half.so", CO_E_ERRORINDLL, "cut short"},
      {"Tenth.so", CO_E_ERRORINDLL, "cut short"},
      {"HeaderOnly.so", CO_E_ERRORINDLL, "program headers"},
      {"CutHeader.so", CO_E_ERRORINDLL, "ELF header"},
      {"Text.so", CO_E_DLLNOTFOUND, "not a library"},
      {"Fifo.so", CO_E_DLLNOTFOUND, "not a library"},
      {"Folder.so", CO_E_DLLNOTFOUND, "not a library"},
  };
}
