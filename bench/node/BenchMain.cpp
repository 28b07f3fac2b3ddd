// Runs every benchmark of the display node and prints one table: each
// figure beside the floor it is judged against, measured in the same run,
// and their ratio. Run it inside the test network namespace (see
// scripts/bench.sh): the node announces itself by broadcast.
//   lumaren_bench [--quick]
// The programs it runs sit beside it: lumaren (the node), lumaren_bench_node
// (the node observed from inside), lumaren_bench_stages and
// lumaren_bench_bare_window. --quick shortens the long runs, for trying the
// benchmark out; its figures are not the ones to report.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "BenchUtil.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace lumaren::bench;

namespace {

fs::path GBinDir;
fs::path GRoot;
bool GQuick = false;

// ---- Child processes ------------------------------------------------------

struct TChild {
  pid_t Pid = -1;
  int Out = -1;          // the child's stdout, when captured
  std::int64_t Started = 0;  // just before the fork
};

std::vector<std::string> ChildEnvironment(const fs::path& home, const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  const auto overridden = [&](const std::string& entry) {
    static const char* const names[] = {"QT_QPA_PLATFORM=", "HOME=", "XDG_CONFIG_HOME=", "XDG_STATE_HOME=",
                                        "XDG_RUNTIME_DIR=", "QT_MAX_CACHED_GLYPH_SIZE="};
    for (const char* name : names) {
      if (entry.rfind(name, 0) == 0) return true;
    }
    return false;
  };
  for (char** e = environ; *e; ++e) {
    if (!overridden(*e)) env.emplace_back(*e);
  }
  env.push_back("QT_QPA_PLATFORM=offscreen:configfile=" + (GRoot / "screens.json").string());
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
  env.push_back("XDG_STATE_HOME=" + (home / "state").string());
  env.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
  for (const auto& e : extra) env.push_back(e);
  return env;
}

// Starts program with args in home (its working folder too); stdout is
// captured when capture is set, stderr goes to home/stderr.txt.
TChild Spawn(const std::string& program, const std::vector<std::string>& args, const fs::path& home, bool capture,
             const std::vector<std::string>& extraEnv = {}) {
  fs::create_directories(home / "config");
  fs::create_directories(home / "state");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  std::vector<std::string> argvText{(GBinDir / program).string()};
  argvText.insert(argvText.end(), args.begin(), args.end());
  const std::vector<std::string> envText = ChildEnvironment(home, extraEnv);
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  if (capture && pipe2(pipeFds, O_CLOEXEC) != 0) std::perror("pipe");
  const std::string errPath = (home / "stderr.txt").string();
  const std::string cwd = home.string();
  TChild child;
  child.Started = NowNanos();
  child.Pid = fork();
  if (child.Pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (err >= 0) dup2(err, 2);
    if (capture) {
      dup2(pipeFds[1], 1);
    } else {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (capture) {
    close(pipeFds[1]);
    child.Out = pipeFds[0];
  }
  return child;
}

// Waits for the child's end; kills it after timeoutSeconds. Returns its
// stdout (when captured) and sets exited to the moment of the end.
std::string Finish(TChild& child, double timeoutSeconds, std::int64_t* exited = nullptr, int* status = nullptr) {
  std::string out;
  const std::int64_t deadline = NowNanos() + static_cast<std::int64_t>(timeoutSeconds * 1e9);
  char buffer[4096];
  int st = 0;
  bool reaped = false;
  while (true) {
    if (child.Out >= 0) {
      pollfd p{child.Out, POLLIN, 0};
      if (poll(&p, 1, 5) > 0) {
        const ssize_t n = read(child.Out, buffer, sizeof buffer);
        if (n > 0) {
          out.append(buffer, static_cast<std::size_t>(n));
          continue;
        }
        close(child.Out);
        child.Out = -1;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!reaped && waitpid(child.Pid, &st, WNOHANG) == child.Pid) {
      reaped = true;
      if (exited) *exited = NowNanos();
    }
    if (reaped && child.Out < 0) break;
    if (NowNanos() > deadline) {
      std::fprintf(stderr, "lumaren_bench: a child ran too long; killing it\n");
      if (!reaped) {
        kill(child.Pid, SIGKILL);
        waitpid(child.Pid, &st, 0);
      }
      if (child.Out >= 0) close(child.Out);
      child.Out = -1;
      st = -1;
      break;
    }
  }
  if (status) *status = st;
  return out;
}

TResults RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& name,
                    double timeoutSeconds, const std::vector<std::string>& extraEnv = {}) {
  std::fprintf(stderr, "  %s %s ...\n", program.c_str(), name.c_str());
  TChild child = Spawn(program, args, GRoot / name, true, extraEnv);
  const std::string out = Finish(child, timeoutSeconds);
  return ParseResults(out);
}

// ---- The node on the network ---------------------------------------------

// A socket on the discovery port that hears the node's announcements.
class TDiscoveryListener {
 public:
  TDiscoveryListener() {
    FFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(FFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(1965);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(FFd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) std::perror("bind 1965");
  }
  ~TDiscoveryListener() { close(FFd); }

  // Empties the queue of announcements of earlier runs.
  void Drain() {
    char buffer[9000];
    while (recv(FFd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
  }

  // The moment the next announcement arrived and the port it came from; 0
  // when none came within timeoutSeconds.
  std::int64_t Wait(double timeoutSeconds, int* port) {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeoutSeconds * 1000)) <= 0) return 0;
    const std::int64_t at = NowNanos();
    char buffer[9000];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    if (recvfrom(FFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) return 0;
    if (port) *port = ntohs(from.sin_port);
    return at;
  }

 private:
  int FFd = -1;
};

void SendTo(int port, const std::string& bytes) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
}

// Whether a log archive was written at or after since.
bool ArchivedSince(const fs::path& home, fs::file_time_type since) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(home / "state" / "Tivora" / "Lumaren" / "logs", ec)) {
    if (e.path().extension() == ".zip" && e.last_write_time(ec) >= since) return true;
  }
  return false;
}

// Puts the main window at 0,0 in width x height in the node's preferences.
void PlaceWindow(const fs::path& home, int width, int height) {
  const fs::path file = home / "config" / "Tivora" / "Lumaren" / "Preferences.xml";
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str())) {
    std::fprintf(stderr, "lumaren_bench: no preferences at %s\n", file.c_str());
    return;
  }
  pugi::xml_node form = doc.select_node("//fmMain").node();
  if (!form) return;
  for (const char* name : {"Top", "Left", "Width", "Height", "Maximised"}) form.remove_attribute(name);
  form.append_attribute("Top") = 0;
  form.append_attribute("Left") = 0;
  form.append_attribute("Width") = width;
  form.append_attribute("Height") = height;
  form.append_attribute("Maximised") = false;
  doc.save_file(file.c_str());
}

struct TStartStop {
  double ToAnnouncementMs = 0;
  double ShutdownToExitMs = 0;
  bool Archived = false;
  bool Clean = false;
};

// One run of the node: start, first announcement, Shutdown, exit. idleSeconds
// of rest between, when given, measured for CPU time and wake-ups.
TStartStop StartStop(TDiscoveryListener& discovery, const fs::path& home, double idleSeconds = 0,
                     TResults* idle = nullptr) {
  TStartStop result;
  // A run started within the second of the previous one would share its
  // log's name, and the log module leaves such a log unpacked rather than
  // touch the earlier run's archive.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  discovery.Drain();
  const auto before = fs::file_time_type::clock::now();
  TChild child = Spawn("lumaren", {}, home, false);
  int port = 0;
  const std::int64_t announced = discovery.Wait(20, &port);
  if (announced == 0) {
    std::fprintf(stderr, "lumaren_bench: the node did not announce itself\n");
    Finish(child, 5);
    return result;
  }
  result.ToAnnouncementMs = static_cast<double>(announced - child.Started) / 1e6;
  if (idleSeconds > 0 && idle) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpu0 = CpuSeconds(child.Pid);
    const long switches0 = ContextSwitches(child.Pid);
    const std::int64_t t0 = NowNanos();
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(idleSeconds * 1000)));
    const double seconds = static_cast<double>(NowNanos() - t0) / 1e9;
    (*idle)["cpu_s_per_min"] = std::to_string((CpuSeconds(child.Pid) - cpu0) / seconds * 60);
    (*idle)["wakeups_per_s"] = std::to_string(static_cast<double>(ContextSwitches(child.Pid) - switches0) / seconds);
    (*idle)["rss_kib"] = std::to_string(RssKiB(child.Pid));
  }
  const std::int64_t shutdown = NowNanos();
  SendTo(port, ShutdownMessage());
  std::int64_t exited = 0;
  int status = 0;
  Finish(child, 20, &exited, &status);
  result.ShutdownToExitMs = static_cast<double>(exited - shutdown) / 1e6;
  result.Clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  result.Archived = ArchivedSince(home, before);
  return result;
}

// ---- The table --------------------------------------------------------------

double Num(const TResults& r, const std::string& key) {
  const auto it = r.find(key);
  if (it == r.end()) return std::nan("");
  return std::atof(it->second.c_str());
}

std::string Fmt(double v, int decimals = 1) {
  if (std::isnan(v)) return "n/a";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

void Row(const std::string& what, const std::string& value, const std::string& floor, const std::string& ratio,
         const std::string& target) {
  std::printf("| %s | %s | %s | %s | %s |\n", what.c_str(), value.c_str(), floor.c_str(), ratio.c_str(),
              target.c_str());
}

void Header(const std::string& title) {
  std::printf("\n%s\n\n", title.c_str());
  Row("measure", "value", "floor", "ratio", "target");
  Row("---", "---:", "---:", "---:", "---");
}

std::string Ratio(double value, double floor) { return floor > 0 ? Fmt(value / floor, 2) + "x" : "n/a"; }

std::string Verdict(bool holds) { return holds ? "holds" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  GQuick = argc > 1 && std::string(argv[1]) == "--quick";
  GBinDir = fs::canonical("/proc/self/exe").parent_path();
  GRoot = fs::temp_directory_path() / ("lumaren-bench-" + std::to_string(getpid()));
  fs::create_directories(GRoot);
  // One offscreen screen large enough for the 4K window.
  std::ofstream(GRoot / "screens.json")
      << R"({"screens":[{"name":"bench","x":0,"y":0,"width":3840,"height":2160,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})";
  signal(SIGPIPE, SIG_IGN);
  std::fprintf(stderr, "lumaren_bench: running (a few minutes)...\n");

  // Stages and floors, with the node's glyph cache and with Qt's default.
  const TResults st = RunProgram("lumaren_bench_stages", {}, "stages", 600);
  const TResults qtDefault =
      RunProgram("lumaren_bench_stages", {"paint"}, "stages-qt-default", 600, {"QT_MAX_CACHED_GLYPH_SIZE=64"});

  struct TCase {
    int Width, Height, Lines;
    const char* Size;
  };
  const TCase cases[] = {{1920, 1080, 5, "1080p"}, {1920, 1080, 60, "1080p"}, {3840, 2160, 5, "2160p"},
                         {3840, 2160, 60, "2160p"}};
  const int latencyCount = GQuick ? 40 : 300;
  // "latency": each datagram changes a counter in the first line, so the
  // node repaints that row; "latency-whole": every line and the fitted size
  // change, so it repaints the whole window.
  const char* const latencyModes[] = {"latency", "latency-whole"};
  std::vector<TResults> latency;
  std::vector<TResults> latencyWhole;
  // The floor of each run is drawn right before and right after it, so that
  // it sees the machine as the run does: on a shared or virtual machine the
  // speed of memory drifts over minutes.
  for (const TCase& c : cases) {
    for (const char* mode : latencyModes) {
      const std::string whole = std::string(mode) == "latency" ? "0" : "1";
      const std::vector<std::string> floorArgs{"floor", std::to_string(c.Width), std::to_string(c.Height),
                                               std::to_string(c.Lines), whole, GQuick ? "30" : "150"};
      const std::string name = std::string(mode) + "-" + c.Size + "-" + std::to_string(c.Lines);
      const TResults before = RunProgram("lumaren_bench_stages", floorArgs, "floor-" + name, 120);
      TResults run = RunProgram("lumaren_bench_node",
                                {mode, std::to_string(c.Width), std::to_string(c.Height), std::to_string(c.Lines),
                                 std::to_string(latencyCount)},
                                name, 600);
      const TResults after = RunProgram("lumaren_bench_stages", floorArgs, "floor-" + name, 120);
      run["floor_us"] = std::to_string((Num(before, "floor_us") + Num(after, "floor_us")) / 2);
      run["floor_p99_us"] = std::to_string((Num(before, "floor_p99_us") + Num(after, "floor_p99_us")) / 2);
      (whole == "0" ? latency : latencyWhole).push_back(std::move(run));
    }
  }

  const int rates[] = {2000, 5000, 10000};
  const int seconds = GQuick ? 1 : 5;
  std::vector<TResults> rate;
  for (const int r : rates) {
    rate.push_back(RunProgram("lumaren_bench_node",
                              {"rate", "1920", "1080", "5", std::to_string(r * seconds), std::to_string(r)},
                              "rate-" + std::to_string(r), 600));
  }

  const int soakCount = GQuick ? 20000 : 1000000;
  const TResults soak =
      RunProgram("lumaren_bench_node", {"soak", "1920", "1080", "5", std::to_string(soakCount)}, "soak", 900);

  // Start-up and shut-down of the real program, at 1920x1080.
  TDiscoveryListener discovery;
  const fs::path home = GRoot / "node";
  std::fprintf(stderr, "  lumaren start-up and shut-down ...\n");
  StartStop(discovery, home);  // warm-up; writes the preferences
  PlaceWindow(home, 1920, 1080);
  const int startRuns = GQuick ? 3 : 15;
  std::vector<double> toAnnouncement, shutdownToExit, firstPaint, firstContent, bareFirstPaint;
  bool allArchived = true;
  bool allClean = true;
  for (int i = 0; i < startRuns; ++i) {
    const TStartStop run = StartStop(discovery, home);
    toAnnouncement.push_back(run.ToAnnouncementMs);
    shutdownToExit.push_back(run.ShutdownToExitMs);
    allArchived = allArchived && run.Archived;
    allClean = allClean && run.Clean;

    TChild traced = Spawn("lumaren_bench_node", {"trace"}, home, true);
    const TResults trace = ParseResults(Finish(traced, 30));
    firstPaint.push_back((Num(trace, "first_paint_ns") - static_cast<double>(traced.Started)) / 1e6);
    firstContent.push_back((Num(trace, "first_content_paint_ns") - static_cast<double>(traced.Started)) / 1e6);

    TChild bare = Spawn("lumaren_bench_bare_window", {"1920", "1080"}, GRoot / "bare", true);
    const TResults bareTrace = ParseResults(Finish(bare, 30));
    bareFirstPaint.push_back((Num(bareTrace, "first_paint_ns") - static_cast<double>(bare.Started)) / 1e6);
  }
  std::fprintf(stderr, "  lumaren at rest ...\n");
  TResults idle;
  StartStop(discovery, home, GQuick ? 10 : 60, &idle);

  // ---- The table ----
  std::printf("# Display node benchmark%s\n", GQuick ? " (--quick: shortened runs, not for reporting)" : "");
  {
    std::ifstream load("/proc/loadavg");
    std::string a, b, c;
    load >> a >> b >> c;
    std::printf("\nLoad average at the end: %s %s %s; glyph cache limit: %s px.\n", a.c_str(), b.c_str(), c.c_str(),
                st.count("glyph_cache_px") ? st.at("glyph_cache_px").c_str() : "?");
  }

  Header("Datagram to screen, DisplayData sent to a node at rest, one every 35 ms (µs; floor: bare receive + "
         "bare parse + bare save + bare log + bare fitted draw of the whole window at rest of what the run sends "
         "(the counter's datagram, or the two datagrams of every line new in turn), drawn right before and right "
         "after the run, its median for p50 and its p99 for p99; the first " +
         Fmt(Num(latency[0], "latency_warm_up"), 0) +
         " datagrams of each run, whose glyphs are not yet cached, are left out)");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    const std::string lines = std::to_string(c.Lines);
    const std::string k = lines + "_" + c.Size;
    const double stages = Num(st, "bare_recv_latency_p50_us_" + lines) + Num(st, "bare_parse_us_" + lines) +
                          Num(st, "bare_save_us_" + lines) + Num(st, "bare_log_us");
    const std::string size = std::to_string(c.Width) + "x" + std::to_string(c.Height) + ", " + lines + " lines";
    // Each workload against a bare draw of what it sends: the counter's
    // datagram, or the two datagrams whose lines all differ, in turn.
    for (const auto& [r, what] : {std::pair<const TResults*, const char*>{&latency[i], "a counter new"},
                                  std::pair<const TResults*, const char*>{&latencyWhole[i], "every line new"}}) {
      const double floor = stages + Num(*r, "floor_us");
      const double floor99 = stages + Num(*r, "floor_p99_us");
      const std::string name = size + ", " + what;
      const double p50 = Num(*r, "latency_p50_us");
      const double p99 = Num(*r, "latency_p99_us");
      const double clear99 = Num(*r, "latency_clear_p99_us");
      Row(name + ", p50", Fmt(p50), Fmt(floor), Ratio(p50, floor), "≤ 1.5x: " + Verdict(p50 <= 1.5 * floor));
      Row(name + ", p99", Fmt(p99), Fmt(floor99), Ratio(p99, floor99), "< 16700: " + Verdict(p99 < 16700));
      Row(name + ", p99 of the " + Fmt(Num(*r, "latency_samples") - Num(*r, "latency_stalled"), 0) +
              " samples clear of a machine stop",
          Fmt(clear99), "-", "-", "< 16700: " + Verdict(clear99 < 16700));
      Row(name + ", machine stops seen during the run (count; longest, ms)",
          Fmt(Num(*r, "stalls"), 0) + "; " + Fmt(Num(*r, "stall_longest_ms"), 1), "-", "-",
          Fmt(Num(*r, "stalls_ms"), 0) + " ms in all");
    }
    Row(size + ", the first datagram after start", Fmt(Num(latency[i], "latency_first_us")), "-", "-",
        "glyphs drawn for the first time");
  }

  Header("Per-stage cost of one datagram (µs)");
  for (const int lines : {5, 60}) {
    const std::string l = std::to_string(lines);
    const std::string n = " (" + l + " lines, " + Fmt(Num(st, "bytes_" + l), 0) + " B)";
    Row("receive: read one datagram" + n, Fmt(Num(st, "bare_recv_read_us_" + l), 2), "-", "-",
        "bare QUdpSocket loop");
    Row("decode and parse" + n, Fmt(Num(st, "parse_us_" + l), 2), Fmt(Num(st, "bare_parse_us_" + l), 2),
        Ratio(Num(st, "parse_us_" + l), Num(st, "bare_parse_us_" + l)), "floor: bare pugixml parse");
    Row("save UDPRead.xml" + n, Fmt(Num(st, "save_us_" + l), 2), Fmt(Num(st, "bare_save_us_" + l), 2),
        Ratio(Num(st, "save_us_" + l), Num(st, "bare_save_us_" + l)),
        "floor: bare pwrite+ftruncate; open with O_TRUNC costs " + Fmt(Num(st, "trunc_save_us_" + l), 1));
    Row("apply (content from the message)" + n, Fmt(Num(st, "apply_us_" + l), 2), "-", "-", "");
  }
  Row("log one entry", Fmt(Num(st, "log_us"), 2), Fmt(Num(st, "bare_log_us"), 2),
      Ratio(Num(st, "log_us"), Num(st, "bare_log_us")), "floor: bare write(2) with O_APPEND");
  for (const TCase& c : cases) {
    const std::string k = std::to_string(c.Lines) + "_" + c.Size;
    const std::string name = "paint " + std::to_string(c.Width) + "x" + std::to_string(c.Height) + ", " +
                             std::to_string(c.Lines) + " lines (" + Fmt(Num(st, "fitted_px_" + k), 0) + " px)";
    Row(name, Fmt(Num(st, "paint_us_" + k)), Fmt(Num(st, "bare_draw_us_" + k)),
        Ratio(Num(st, "paint_us_" + k), Num(st, "bare_draw_us_" + k)),
        "glyph cache limited to 64 px: " + Fmt(Num(qtDefault, "paint_us_" + k)) + "; measured afresh: " +
            Fmt(Num(st, "paint_uncached_us_" + k)));
    Row(name + " at rest", Fmt(Num(st, "paint_idle_us_" + k)), Fmt(Num(st, "bare_draw_idle_us_" + k)),
        Ratio(Num(st, "paint_idle_us_" + k), Num(st, "bare_draw_idle_us_" + k)), "one paint every 35 ms");
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    Row("whole handler in the node, " + std::to_string(c.Lines) + " lines, " + c.Size + " (median)",
        Fmt(Num(latency[i], "handle_p50_us"), 1), "-", "-", "parse + save + apply + log; paint deferred");
    for (const auto& [r, what] : {std::pair<const TResults*, const char*>{&latency[i], "a counter new: its row"},
                                  std::pair<const TResults*, const char*>{&latencyWhole[i],
                                                                          "every line new: the whole window"}}) {
      Row("whole frame in the node, " + std::to_string(c.Lines) + " lines, " + c.Size + ", " + what + " (median)",
          Fmt(Num(*r, "frame_p50_us"), 1), Fmt(Num(*r, "floor_us")),
          Ratio(Num(*r, "frame_p50_us"), Num(*r, "floor_us")),
          "paint and hand-over to the window system; floor: the run's bare draw");
    }
  }

  Header("Sustained DisplayData (5 lines, 1920x1080) for " + std::to_string(seconds) + " s");
  for (std::size_t i = 0; i < std::size(rates); ++i) {
    const TResults& r = rate[i];
    const std::string name = std::to_string(rates[i]) + "/s";
    const double sent = Num(r, "sent");
    const double handled = Num(r, "handled");
    const double logged = Num(r, "logged");
    const double drops = Num(r, "kernel_drops");
    Row(name + ": sent (rate reached)", Fmt(sent, 0) + " (" + Fmt(Num(r, "send_rate"), 0) + "/s)", "-", "-", "");
    Row(name + ": handled / logged", Fmt(handled, 0) + " / " + Fmt(logged, 0), "-", "-",
        "all delivered applied and logged: " + Verdict(handled == logged && handled + drops >= sent));
    Row(name + ": lost (dropped by the kernel)", Fmt(Num(r, "lost"), 0) + " (" + Fmt(drops, 0) + ")", "-", "-",
        rates[i] <= 5000 ? "none: " + Verdict(Num(r, "lost") == 0) : "");
    Row(name + ": frames; age of the shown datagram p50 / p99 (µs)",
        Fmt(Num(r, "frames"), 0) + "; " + Fmt(Num(r, "lag_p50_us"), 0) + " / " + Fmt(Num(r, "lag_p99_us"), 0), "-",
        "-", "");
  }

  const double ann = Percentile(toAnnouncement, 50);
  const double fp = Percentile(firstPaint, 50);
  const double fc = Percentile(firstContent, 50);
  const double bfp = Percentile(bareFirstPaint, 50);
  const double down = Percentile(shutdownToExit, 50);
  Header("Start-up and shut-down at 1920x1080 (ms, median of " + std::to_string(startRuns) + ")");
  Row("exec to first announcement", Fmt(ann), "-", "-", "");
  Row("exec to first painted frame", Fmt(fp), Fmt(bfp), Ratio(fp, bfp),
      "≤ 1.3x: " + Verdict(fp <= 1.3 * bfp) + " (the window in its colour; the floor paints a line of text)");
  Row("exec to the default screen painted", Fmt(fc), Fmt(bfp), Ratio(fc, bfp),
      "drawn at the resize timer's tick, 100 ms after showing");
  Row("the same less the resize timer's 100 ms", Fmt(fc - 100), Fmt(bfp), Ratio(fc - 100, bfp),
      "the node's text on screen against the floor's");
  Row("Shutdown to exit, archive written", Fmt(down), "-", "-",
      std::string("archive every time: ") + Verdict(allArchived) + ", clean exit: " + Verdict(allClean));

  Header("At rest and over time");
  Row("idle CPU (s per minute)", Fmt(Num(idle, "cpu_s_per_min"), 3), "-", "-", "");
  Row("idle wake-ups per second", Fmt(Num(idle, "wakeups_per_s"), 1), "-", "-", "");
  Row("RSS at rest (MiB)", Fmt(Num(idle, "rss_kib") / 1024, 1), "-", "-", "");
  const double rss1k = Num(soak, "rss_after_1000_kib");
  const double rssEnd = Num(soak, "rss_at_end_kib");
  Row("RSS after " + std::to_string(soakCount) + " datagrams (MiB)", Fmt(rssEnd / 1024, 1), Fmt(rss1k / 1024, 1),
      Ratio(rssEnd, rss1k), "floor: after 1,000; ≤ 1.05x: " + Verdict(rssEnd <= 1.05 * rss1k));
  const double anon1k = Num(soak, "anon_after_1000_kib");
  const double anonEnd = Num(soak, "anon_at_end_kib");
  Row("of which anonymous (heap and private memory, MiB)", Fmt(anonEnd / 1024, 1), Fmt(anon1k / 1024, 1),
      Ratio(anonEnd, anon1k), "the rest is mapped files: libraries and fonts, paged in as used");
  Row("soak: handled / logged / lost", Fmt(Num(soak, "handled"), 0) + " / " + Fmt(Num(soak, "logged"), 0) + " / " +
      Fmt(Num(soak, "lost"), 0), "-", "-", "");
  Row("handler, last 1,000 of the soak against the second 1,000 (µs)", Fmt(Num(soak, "handle_last_1000_us"), 1),
      Fmt(Num(soak, "handle_second_1000_us"), 1),
      Ratio(Num(soak, "handle_last_1000_us"), Num(soak, "handle_second_1000_us")), "");
  const double logFirst = Num(st, "log_first_us");
  const double logLast = Num(st, "log_last_us");
  Row("log entry 1,000,000 against entry 1 (µs, median of the last and the first 10,000; log of " +
          Fmt(Num(st, "log_file_mib"), 0) + " MiB)",
      Fmt(logLast, 2), Fmt(logFirst, 2), Ratio(logLast, logFirst), "≤ 1.1x: " + Verdict(logLast <= 1.1 * logFirst));

  std::error_code ec;
  fs::remove_all(GRoot, ec);
  return 0;
}
