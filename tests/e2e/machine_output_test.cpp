// What scripts read from `vorlan`: inspect --json, validate, and the reports of export and
// convert.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/file_checks.h"
#include "run_vorlan.h"
#include "support/file_io.h"
#include "zef/inspect.h"

namespace vorlan::testing {
namespace {

using Json = nlohmann::json;

class MachineOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_machine_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static Json ReadJson(const std::string& path) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(support::ReadWholeFile(path, bytes)) << path;
    return Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  }
  std::string Exported() {
    const std::string out = dir + "/sample.zef";
    EXPECT_EQ(RunVorlan("-q export " + sample + " " + out + " --yes").exitCode, 0);
    return out;
  }
  std::string dir;
  const std::string sample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";
};

// Node names, depth first, from the JSON tree.
void Names(const Json& blocks, std::vector<std::string>& out) {
  for (const Json& b : blocks) {
    if (b["name"] == "Node")
      for (const Json& f : b["fields"])
        if (f["key"] == "name") out.push_back(f["value"]);
    Names(b["children"], out);
  }
}

TEST_F(MachineOutputTest, InspectJsonIsTheSameTreeAsData) {
  const std::string zef = Exported();
  const std::string json = dir + "/tree.json";
  ASSERT_EQ(RunVorlan("inspect --json " + zef + " > " + json).exitCode, 0);
  Json tree = ReadJson(json);
  ASSERT_TRUE(tree.is_object());
  EXPECT_EQ(tree["result"], "success");
  EXPECT_TRUE(tree["problems"].empty());
  EXPECT_EQ(tree["size"], std::filesystem::file_size(zef));

  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(zef, bytes));
  zef::ZefSummary summary = zef::SummarizeZef(bytes);
  std::vector<std::string> names;
  Names(tree["blocks"], names);
  // The summary counts skeleton objects too; the sample has none.
  EXPECT_EQ(names, summary.nodeNames);
  EXPECT_EQ(tree["header"]["nodeCount"], summary.headerNodeCount);

  // A damaged file still gives JSON, with its problems, and status 1.
  bytes.resize(bytes.size() - 10);
  const std::string cut = dir + "/cut.zef";
  ASSERT_TRUE(support::WriteFileAtomic(cut, bytes));
  // The trailing '#' keeps RunVorlan's own "2>&1" from sending the message into the file.
  EXPECT_EQ(RunVorlan("inspect --json " + cut + " > " + json + " 2>/dev/null #").exitCode, 1);
  // Standard output holds the JSON alone: the message goes to standard error.
  const Json damaged = ReadJson(json);
  ASSERT_TRUE(damaged.contains("problems")) << damaged.dump();
  ASSERT_FALSE(damaged["problems"].empty());
  EXPECT_EQ(damaged["problems"][0].get<std::string>().rfind("truncated block", 0), 0u) << damaged.dump();
}

TEST_F(MachineOutputTest, ValidateNamesEveryViolationWithItsOffsetAndFailsOnAny) {
  const std::string good = Exported();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(good, bytes));
  bytes.resize(bytes.size() - 10);
  const std::string cut = dir + "/cut.zef";
  ASSERT_TRUE(support::WriteFileAtomic(cut, bytes));
  const std::string odd = dir + "/notes.txt";
  ASSERT_TRUE(support::WriteFileAtomic(odd, std::string("x")));

  RunResult ok = RunVorlan("validate " + good + " " + sample);
  EXPECT_EQ(ok.exitCode, 0) << ok.out;
  EXPECT_EQ(ok.out, good + ": ok\n" + sample + ": ok\n");

  RunResult bad = RunVorlan("validate " + good + " " + cut);
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find(good + ": ok\n"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find(cut + ": truncated block at offset "), std::string::npos) << bad.out;

  RunResult unknown = RunVorlan("validate " + odd);
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.out, "vorlan validate: \"" + odd +
                             "\": no check reads \".txt\" files (checked: .glb, .gltf, .vscene, .zef)\n");
}

// What cannot be read at all is a finding about that file, not a crash or an "ok".
TEST_F(MachineOutputTest, ValidateNamesFilesItCannotRead) {
  const std::string missing = dir + "/missing.zef", folder = dir + "/folder.zef", empty = dir + "/empty.zef";
  std::filesystem::create_directory(folder);
  ASSERT_TRUE(support::WriteFileAtomic(empty, std::string()));
  for (const std::string& file : {missing, folder, empty}) {
    RunResult r = RunVorlan("validate " + file);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out.rfind(file + ": ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find(": ok"), std::string::npos) << r.out;
  }
}

// A report's counts come from the same reading as the check: counting must find exactly
// what checking alone finds, on good and damaged files alike.
TEST_F(MachineOutputTest, CountingWhileCheckingFindsWhatCheckingFinds) {
  const std::string good = Exported();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile(good, bytes));
  const zef::ZefSummary summary = zef::SummarizeZef(bytes);

  const cli::FileCheck counted = cli::CheckFile(good, true);
  EXPECT_TRUE(counted.Ok());
  const std::vector<std::pair<std::string, uint64_t>> expected = {
      {"nodes", summary.nodeNames.size()},
      {"triangles", summary.triangles},
      {"vertices", summary.vertices},
      {"materialRecords", summary.materialRecords}};
  EXPECT_EQ(counted.counts, expected);
  EXPECT_TRUE(cli::CheckFile(good).counts.empty());

  const std::size_t cuts[] = {0, 3, 20, bytes.size() / 3, bytes.size() / 2 + 1, bytes.size() - 1};
  for (std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    const std::string damaged = dir + "/cut" + std::to_string(cut) + ".zef";
    ASSERT_TRUE(support::WriteFileAtomic(damaged, std::span<const uint8_t>(bytes.data(), cut)));
    const cli::FileCheck plain = cli::CheckFile(damaged), withCounts = cli::CheckFile(damaged, true);
    EXPECT_FALSE(plain.Ok());
    EXPECT_EQ(withCounts.problems, plain.problems);
  }
  std::vector<uint8_t> foreign = bytes;
  foreign[0] ^= 0xFF;
  ASSERT_TRUE(support::WriteFileAtomic(dir + "/foreign.zef", foreign));
  EXPECT_EQ(cli::CheckFile(dir + "/foreign.zef", true).problems,
            cli::CheckFile(dir + "/foreign.zef").problems);
}

TEST_F(MachineOutputTest, ReportsCountWarnAndTimeBothWays) {
  const std::string report = dir + "/export.json";
  RunResult e = RunVorlan("export " + sample + " " + dir + "/r.zef --yes --report " + report);
  ASSERT_EQ(e.exitCode, 0) << e.out;
  Json r = ReadJson(report);
  ASSERT_TRUE(r.is_object());
  EXPECT_EQ(r["command"], "export");
  EXPECT_EQ(r["tool"], "ZefExport");
  EXPECT_EQ(r["ok"], true);
  EXPECT_GT(r["scene"]["triangles"].get<int>(), 0);
  EXPECT_EQ(r["written"]["readsBack"], true);
  EXPECT_EQ(r["written"]["bytes"], std::filesystem::file_size(dir + "/r.zef"));
  // Collision hulls are part of the scene but not written as geometry.
  EXPECT_GT(r["written"]["triangles"].get<int>(), 0);
  EXPECT_LE(r["written"]["triangles"].get<int>(), r["scene"]["triangles"].get<int>());
  for (const char* step : {"loadMs", "exportMs", "readBackMs", "totalMs"})
    EXPECT_TRUE(r["timings"][step].is_number()) << step;

  // A failure is reported too, with its message.
  const std::string failed = dir + "/failed.json";
  RunResult f = RunVorlan("export " + dir + "/missing.vscene " + dir + "/m.zef --report " + failed);
  EXPECT_EQ(f.exitCode, 1);
  Json fr = ReadJson(failed);
  EXPECT_EQ(fr["ok"], false);
  EXPECT_NE(fr["error"].get<std::string>().find("missing.vscene"), std::string::npos);

  // What a conversion loses is listed.
  const std::string helmet = std::string(VORLAN_ASSETS_DIR) + "/gltf/FlightHelmet/FlightHelmet.gltf";
  const std::string conv = dir + "/convert.json";
  RunResult c = RunVorlan("convert " + helmet + " " + dir + "/helmet.glb --report " + conv);
  ASSERT_EQ(c.exitCode, 0) << c.out;
  Json cr = ReadJson(conv);
  EXPECT_EQ(cr["ok"], true);
  EXPECT_EQ(cr["written"]["readsBack"], true);
  // The glTF writer carries every material value the workbench holds; what it cannot is listed.
  EXPECT_TRUE(cr["lost"].is_array()) << cr.dump(1);
}

// A character straight from a glTF file through the character exporter: the default .zef
// exporter stays the scene exporter, the file reads back clean, and the exporter's findings
// reach the report.
TEST_F(MachineOutputTest, CharactersExportWithTheirExporterAndReportWhatWasCut) {
  const std::string character = std::string(VORLAN_ASSETS_DIR) + "/gltf/CesiumMan/CesiumMan.glb";
  const std::string out = dir + "/man.zef", report = dir + "/man.json";
  RunResult r = RunVorlan("export " + character + " " + out + " --plugin RigExp --yes --report " + report);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(RunVorlan("validate " + out).exitCode, 0);
  const Json j = ReadJson(report);
  EXPECT_EQ(j["tool"], "RigExp");
  ASSERT_TRUE(j.contains("plugins")) << j.dump(1);
  EXPECT_FALSE(j["plugins"]["RigExp"]["meshes"].empty()) << j.dump(1);

  // Without --plugin, a .zef is a scene file: a scene without a skeleton exports.
  r = RunVorlan("export " + sample + " " + dir + "/scene.zef --yes");
  EXPECT_EQ(r.exitCode, 0) << r.out;
}

}  // namespace
}  // namespace vorlan::testing
