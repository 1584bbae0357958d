// Stands in for the scanner software: rewrites the region file in a loop, each time raising
// Counter in its own section [ScannerSoftware] by one, and knows nothing of Quillmap's lock.
//   reliability_scanner_writer FILE in-place|careful
// Both modes read the file, and write only when it still holds what they read. in-place then
// truncates and writes it, as the Windows profile functions do; careful writes a finished copy
// and renames it over the file. Runs until a line arrives on stdin, then prints "writes N".
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/atomic_file.h"
#include "settings/profile.h"

namespace {

std::string Read(const std::string& path) {
  quillmap::FileSnapshot snapshot;
  quillmap::ReadFileSnapshot(path, &snapshot);
  return snapshot.bytes;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteInPlace(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  return ::close(fd) == 0 && written;
}

bool WriteCarefully(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".scanner-tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool StopAsked() {
  pollfd input{0, POLLIN, 0};
  return ::poll(&input, 1, 0) > 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[2] : "";
  if (mode != "in-place" && mode != "careful") {
    std::fprintf(stderr, "usage: %s FILE in-place|careful\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  long writes = 0;
  while (!StopAsked()) {
    const std::string before = Read(path);
    quillmap::ProfileDocument doc = quillmap::ProfileDocument::Parse(before);
    doc.Write("ScannerSoftware", "Counter", std::to_string(writes + 1));
    const std::string after = doc.Serialize();
    if (Read(path) != before) continue;
    if (mode == "careful" ? WriteCarefully(path, after) : WriteInPlace(path, after)) ++writes;
    // Paces the writer to the scanner software's bursts; nothing waits on it.
    ::usleep(static_cast<useconds_t>(std::rand() % 2000));
  }
  std::printf("writes %ld\n", writes);
  return 0;
}
