#pragma once
// A copy of the last received message, kept so a person can see what a
// controller actually sent. The bytes are written as they came, not
// re-serialised: a deeply nested document would grow many times over when
// indented again.

#include <string>
#include <string_view>

namespace lumaren {

inline constexpr const char* CON_UDPReadFileName = "UDPRead.xml";

// Where the handler puts the copy; tests and fuzzing use a fake.
class TLastMessageStore {
 public:
  virtual ~TLastMessageStore() = default;
  // Replaces the stored copy with bytes. Raises on failure.
  virtual void Replace(std::string_view bytes) = 0;
};

// The copy as a file, by default "UDPRead.xml" in the current directory.
// The descriptor stays open between messages and the file is rewritten in
// place (pwrite, then ftruncate to the new length), so a message costs two
// system calls and no reopen or flush to disk. A failed open or write raises
// std::system_error and closes the descriptor, so the next message opens the
// file afresh; a file removed by someone else is made again.
class TLastMessageFile final : public TLastMessageStore {
 public:
  explicit TLastMessageFile(std::string fileName = CON_UDPReadFileName);
  ~TLastMessageFile() override;
  TLastMessageFile(const TLastMessageFile&) = delete;
  TLastMessageFile& operator=(const TLastMessageFile&) = delete;

  void Replace(std::string_view bytes) override;

 private:
  void Open();
  void Close();
  [[noreturn]] void Fail(int error, const char* operation);

  std::string FFileName;
  int FFd = -1;
};

}  // namespace lumaren
