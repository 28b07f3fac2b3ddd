#include "platform/linux/CrashReport.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace lumaren::platform {

namespace {

namespace fs = std::filesystem;

// Limits that keep one report small: a few kilobytes of exception text, a
// screenful of log, the frames that matter.
constexpr std::size_t CON_MaxFieldBytes = 4096;
constexpr std::size_t CON_MaxLogBytes = 16384;
constexpr int CON_MaxFrames = 64;
// A restarted program waits this long for its predecessor to end.
constexpr int CON_RestartWaitTenths = 300;

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string Field(const char* name, const std::string& value) {
  std::string line = name;
  line.resize(16, ' ');
  line += ": ";
  // A value must stay on its line; newlines in it continue indented.
  const std::string cut = CutUtf8(value, CON_MaxFieldBytes);
  for (char c : cut) {
    line += c;
    if (c == '\n') line += std::string(18, ' ');
  }
  return line + "\n";
}

std::string Indented(const std::string& text) {
  std::string out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    // A log line can never be taken for the start of a report.
    out += "  " + line + "\n";
  }
  return out;
}

// Offsets of every line that is exactly the separator.
std::vector<std::size_t> ReportStarts(const std::string& content) {
  std::vector<std::size_t> starts;
  const std::string separator = CON_BugReportSeparator;
  std::size_t lineStart = 0;
  while (lineStart < content.size()) {
    std::size_t lineEnd = content.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = content.size();
    if (content.compare(lineStart, lineEnd - lineStart, separator) == 0) starts.push_back(lineStart);
    lineStart = lineEnd + 1;
  }
  return starts;
}

}  // namespace

std::string FormatCrashReport(const TCrashReport& report) {
  std::string text = std::string(CON_BugReportSeparator) + "\n";
  text += Field("date/time", report.Time);
  text += Field("program", report.ProgramName + " " + report.ProgramVersion);
  text += Field("executable", report.ExecutablePath);
  text += Field("process id", std::to_string(report.ProcessId));
  text += Field("exception", report.ExceptionType);
  text += Field("message", report.ExceptionText);
  text += Field("where", report.Where);
  text += "stack trace:\n";
  for (const std::string& frame : report.StackTrace) text += "  " + CutUtf8(frame, 512) + "\n";
  text += "last log lines:\n";
  std::string log = report.LastLogLines;
  if (log.size() > CON_MaxLogBytes) {
    log = log.substr(log.size() - CON_MaxLogBytes);
    // Start at a whole line.
    if (const std::size_t nl = log.find('\n'); nl != std::string::npos) log.erase(0, nl + 1);
  }
  text += Indented(log);
  return text + "\n";
}

std::string TrimBugReports(const std::string& content, std::size_t maxBytes) {
  if (content.size() <= maxBytes) return content;
  for (std::size_t start : ReportStarts(content)) {
    if (content.size() - start <= maxBytes) return content.substr(start);
  }
  // The newest report alone is too large (or there is none): keep the
  // beginning of the last one, where the exception is.
  const std::vector<std::size_t> starts = ReportStarts(content);
  const std::size_t last = starts.empty() ? content.size() - maxBytes : starts.back();
  return CutUtf8(content.substr(last), maxBytes);
}

void AppendBugReport(const std::string& fileName, const std::string& report, std::size_t maxBytes) {
  const fs::path path(fileName);
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  const std::uintmax_t size = fs::file_size(path, ec);
  const std::uintmax_t existing = ec ? 0 : size;
  if (existing + report.size() <= maxBytes) {
    if (report.empty()) return;  // nothing to add, nothing to trim
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << report;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + fileName);
    return;
  }
  std::string content;
  {
    std::ifstream in(path, std::ios::binary);
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // A report cut short by a crash does not end in a newline; the next one
  // must still start on its own line.
  if (!content.empty() && content.back() != '\n') content += '\n';
  content = TrimBugReports(content + report, maxBytes);
  // Write aside and rename, so a crash while writing never loses the file.
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.flush();
    if (!out) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, path, ec);
  if (ec) throw std::runtime_error("cannot replace " + fileName + ": " + ec.message());
}

std::string DemangleTypeName(const char* mangled) {
  if (!mangled) return "unknown";
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                   &std::free);
  return (status == 0 && name) ? std::string(name.get()) : std::string(mangled);
}

std::string DemangleStackFrame(const std::string& frame) {
  const std::size_t open = frame.find('(');
  if (open == std::string::npos) return frame;
  const std::size_t end = frame.find_first_of("+)", open);
  if (end == std::string::npos || end == open + 1) return frame;
  const std::string mangled = frame.substr(open + 1, end - open - 1);
  if (mangled.rfind("_Z", 0) != 0) return frame;
  return frame.substr(0, open + 1) + DemangleTypeName(mangled.c_str()) + frame.substr(end);
}

std::vector<std::string> CurrentStackTrace(int skipFrames) {
  void* frames[CON_MaxFrames];
  const int count = backtrace(frames, CON_MaxFrames);
  std::unique_ptr<char*, decltype(&std::free)> symbols(backtrace_symbols(frames, count), &std::free);
  std::vector<std::string> trace;
  for (int i = 1 + std::max(skipFrames, 0); i < count; ++i) {
    std::string frame = symbols ? DemangleStackFrame(symbols.get()[i]) : std::string("?");
    char number[16];
    std::snprintf(number, sizeof number, "#%-3d", static_cast<int>(trace.size()));
    trace.push_back(number + frame);
  }
  return trace;
}

std::string ReadFileTail(const std::string& fileName, std::size_t maxLines, std::size_t maxBytes) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in || maxLines == 0) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0) return {};
  const std::streamoff start = std::max<std::streamoff>(0, size - static_cast<std::streamoff>(maxBytes));
  in.seekg(start);
  std::string tail(static_cast<std::size_t>(size - start), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  tail.resize(static_cast<std::size_t>(in.gcount()));
  if (start > 0) {  // the first line is cut: drop it
    const std::size_t nl = tail.find('\n');
    tail.erase(0, nl == std::string::npos ? tail.size() : nl + 1);
  }
  // Count lines back from the end; a final newline closes the last line.
  std::size_t pos = tail.size();
  if (pos > 0 && tail[pos - 1] == '\n') --pos;
  for (std::size_t lines = 0; pos > 0; --pos) {
    if (tail[pos - 1] == '\n' && ++lines == maxLines) break;
  }
  return tail.substr(pos);
}

namespace {

std::string PercentEncode(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string MailtoUrl(const std::string& address, const std::string& subject, const std::string& body,
                      std::size_t maxLength, const std::string& cutNote) {
  // The address is our own, plain ASCII; "@" stays readable.
  const std::string head = "mailto:" + address + "?subject=" + PercentEncode(subject) + "&body=";
  const std::string whole = head + PercentEncode(body);
  if (whole.size() <= maxLength) return whole;
  const std::string note = PercentEncode(cutNote);
  if (head.size() + note.size() > maxLength) return head.substr(0, std::min(head.size(), maxLength));
  const std::size_t room = maxLength - head.size() - note.size();
  // Take characters (whole UTF-8 sequences) while their encoding fits.
  std::string encoded;
  std::size_t i = 0;
  while (i < body.size()) {
    std::size_t next = i + 1;
    while (next < body.size() && (static_cast<unsigned char>(body[next]) & 0xC0) == 0x80) ++next;
    const std::string piece = PercentEncode(body.substr(i, next - i));
    if (encoded.size() + piece.size() > room) break;
    encoded += piece;
    i = next;
  }
  return head + encoded + note;
}

std::vector<std::string> RestartCommandLine(long pid, const std::string& program,
                                            const std::vector<std::string>& arguments) {
  // sh -c SCRIPT PROGRAM ARGS...: inside the script $0 is the program and
  // "$@" its arguments, so no argument is ever parsed by the shell.
  const std::string script = "i=0; while kill -0 " + std::to_string(pid) + " 2>/dev/null && [ $i -lt " +
                             std::to_string(CON_RestartWaitTenths) +
                             " ]; do sleep 0.1; i=$((i+1)); done; exec \"$0\" \"$@\"";
  std::vector<std::string> commandLine = {"/bin/sh", "-c", script, program};
  commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
  return commandLine;
}

}  // namespace lumaren::platform
