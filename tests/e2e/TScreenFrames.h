#pragma once
// The frames a node run with recordFrames showed. Qt's minimal platform,
// with QT_DEBUG_BACKINGSTORE set, saves every flush of the window's backing
// store to outputNNNN.png in the working directory, numbered from 0; that
// is the only window system the node then has, so the files are exactly
// what a screen would have shown, one per redraw, in order. The program
// needs no hook of its own for this.

#include <QImage>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace lumaren::test {

class TScreenFrames {
 public:
  explicit TScreenFrames(std::filesystem::path folder) : FFolder(std::move(folder)) {}

  // The number of frames saved so far (the frames 0..Count()-1).
  int Count() const;
  // Frame index, or a null image when it is missing or not yet written whole.
  QImage Frame(int index) const;
  // Waits for the first frame from index `from` on for which match is true
  // and returns its index.
  std::optional<int> WaitForFrame(int from, const std::function<bool(const QImage&)>& match,
                                  std::chrono::milliseconds timeout) const;

 private:
  std::filesystem::path FramePath(int index) const;

  std::filesystem::path FFolder;
};

}  // namespace lumaren::test
