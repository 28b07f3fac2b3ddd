#include "config/uAtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumaren {

namespace {

[[noreturn]] void Fail(int error, const std::string& what, const std::string& path) {
  throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

// Closes on scope exit unless released; close errors matter only where the
// caller closes explicitly.
class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a fresh temporary file beside path. O_EXCL with mode 0666 lets the
// umask decide the permissions, as for any file the program creates.
int CreateTemporary(const std::string& path, std::string& tempPath) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000000u);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) Fail(errno, "Cannot create a temporary file beside", path);
  }
  Fail(EEXIST, "Cannot create a temporary file beside", path);
}

// A short write is not an error by itself: the rest is written by the next
// call, which then reports why the disk took no more (ENOSPC, EFBIG, EIO).
void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "Cannot write", path);
    }
    if (written == 0) Fail(EIO, "Cannot write", path);
    data.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  std::string tempPath;
  TFd file(CreateTemporary(path, tempPath));
  try {
    WriteAll(file.Get(), contents, tempPath);
    // Some file systems report a full disk only when the data is flushed.
    if (::fsync(file.Get()) != 0) Fail(errno, "Cannot flush", tempPath);
    if (::close(file.Release()) != 0) Fail(errno, "Cannot close", tempPath);
    if (::rename(tempPath.c_str(), path.c_str()) != 0) Fail(errno, "Cannot rename the temporary file to", path);
  } catch (...) {
    ::unlink(tempPath.c_str());
    throw;
  }
  // The rename itself must reach the disk, or a crash could bring back the
  // old file, or on some file systems no file at all. File systems that
  // cannot sync a folder say EINVAL; there is nothing more to do on them.
  const std::string folder = FolderOf(path);
  TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() < 0) Fail(errno, "Cannot open the folder", folder);
  if (::fsync(dir.Get()) != 0 && errno != EINVAL) Fail(errno, "Cannot flush the folder", folder);
}

std::string ReadWholeFile(const std::string& path) {
  TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) Fail(errno, "Cannot open", path);
  std::string result;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "Cannot read", path);
    }
    if (got == 0) break;
    result.append(buffer, static_cast<std::size_t>(got));
  }
  return result;
}

}  // namespace lumaren
