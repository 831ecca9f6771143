// What every command shares: help, version, the one-line usage errors with their exit code,
// and the list of commands. Run in-process, so standard output and error are told apart.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "vorlan.h"

namespace vorlan::testing {
namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
};

Outcome Invoke(std::vector<std::string> args) {
  std::ostringstream out, err;
  Outcome o;
  o.code = cli::RunVorlan(args, out, err);
  o.out = out.str();
  o.err = err.str();
  return o;
}

const std::string kCommands = cli::CommandNames();

TEST(Conventions, VersionAndHelpGoToStandardOutputWithSuccess) {
  for (auto args : std::vector<std::vector<std::string>>{{"--version"}, {"version"}, {"-q", "version"}}) {
    Outcome o = Invoke(args);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, cli::VersionLine() + "\n");
    EXPECT_EQ(o.err, "");
  }
  for (auto args : std::vector<std::vector<std::string>>{{"help"}, {"--help"}, {"-h"}}) {
    Outcome o = Invoke(args);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.err, "");
    for (const cli::Command& c : cli::Commands())
      EXPECT_NE(o.out.find("  " + std::string(c.name)), std::string::npos);
    EXPECT_NE(o.out.find("Exit status: 0 success, 1"), std::string::npos);
  }
  // A command's own help is the same whichever way it is asked for, and lists its options.
  Outcome a = Invoke({"help", "export"}), b = Invoke({"export", "--help"}),
          c = Invoke({"--plugin-dir", "x", "export", "-h"});
  EXPECT_EQ(a.code, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out, c.out);
  EXPECT_NE(a.out.find("Usage: vorlan export"), std::string::npos) << a.out;
  EXPECT_NE(a.out.find("--selected"), std::string::npos);

  // A subcommand's help is its own, with the whole command to type.
  for (auto [args, usage, option] :
       std::vector<std::tuple<std::vector<std::string>, std::string, std::string>>{
           {{"shots", "play", "--help"}, "Usage: vorlan shots play [OPTIONS] scene shd", "--frames"},
           {{"skin", "apply", "-h"}, "Usage: vorlan skin apply [OPTIONS]", "--nearest"}}) {
    Outcome o = Invoke(args);
    EXPECT_EQ(o.code, 0);
    EXPECT_NE(o.out.find(usage), std::string::npos) << o.out;
    EXPECT_NE(o.out.find(option), std::string::npos) << o.out;
  }
}

struct UsageCase {
  std::vector<std::string> args;
  std::string err;  // exactly
};

// Every usage error: code 2, nothing on standard output, one line naming the problem and one
// pointing at the help (never the whole help).
TEST(Conventions, UsageErrorsAreOneLineAndExitTwo) {
  const std::vector<UsageCase> cases = {
      {{"frobnicate"},
       "vorlan: unknown command \"frobnicate\" (commands: " + kCommands + ")\nsee `vorlan help`\n"},
      {{}, "vorlan: no command given (commands: " + kCommands + ")\nsee `vorlan help`\n"},
      {{"--plugin-dir", "export", "frobnicate"},
       "vorlan: unknown command \"frobnicate\" (commands: " + kCommands + ")\nsee `vorlan help`\n"},
      {{"help", "nope"},
       "vorlan help: unknown command \"nope\" (commands: " + kCommands + ")\nsee `vorlan help`\n"},
      {{"export"}, "vorlan export: scene is required\nsee `vorlan export --help`\n"},
      {{"export", "a.vscene", "b.zef", "--scale", "-1"},
       "vorlan export: --scale: expected a number greater than 0, got \"-1\"\nsee `vorlan export --help`\n"},
      {{"convert", "a.obj", "b.glb", "--scale", "1e999"},
       "vorlan convert: --scale: expected a number greater than 0, got \"1e999\"\nsee `vorlan convert "
       "--help`\n"},
      {{"convert", "a.obj", "b.glb", "--up", "x"},
       "vorlan convert: --up: expected one of y, z, Y, Z, got \"x\"\nsee `vorlan convert --help`\n"},
      {{"-q", "-v", "plugins"},
       "vorlan plugins: --quiet and --verbose exclude each other\nsee `vorlan plugins --help`\n"},
  };
  for (const UsageCase& c : cases) {
    Outcome o = Invoke(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(o.code, 2) << line;
    EXPECT_EQ(o.out, "") << line;
    EXPECT_EQ(o.err, c.err) << line;
  }
}

TEST(Conventions, EveryCommandHasHelpAndRefusesAnUnknownOption) {
  for (const cli::Command& c : cli::Commands()) {
    std::string name(c.name);
    EXPECT_FALSE(c.summary.empty()) << name;
    EXPECT_EQ(c.summary.find('\n'), std::string_view::npos) << name;
    Outcome help = Invoke({name, "--help"});
    EXPECT_EQ(help.code, 0) << name;
    EXPECT_NE(help.out.find("Usage: vorlan " + name), std::string::npos) << name;
    Outcome bad = Invoke({name, "--no-such-option"});
    EXPECT_EQ(bad.code, 2) << name;
    EXPECT_NE(bad.err.find("vorlan " + name + ": "), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("\nsee `vorlan "), std::string::npos) << bad.err;
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 2) << bad.err;
  }
}

TEST(Conventions, FailuresExitOneAndQuietKeepsOnlyErrors) {
  Outcome missing = Invoke({"inspect", "/nonexistent/x.zef"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err.rfind("vorlan inspect: ", 0), 0u) << missing.err;
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;

  Outcome txt = Invoke({"convert", "a.obj", "b.txt"});
  EXPECT_EQ(txt.code, 1);
  EXPECT_EQ(txt.err, "vorlan convert: \"b.txt\": convert writes .vscene, .vscb or .glb files\n");

  Outcome quiet = Invoke({"convert", "/nonexistent/a.vscene", "/nonexistent/b.glb", "-q"});
  EXPECT_EQ(quiet.code, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_NE(quiet.err.find("a.vscene"), std::string::npos);
}

TEST(Conventions, FormatsListsEveryCommandThatReadsOrWrites) {
  Outcome o = Invoke({"--plugin-dir", VORLAN_PLUGIN_DIR, "formats"});
  EXPECT_EQ(o.code, 0) << o.err;
  for (const cli::Command& c : cli::Commands()) {
    if (c.reads.empty() && c.writes.empty()) continue;
    EXPECT_NE(o.out.find("\n" + std::string(c.name) + " "), std::string::npos) << c.name << "\n" << o.out;
    // The longest list of what a command reads must not run into what it writes.
    const size_t at = o.out.find("\n" + std::string(c.name) + " ");
    const std::string line = o.out.substr(at + 1, o.out.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find(std::string(c.reads.empty() ? "-" : c.reads) + "  "), std::string::npos) << line;
  }
  EXPECT_NE(o.out.find("ZefExport"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("writes .zef"), std::string::npos) << o.out;
}

}  // namespace
}  // namespace vorlan::testing
