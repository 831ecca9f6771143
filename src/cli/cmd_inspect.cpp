#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "command.h"
#include "inspect_utility_files.h"
#include "keyimport/manm_inspect.h"
#include "scene_loading.h"
#include "shoteditor/inspect_shd.h"
#include "support/file_io.h"
#include "zef/inspect.h"
#include "zef/reader.h"
#include "zef_json.h"

namespace vorlan::cli {

namespace {

struct InspectOptions {
  std::string file;
  bool json = false;
};

int InspectManmFile(Context& ctx, const std::string& file, const std::vector<uint8_t>& bytes) {
  manm::InspectResult r = manm::InspectManm(bytes);
  ctx.Out() << r.text;
  return r.ok ? kExitOk : ctx.Fail("\"" + file + "\" is damaged: " + r.error);
}

int InspectShdFile(Context& ctx, const std::string& file, const std::vector<uint8_t>& bytes) {
  shoteditor::ShdListing listing = shoteditor::InspectShd(bytes);
  if (!listing.ok) return ctx.Fail("\"" + file + "\": " + listing.text.substr(0, listing.text.size() - 1));
  ctx.Out() << listing.text;
  return kExitOk;
}

int InspectZefFile(Context& ctx, const std::string& file, const std::vector<uint8_t>& bytes, bool json) {
  // Any other extension is tried as a .zef (renamed files are common); a file that is not one
  // is told apart from a damaged one, with the kinds inspect knows.
  zef::ZefFile parsed;
  zef::ZefResult result = zef::ParseZef(bytes, parsed);
  if (result == zef::ZefResult::kNotZef)
    return ctx.Fail("\"" + file +
                    "\" is not a .zef file (inspect reads .zef, .manm, .shd, .skd and .eqp files)");
  if (json)
    // Names in files need not be UTF-8: such bytes are replaced rather than refused.
    ctx.Out() << ZefTreeJson(bytes).dump(1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  else
    ctx.Out() << zef::InspectZef(bytes);
  // The tree is printed as far as it goes; a damaged file still fails, so scripts notice.
  if (result != zef::ZefResult::kSuccess)
    return ctx.Fail("\"" + file + "\" is damaged: " + zef::ToString(result));
  return kExitOk;
}

// What each file kind is inspected with, by extension; anything else is read as a .zef.
using Inspector = int (*)(Context&, const std::string&, const std::vector<uint8_t>&);
struct InspectorEntry {
  const char* extension;
  Inspector inspect;
};
constexpr InspectorEntry kInspectors[] = {
    {"manm", InspectManmFile},
    {"shd", InspectShdFile},
};

int RunInspect(Context& ctx, const InspectOptions& o) {
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(o.file, bytes); !r) return ctx.Fail(r.error);
  const std::string ext = LowerExtension(o.file);
  const bool zef = ext != "manm" && ext != "shd" && !IsUtilityFile(ext);
  if (o.json && !zef) return ctx.Fail("--json lists .zef files only");
  for (const InspectorEntry& e : kInspectors)
    if (ext == e.extension) return e.inspect(ctx, o.file, bytes);
  if (IsUtilityFile(ext)) return InspectUtilityFile(ctx, o.file, ext, bytes);
  return InspectZefFile(ctx, o.file, bytes, o.json);
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<InspectOptions>();
  app.add_option("file", o->file, "The file to inspect (.zef, .manm, .shd, .skd, .eqp)")->required();
  app.add_flag("--json", o->json, "Print a .zef file's block tree as JSON");
  return [o](Context& ctx) { return RunInspect(ctx, *o); };
}

const CommandRegistration registration{
    {"inspect", "Print what a file holds: a .zef block tree, .manm keys, .shd cuts, a .skd or .eqp listing",
     Setup, ".zef, .manm, .shd, .skd, .eqp", "the file's contents, on standard output"}};

}  // namespace

}  // namespace vorlan::cli
