// quillmap-make-regiondb: writes a RegionDB.sys from a text description of the scanner models.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "settings/error.h"
#include "settings/file_system.h"
#include "sysfile/system_file_writer.h"

namespace {

constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "quillmap-make-regiondb";

void PrintUsage(std::ostream& out) {
  out << "Usage: " << kProgram << " [--single] MODELS.txt OUT.sys\n"
      << "Writes a scan region system file from MODELS.txt, one model a line:\n"
      << "  NAME MinX MinY MaxX MaxY MaxWidth MaxHeight MinWidth MinHeight\n"
      << "with the bounds in millimetres ('.' decimals) and NAME one word or \"quoted\".\n"
      << "Lines starting with '#' are comments. Without --single the file is a model table\n"
      << "(Version 2); with --single MODELS.txt holds exactly one line and the file is the\n"
      << "single-model layout (Version 1), which stores no name: the readers call it R7720C.\n";
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  // A stream opens a folder and reads it as empty, which would pass for an empty table.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    errno = EISDIR;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return false;
  *out = text.str();
  return true;
}

// Through a temporary file and a rename, so that a failed run never leaves a half-written file
// for the build to take as up to date.
bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      int error = errno;
      std::remove(temporary.c_str());
      errno = error;
      return false;
    }
  }
  // The file system's rename, which replaces an existing file on Windows too.
  if (quillmap::RealFileSystem().Rename(temporary, path) != 0) {
    int error = errno;
    std::remove(temporary.c_str());
    errno = error;
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  bool single = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(std::cout);
      return 0;
    }
    if (arg == "--single") {
      single = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << kProgram << ": unknown option " << arg << "\n";
      PrintUsage(std::cerr);
      return kExitUsage;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) {
    PrintUsage(std::cerr);
    return kExitUsage;
  }
  const std::string& input = files[0];
  const std::string& output = files[1];

  std::string text;
  if (!ReadWholeFile(input, &text)) {
    std::cerr << kProgram << ": cannot read " << input << ": " << std::strerror(errno) << "\n";
    return kExitBadInput;
  }
  std::string bytes;
  try {
    std::vector<quillmap::ModelDescription> models = quillmap::ParseModelDescriptions(text);
    bytes = quillmap::BuildSystemFile(models, single ? quillmap::SystemFileLayout::kSingleModel
                                                     : quillmap::SystemFileLayout::kModelTable);
    if (single) {
      std::cerr << kProgram << ": note: the single-model layout stores no name; \""
                << models.front().Name << "\" is not written\n";
    }
  } catch (const quillmap::Error& error) {
    std::cerr << input << ": " << error.Description() << "\n";
    return kExitBadInput;
  }
  if (!WriteWholeFile(output, bytes)) {
    std::cerr << kProgram << ": cannot write " << output << ": " << std::strerror(errno) << "\n";
    return kExitBadInput;
  }
  return 0;
}
