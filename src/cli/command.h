// What every `vorlan` command shares: its entry in the command table, the context it runs
// in (streams, global options, verbosity) and the conventions of its messages and exit codes.
// How to add a command is described at the top of command_table.cpp.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace vorlan::cli {

// The exit codes of every command, and of `vorlan` itself.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran and failed: a file, a plug-in, a check
inline constexpr int kExitUsage = 2;    // the command line itself is wrong; nothing was done

enum class Verbosity { Quiet, Normal, Verbose };

// The options given before (or after) any command.
struct CommonOptions {
  std::string pluginDir;  // empty: next to the program, or $VORLAN_PLUGIN_DIR
  std::string configDir;  // empty: the workbench default
  std::string logDir;
  Verbosity verbosity = Verbosity::Normal;
};

// Handed to a command's run function. Messages go through it so that every command words
// them alike: "vorlan NAME: ..." on standard error, results on standard output.
class Context {
 public:
  Context(std::string command, const CommonOptions& common, std::ostream& out, std::ostream& err);

  const std::string& Command() const { return command_; }
  const CommonOptions& Common() const { return common_; }
  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }
  bool Quiet() const { return common_.verbosity == Verbosity::Quiet; }
  bool Verbose() const { return common_.verbosity == Verbosity::Verbose; }

  // "vorlan NAME: message" on the error stream; returns kExitFailure.
  int Fail(std::string_view message);
  // A usage error found after parsing: one line, then where the help is; returns kExitUsage.
  int Usage(std::string_view message);
  // "vorlan NAME: warning: message", unless --quiet.
  void Warn(std::string_view message);
  // A result line on the output, unless --quiet.
  void Say(std::string_view message);
  // Detail for --verbose only, on the error stream so the output stays parseable.
  void Detail(std::string_view message);
  // Progress lines are worth printing: not quiet, and the error stream is a terminal.
  bool ShowProgress() const;
  // "vorlan NAME: 40% what" on one terminal line that each call rewrites; 100 ends the line.
  // Nothing when ShowProgress() is false.
  void Progress(int percent, std::string_view what);

 private:
  std::string command_;
  CommonOptions common_;
  std::ostream& out_;
  std::ostream& err_;
  bool progressLine_ = false;  // a progress line is open on the terminal
  void EndProgressLine();
};

// Runs a command once its line has been parsed; returns the exit code.
using RunFunction = std::function<int(Context&)>;

struct Command {
  std::string_view name;
  std::string_view summary;  // one line, for `vorlan help`
  // Declares the command's arguments and options on `app` and returns the function that runs
  // it; the function owns (captures) whatever the options are parsed into.
  RunFunction (*setup)(CLI::App& app);
  // For `vorlan formats`: what the command reads and writes, in words ("" when nothing).
  std::string_view reads;
  std::string_view writes;
};

// Adds a command to the table; a file declares one of these at namespace scope.
struct CommandRegistration {
  explicit CommandRegistration(const Command& command);
};

// Every registered command, sorted by name.
std::vector<Command> Commands();
const Command* FindCommand(std::string_view name);
// "convert, export, help, ..." for messages.
std::string CommandNames();

// The line printed after a usage error.
std::string SeeHelp(std::string_view command);

// Validators whose messages state the allowed range plainly, for numeric options.
CLI::Validator NumberAbove(double lowExclusive);
CLI::Validator NumberInRange(double low, double high);
CLI::Validator IntegerInRange(long long low, long long high);
CLI::Validator OneOf(std::vector<std::string> choices);

}  // namespace vorlan::cli
