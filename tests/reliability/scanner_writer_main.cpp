// Stands in for the scanner software: rewrites the region file in a loop, each time raising
// Counter in its own section [ScannerSoftware] by one, and knows nothing of Quillmap's lock.
//   reliability_scanner_writer FILE in-place|careful
// in-place truncates and writes the file, as the Windows profile functions do, after reading it
// again and starting over when it changed; a change made after that read is lost. careful swaps
// a finished copy in (RENAME_EXCHANGE) and puts the file back when the one swapped out is not
// the one it read. Runs until a line arrives on stdin, then prints "writes N lost M hidden H":
// M counts the times its last counter had gone for good, H for a moment only.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/atomic_file.h"
#include "settings/profile.h"

namespace {

using quillmap::ProfileDocument;

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

bool WriteCarefully(const std::string& path, const std::string& before, const std::string& bytes) {
  const std::string temp = path + ".scanner-tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  if (::close(fd) != 0 || !written ||
      ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  const bool swapped_out_read = Read(temp) == before;
  if (!swapped_out_read)
    ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
  ::unlink(temp.c_str());
  return swapped_out_read;
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
  long counter = 0, writes = 0, lost = 0, hidden = 0;
  while (!StopAsked()) {
    const std::string before = Read(path);
    ProfileDocument doc = ProfileDocument::Parse(before);
    if (counter > 0 && doc.Read("ScannerSoftware", "Counter", "") != std::to_string(counter)) {
      // Another writer that swapped its file in and at once back shows it for a moment: a
      // change that is back a little later was not lost.
      ::usleep(20000);
      const std::string again = Read(path);
      if (ProfileDocument::Parse(again).Read("ScannerSoftware", "Counter", "") ==
          std::to_string(counter)) {
        ++hidden;
        continue;
      }
      ++lost;
    }
    doc.Write("ScannerSoftware", "Counter", std::to_string(counter + 1));
    const std::string after = doc.Serialize();
    const bool written = mode == "careful" ? WriteCarefully(path, before, after)
                                           : Read(path) == before && WriteInPlace(path, after);
    if (!written) continue;
    ++counter;
    ++writes;
    ::usleep(static_cast<useconds_t>(std::rand() % 2000));
  }
  std::printf("writes %ld lost %ld hidden %ld\n", writes, lost, hidden);
  return 0;
}
