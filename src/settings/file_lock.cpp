#include "settings/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "settings/file_system.h"

namespace quillmap {

namespace {

constexpr std::chrono::milliseconds kPollInterval(20);

}  // namespace

FileLock::FileLock(const std::string& path, int timeout_ms) {
  const std::string folder = UserRuntimeFolder();
  if (!EnsurePrivateFolder(folder)) return;
  // Named after the canonical path, so that every spelling of one file takes the same lock.
  const std::string lock_path = folder + "/quillmap-" + PathHash(CanonicalPath(path)) + ".lock";
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return;
    }
    if (errno == EINTR) continue;
    const auto now = std::chrono::steady_clock::now();
    if (errno != EWOULDBLOCK || now >= deadline) break;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
  ::close(fd);
}

// The lock file itself stays: removing it would let a waiter lock a file that no longer has a
// name while a newcomer locks a fresh one.
FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace quillmap
