#pragma once
// One running instance per user: the first start listens on a local socket;
// a later start hands its command line to the running one and ends.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumaren::platform {

// The command line of a later start (all its arguments, the program first),
// delivered on the main thread of the running instance.
using TCmdLineReceived = std::function<void(const std::vector<std::string>& commandLine)>;

class TSingleInstance {
 public:
  virtual ~TSingleInstance() = default;

  // True: this process is the running instance and listens for later starts.
  // False: another instance is running and has been handed this command
  // line; the caller ends at once (exit code 0).
  virtual bool IsFirstInstance() const = 0;

  // Replaces the handler for command lines of later starts. Command lines
  // that arrive while no handler is set are acknowledged and dropped.
  virtual void SetOnCmdLineReceived(TCmdLineReceived handler) = 0;
};

// Decides at once whether this is the first instance. Needs the Qt
// application object and runs before the main window exists.
//   companyName, productName: name the socket and its lock file, so two
//     products never meet.
//   commandLine: all arguments, the program first; handed to the running
//     instance by a later start.
//   folder: holds the socket and its lock file; "" is the user's runtime
//     folder (RuntimeDir()).
// A socket left behind by a crashed run does not stop the start. A later
// start waits a short moment for the running instance to acknowledge the
// hand-over; without an answer it still ends (the instance is busy, not gone).
std::unique_ptr<TSingleInstance> NewSingleInstance(const std::string& companyName,
                                                   const std::string& productName,
                                                   const std::vector<std::string>& commandLine,
                                                   TCmdLineReceived onCmdLineReceived = {},
                                                   const std::string& folder = {});

// The socket's path: folder + "/" + company-product-uid + ".socket", with
// characters other than letters, digits, '.', '_' and '-' replaced by '_'.
// The user id keeps users apart where the folder is shared (/tmp).
std::string SingleInstanceSocketPath(const std::string& folder, const std::string& companyName,
                                     const std::string& productName);

}  // namespace lumaren::platform
