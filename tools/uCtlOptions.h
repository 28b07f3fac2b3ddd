#pragma once
// lumaren-ctl's command line: what the user asked for, checked in full
// before anything touches the network.

#include <stdexcept>
#include <string>
#include <vector>

#include "display/uDisplayLine.h"
#include "protocol/uDeviceNode.h"

namespace lumaren::ctl {

// Exit codes, for people and scripts.
inline constexpr int CON_ExitOK = 0;
inline constexpr int CON_ExitFailed = 1;  // no node found, a send failed, no socket
inline constexpr int CON_ExitUsage = 2;   // the command line or the content is wrong

// How long discovery listens when --timeout is not given: a bit over two
// heartbeats of a display, so one lost announcement does not hide a node.
inline constexpr int CON_DiscoverListenDefault = 2500;
// Commands listen for their nodes a little longer, to be sure of a group.
inline constexpr int CON_CommandListenDefault = 3000;

// A command line that cannot be run; the text says why.
class ECtlUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TCtlCommand { None, Discover, Send, Ack, Shutdown, SetName, SetState };

// The name of a command as typed ("set-name").
std::string CommandName(TCtlCommand command);

// One --to: a node's name, or an address and port to send to directly.
struct TCtlTarget {
  std::string Name;
  std::string Address;  // dotted IPv4; empty for a name
  int Port = 0;
  bool Direct() const { return !Address.empty(); }
};

struct TCtlOptions {
  TCtlCommand Command = TCtlCommand::None;
  bool Help = false;
  bool Version = false;
  bool Json = false;
  bool Watch = false;
  int Port = CON_UDPPortDefault;  // the discovery port
  std::string Bind;                // local address commands leave from; empty for any
  int TimeoutMs = 0;               // 0: the command's default (watch: none)

  // Node selection of the commands other than discover.
  std::vector<TCtlTarget> Targets;
  std::vector<int> Groups;
  bool All = false;

  // send: the lines and the content's parameters (clNone, empty: the node's own).
  std::vector<TDisplayLine> Lines;
  TDisplayStyle Style = TDisplayStyle::dsSteady;
  int ExpiryMs = 0;
  std::string FontName;
  TColor FontColour = clNone;
  TColor BgColour = clNone;

  std::string NewName;                           // set-name
  TWindowState State = TWindowState::wsNormal;  // set-state

  // The listening time: TimeoutMs, or the command's default; 0 for a watch
  // without --timeout (until interrupted).
  int ListenMs() const;
  // Whether any node has to be found by listening first.
  bool NeedsDiscovery() const;
  // The content of a send.
  void FillContent(TDisplayLineList& content) const;
};

// Reads the arguments after the program's name. Options may come before or
// after the command; "--" ends them. ECtlUsage for anything wrong.
TCtlOptions ParseCtlArguments(const std::vector<std::string>& args);

// One "left|centre|right" argument. A text without "|" is centred; with "|"
// the parts fill left, centre and right in turn. Escapes: "\n" a line
// break, "\|" a bar, "\\" a backslash, "\t" a tab. ECtlUsage for an unknown
// escape or more than three parts.
TDisplayLine ParseDisplayLine(const std::string& text);

std::string CtlHelpText();

}  // namespace lumaren::ctl
