#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "command.h"

namespace vorlan::cli {

Context::Context(std::string command, const CommonOptions& common, std::ostream& out, std::ostream& err)
    : command_(std::move(command)), common_(common), out_(out), err_(err) {}

void Context::EndProgressLine() {
  if (progressLine_) err_ << "\n";
  progressLine_ = false;
}

int Context::Fail(std::string_view message) {
  EndProgressLine();
  err_ << "vorlan " << command_ << ": " << message << "\n";
  return kExitFailure;
}

int Context::Usage(std::string_view message) {
  EndProgressLine();
  err_ << "vorlan " << command_ << ": " << message << "\n" << SeeHelp(command_) << "\n";
  return kExitUsage;
}

void Context::Warn(std::string_view message) {
  EndProgressLine();
  if (!Quiet()) err_ << "vorlan " << command_ << ": warning: " << message << "\n";
}

void Context::Say(std::string_view message) {
  EndProgressLine();
  if (!Quiet()) out_ << message << "\n";
}

void Context::Detail(std::string_view message) {
  if (Verbose()) err_ << "vorlan " << command_ << ": " << message << "\n";
}

bool Context::ShowProgress() const { return !Quiet() && &err_ == &std::cerr && ::isatty(STDERR_FILENO); }

void Context::Progress(int percent, std::string_view what) {
  if (!ShowProgress()) return;
  percent = std::clamp(percent, 0, 100);
  // Clear the rest of the line: the previous step's text may have been longer.
  err_ << "\rvorlan " << command_ << ": " << percent << "% " << what << "\x1b[K";
  progressLine_ = percent < 100;
  if (!progressLine_) err_ << "\n";
  err_.flush();
}

std::string SeeHelp(std::string_view command) {
  if (command.empty() || command == "help") return "see `vorlan help`";
  return fmt::format("see `vorlan {} --help`", command);
}

namespace {

// The whole text as a finite number, or nothing.
bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno == 0 && std::isfinite(value);
}

}  // namespace

CLI::Validator NumberAbove(double lowExclusive) {
  std::string range = fmt::format("a number greater than {}", lowExclusive);
  return CLI::Validator(
      [range, lowExclusive](std::string& text) -> std::string {
        double v = 0;
        if (!ParseNumber(text, v) || !(v > lowExclusive))
          return fmt::format("expected {}, got \"{}\"", range, text);
        return {};
      },
      "NUMBER > " + fmt::format("{}", lowExclusive));
}

CLI::Validator NumberInRange(double low, double high) {
  std::string range = fmt::format("a number from {} to {}", low, high);
  return CLI::Validator(
      [range, low, high](std::string& text) -> std::string {
        double v = 0;
        if (!ParseNumber(text, v) || v < low || v > high)
          return fmt::format("expected {}, got \"{}\"", range, text);
        return {};
      },
      fmt::format("NUMBER {}..{}", low, high));
}

CLI::Validator IntegerInRange(long long low, long long high) {
  std::string range = fmt::format("a whole number from {} to {}", low, high);
  return CLI::Validator(
      [range, low, high](std::string& text) -> std::string {
        long long v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < low || v > high)
          return fmt::format("expected {}, got \"{}\"", range, text);
        return {};
      },
      fmt::format("INTEGER {}..{}", low, high));
}

CLI::Validator OneOf(std::vector<std::string> choices) {
  std::string list;
  for (const std::string& c : choices) list += (list.empty() ? "" : ", ") + c;
  return CLI::Validator(
      [choices, list](std::string& text) -> std::string {
        for (const std::string& c : choices)
          if (c == text) return {};
        return fmt::format("expected one of {}, got \"{}\"", list, text);
      },
      "{" + list + "}");
}

}  // namespace vorlan::cli
