#include "support/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vorlan::support {
namespace {

struct LogState {
  int fd = -1;
  int32_t mode = 0;
  uint32_t flags = 0;
  int indent = 0;
  char fill = ' ';
  LogMessageHandler handler;
};

LogState& State() {
  static LogState state;
  return state;
}

bool Enabled() { return (State().flags & kLogEnabled) != 0; }

// Writes all of `n` bytes, resuming after partial writes and signals.
bool WriteAll(int fd, const char* p, std::size_t n) {
  if (fd < 0) return false;
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void ShowOutputFailed() { LogShowMessage("qLog: Output to log file failed!", "Error"); }

const char* Prefix(int32_t level) {
  switch (level) {
    case LOG_CRITICAL:
      return "Critical ERROR:\t";
    case LOG_ERROR:
      return "Error:\t";
    case LOG_WARNING:
      return "Warning:\t";
    case LOG_INFO:
      return "Info:\t";
    default:
      return nullptr;
  }
}

int FormatAndWrite(int32_t level, const char* format, va_list args) {
  char buffer[kLogFormatBuffer];
  if (!format) return 0;
  // vsnprintf never writes past the buffer; a longer message is cut at 4095 characters.
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) return 0;
  return LogWrite(buffer, level);
}

}  // namespace

void LogSetMessageHandler(LogMessageHandler handler) { State().handler = std::move(handler); }

void LogShowMessage(const std::string& text, const std::string& caption) {
  if (State().handler) {
    State().handler(text, caption);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

int LogOpen(const LogParams* params) {
  if (!params) return 0;
  bool enabled = (params->flags & kLogEnabled) != 0;
  if (enabled) {
    if (!params->fileName || params->fileName[0] == '\0') return 0;
    if (params->mode != kLogCreate && params->mode != kLogAppend) return 0;
  }

  LogState& s = State();
  if (s.fd >= 0) {
    ::close(s.fd);
    s.fd = -1;
  }
  s.mode = params->mode;
  s.flags = params->flags;
  s.indent = 0;
  s.fill = ' ';
  if (!enabled) return 1;

  int oflags = O_RDWR | O_CREAT | O_CLOEXEC;
  if (params->mode == kLogCreate) oflags |= O_TRUNC;
  int fd;
  do {
    fd = ::open(params->fileName, oflags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    LogShowMessage(std::string("qLog: Can't create/open log file! (") + params->fileName + ")", "Error");
    return 0;
  }
  if (params->mode == kLogAppend) ::lseek(fd, 0, SEEK_END);
  s.fd = fd;

  if (params->header && params->header[0] != '\0') {
    if (!WriteAll(fd, params->header, std::strlen(params->header))) ShowOutputFailed();
  }
  return 1;
}

int LogWrite(const char* text, int32_t level) {
  if (!text || text[0] == '\0') return 0;
  if (!Enabled()) return 1;
  LogState& s = State();
  // With no file the failure was already shown when opening failed (or the caller closed
  // the log); one box per later line would bury the artist in messages.
  if (s.fd < 0) return 0;

  // Prefix and indentation failures are not reported: the text write that follows fails
  // the same way and reports it once.
  if (const char* prefix = Prefix(level)) WriteAll(s.fd, prefix, std::strlen(prefix));
  if (level != LOG_RAW && s.indent > 0) {
    char pad[kLogMaxIndent];
    std::memset(pad, s.fill, static_cast<std::size_t>(s.indent));
    WriteAll(s.fd, pad, static_cast<std::size_t>(s.indent));
  }
  if (!WriteAll(s.fd, text, std::strlen(text))) {
    ShowOutputFailed();
    return 0;
  }
  return 1;
}

int LogWriteLine(const char* text, int32_t level) {
  int result = LogWrite(text, level);
  LogWrite("\n", LOG_RAW);
  return result;
}

int LogFormat(int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatAndWrite(level, format, args);
  va_end(args);
  return result;
}

int LogInfoFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatAndWrite(LOG_INFO, format, args);
  va_end(args);
  return result;
}

void LogSetIndent(int width, char fill) {
  LogState& s = State();
  s.indent = width < 0 ? 0 : (width > kLogMaxIndent ? kLogMaxIndent : width);
  s.fill = fill;
}

int LogGetIndent(char* fill) {
  if (fill) *fill = State().fill;
  return State().indent;
}

int LogClose() {
  LogState& s = State();
  if (!Enabled()) return 1;
  if (s.fd < 0) return 0;
  ::close(s.fd);
  s.fd = -1;
  return 1;
}

}  // namespace vorlan::support
