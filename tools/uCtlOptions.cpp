#include "tools/uCtlOptions.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>

#include "protocol/uXMLHelpers.h"

namespace lumaren::ctl {

namespace {

// Plain decimal, an optional minus sign, nothing else; the XML reader's
// hexadecimal forms would surprise someone typing a port.
std::optional<long long> Decimal(const std::string& text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  if (pos == text.size() || text.size() - pos > 10) return std::nullopt;
  long long value = 0;
  for (; pos < text.size(); ++pos) {
    if (text[pos] < '0' || text[pos] > '9') return std::nullopt;
    value = value * 10 + (text[pos] - '0');
  }
  return negative ? -value : value;
}

int IntOption(const std::string& option, const std::string& text, long long min, long long max) {
  const auto value = Decimal(text);
  if (!value || *value < min || *value > max) {
    throw ECtlUsage(option + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                    ", not \"" + text + "\"");
  }
  return static_cast<int>(*value);
}

bool IsIPv4(const std::string& text) {
  int parts = 0;
  std::size_t pos = 0;
  while (true) {
    const std::size_t end = text.find('.', pos);
    const std::string part = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (part.empty() || part.size() > 3 || part[0] == '-') return false;
    const auto value = Decimal(part);
    if (!value || *value > 255) return false;
    ++parts;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return parts == 4;
}

// "ADDR:PORT" when the text has that shape, a name otherwise. Something that
// looks like an address but is not a good one is refused rather than taken
// for a name nobody has.
TCtlTarget Target(const std::string& text) {
  if (text.empty()) throw ECtlUsage("--to needs a node name or ADDRESS:PORT");
  const std::size_t colon = text.rfind(':');
  const std::string address = colon == std::string::npos ? std::string() : text.substr(0, colon);
  const bool shaped = std::count(address.begin(), address.end(), '.') == 3 &&
                      text.find_first_not_of("0123456789.:") == std::string::npos;
  if (!shaped) return TCtlTarget{text, "", 0};
  if (!IsIPv4(address)) throw ECtlUsage("--to " + text + ": \"" + address + "\" is not an IPv4 address");
  return TCtlTarget{"", address, IntOption("--to " + text + ":", text.substr(colon + 1), 1, 65535)};
}

TColor Colour(const std::string& option, const std::string& text) {
  const std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  const auto colour = TryHexToTColor(digits);
  if (!colour) throw ECtlUsage(option + " needs six hexadecimal digits RRGGBB, red first, not \"" + text + "\"");
  return *colour;
}

TCtlCommand CommandFromName(const std::string& name) {
  static const std::map<std::string, TCtlCommand> commands = {
      {"discover", TCtlCommand::Discover}, {"send", TCtlCommand::Send},
      {"ack", TCtlCommand::Ack},           {"shutdown", TCtlCommand::Shutdown},
      {"set-name", TCtlCommand::SetName},  {"set-state", TCtlCommand::SetState}};
  const auto found = commands.find(name);
  if (found == commands.end()) throw ECtlUsage("unknown command \"" + name + "\"");
  return found->second;
}

TWindowState StateFromName(const std::string& name) {
  if (name == "normal") return TWindowState::wsNormal;
  if (name == "minimised" || name == "minimized") return TWindowState::wsMinimized;
  if (name == "maximised" || name == "maximized") return TWindowState::wsMaximized;
  throw ECtlUsage("set-state needs normal, minimised or maximised, not \"" + name + "\"");
}

TDisplayStyle StyleFromName(const std::string& name) {
  if (name == "steady") return TDisplayStyle::dsSteady;
  if (name == "blink") return TDisplayStyle::dsBlink;
  if (name == "alternate") return TDisplayStyle::dsAlternate;
  throw ECtlUsage("--style needs steady, blink or alternate, not \"" + name + "\"");
}

const char* const CON_ValueOptions[] = {"--port", "--bind", "--timeout", "--to",  "--group",
                                        "--style", "--expiry", "--font",  "--fg", "--bg"};
const char* const CON_FlagOptions[] = {"--json", "--watch", "--all", "--help", "-h", "--version"};
const char* const CON_SendOptions[] = {"--style", "--expiry", "--font", "--fg", "--bg"};

template <std::size_t N>
bool OneOf(const std::string& text, const char* const (&list)[N]) {
  for (const char* item : list) {
    if (text == item) return true;
  }
  return false;
}

}  // namespace

std::string CommandName(TCtlCommand command) {
  switch (command) {
    case TCtlCommand::Discover: return "discover";
    case TCtlCommand::Send: return "send";
    case TCtlCommand::Ack: return "ack";
    case TCtlCommand::Shutdown: return "shutdown";
    case TCtlCommand::SetName: return "set-name";
    case TCtlCommand::SetState: return "set-state";
    case TCtlCommand::None: break;
  }
  return "";
}

int TCtlOptions::ListenMs() const {
  if (TimeoutMs > 0) return TimeoutMs;
  if (Command == TCtlCommand::Discover) return Watch ? 0 : CON_DiscoverListenDefault;
  return CON_CommandListenDefault;
}

bool TCtlOptions::NeedsDiscovery() const {
  if (Command == TCtlCommand::Discover || All || !Groups.empty()) return true;
  for (const auto& target : Targets) {
    if (!target.Direct()) return true;
  }
  return false;
}

void TCtlOptions::FillContent(TDisplayLineList& content) const {
  content.Clear();
  content.DisplayStyle = Style;
  content.ExpiryMilliSecs = ExpiryMs;
  content.FontName = FontName;
  content.FontColour = FontColour;
  content.BgColour = BgColour;
  for (const auto& line : Lines) {
    auto copy = std::make_unique<TDisplayLine>();
    copy->Assign(line);
    content.Add(std::move(copy));
  }
}

TDisplayLine ParseDisplayLine(const std::string& text) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '|') {
      if (parts.size() == 3) throw ECtlUsage("\"" + text + "\" has more than three parts (left|centre|right)");
      parts.emplace_back();
    } else if (c == '\\') {
      if (i + 1 == text.size()) throw ECtlUsage("\"" + text + "\" ends in a lone backslash; write \\\\ for one");
      const char e = text[++i];
      switch (e) {
        case 'n': parts.back() += "\r\n"; break;  // the break the protocol carries
        case 't': parts.back() += '\t'; break;
        case '|': parts.back() += '|'; break;
        case '\\': parts.back() += '\\'; break;
        default:
          throw ECtlUsage("unknown escape \\" + std::string(1, e) + " in \"" + text + "\" (use \\n, \\t, \\| or \\\\)");
      }
    } else {
      parts.back() += c;
    }
  }
  TDisplayLine line;
  if (parts.size() == 1) {
    line.TextCentre = parts[0];
  } else {
    line.TextLeft = parts[0];
    line.TextCentre = parts[1];
    if (parts.size() == 3) line.TextRight = parts[2];
  }
  return line;
}

TCtlOptions ParseCtlArguments(const std::vector<std::string>& args) {
  TCtlOptions o;
  std::vector<std::string> positional;
  std::vector<std::string> sendOptionsSeen;
  bool optionsEnded = false;
  bool watchSeen = false;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos && arg.compare(0, 2, "--") == 0) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (OneOf(name, CON_FlagOptions)) {
      if (value) throw ECtlUsage(name + " takes no value");
      if (name == "--help" || name == "-h") o.Help = true;
      if (name == "--version") o.Version = true;
      if (name == "--json") o.Json = true;
      if (name == "--watch") watchSeen = true;
      if (name == "--all") o.All = true;
      continue;
    }
    if (!OneOf(name, CON_ValueOptions)) throw ECtlUsage("unknown option " + name);
    if (!value) {
      if (i + 1 == args.size()) throw ECtlUsage(name + " needs a value");
      value = args[++i];
    }
    const std::string& v = *value;
    if (OneOf(name, CON_SendOptions)) sendOptionsSeen.push_back(name);
    if (name == "--port") {
      o.Port = IntOption(name, v, 1, 65535);
    } else if (name == "--bind") {
      if (!IsIPv4(v)) throw ECtlUsage("--bind needs a local IPv4 address, not \"" + v + "\"");
      o.Bind = v;
    } else if (name == "--timeout") {
      o.TimeoutMs = IntOption(name, v, 1, 86400000);
    } else if (name == "--to") {
      o.Targets.push_back(Target(v));
    } else if (name == "--group") {
      o.Groups.push_back(IntOption(name, v, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max()));
    } else if (name == "--style") {
      o.Style = StyleFromName(v);
    } else if (name == "--expiry") {
      o.ExpiryMs = IntOption(name, v, 0, std::numeric_limits<std::int32_t>::max());
    } else if (name == "--font") {
      if (v.empty()) throw ECtlUsage("--font needs a font name");
      o.FontName = v;
    } else if (name == "--fg") {
      o.FontColour = Colour(name, v);
    } else if (name == "--bg") {
      o.BgColour = Colour(name, v);
    }
  }

  // Asking for help or the version always works, whatever else is there.
  if (o.Help || o.Version) return o;

  if (positional.empty()) throw ECtlUsage("no command given");
  o.Command = CommandFromName(positional[0]);
  const std::vector<std::string> rest(positional.begin() + 1, positional.end());
  const std::string command = positional[0];

  switch (o.Command) {
    case TCtlCommand::Send:
      for (const auto& text : rest) o.Lines.push_back(ParseDisplayLine(text));
      break;
    case TCtlCommand::SetName:
      if (rest.size() != 1 || rest[0].empty()) throw ECtlUsage("set-name needs exactly one new name");
      o.NewName = rest[0];
      break;
    case TCtlCommand::SetState:
      if (rest.size() != 1) throw ECtlUsage("set-state needs one of normal, minimised or maximised");
      o.State = StateFromName(rest[0]);
      break;
    default:
      if (!rest.empty()) throw ECtlUsage(command + " takes no arguments, but got \"" + rest[0] + "\"");
      break;
  }

  if (o.Command != TCtlCommand::Send && !sendOptionsSeen.empty()) {
    throw ECtlUsage(sendOptionsSeen[0] + " is an option of send only");
  }
  const bool selected = o.All || !o.Targets.empty() || !o.Groups.empty();
  if (o.Command == TCtlCommand::Discover) {
    if (selected) throw ECtlUsage("discover lists every node; --to, --group and --all choose nodes for commands");
    o.Watch = watchSeen;
  } else {
    if (watchSeen) throw ECtlUsage("--watch is an option of discover only");
    if (!selected) throw ECtlUsage(command + " needs nodes: --to NAME, --to ADDRESS:PORT, --group N or --all");
    if (o.All && (!o.Targets.empty() || !o.Groups.empty())) {
      throw ECtlUsage("--all chooses every node; leave out --to and --group");
    }
  }
  return o;
}

std::string CtlHelpText() {
  return R"(Usage: lumaren-ctl [OPTIONS] COMMAND [ARGUMENTS]

Finds the display nodes on the local network and sends them commands.

Commands:
  discover                 list the nodes that announce themselves
  send [LINE...]           show lines of text; each LINE is "left|centre|right",
                           a LINE without "|" is centred; "\n" breaks a text
                           into two rows, "\|" is a bar, "\\" a backslash;
                           no LINE clears the display
  ack                      acknowledge: the node shows "Connected" for a second
  shutdown                 close the node's program
  set-name NEWNAME         rename the node
  set-state STATE          window state: normal, minimised or maximised

Choosing nodes (every command but discover; may be repeated):
  --to NAME                the nodes announcing this name (exact match)
  --to ADDRESS:PORT        one node, sent to at once without listening first
  --group N                the nodes of group N
  --all                    every node that announces itself

Options:
  --port N                 discovery port the nodes announce to (default 1965)
  --bind ADDRESS           local IPv4 address to send from (default: as the
                           routes choose); discovery listens on every address
  --timeout MS             how long to listen for nodes (discover: 2500;
                           commands: 3000, or until every --to NAME is seen;
                           discover --watch: until interrupted)
  --watch                  discover: print nodes as they come, change and go
  --json                   one JSON object per line instead of text
  --style STYLE            send: steady (default), blink or alternate
  --expiry MS              send: clear the text after MS milliseconds (0: never)
  --font NAME              send: font for this text
  --fg RRGGBB              send: text colour, six hex digits, red first
  --bg RRGGBB              send: background colour, six hex digits, red first
                           (the node takes --fg or --bg without --font as
                           asking for Arial)
  -h, --help               show this help
  --version                show the version

Exit status: 0 done, 1 no node found or a command failed, 2 usage error.

Examples:
  lumaren-ctl discover
  lumaren-ctl send --to Lobby "Welcome"
  lumaren-ctl send --group 3 --style blink "Gate|B12\nboarding|10:45"
  lumaren-ctl set-name --to 10.0.0.5:50123 "Stage left"
)";
}

}  // namespace lumaren::ctl
