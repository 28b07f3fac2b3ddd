#include "e2e/TScreenFrames.h"

#include <QString>

#include <cstdio>
#include <string>

#include "support/qt/TEventWait.h"

namespace fs = std::filesystem;

namespace lumaren::test {

fs::path TScreenFrames::FramePath(int index) const {
  char name[32];
  std::snprintf(name, sizeof name, "output%04d.png", index);
  return FFolder / name;
}

int TScreenFrames::Count() const {
  int count = 0;
  while (fs::exists(FramePath(count))) ++count;
  return count;
}

QImage TScreenFrames::Frame(int index) const {
  // A frame still being written does not decode and reads as null.
  return QImage(QString::fromStdString(FramePath(index).string()), "PNG");
}

std::optional<int> TScreenFrames::WaitForFrame(int from, const std::function<bool(const QImage&)>& match,
                                               std::chrono::milliseconds timeout) const {
  int next = from;
  std::optional<int> found;
  ProcessEventsUntil(
      [&] {
        while (fs::exists(FramePath(next))) {
          const QImage frame = Frame(next);
          if (frame.isNull()) return false;  // look again once it is written whole
          if (match(frame)) {
            found = next;
            return true;
          }
          ++next;
        }
        return false;
      },
      timeout);
  return found;
}

}  // namespace lumaren::test
