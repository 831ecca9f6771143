#include "vorlan.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "commands.h"
#include "workbench/materials_document.h"

namespace vorlan::cli {

int RunVorlan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // Scene documents carry materials; the workbench reads them through this codec.
  workbench::RegisterMaterialDocumentCodec();
  CLI::App app{"vorlan: runs the Vorlan pipeline's plug-ins on scenes, headless", "vorlan"};
  app.require_subcommand(1);
  CommonOptions common;
  app.add_option("--plugin-dir", common.pluginDir, "Folder of the plug-in modules");
  app.add_option("--config-dir", common.configDir, "Folder of the plug-ins' configuration files");
  app.add_option("--log-dir", common.logDir, "Folder of the plug-ins' log files");

  auto* plugins = app.add_subcommand("plugins", "List every loaded plug-in class");

  ExportOptions exp;
  bool yes = false, no = false;
  auto* exportCmd = app.add_subcommand("export", "Export a scene with an exporter plug-in");
  exportCmd->add_option("scene", exp.scene, "Scene document (.vscene) or interchange file")->required();
  exportCmd->add_option("out", exp.out, "Output file; its extension chooses the exporter")->required();
  exportCmd->add_option("--plugin", exp.plugin, "Exporter by class name");
  exportCmd->add_flag("--selected", exp.selected, "Export the selected nodes only");
  exportCmd->add_flag("--interactive", exp.interactive, "Show the exporter's dialogs and ask on the console");
  auto* yesOpt = exportCmd->add_flag("--yes", yes, "Answer every question with Yes");
  exportCmd->add_flag("--no", no, "Answer every question with No")->excludes(yesOpt);
  auto interchangeOptions = [](CLI::App* cmd, InterchangeOptions& o) {
    cmd->add_option("--scale", o.scale, "Interchange input: multiply every length by this")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--up", o.up, "Interchange input: its up axis, y (default) or z")
        ->check(CLI::IsMember({"y", "z", "Y", "Z"}));
  };
  interchangeOptions(exportCmd, exp.interchange);

  ConvertOptions conv;
  auto* convertCmd = app.add_subcommand("convert", "Convert a scene to a scene document or binary glTF");
  convertCmd->add_option("in", conv.in, "Scene document or interchange file")->required();
  convertCmd->add_option("out", conv.out, "Output: .vscene or .glb")->required();
  interchangeOptions(convertCmd, conv.interchange);

  std::string inspectFile;
  auto* inspect = app.add_subcommand("inspect", "Print the block tree of a .zef file");
  inspect->add_option("file", inspectFile, "The .zef file")->required();

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "vorlan: " << e.what() << "\n" << app.help();
    return 2;
  }

  try {
    if (*plugins) return RunPlugins(common, out, err);
    if (*exportCmd) {
      if (yes) exp.answer = true;
      if (no) exp.answer = false;
      return RunExport(common, exp, out, err);
    }
    if (*inspect) return RunInspect(inspectFile, out, err);
    if (*convertCmd) return RunConvert(common, conv, out, err);
  } catch (const std::exception& e) {
    err << "vorlan: " << e.what() << "\n";
    return 1;
  }
  return 2;
}

}  // namespace vorlan::cli
