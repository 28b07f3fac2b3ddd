#pragma once
// What a node does when the copy of a datagram (UDPRead.xml in its working
// directory) cannot be written: every datagram gets the error entry and none
// is applied (not even Shutdown), while the heartbeat, which needs no file,
// goes on. Shared by the case a test can set up anywhere (a folder where the
// file should be) and the one that needs a mount (a read-only folder).

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <signal.h>

#include <string>

#include "e2e/TNodeFixture.h"

namespace lumaren::test {

inline std::string SavedNodeName(const std::filesystem::path& file) {
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str())) return "(not readable)";
  return doc.child("Settings").child("Options").child("NodeName").text().as_string("(missing)");
}

// The node runs and has announced to controller, under the name "Lobby".
// Ends the node by SIGTERM.
inline void ExpectEveryDatagramRefused(TController& controller, TNodeProcess& node) {
  const char* const readError = "XML message read error";
  const std::size_t header = node.LogEntries().size();
  const std::string datagrams[] = {
      MessageXml(CON_Acknowledge),
      MessageXml(CON_ParamsSet, R"(<Node Name="Renamed" Group="9"/>)"),
      MessageXml(CON_DisplayData, R"(<Display><Line Centre="Boarding"/></Display>)"),
      MessageXml(CON_Shutdown),
  };
  int errors = 0;
  for (const std::string& datagram : datagrams) {
    SCOPED_TRACE(datagram);
    ASSERT_TRUE(controller.SendToNode(datagram));
    ++errors;
    EXPECT_TRUE(ProcessEventsUntil([&] { return node.CountLogEntries("Error", readError) >= errors; },
                                   CON_EventTimeout));
  }
  // One entry per datagram, and nothing else.
  EXPECT_EQ(node.CountLogEntries("Error", readError), errors);
  EXPECT_EQ(node.LogEntries().size(), header + static_cast<std::size_t>(errors));

  // Announcements sent after the last datagram still carry the old name.
  const std::size_t seen = controller.Announcements().size();
  ASSERT_TRUE(controller.WaitForAnnouncements(seen + 2, 4s)) << "the node stopped announcing";
  for (std::size_t i = seen; i < controller.Announcements().size(); ++i)
    EXPECT_EQ(controller.Announcements()[i].NodeName, "Lobby");
  EXPECT_TRUE(node.Running()) << "the Shutdown was applied";

  ASSERT_EQ(::kill(static_cast<pid_t>(node.Pid()), SIGTERM), 0);
  ASSERT_EQ(node.WaitForExit(CON_ExitTimeout), 0);
  EXPECT_EQ(SavedNodeName(node.PreferencesFile()), "Lobby");
}

}  // namespace lumaren::test
