// `--report FILE.json` of export and convert: what went in, what came out, what was said and
// what was lost on the way, and how long each step took. A record for build pipelines, so it
// is written whether the command succeeds or fails.
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "file_checks.h"
#include "host/ui.h"
#include "workbench/scene.h"

namespace vorlan::cli {

class Report {
 public:
  Report(std::string command, std::string input, std::string output);

  void SetTool(std::string tool) { tool_ = std::move(tool); }
  // Counts of the scene as loaded.
  void SetScene(const workbench::Scene& scene);
  // Counts of the written file, read back with our reader: `check` is what CheckFile found
  // and counted in it (the command has already run it, and a large file is not read twice).
  void SetOutput(const std::string& path, const FileCheck& check);
  void Warning(std::string text) { warnings_.push_back(std::move(text)); }
  // Something of the source the output does not keep.
  void Lost(std::string text) { lost_.push_back(std::move(text)); }
  // A plug-in's own findings (a JSON object in text), kept under "plugins" by its name.
  void Plugin(const std::string& source, const std::string& json);
  // Ends the step that began with the previous call (or the report's creation).
  void Step(const std::string& name);

  // Writes the report with the command's outcome. Errors name the file.
  std::string Write(const std::string& path, bool ok, const std::string& error);

 private:
  using Clock = std::chrono::steady_clock;
  std::string command_, input_, output_, tool_;
  nlohmann::ordered_json scene_, written_, plugins_;
  std::vector<std::string> warnings_, lost_;
  std::vector<std::pair<std::string, double>> steps_;
  Clock::time_point start_, stepStart_;
};

// Passes everything to another user interface and records each message box's text and
// answer in a report, as warnings.
class ReportingUI : public host::UserInterface {
 public:
  ReportingUI(host::UserInterface& inner, Report* report) : inner_(inner), report_(report) {}
  host::Answer MessageBox(const host::MessageBoxRequest& request) override;
  int RunModal(host::DialogModel& model) override { return inner_.RunModal(model); }
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel& model) override {
    return inner_.OpenModeless(model);
  }
  std::optional<std::string> PickFile(const host::FilePickerRequest& request) override {
    return inner_.PickFile(request);
  }
  std::optional<std::string> PickFolder(const std::string& title) override {
    return inner_.PickFolder(title);
  }

 private:
  host::UserInterface& inner_;
  Report* report_;
};

class Context;
struct LoadResult;

// How export and convert end once their arguments are checked: every way out goes through
// here, so a report records the outcome. A report that cannot be written fails the command.
int FinishCommand(Context& ctx, std::optional<Report>& report, const std::string& reportPath, int code,
                  const std::string& error = {});

// Tells the user what loading said and keeps it in the report: as losses when `input` is an
// interchange file (the scene lacks what the file had), else as warnings. Ends the "load" step.
void NoteLoading(Context& ctx, const LoadResult& loaded, const std::string& input, Report* report);

}  // namespace vorlan::cli
