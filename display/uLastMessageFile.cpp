#include "display/uLastMessageFile.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumaren {

TLastMessageFile::TLastMessageFile(std::string fileName) : FFileName(std::move(fileName)) {}

TLastMessageFile::~TLastMessageFile() { Close(); }

void TLastMessageFile::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TLastMessageFile::Fail(int error, const char* operation) {
  Close();
  throw std::system_error(error, std::generic_category(), std::string(operation) + " " + FFileName);
}

void TLastMessageFile::Open() {
  // The name is relative to the current directory at the moment of opening.
  const int fd = ::open(FFileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) Fail(errno, "cannot open");
  FFd = fd;
}

void TLastMessageFile::Replace(std::string_view bytes) {
  if (FFd >= 0) {
    // Someone removed the file: writing on would fill a file nobody can see.
    struct stat st {};
    if (::fstat(FFd, &st) != 0 || st.st_nlink == 0) Close();
  }
  if (FFd < 0) Open();
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  off_t offset = 0;
  while (left > 0) {
    const ssize_t written = ::pwrite(FFd, data, left, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "cannot write");
    }
    // A regular file that takes nothing is full; do not spin on it.
    if (written == 0) Fail(ENOSPC, "cannot write");
    data += written;
    left -= static_cast<std::size_t>(written);
    offset += written;
  }
  // Cut off what a longer earlier message left behind.
  if (::ftruncate(FFd, static_cast<off_t>(bytes.size())) != 0) Fail(errno, "cannot truncate");
}

}  // namespace lumaren
