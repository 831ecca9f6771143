// What `vorlan` does to protect the user's files: an output that is an input is refused,
// --selected with nothing selected is said, a killed export leaves the previous file and
// nothing else, and convert's working folder goes away whatever happens.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "run_vorlan.h"
#include "support/file_io.h"
#include "zef/reader.h"

extern char** environ;

namespace vorlan::testing {
namespace {

namespace fs = std::filesystem;

class SafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlan_safety_XXXXXX";
    dir = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }
  static std::string Bytes(const std::string& path) {
    std::vector<uint8_t> b;
    EXPECT_TRUE(support::ReadWholeFile(path, b)) << path;
    return std::string(b.begin(), b.end());
  }
  static std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
  }
  std::string dir;
  const std::string sample = std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene";
  const std::string fox = std::string(VORLAN_ASSETS_DIR) + "/gltf/Fox/Fox.glb";
};

TEST_F(SafetyTest, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
  const std::string source = dir + "/Fox.glb";
  fs::copy_file(fox, source);
  const std::string original = Bytes(source);
  fs::create_symlink(source, dir + "/link.glb");
  fs::create_hard_link(source, dir + "/hard.glb");

  for (const std::string& out : {source, dir + "/link.glb", dir + "/hard.glb", dir + "/./Fox.glb"}) {
    RunResult r = RunVorlan("convert " + source + " " + out);
    EXPECT_EQ(r.exitCode, 1) << out;
    EXPECT_EQ(r.out, "vorlan convert: the output \"" + out + "\" is the input \"" + source +
                         "\"; refusing to write over it\n");
  }
  EXPECT_EQ(Bytes(source), original);
  EXPECT_TRUE(fs::is_symlink(dir + "/link.glb"));

  // The scene exporter writes the extension in lower case: that name is the one compared.
  const std::string scene = dir + "/scene.zef";
  fs::copy_file(sample, scene);
  RunResult upper = RunVorlan("export --plugin ZefExport " + scene + " " + dir + "/scene.ZEF --yes");
  EXPECT_EQ(upper.exitCode, 1) << upper.out;
  EXPECT_EQ(upper.out, "vorlan export: the output \"" + dir + "/scene.zef\" is the input \"" + scene +
                           "\"; refusing to write over it\n");
  EXPECT_EQ(Bytes(scene), Bytes(sample));
}

TEST_F(SafetyTest, AReadOnlyOutputIsKeptUnlessYesIsGiven) {
  const std::string target = dir + "/locked.zef";
  ASSERT_TRUE(support::WriteFileAtomic(target, std::string("previous")));
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  for (const std::string& answer : {std::string(), std::string(" --no")}) {
    RunResult r = RunVorlan("export " + sample + " " + target + answer);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("[Warning] File is read-only, owerwrite?\n  -> No\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("vorlan export: ZefExport failed to export \"" + target + "\"\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(Bytes(target), "previous");
    EXPECT_TRUE(support::IsReadOnly(target));
  }
  RunResult yes = RunVorlan("export " + sample + " " + target + " --yes");
  EXPECT_EQ(yes.exitCode, 0) << yes.out;
  EXPECT_NE(yes.out.find("  -> Yes\n"), std::string::npos) << yes.out;
  EXPECT_NE(Bytes(target), "previous");
}

TEST_F(SafetyTest, SelectedWithNothingSelectedWarnsNamingTheScene) {
  std::string text = Bytes(sample);
  for (std::size_t at; (at = text.find("\"selected\": true,")) != std::string::npos;) text.erase(at, 17);
  const std::string scene = dir + "/none.vscene";
  ASSERT_TRUE(support::WriteFileAtomic(scene, text));
  RunResult r = RunVorlan("export " + scene + " " + dir + "/none.zef --selected --yes");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("vorlan export: warning: --selected: nothing is selected in \"" + scene + "\"\n"),
            std::string::npos)
      << r.out;

  RunResult some = RunVorlan("export " + sample + " " + dir + "/some.zef --selected --yes");
  EXPECT_EQ(some.exitCode, 0) << some.out;
  EXPECT_EQ(some.out.find("nothing is selected"), std::string::npos) << some.out;
}

TEST_F(SafetyTest, ConvertLeavesNoWorkingFolderOnAnyPath) {
  const std::string temp = dir + "/temp";
  fs::create_directories(temp);
  // A folder left by a run that was killed is removed by the next one.
  fs::create_directories(temp + "/vorlan_convert_999999999_abcdef/images");
  const std::string env = "TMPDIR=" + temp + " ";
  const std::string textured = std::string(VORLAN_ASSETS_DIR) + "/gltf/BoxTextured/BoxTextured.glb";
  const std::string cmd = "env " + env + VORLAN_EXE;
  for (const std::string& args : {"convert " + textured + " " + dir + "/box.glb",
                                  "convert " + dir + "/missing.glb " + dir + "/missing-out.glb",
                                  "convert " + textured + " " + dir + "/no/folder/box.glb"}) {
    int status = std::system((cmd + " " + args + " >/dev/null 2>&1").c_str());
    (void)status;
    EXPECT_EQ(Entries(temp), std::set<std::string>{}) << args;
  }
  EXPECT_TRUE(fs::exists(dir + "/box.glb"));
}

// A scene big enough that its export takes a while, so that a kill lands inside it.
std::string WriteBigScene(const std::string& path, int side) {
  std::ofstream f(path);
  f << R"({"version": 1, "nodes": [{"name": "Grid", "object": {"type": "mesh", "mesh": {"verts": [)";
  for (int y = 0; y <= side; ++y)
    for (int x = 0; x <= side; ++x)
      f << (x || y ? "," : "") << "[" << x << "," << y << "," << ((x * y) % 7) << "]";
  f << R"(], "faces": [)";
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      int a = y * (side + 1) + x, b = a + 1, c = a + side + 1, d = c + 1;
      f << (x || y ? "," : "") << "[" << a << "," << b << "," << d << "],[" << a << "," << d << "," << c
        << "]";
    }
  f << "]}}}]}";
  return path;
}

pid_t StartExport(const std::string& scene, const std::string& out) {
  std::vector<std::string> args = {VORLAN_EXE, "--plugin-dir", VORLAN_PLUGIN_DIR, "-q", "export", scene,
                                   out,        "--yes"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, VORLAN_EXE, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST_F(SafetyTest, KilledExportsLeaveThePreviousFileAndNothingElse) {
  const std::string scene = WriteBigScene(dir + "/big.vscene", 200);
  const std::string outDir = dir + "/out";
  fs::create_directories(outDir);
  const std::string target = outDir + "/big.zef";

  // One complete export, timed: the kills land anywhere from the start to a little past it.
  auto start = std::chrono::steady_clock::now();
  pid_t first = StartExport(scene, target);
  ASSERT_GT(first, 0);
  int status = Wait(first);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto full = std::chrono::steady_clock::now() - start;
  const std::string complete = Bytes(target);
  const std::string previous = "the previous file";
  zef::ZefFile parsed;
  ASSERT_EQ(zef::ParseZef(std::vector<uint8_t>(complete.begin(), complete.end()), parsed),
            zef::ZefResult::kSuccess);

  std::mt19937 random(20261208);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(full).count();
  int interrupted = 0;
  for (int run = 0; run < 20; ++run) {
    ASSERT_TRUE(support::WriteFileAtomic(target, previous));
    pid_t pid = StartExport(scene, target);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (span + span / 4 + 1)));
    ::kill(pid, SIGKILL);
    status = Wait(pid);
    if (WIFSIGNALED(status)) ++interrupted;
    const std::string now = Bytes(target);
    EXPECT_TRUE(now == previous || now == complete) << "run " << run << ": " << now.size() << " bytes";
    EXPECT_EQ(Entries(outDir), std::set<std::string>{"big.zef"}) << "run " << run;
  }
  // Most kills must land inside an export, or the test proves nothing.
  EXPECT_GE(interrupted, 10);
}

}  // namespace
}  // namespace vorlan::testing
