// The plug-ins' plain-text log file.
//
// One log is open at a time per plug-in: the state lives in this module's variables, and
// every plug-in module links its own copy of the support library, so two plug-ins loaded
// into one host never share a log. Calls come from the host's user-interface thread only;
// the state is not locked.
//
// Text goes to the file exactly as the caller passes it. Each write is handed to the kernel
// at once (no user-space buffering), so the log is complete up to the last call even when
// the host process dies right after it.
//
// Paths are real file-system paths: mapping a host path such as "C:\RigExp.log" to a place
// on this system is the caller's business.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vorlan::support {

// Levels passed with every write; 0..3 carry a prefix, -1 writes the text bare.
enum LogLevel : int32_t {
  LOG_RAW = -1,
  LOG_CRITICAL = 0,
  LOG_ERROR = 1,
  LOG_WARNING = 2,
  LOG_INFO = 3,
};

// Open modes of LogParams::mode.
inline constexpr int32_t kLogCreate = 1;  // create anew; an existing file is emptied
inline constexpr int32_t kLogAppend = 2;  // open or create, then append

// LogParams::flags bit 0: logging enabled. With it clear every call succeeds and nothing
// is written.
inline constexpr uint32_t kLogEnabled = 1;

inline constexpr int kLogMaxIndent = 160;
// Size of LogFormat's buffer, terminator included; longer results are cut to 4095 chars.
inline constexpr std::size_t kLogFormatBuffer = 4096;

struct LogParams {
  const char* fileName = nullptr;  // zero-terminated path; required when enabled
  const char* header = nullptr;    // written raw after opening; may be null or empty
  int32_t mode = kLogCreate;
  uint32_t flags = kLogEnabled;
};

// Receives the log's own failure messages ("qLog: ...") and those of the memory manager.
// The plug-ins forward them to the host as a message box with the error icon. Without a
// handler they go to standard error.
using LogMessageHandler = std::function<void(const std::string& text, const std::string& caption)>;
void LogSetMessageHandler(LogMessageHandler handler);
// Shows a message through the handler (used by the memory manager).
void LogShowMessage(const std::string& text, const std::string& caption);

// Opens the log. Returns 0 for a null record, for an empty or null file name or a mode
// other than 1 and 2 while logging is enabled, and when the file cannot be opened (after
// showing "qLog: Can't create/open log file! (<name>)"). A log still open from an
// earlier call is closed first. A failed header write is shown but still returns 1.
int LogOpen(const LogParams* params);

// Writes prefix (levels 0..3), indentation (every level but -1) and the text. Returns 0 for
// a null or empty text, and when the text cannot be written: a failed write to an open file
// shows "qLog: Output to log file failed!"; with no file open (opening failed, or the log
// was closed) nothing is shown again. Returns 1 when logging is disabled.
int LogWrite(const char* text, int32_t level);
// LogWrite, then "\n" at level -1; returns the result of the first write.
int LogWriteLine(const char* text, int32_t level);

// printf-style formatting into a 4096-byte buffer (cut safely when longer), then LogWrite.
int LogFormat(int32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
int LogInfoFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Widths above 160 are stored as 160, negative ones as 0.
void LogSetIndent(int width, char fill);
// The width; the fill character too when `fill` is not null.
int LogGetIndent(char* fill);

// 1 when logging is disabled; 0 when no file is open; otherwise closes it and returns 1.
int LogClose();

}  // namespace vorlan::support
