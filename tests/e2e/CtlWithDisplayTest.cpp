// lumaren-ctl against the real display program: the program starts with its
// folders in a temporary place and preferences that give it a name of its
// own, a discovery port of the test's and a quick heartbeat; the tool finds
// it, puts text on it, renames it and shuts it down.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUdpSocket>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "display/uDisplayLine.h"
#include "protocol/uMessage.h"
#include "support/TTempDir.h"
#include "support/qt/TCtlProcess.h"
#include "support/qt/TEventWait.h"

namespace lumaren {
namespace {

using test::ProcessEventsUntil;
using test::RunCtl;
using test::TCtlResult;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CtlWithDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    // Held shared for the whole test, so the port stays the test's.
    ASSERT_TRUE(FDiscovery.bind(QHostAddress::AnyIPv4, 0,
                                QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    Port = std::to_string(FDiscovery.localPort());
    Name = "E2E display " + std::to_string(getpid()) + "-" + Port;

    for (const char* folder : {"config/Tivora/Lumaren", "state", "runtime", "work"}) {
      fs::create_directories(Home / folder);
    }
    fs::permissions(Home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(Home / "config/Tivora/Lumaren/Preferences.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings><Network><DiscoveryPort>" << Port
        << "</DiscoveryPort><LocalPort>0</LocalPort></Network><Options><NodeName>" << Name
        << "</NodeName><Group>7</Group><HeartbeatInterval>250</HeartbeatInterval></Options></Settings>\n";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(Home.Path().string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((Home / "config").string()));
    env.insert("XDG_STATE_HOME", QString::fromStdString((Home / "state").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Home / "runtime").string()));
    Display.setProcessEnvironment(env);
    Display.setWorkingDirectory(QString::fromStdString((Home / "work").string()));
    Display.start(LUMAREN_EXE, {});
    ASSERT_TRUE(Display.waitForStarted(10000));
  }

  void TearDown() override {
    if (Display.state() != QProcess::NotRunning) {
      Display.terminate();
      if (!ProcessEventsUntil([&] { return Display.state() == QProcess::NotRunning; }, 10s)) {
        Display.kill();
        Display.waitForFinished();
      }
    }
  }

  // Waits until the program has written the last message it received and
  // reads it; false when nothing of that type came.
  bool LastMessage(TMessageType type, TReceivedMessage& out) {
    const fs::path file = Home / "work/UDPRead.xml";
    return ProcessEventsUntil(
        [&] {
          const std::string text = ReadFile(file);
          if (text.empty()) return false;
          try {
            ReadMessage(text, out);
          } catch (const std::exception&) {
            return false;  // caught half-written
          }
          return out.Type == type;
        },
        10s);
  }

  test::TTempDir Home;
  QProcess Display;
  std::string Port;
  std::string Name;

 private:
  QUdpSocket FDiscovery;
};

TEST_F(CtlWithDisplay, DiscoverSendRenameShutDown) {
  // Found, with what it announces about itself.
  const TCtlResult found = RunCtl({"discover", "--json", "--port", Port, "--timeout", "2500"});
  ASSERT_EQ(found.ExitCode, 0) << found.Err;
  EXPECT_NE(found.Out.find("{\"name\":\"" + Name + "\",\"group\":7,\"address\":\"127.0.0.1\",\"port\":"),
            std::string::npos)
      << found.Out;
  EXPECT_NE(found.Out.find("\"application\":\"Lumaren\",\"version\":\"1.0.4.0\",\"device\":\"Display\",\"online\":true}"),
            std::string::npos)
      << found.Out;

  // Text reaches it, as the program keeps the last message it applied.
  const TCtlResult sent = RunCtl({"send", "--to", Name, "--port", Port, "Gate|B12\\nboarding|10:45", "--style",
                                  "alternate", "--bg", "000080"});
  ASSERT_EQ(sent.ExitCode, 0) << sent.Err;
  TReceivedMessage display;
  ASSERT_TRUE(LastMessage(TMessageType::mtDisplayData, display));
  TDisplayLineList content;
  content.XMLRead(display.Payload("Display"));
  ASSERT_EQ(content.Count(), 1);
  EXPECT_EQ(content.Items(0).TextCentre, "B12\r\nboarding");
  EXPECT_EQ(content.DisplayStyle, TDisplayStyle::dsAlternate);
  EXPECT_EQ(content.BgColour, 0x800000);

  // A new name goes out with its next announcements.
  const std::string newName = Name + " renamed";
  const TCtlResult renamed = RunCtl({"set-name", "--to", Name, "--port", Port, newName});
  ASSERT_EQ(renamed.ExitCode, 0) << renamed.Err;
  const TCtlResult ack = RunCtl({"ack", "--to", newName, "--port", Port, "--json"});
  ASSERT_EQ(ack.ExitCode, 0) << ack.Err;
  EXPECT_NE(ack.Out.find("\"result\":\"sent\",\"name\":\"" + newName + "\""), std::string::npos) << ack.Out;

  // Shut down: the program ends by itself and keeps the new name.
  const TCtlResult shutdown = RunCtl({"shutdown", "--to", newName, "--port", Port});
  ASSERT_EQ(shutdown.ExitCode, 0) << shutdown.Err;
  ASSERT_TRUE(ProcessEventsUntil([&] { return Display.state() == QProcess::NotRunning; }, 15s))
      << "the program did not end";
  EXPECT_EQ(Display.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Display.exitCode(), 0) << Display.readAllStandardError().toStdString();
  EXPECT_NE(ReadFile(Home / "config/Tivora/Lumaren/Preferences.xml").find("<NodeName>" + newName + "</NodeName>"),
            std::string::npos);
}

TEST_F(CtlWithDisplay, SetStateByGroupThenWatchTheNodeGoOffline) {
  // set-state by group, then the program is ended from outside: a watch
  // reports it new, and offline once its heartbeats stop.
  const TCtlResult state = RunCtl({"set-state", "minimised", "--group", "7", "--port", Port, "--timeout", "1500"});
  ASSERT_EQ(state.ExitCode, 0) << state.Err;
  TReceivedMessage params;
  ASSERT_TRUE(LastMessage(TMessageType::mtParamsSet, params));
  EXPECT_EQ(std::string(params.Payload("Window").attribute("State").value()), "1");

  QProcess watch;
  watch.start(QString::fromStdString(test::CtlExecutable()),
              {"discover", "--watch", "--json", "--port", QString::fromStdString(Port)});
  ASSERT_TRUE(watch.waitForStarted(10000));
  std::string out;
  const auto saw = [&](const std::string& event) {
    return ProcessEventsUntil(
        [&] {
          out += watch.readAllStandardOutput().toStdString();
          return out.find("{\"event\":\"" + event + "\",\"name\":\"" + Name + "\"") != std::string::npos;
        },
        15s);
  };
  EXPECT_TRUE(saw("new")) << out;
  Display.terminate();
  EXPECT_TRUE(ProcessEventsUntil([&] { return Display.state() == QProcess::NotRunning; }, 15s));
  EXPECT_TRUE(saw("offline")) << out;
  watch.terminate();
  EXPECT_TRUE(ProcessEventsUntil([&] { return watch.state() == QProcess::NotRunning; }, 15s));
  EXPECT_EQ(watch.exitCode(), 0);
}

}  // namespace
}  // namespace lumaren
