#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "command.h"
#include "inspect_utility_files.h"
#include "scene_loading.h"
#include "support/file_io.h"
#include "zef/inspect.h"
#include "zef/reader.h"

namespace vorlan::cli {

namespace {

struct InspectOptions {
  std::string file;
};

int RunInspect(Context& ctx, const InspectOptions& o) {
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(o.file, bytes); !r) return ctx.Fail(r.error);
  if (std::string ext = LowerExtension(o.file); IsUtilityFile(ext))
    return InspectUtilityFile(ctx, o.file, ext, bytes);
  ctx.Out() << zef::InspectZef(bytes);
  // The tree is printed as far as it goes; a damaged file still fails, so scripts notice.
  zef::ZefFile parsed;
  zef::ZefResult result = zef::ParseZef(bytes, parsed);
  if (result != zef::ZefResult::kSuccess)
    return ctx.Fail("\"" + o.file + "\" is damaged: " + zef::ToString(result));
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<InspectOptions>();
  app.add_option("file", o->file, "The .zef, .skd or .eqp file")->required();
  return [o](Context& ctx) { return RunInspect(ctx, *o); };
}

const CommandRegistration registration{
    {"inspect", "Print the block tree of a .zef file, or list a .skd or .eqp file", Setup, ".zef, .skd, .eqp",
     "the block tree or listing, on standard output"}};

}  // namespace

}  // namespace vorlan::cli
