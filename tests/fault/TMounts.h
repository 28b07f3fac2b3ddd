#pragma once
// Mounts for the fault tests, made in the test process itself so that the
// node it starts sees them. They are only made inside a private mount
// namespace (scripts/fault-tests.sh runs the tests under unshare -m), so
// nothing of them can reach the machine's own mount table, and each is
// undone when its owner goes.

#include <filesystem>
#include <string>

namespace lumaren::test {

// True in a mount namespace other than LUMAREN_OUTER_MOUNT_NAMESPACE, the
// one scripts/fault-tests.sh started from (a "mnt:[inode]" link text).
bool InPrivateMountNamespace();

class TMount {
 public:
  // A tmpfs of sizeBytes on folder.
  static TMount Tmpfs(const std::filesystem::path& folder, unsigned long sizeBytes);
  // folder over itself, read-only.
  static TMount ReadOnly(const std::filesystem::path& folder);
  // source (a file or a folder) over target, which then cannot be removed
  // or renamed (EBUSY) while its contents stay as they are.
  static TMount Bind(const std::filesystem::path& source, const std::filesystem::path& target);

  TMount(TMount&& other) noexcept;
  TMount& operator=(TMount&&) = delete;
  TMount(const TMount&) = delete;
  TMount& operator=(const TMount&) = delete;
  ~TMount();

 private:
  explicit TMount(std::filesystem::path target) : FTarget(std::move(target)) {}
  std::filesystem::path FTarget;  // empty once moved from
};

}  // namespace lumaren::test
