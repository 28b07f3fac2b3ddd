#pragma once
// Runs the session log in a temporary folder for one test, so the test can
// see which error entries the code under test left.

#include <string>
#include <vector>

#include "support/TTempDir.h"

namespace lumaren::test {

// The texts of the running log's entries with this title ("Session" or
// "Error"), in order.
std::vector<std::string> LoggedTexts(const std::string& title);

class TLogCapture {
 public:
  // Starts the identity and log modules; ends them on destruction.
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  // The texts of the error entries written so far, in order, as they stand
  // in the log (line breaks escaped).
  std::vector<std::string> Errors() const;
  // The same for the session entries, the log's own header lines included.
  std::vector<std::string> Sessions() const;

 private:
  TTempDir FFolder;
};

}  // namespace lumaren::test
