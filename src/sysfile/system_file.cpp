#include "sysfile/system_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "settings/cp1252.h"
#include "settings/error.h"
#include "settings/file_system.h"

namespace quillmap {
namespace {

// The bounds follow the name and 8 bytes that no operation reads.
constexpr size_t kRecordBoundsOffset = kModelNameSize + 8;

Error MissingFileError(const std::string& path) {
  return Error(kErrSystemFile, "Unable to locate the scan region system file (" + path + ")");
}

Error ModelNotFoundError(const std::string& name, const std::string& path) {
  return Error(kErrSystemFile,
               "Unable to locate the scan region " + name + " in system file (" + path + ")");
}

Error ReadError(const std::string& path) {
  return Error(kErrFileRead, "Unable to read the scan region system file (" + path + ")");
}

// One open of the system file; closed when it goes out of scope, on every path.
class SystemFileStream {
 public:
  explicit SystemFileStream(const std::string& path) : path_(path) {
    // Non-blocking so that a FIFO at the path cannot hang the start-up; it is refused below.
    do {
      fd_ = RealFileSystem().Open(path, O_RDONLY | O_NONBLOCK, 0);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
      if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) {
        throw MissingFileError(path);
      }
      throw ReadError(path);
    }
    struct stat info;
    if (RealFileSystem().Fstat(fd_, &info) != 0) {
      RealFileSystem().Close(fd_);
      throw ReadError(path);
    }
    // Only a regular file counts as existing, as a folder or a device does not hold the table.
    if (!S_ISREG(info.st_mode)) {
      RealFileSystem().Close(fd_);
      throw MissingFileError(path);
    }
  }
  ~SystemFileStream() { RealFileSystem().Close(fd_); }
  SystemFileStream(const SystemFileStream&) = delete;
  SystemFileStream& operator=(const SystemFileStream&) = delete;

  // Appends the next `size` bytes to `bytes`, fewer only where the file ends.
  void ReadInto(std::string& bytes, size_t size) {
    size_t start = bytes.size();
    bytes.resize(start + size);
    size_t done = 0;
    while (done < size) {
      ssize_t got = RealFileSystem().Read(fd_, &bytes[start + done], size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw ReadError(path_);
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    bytes.resize(start + done);
  }

 private:
  const std::string& path_;
  int fd_ = -1;
};

int32_t Int32At(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return static_cast<int32_t>(value);
}

ModelLimits LimitsAt(std::string_view bytes, size_t offset) {
  auto mm = [&](size_t field) { return Int32At(bytes, offset + 4 * field) / 1000.0; };
  ModelLimits limits;
  limits.MinX = mm(0);
  limits.MinY = mm(1);
  limits.MaxX = mm(2);
  limits.MaxY = mm(3);
  limits.MaxWidth = mm(4);
  limits.MaxHeight = mm(5);
  limits.MinWidth = mm(6);
  limits.MinHeight = mm(7);
  return limits;
}

Error ModelCountOverflow(const std::string& path) {
  return OverflowError().SetFile(path).SetKey("ModelCount");
}

// ModelCount taken as the 16-bit count; values outside that range overflow before any record.
int32_t ModelCountOf(std::string_view bytes, const std::string& path) {
  if (bytes.size() < kSystemFileHeaderSize) throw ReadError(path);
  int32_t count = Int32At(bytes, 4);
  if (count > INT16_MAX || count < INT16_MIN) throw ModelCountOverflow(path);
  return count;
}

// Record `index` (from 0), which must lie wholly within the bytes.
std::string_view RecordAt(std::string_view bytes, int32_t index, const std::string& path) {
  size_t offset = kSystemFileHeaderSize + kModelRecordSize * static_cast<size_t>(index);
  if (bytes.size() < offset + kModelRecordSize) throw ReadError(path);
  return bytes.substr(offset, kModelRecordSize);
}

std::string RecordName(std::string_view record) {
  return BytesToString(reinterpret_cast<const unsigned char*>(record.data()), kModelNameSize);
}

// The header and, with `with_records`, as many of the records it counts as the file holds. A
// count that overflows needs no record: the parser fails on the header alone.
std::string ReadSystemFile(const std::string& path, size_t size, bool with_records) {
  SystemFileStream stream(path);
  std::string bytes;
  stream.ReadInto(bytes, size);
  if (with_records && bytes.size() == kSystemFileHeaderSize) {
    int32_t count = Int32At(bytes, 4);
    if (count > 0 && count <= INT16_MAX) {
      stream.ReadInto(bytes, kModelRecordSize * static_cast<size_t>(count));
    }
  }
  return bytes;
}

}  // namespace

int32_t GetSystemFileVersion(const std::string& system_file_path) {
  return ParseSystemFileVersion(
      ReadSystemFile(system_file_path, kSystemFileHeaderSize, /*with_records=*/false),
      system_file_path);
}

int32_t ParseSystemFileVersion(std::string_view bytes, const std::string& system_file_path) {
  if (bytes.size() < kSystemFileHeaderSize) throw ReadError(system_file_path);
  return Int32At(bytes, 0);
}

void LoadSingleModel(const std::string& system_file_path, ScannerState& state) {
  ParseSingleModel(ReadSystemFile(system_file_path, kSingleModelFileSize, /*with_records=*/false),
                   system_file_path, state);
}

void ParseSingleModel(std::string_view bytes, const std::string& system_file_path,
                      ScannerState& state) {
  if (bytes.size() < kSingleModelFileSize) throw ReadError(system_file_path);
  state.Limits = LimitsAt(bytes, kSystemFileHeaderSize);
  state.ScannerModel = kSingleModelName;
}

void LoadModelList(const std::string& system_file_path, ScannerState& state) {
  state.ModelList.clear();
  ParseModelList(ReadSystemFile(system_file_path, kSystemFileHeaderSize, /*with_records=*/true),
                 system_file_path, state);
}

void ParseModelList(std::string_view bytes, const std::string& system_file_path,
                    ScannerState& state) {
  state.ModelList.clear();
  int32_t count = ModelCountOf(bytes, system_file_path);
  for (int32_t i = 0; i < count; ++i) {
    state.ModelList.push_back(RecordName(RecordAt(bytes, i, system_file_path)));
  }
  if (count > kMaxReadableModelCount) throw ModelCountOverflow(system_file_path);
}

std::vector<ModelLimits> LoadModelTable(const std::string& system_file_path, ScannerState& state) {
  state.ModelList.clear();
  const std::string bytes =
      ReadSystemFile(system_file_path, kSystemFileHeaderSize, /*with_records=*/true);
  ParseModelList(bytes, system_file_path, state);
  std::vector<ModelLimits> limits;
  limits.reserve(state.ModelList.size());
  for (size_t i = 0; i < state.ModelList.size(); ++i) {
    limits.push_back(
        LimitsAt(RecordAt(bytes, static_cast<int32_t>(i), system_file_path), kRecordBoundsOffset));
  }
  return limits;
}

void SelectModel(const std::string& system_file_path, const std::string& name,
                 ScannerState& state) {
  ParseSelectModel(ReadSystemFile(system_file_path, kSystemFileHeaderSize, /*with_records=*/true),
                   system_file_path, name, state);
}

void ParseSelectModel(std::string_view bytes, const std::string& system_file_path,
                      const std::string& name, ScannerState& state) {
  int32_t count = ModelCountOf(bytes, system_file_path);
  for (int32_t i = 0; i < count; ++i) {
    std::string_view record = RecordAt(bytes, i, system_file_path);
    if (RecordName(record) == name) {
      state.Limits = LimitsAt(record, kRecordBoundsOffset);
      state.ScannerModel = name;
      return;
    }
  }
  if (count > kMaxReadableModelCount) throw ModelCountOverflow(system_file_path);
  throw ModelNotFoundError(name, system_file_path);
}

std::string BytesToString(const unsigned char* bytes, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(bytes), size);
  // NUL and the blank are single bytes in both code pages, so cutting before the conversion
  // gives the same text as cutting after it.
  text = text.substr(0, text.find('\0'));
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  size_t last = text.find_last_not_of(' ');
  return Cp1252ToUtf8(text.substr(first, last - first + 1));
}

}  // namespace quillmap
