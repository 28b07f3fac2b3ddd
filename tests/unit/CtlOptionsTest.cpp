// lumaren-ctl's command line: good lines and what they ask for, bad lines
// and the reason the user is told.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/uCtlOptions.h"

namespace lumaren::ctl {
namespace {

using TArgs = std::vector<std::string>;

std::string Join(const TArgs& args) {
  std::string out;
  for (const auto& a : args) out += (out.empty() ? "" : " ") + a;
  return out;
}

TEST(CtlOptions, GoodCommandLines) {
  struct Case {
    TArgs args;
    std::function<void(const TCtlOptions&)> check;
  };
  const Case cases[] = {
      {{"discover"},
       [](const TCtlOptions& o) {
         EXPECT_EQ(o.Command, TCtlCommand::Discover);
         EXPECT_EQ(o.Port, 1965);
         EXPECT_EQ(o.Bind, "");
         EXPECT_FALSE(o.Watch);
         EXPECT_FALSE(o.Json);
         EXPECT_EQ(o.ListenMs(), 2500);
         EXPECT_TRUE(o.NeedsDiscovery());
       }},
      {{"--json", "discover", "--watch"},
       [](const TCtlOptions& o) {
         EXPECT_TRUE(o.Json);
         EXPECT_TRUE(o.Watch);
         EXPECT_EQ(o.ListenMs(), 0);  // until interrupted
       }},
      {{"discover", "--watch", "--timeout=1500", "--port", "2000", "--bind", "10.77.0.2"},
       [](const TCtlOptions& o) {
         EXPECT_EQ(o.ListenMs(), 1500);
         EXPECT_EQ(o.Port, 2000);
         EXPECT_EQ(o.Bind, "10.77.0.2");
       }},
      {{"send", "--to", "Lobby", "Hello"},
       [](const TCtlOptions& o) {
         EXPECT_EQ(o.Command, TCtlCommand::Send);
         ASSERT_EQ(o.Targets.size(), 1u);
         EXPECT_EQ(o.Targets[0].Name, "Lobby");
         EXPECT_FALSE(o.Targets[0].Direct());
         ASSERT_EQ(o.Lines.size(), 1u);
         EXPECT_EQ(o.Lines[0].TextCentre, "Hello");
         EXPECT_EQ(o.ListenMs(), 3000);
         EXPECT_EQ(o.Style, TDisplayStyle::dsSteady);
         EXPECT_EQ(o.FontColour, clNone);
         EXPECT_EQ(o.BgColour, clNone);
         EXPECT_EQ(o.FontName, "");
       }},
      {{"send", "--to=10.77.0.2:50123", "a|b|c", "x|y", "--style", "alternate", "--expiry", "5000", "--font",
        "Liberation Sans", "--fg", "FF0000", "--bg=#0000ff"},
       [](const TCtlOptions& o) {
         ASSERT_EQ(o.Targets.size(), 1u);
         EXPECT_TRUE(o.Targets[0].Direct());
         EXPECT_EQ(o.Targets[0].Address, "10.77.0.2");
         EXPECT_EQ(o.Targets[0].Port, 50123);
         EXPECT_FALSE(o.NeedsDiscovery());
         ASSERT_EQ(o.Lines.size(), 2u);
         EXPECT_EQ(o.Lines[0].TextLeft, "a");
         EXPECT_EQ(o.Lines[0].TextCentre, "b");
         EXPECT_EQ(o.Lines[0].TextRight, "c");
         EXPECT_EQ(o.Lines[1].TextLeft, "x");
         EXPECT_EQ(o.Lines[1].TextCentre, "y");
         EXPECT_EQ(o.Lines[1].TextRight, "");
         EXPECT_EQ(o.Style, TDisplayStyle::dsAlternate);
         EXPECT_EQ(o.ExpiryMs, 5000);
         EXPECT_EQ(o.FontName, "Liberation Sans");
         EXPECT_EQ(o.FontColour, 0x0000FF);  // red is the low byte
         EXPECT_EQ(o.BgColour, 0xFF0000);    // blue the third
       }},
      // No lines: the display is cleared.
      {{"send", "--all"},
       [](const TCtlOptions& o) {
         EXPECT_TRUE(o.All);
         EXPECT_TRUE(o.Lines.empty());
       }},
      // "--" lets a line start with a dash.
      {{"send", "--group", "3", "--", "-5 degrees", "--all"},
       [](const TCtlOptions& o) {
         EXPECT_FALSE(o.All);
         ASSERT_EQ(o.Lines.size(), 2u);
         EXPECT_EQ(o.Lines[0].TextCentre, "-5 degrees");
         EXPECT_EQ(o.Lines[1].TextCentre, "--all");
       }},
      {{"send", "--group", "-2", "--group", "7", "--to", "Stage", "--to", "10.0.0.1:1", "-"},
       [](const TCtlOptions& o) {
         EXPECT_EQ(o.Groups, (std::vector<int>{-2, 7}));
         ASSERT_EQ(o.Targets.size(), 2u);
         EXPECT_TRUE(o.NeedsDiscovery());
         ASSERT_EQ(o.Lines.size(), 1u);
         EXPECT_EQ(o.Lines[0].TextCentre, "-");
       }},
      // A name that merely holds digits and a colon is a name.
      {{"ack", "--to", "12:30"},
       [](const TCtlOptions& o) {
         ASSERT_EQ(o.Targets.size(), 1u);
         EXPECT_EQ(o.Targets[0].Name, "12:30");
       }},
      {{"shutdown", "--all", "--json"}, [](const TCtlOptions& o) { EXPECT_EQ(o.Command, TCtlCommand::Shutdown); }},
      {{"set-name", "--to", "Lobby", "Stage left"},
       [](const TCtlOptions& o) {
         EXPECT_EQ(o.Command, TCtlCommand::SetName);
         EXPECT_EQ(o.NewName, "Stage left");
       }},
      {{"set-state", "maximised", "--to", "Lobby"},
       [](const TCtlOptions& o) { EXPECT_EQ(o.State, TWindowState::wsMaximized); }},
      {{"set-state", "minimized", "--to", "Lobby"},
       [](const TCtlOptions& o) { EXPECT_EQ(o.State, TWindowState::wsMinimized); }},
      {{"set-state", "normal", "--to", "Lobby"},
       [](const TCtlOptions& o) { EXPECT_EQ(o.State, TWindowState::wsNormal); }},
      // Help and version win over a missing or wrong command.
      {{"--help"}, [](const TCtlOptions& o) { EXPECT_TRUE(o.Help); }},
      {{"send", "-h"}, [](const TCtlOptions& o) { EXPECT_TRUE(o.Help); }},
      {{"frobnicate", "--version"}, [](const TCtlOptions& o) { EXPECT_TRUE(o.Version); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Join(c.args));
    try {
      c.check(ParseCtlArguments(c.args));
    } catch (const ECtlUsage& e) {
      ADD_FAILURE() << "refused: " << e.what();
    }
  }
}

TEST(CtlOptions, BadCommandLines) {
  struct Case {
    TArgs args;
    const char* reason;  // a part of the message the user sees
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"discover", "--frobnicate"}, "unknown option --frobnicate"},
      {{"discover", "--json=yes"}, "--json takes no value"},
      {{"discover", "extra"}, "discover takes no arguments"},
      {{"discover", "--to", "Lobby"}, "discover lists every node"},
      {{"discover", "--all"}, "discover lists every node"},
      {{"discover", "--style", "blink"}, "--style is an option of send only"},
      {{"discover", "--port"}, "--port needs a value"},
      {{"discover", "--port", "0"}, "--port needs a whole number from 1 to 65535"},
      {{"discover", "--port", "65536"}, "--port needs a whole number"},
      {{"discover", "--port", "0x10"}, "--port needs a whole number"},
      {{"discover", "--port", " 5"}, "--port needs a whole number"},
      {{"discover", "--timeout", "0"}, "--timeout needs a whole number"},
      {{"discover", "--bind", "localhost"}, "--bind needs a local IPv4 address"},
      {{"discover", "--bind", "10.0.0.256"}, "--bind needs a local IPv4 address"},
      {{"ack"}, "ack needs nodes"},
      {{"ack", "--watch", "--all"}, "--watch is an option of discover only"},
      {{"ack", "--all", "--to", "Lobby"}, "--all chooses every node"},
      {{"ack", "--all", "--group", "1"}, "--all chooses every node"},
      {{"ack", "--all", "now"}, "ack takes no arguments"},
      {{"shutdown", "--to", ""}, "--to needs a node name"},
      {{"ack", "--to", "10.0.0.300:5000"}, "is not an IPv4 address"},
      {{"ack", "--to", "10.0.0.3:70000"}, "from 1 to 65535"},
      {{"ack", "--to", "10.0.0.3:"}, "from 1 to 65535"},
      {{"ack", "--group", "x"}, "--group needs a whole number"},
      {{"ack", "--group", "2147483648"}, "--group needs a whole number"},
      {{"ack", "--all", "--expiry", "5"}, "--expiry is an option of send only"},
      {{"send", "--all", "--style", "flash"}, "--style needs steady, blink or alternate"},
      {{"send", "--all", "--expiry", "-5"}, "--expiry needs a whole number"},
      {{"send", "--all", "--fg", "red"}, "--fg needs six hexadecimal digits"},
      {{"send", "--all", "--bg", "FFF"}, "--bg needs six hexadecimal digits"},
      {{"send", "--all", "--font="}, "--font needs a font name"},
      {{"send", "--all", "a|b|c|d"}, "more than three parts"},
      {{"send", "--all", "bad \\q escape"}, "unknown escape \\q"},
      {{"send", "--all", "trailing\\"}, "lone backslash"},
      {{"set-name", "--all"}, "set-name needs exactly one new name"},
      {{"set-name", "--all", ""}, "set-name needs exactly one new name"},
      {{"set-name", "--all", "a", "b"}, "set-name needs exactly one new name"},
      {{"set-state", "--all"}, "set-state needs one of"},
      {{"set-state", "--all", "fullscreen"}, "set-state needs normal, minimised or maximised"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Join(c.args));
    try {
      ParseCtlArguments(c.args);
      ADD_FAILURE() << "accepted";
    } catch (const ECtlUsage& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

TEST(CtlOptions, DisplayLineEscapes) {
  struct Case {
    const char* text;
    const char* left;
    const char* centre;
    const char* right;
  };
  const Case cases[] = {
      {"Hello", "", "Hello", ""},
      {"", "", "", ""},
      {"Two\\nrows", "", "Two\r\nrows", ""},
      {"a\\|b", "", "a|b", ""},
      {"back\\\\slash|x", "back\\slash", "x", ""},
      {"tab\\there", "", "tab\there", ""},
      {"|middle|", "", "middle", ""},
      {"Gate|B12\\nboarding|10:45", "Gate", "B12\r\nboarding", "10:45"},
      {"only left|", "only left", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const TDisplayLine line = ParseDisplayLine(c.text);
    EXPECT_EQ(line.TextLeft, c.left);
    EXPECT_EQ(line.TextCentre, c.centre);
    EXPECT_EQ(line.TextRight, c.right);
  }
}

TEST(CtlOptions, ContentCarriesTheOptions) {
  const TCtlOptions o = ParseCtlArguments(
      {"send", "--all", "--style", "blink", "--expiry", "750", "--fg", "00FF00", "L|C|R", "second"});
  TDisplayLineList content;
  o.FillContent(content);
  EXPECT_EQ(content.DisplayStyle, TDisplayStyle::dsBlink);
  EXPECT_EQ(content.ExpiryMilliSecs, 750);
  EXPECT_EQ(content.FontColour, 0x00FF00);
  EXPECT_EQ(content.BgColour, clNone);
  EXPECT_EQ(content.FontName, "");
  ASSERT_EQ(content.Count(), 2);
  EXPECT_EQ(content.Items(0).TextRight, "R");
  EXPECT_EQ(content.Items(1).TextCentre, "second");
}

TEST(CtlOptions, HelpNamesEveryCommandAndOption) {
  const std::string help = CtlHelpText();
  for (const char* word : {"discover", "send", "ack", "shutdown", "set-name", "set-state", "--to", "--group", "--all",
                           "--port", "--bind", "--timeout", "--watch", "--json", "--style", "--expiry", "--font",
                           "--fg", "--bg", "--help", "--version"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace lumaren::ctl
