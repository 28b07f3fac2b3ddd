#include "support/TChildProcess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaren::test {

int RunInChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return 98;
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: exception: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "child: unknown exception\n");
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 97;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 96;
}

std::string MountPrivateTmpfs(const std::string& folder, unsigned long sizeBytes) {
  if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
  // Without this the mount would propagate back to the shared namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("making / private: ") + std::strerror(errno);
  const std::string options = "size=" + std::to_string(sizeBytes);
  if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
    return std::string("mounting tmpfs: ") + std::strerror(errno);
  return {};
}

bool FillFileSystem(const std::string& folder) {
  const std::string path = folder + "/filler";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::vector<char> block(4096, 'x');
  bool full = false;
  // Whole blocks first, then single bytes, so not one byte stays free.
  for (std::size_t size : {block.size(), std::size_t{1}}) {
    for (;;) {
      const ssize_t written = ::write(fd, block.data(), size);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0 && errno == ENOSPC) {
        full = true;
        break;
      }
      if (written <= 0) {
        ::close(fd);
        return false;
      }
    }
  }
  ::close(fd);
  return full;
}

}  // namespace lumaren::test
