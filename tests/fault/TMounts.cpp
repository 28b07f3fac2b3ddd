#include "fault/TMounts.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <sys/mount.h>

namespace lumaren::test {

namespace {

namespace fs = std::filesystem;

void Check(int result, const std::string& what) {
  if (result != 0) throw std::system_error(errno, std::generic_category(), what);
}

void RequirePrivate() {
  if (!InPrivateMountNamespace())
    throw std::runtime_error("mounts are made only in a private mount namespace (run scripts/fault-tests.sh)");
}

}  // namespace

bool InPrivateMountNamespace() {
  // Process 1's namespace may not be readable in a container, so the script
  // names the one it started from.
  const char* outer = std::getenv("LUMAREN_OUTER_MOUNT_NAMESPACE");
  std::error_code ec;
  const fs::path own = fs::read_symlink("/proc/self/ns/mnt", ec);
  return outer && outer[0] != '\0' && !ec && own.string() != outer;
}

TMount TMount::Tmpfs(const fs::path& folder, unsigned long sizeBytes) {
  RequirePrivate();
  const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0700";
  Check(::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()), "mounting a tmpfs on " + folder.string());
  return TMount(folder);
}

TMount TMount::ReadOnly(const fs::path& folder) {
  RequirePrivate();
  Check(::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr), "binding " + folder.string());
  TMount mount(folder);
  // A bind mount takes the read-only flag only on a remount.
  Check(::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
        "making " + folder.string() + " read-only");
  return mount;
}

TMount TMount::Bind(const fs::path& source, const fs::path& target) {
  RequirePrivate();
  Check(::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr),
        "binding " + source.string() + " on " + target.string());
  return TMount(target);
}

TMount::TMount(TMount&& other) noexcept : FTarget(std::move(other.FTarget)) { other.FTarget.clear(); }

TMount::~TMount() {
  if (!FTarget.empty()) ::umount2(FTarget.c_str(), MNT_DETACH);
}

}  // namespace lumaren::test
