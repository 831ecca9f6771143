#include "report.h"

#include <sys/stat.h>

#include <set>

#include "command.h"
#include "file_checks.h"
#include "scene_loading.h"
#include "support/file_io.h"
#include "workbench/user_interface.h"

namespace vorlan::cli {

namespace {

using Json = nlohmann::ordered_json;

}  // namespace

Report::Report(std::string command, std::string input, std::string output)
    : command_(std::move(command)), input_(std::move(input)), output_(std::move(output)) {
  start_ = stepStart_ = Clock::now();
}

void Report::SetScene(const workbench::Scene& scene) {
  uint64_t meshes = 0, triangles = 0, vertices = 0;
  std::set<const host::Mtl*> materials;
  for (const workbench::SceneNode* node : scene.AllNodes())
    if (node->GetMtl()) materials.insert(node->GetMtl());
  const std::vector<workbench::SceneObject*> objects = scene.AllObjects();
  for (const workbench::SceneObject* o : objects) {
    if (const auto* mesh = dynamic_cast<const workbench::MeshObject*>(o)) {
      ++meshes;
      triangles += mesh->mesh.faces.size();
      vertices += mesh->mesh.verts.size();
    }
  }
  scene_ = {{"nodes", scene.NodeCount() - 1}, {"objects", objects.size()}, {"meshes", meshes},
            {"triangles", triangles},         {"vertices", vertices},      {"materials", materials.size()}};
}

void Report::SetOutput(const std::string& path, const FileCheck& check) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  written_ = {{"bytes", static_cast<uint64_t>(st.st_size)}};
  if (check.known) written_["readsBack"] = check.Ok();
  if (!check.problems.empty()) written_["problems"] = check.problems;
  for (const auto& [name, value] : check.counts) written_[name] = value;
}

void Report::Plugin(const std::string& source, const std::string& json) {
  Json parsed = Json::parse(json, nullptr, false);
  // A plug-in's text that is not JSON is still worth keeping, as text.
  plugins_[source] = parsed.is_discarded() ? Json(json) : std::move(parsed);
}

void Report::Step(const std::string& name) {
  Clock::time_point now = Clock::now();
  steps_.emplace_back(name, std::chrono::duration<double, std::milli>(now - stepStart_).count());
  stepStart_ = now;
}

std::string Report::Write(const std::string& path, bool ok, const std::string& error) {
  Json j;
  j["command"] = command_;
  j["input"] = input_;
  j["output"] = output_;
  if (!tool_.empty()) j["tool"] = tool_;
  j["ok"] = ok;
  if (!ok) j["error"] = error;
  if (!scene_.is_null()) j["scene"] = scene_;
  if (!written_.is_null()) j["written"] = written_;
  j["warnings"] = warnings_;
  j["lost"] = lost_;
  if (!plugins_.is_null()) j["plugins"] = plugins_;
  Json timings;
  for (const auto& [name, ms] : steps_) timings[name + "Ms"] = ms;
  timings["totalMs"] = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
  j["timings"] = std::move(timings);
  auto written = support::WriteFileAtomic(path, j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
  return written ? std::string() : written.error;
}

host::Answer ReportingUI::MessageBox(const host::MessageBoxRequest& request) {
  host::Answer answer = inner_.MessageBox(request);
  if (report_) {
    std::string text = "[" + request.caption + "] " + request.text;
    if (request.buttons != host::Buttons::Ok) text += std::string(" -> ") + workbench::AnswerName(answer);
    report_->Warning(std::move(text));
  }
  return answer;
}

int FinishCommand(Context& ctx, std::optional<Report>& report, const std::string& reportPath, int code,
                  const std::string& error) {
  if (code != kExitOk) ctx.Fail(error);
  if (report)
    if (std::string e = report->Write(reportPath, code == kExitOk, error); !e.empty()) {
      ctx.Fail("the report cannot be written: " + e);
      return code == kExitOk ? kExitFailure : code;
    }
  return code;
}

void NoteLoading(Context& ctx, const LoadResult& loaded, const std::string& input, Report* report) {
  const std::string ext = LowerExtension(input);
  const bool interchange = ext != "vscene" && ext != "vscb";
  for (const std::string& w : loaded.warnings) {
    ctx.Warn(w);
    if (report) interchange ? report->Lost(w) : report->Warning(w);
  }
  if (report) report->Step("load");
}

}  // namespace vorlan::cli
