#pragma once
// Running a piece of a test in a forked child, for what must not touch the
// test process itself: resource limits, a private mount namespace.

#include <functional>
#include <string>

namespace lumaren::test {

// Exit code a child body returns when the machine does not permit the test.
inline constexpr int CON_ChildSkipped = 77;

// Runs body in a forked child and returns its exit code (an escaped
// exception gives 99, a signal 128 + its number). The child ends with
// _exit, so nothing of the parent's shutdown runs twice.
int RunInChild(const std::function<int()>& body);

// In a child only: moves it into a private mount namespace and mounts a
// tmpfs of sizeBytes on folder. Returns an empty string, or why it failed.
std::string MountPrivateTmpfs(const std::string& folder, unsigned long sizeBytes);

// Fills the file system that holds folder until it takes no more bytes.
// Returns false when it never reported a full disk.
bool FillFileSystem(const std::string& folder);

}  // namespace lumaren::test
