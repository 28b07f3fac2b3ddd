#pragma once
// The common ground of the end-to-end tests: one node process with a
// controller on a discovery port of the test's own (never the default 1965,
// so tests running side by side never hear each other's nodes), and the
// datagrams a controller sends, written out as literal XML.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e/TController.h"
#include "e2e/TNodeProcess.h"
#include "support/qt/TEventWait.h"

namespace lumaren::test {

using namespace std::chrono_literals;

// Deadlines. They only matter when something is wrong, so they leave room
// for a loaded machine and the sanitizers.
inline constexpr std::chrono::milliseconds CON_StartTimeout = 15s;
inline constexpr std::chrono::milliseconds CON_EventTimeout = 5s;
// A Shutdown closes the window 100 ms later; the process then ends its
// modules and archives the log.
inline constexpr std::chrono::milliseconds CON_ExitTimeout = 3s;

// A whole datagram: declaration, the root, "Message" with its type, then
// the payload elements.
inline std::string MessageXml(int type, const std::string& payload = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VELOMARK><Message Type=\"" + std::to_string(type) + "\"/>" +
         payload + "</VELOMARK>";
}

inline constexpr int CON_Acknowledge = 2;
inline constexpr int CON_Shutdown = 3;
inline constexpr int CON_ParamsSet = 4;
inline constexpr int CON_DisplayData = 6;

class NodeTest : public ::testing::Test {
 protected:
  // Prefs for this test's node, on the controller's discovery port.
  TNodePreferences Preferences() const {
    TNodePreferences prefs;
    prefs.DiscoveryPort = Controller.DiscoveryPort();
    return prefs;
  }

  // Writes prefs and starts the node.
  void StartNode(const TNodePreferences& prefs, bool recordFrames = false) {
    ASSERT_TRUE(Controller.Bound());
    ASSERT_NE(prefs.DiscoveryPort, 1965);
    Node.WritePreferences(prefs);
    Node.Start(recordFrames);
  }

  // Starts the node and waits for its first announcement.
  void StartAnnouncingNode(const TNodePreferences& prefs, bool recordFrames = false) {
    ASSERT_NO_FATAL_FAILURE(StartNode(prefs, recordFrames));
    ASSERT_TRUE(Controller.WaitForAnnouncements(1, CON_StartTimeout)) << "no announcement from the node";
  }

  // Waits until the session log holds an entry of the title "Session".
  bool WaitForSession(const std::string& text) { return Node.WaitForLogEntry("Session", text, CON_EventTimeout); }

  // Sends Shutdown to the node's announced port and waits for the end.
  std::optional<int> ShutDown() {
    if (!Controller.SendToNode(MessageXml(CON_Shutdown))) return std::nullopt;
    return Node.WaitForExit(CON_ExitTimeout);
  }

  TController Controller;  // on a discovery port of its own
  TNodeProcess Node;
};

}  // namespace lumaren::test
