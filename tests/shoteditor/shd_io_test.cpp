#include "shoteditor/shd_io.h"

#include <fstream>

#include "shot_fixture.h"
#include "shoteditor/engine_root.h"
#include "shoteditor/save_wizard.h"
#include "shoteditor/shd_file.h"
#include "support/file_io.h"

namespace vorlan::shoteditor {
namespace {

namespace fs = std::filesystem;
using testing::ShotFixture;
using ShdIoTest = ShotFixture;

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(support::ReadWholeFile(p.string(), b));
  return b;
}

// A wizard script that fills the edits and presses one button.
workbench::ScriptedUI::DialogScript Press(int button, std::string dummy = "", std::string time = "") {
  return [=](host::DialogModel& d) {
    if (!dummy.empty()) d.Find(kWizDummy)->text = dummy;
    if (!time.empty()) d.Find(kWizTime)->text = time;
    d.Find(kWizEntity)->text = "Hero";
    d.Find(kWizPath)->text = "Anims\\walk.stg";
    d.result = button;
  };
}

TEST_F(ShdIoTest, SavesThroughTheWizardAndReadsBack) {
  fs::path dir = Scratch();
  std::string path = (dir / "intro.shd").string();
  auto w = WindowWithCuts({{cam1, 0, 50}, {cam2, 50, 120}});
  w->ClickCommand(1);
  w->EditDescription("close-up");
  box->SetTransform(host::Matrix3::Translation({4, 5, 6}));
  ui.QueueDialog(Press(kWizAdd, "Box", "12"));
  ui.QueueDialog(Press(kWizAdd, "Box", "20"));
  ui.QueueDialog([](host::DialogModel& d) {
    d.Find(kWizList)->checks.at(1) = 1;
    d.Find(kWizHideWeapon)->value = 1;
    d.Find(kWizExportCameras)->value = 0;
    d.result = kWizSave;
  });
  ui.QueuePath(path);
  w->Save();
  ASSERT_EQ(ui.dialogs.size(), 3u);
  EXPECT_EQ(ui.filePickers.at(0).title, "Save file...");
  EXPECT_EQ(ui.filePickers.at(0).filter, "Shot-Editor Data File (*.shd)|*.shd|All files (*.*)|*.*");
  EXPECT_EQ(ui.filePickers.at(0).defaultExt, "shd");
  EXPECT_EQ(w->Title(), "Shot-Editor v1.1 - [" + path + "]");
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(state.keptRows.size(), 2u);
  EXPECT_TRUE(state.hideWeapon);

  ShdReadResult r = ReadShd(ReadBytes(path));
  ASSERT_TRUE(r) << r.detail;
  EXPECT_EQ(r.file.globalEndTicks, 120 * 160);
  ASSERT_EQ(r.file.blocks.size(), 3u);
  EXPECT_EQ(r.file.blocks[0].hideWeapon, 1);
  EXPECT_EQ(r.file.blocks[1].commands.at(1).description, "close-up");
  const auto& rows = r.file.blocks[2].rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(rows[0].checked);
  EXPECT_TRUE(rows[1].checked);
  EXPECT_EQ(rows[0].startTime, 12);
  EXPECT_EQ(rows[0].matrix[12], 4.f);
  EXPECT_EQ(rows[0].matrix[14], 6.f);
  EXPECT_EQ(rows[0].entityName, "Hero");
  EXPECT_EQ(rows[0].path, "Anims\\walk.stg");
}

TEST_F(ShdIoTest, WarnsAboutTheTimelineAndMissingDummiesButSaves) {
  fs::path dir = Scratch();
  auto w = WindowWithCuts({{cam1, 30, 30}});
  SaveOptions options{.rows = {{.dummyName = "Ghost", .startTime = "x"}}, .exportCameras = false};
  ASSERT_TRUE(WriteShotFile(wb, state, w->List(), options, (dir / "a.shd").string()));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "The Global Timeline is not set properly!");
  EXPECT_EQ(ui.messages[0].caption, "Warning");
  EXPECT_EQ(ui.messages[0].icon, host::Icon::Warning);
  EXPECT_EQ(ui.messages[1].text, "Can't find node: \"Ghost\"!");
  ShdReadResult r = ReadShd(ReadBytes(dir / "a.shd"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r.file.blocks[2].rows.at(0).matrix, AnimationInfoRow{}.matrix) << "identity";
  EXPECT_EQ(r.file.blocks[2].rows.at(0).startTime, 0);
}

TEST_F(ShdIoTest, AFileThatCannotBeCreatedKeepsTheWizardOpen) {
  fs::path dir = Scratch();
  auto w = WindowWithCuts({{cam1, 0, 10}});
  ui.QueueDialog(Press(kWizSave));
  ui.QueuePath((dir / "missing" / "folder" / "a.shd").string());
  ui.QueueDialog(Press(kWizCancel));
  w->Save();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Can't create file");
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(ui.dialogs.size(), 2u) << "the wizard came back after the failure";
  EXPECT_TRUE(w->List().Dirty());
}

TEST_F(ShdIoTest, AHeadlessWizardEndsAfterTheSameFailureTwice) {
  auto w = WindowWithCuts({{cam1, 0, 10}});
  // No scripts and no paths: every dialog answers "&Save" and every file dialog cancels.
  EXPECT_FALSE(RunSaveWizard(wb, state, w->MutableList()));
  EXPECT_EQ(ui.dialogs.size(), 2u);
}

TEST_F(ShdIoTest, WizardLinesAreAddedChangedAndDeletedAtTheSelection) {
  EditorState s;
  s.keptRows = {{.startTime = 1, .dummyName = "A"}, {.startTime = 2, .dummyName = "B"}};
  SaveWizard wiz(s);
  EXPECT_TRUE(wiz.exportCameras);
  wiz.ClickRow(0);
  EXPECT_EQ(wiz.dummyName, "A");
  EXPECT_EQ(wiz.startTime, "1");
  wiz.dummyName = "C";
  EXPECT_TRUE(wiz.AddLine(wb));
  ASSERT_EQ(wiz.rows.size(), 3u);
  EXPECT_EQ(wiz.rows[1].dummyName, "C");
  wiz.dummyName = "";
  EXPECT_FALSE(wiz.AddLine(wb));
  EXPECT_EQ(ui.beeps, std::vector<host::Icon>{host::Icon::Warning});
  wiz.ClickRow(2);
  wiz.startTime = "99";
  wiz.ChangeLine();
  EXPECT_EQ(wiz.rows[2].startTime, "99");
  EXPECT_EQ(wiz.rows[2].dummyName, "B") << "the click copied the row into the edits";
  wiz.DeleteLine();  // the last row: the one before it is selected
  EXPECT_EQ(wiz.selected, 1);
  wiz.ClickRow(0);
  wiz.DeleteLine();
  EXPECT_EQ(wiz.selected, 0);
  EXPECT_EQ(wiz.rows.at(0).dummyName, "C");
  wiz.selected = -1;
  wiz.dummyName = "D";
  wiz.AddLine(wb);
  EXPECT_EQ(wiz.rows.back().dummyName, "D") << "at the end when none is selected";
  // A cancelled wizard leaves the kept rows as they were.
  EXPECT_EQ(s.keptRows.size(), 2u);
  EXPECT_EQ(ParseStartTime(" -42abc"), -42);
  EXPECT_EQ(ParseStartTime("99999999999"), INT32_MAX);
}

TEST_F(ShdIoTest, ManmPathReplacesTheLastExtension) {
  EXPECT_EQ(ManmPathFor("C:\\cut\\intro.shd"), "C:\\cut\\intro.manm");
  EXPECT_EQ(ManmPathFor("C:\\cut\\intro"), "C:\\cut\\intro.manm");
  EXPECT_EQ(ManmPathFor("a.b.shd"), "a.b.manm");
}

TEST_F(ShdIoTest, FindsTheEngineRootAlongThePath) {
  fs::path dir = Scratch();
  fs::create_directories(dir / "Vexn" / "Data" / "Anims");
  std::string anim = (dir / "Vexn" / "Data" / "Anims" / "run.stg").string();
  std::string windows = (dir / "Vexn").string() + "\\Data\\Anims\\run.stg";
  std::ofstream(dir / "Vexn" / "Data" / "logs.dll") << "x";
  EXPECT_EQ(PathBelowEngineRoot(anim), "Anims/run.stg");
  EXPECT_EQ(PathBelowEngineRoot(windows), "Anims\\run.stg");
  fs::remove(dir / "Vexn" / "Data" / "logs.dll");
  std::ofstream(dir / "Vexn" / "logs.dll") << "x";
  EXPECT_EQ(PathBelowEngineRoot(anim), "Data/Anims/run.stg");
  std::ofstream(dir / "Vexn" / "Data" / "logs.dll") << "x";
  EXPECT_EQ(PathBelowEngineRoot(anim), "Data/Anims/run.stg") << "the first folder from the left wins";
  EXPECT_EQ(PathBelowEngineRoot((dir / "elsewhere.stg").string()), std::nullopt);
}

TEST_F(ShdIoTest, BrowsingMakesThePathRelativeOrWarns) {
  fs::path dir = Scratch();
  EditorState s;
  SaveWizard wiz(s);
  ui.QueuePath((dir / "nowhere" / "a.va").string());
  wiz.Browse(wb, s);
  EXPECT_EQ(wiz.path, (dir / "nowhere" / "a.va").string());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(
      ui.messages[0].text,
      "Could not find the root of engine! You have to edit the path manually to be relative to Vexn root "
      "directory.");
  EXPECT_EQ(ui.filePickers[0].title, "Choose file");
  EXPECT_EQ(ui.filePickers[0].defaultExt, "stg");
  EXPECT_EQ(ui.filePickers[0].filter,
            "All supported types|*.stg;*.va;*.manm|Stg animations (*.stg)|*.stg|VA animations (*.va)|*.va|"
            "Manm animations (*.manm)|*.manm|All files (*.*)|*.*");
  wiz.Browse(wb, s);  // cancelled: nothing changes
  EXPECT_EQ(ui.filePickers[1].initialPath, (dir / "nowhere" / "a.va").string());
  EXPECT_EQ(wiz.path, (dir / "nowhere" / "a.va").string());
}

class ShdLoadTest : public ShotFixture {
 protected:
  // Writes a file of two cuts on Cam1 and Cam2, an unknown camera last, and one row.
  std::string WriteSample(const std::string& third = "Gone") {
    ShdContent c;
    c.globalBeginTicks = 160;
    c.globalEndTicks = 300 * 192;
    c.ticksPerFrame = 192;
    c.frameRate = 25;
    c.hideWeapon = true;
    c.commands = {{.itemName = "Cam1", .begin = 1, .length = 99, .end = 100, .colour = 0x123456},
                  {.itemName = third, .begin = 100, .length = 100, .end = 200, .colour = 0x654321},
                  {.itemName = "Cam2", .begin = 200, .length = 100, .end = 300, .colour = 0x111111}};
    c.rows = {{.checked = true, .startTime = 7, .dummyName = "Box"}};
    std::string path = (Scratch() / "cut.shd").string();
    EXPECT_TRUE(support::WriteFileAtomic(path, WriteShd(c)));
    return path;
  }
};

TEST_F(ShdLoadTest, LoadsCommandsTimeSettingsAndRows) {
  std::string path = WriteSample("Cam3");
  ShotEditorWindow w(wb, state);
  ui.QueuePath(path);
  w.Load();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.filePickers.at(0).title, "Load file...");
  EXPECT_EQ(wb.GetAnimRange(), (host::Interval{160, 300 * 192}));
  EXPECT_EQ(wb.GetFrameRate(), 25);
  ASSERT_EQ(w.List().Size(), 3);
  EXPECT_EQ(w.List().Commands()[1].camera, cam3);
  EXPECT_EQ(w.List().Commands()[0].colour, 0x123456u);
  EXPECT_EQ(w.List().Selected(), 0);
  EXPECT_EQ(w.Props().item, 0);
  EXPECT_EQ(w.List().Range(kGlobalTimeLine), (TimelineRange{1, 299, 300}));
  EXPECT_EQ(w.Title(), "Shot-Editor v1.1 - [" + path + "]");
  ASSERT_EQ(state.keptRows.size(), 1u);
  EXPECT_TRUE(state.keptRows[0].checked);
  EXPECT_TRUE(state.hideWeapon);
  EXPECT_EQ(state.lastDataFile, path);
}

TEST_F(ShdLoadTest, AMissingCameraTurnsRedAndMayStopTheLoad) {
  std::string path = WriteSample();
  ShotEditorWindow w(wb, state);
  ui.QueueAnswer(host::Answer::Yes);
  EXPECT_EQ(LoadShotFile(wb, state, w.MutableList(), path), LoadOutcome::Loaded);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Can't find node 'Gone'!\nContinue with importing?");
  EXPECT_EQ(ui.messages[0].caption, "Warning");
  EXPECT_EQ(ui.messages[0].buttons, host::Buttons::YesNo);
  EXPECT_EQ(w.List().Commands()[1].colour, 0xE0u);
  EXPECT_EQ(w.List().Commands()[1].camera, nullptr);
  EXPECT_EQ(w.List().Commands()[1].itemName, "Gone");

  ui.QueueAnswer(host::Answer::No);
  EXPECT_EQ(LoadShotFile(wb, state, w.MutableList(), path), LoadOutcome::Stopped);
  EXPECT_EQ(w.List().Size(), 2) << "what was read stays";
  EXPECT_TRUE(state.keptRows.empty()) << "the rows come after the commands in the file";
  EXPECT_TRUE(w.List().Dirty());
}

TEST_F(ShdLoadTest, FailuresLeaveTheListAlone) {
  fs::path dir = Scratch();
  auto w = WindowWithCuts({{cam1, 0, 10}});
  state.keptRows.push_back({.dummyName = "Keep"});
  std::vector<uint8_t> damaged = WriteShd({.commands = {{.itemName = "X"}}});
  damaged[36 + 16 + 8] = 50;  // a command count that does not fit
  ASSERT_TRUE(support::WriteFileAtomic((dir / "bad.shd").string(), damaged));
  ASSERT_TRUE(support::WriteFileAtomic((dir / "other.shd").string(), std::string("MANM and so on")));

  EXPECT_EQ(LoadShotFile(wb, state, w->MutableList(), (dir / "bad.shd").string()), LoadOutcome::Corrupted);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Corrupted .shd file!");
  EXPECT_EQ(ui.messages[0].caption, "Shot-Editor: Error");
  EXPECT_EQ(ui.messages[0].icon, host::Icon::Error);
  EXPECT_EQ(LoadShotFile(wb, state, w->MutableList(), (dir / "other.shd").string()), LoadOutcome::WrongMagic);
  EXPECT_EQ(LoadShotFile(wb, state, w->MutableList(), (dir / "none.shd").string()), LoadOutcome::CannotOpen);
  ASSERT_EQ(ui.messages.size(), 2u) << "a foreign file is refused silently";
  EXPECT_EQ(ui.messages[1].text, "Can't open file");
  EXPECT_EQ(ui.messages[1].caption, "Error");

  ASSERT_EQ(w->List().Size(), 1);
  EXPECT_EQ(w->List().Commands()[0].camera, cam1);
  EXPECT_EQ(state.keptRows.size(), 1u);
  EXPECT_EQ(wb.GetFrameRate(), 30);
  EXPECT_TRUE(w->List().Dirty());
}

TEST_F(ShdLoadTest, SavedListsLoadBackTheSame) {
  fs::path dir = Scratch();
  auto w = WindowWithCuts({{cam2, -5, 40}, {cam1, 40, 41}, {cam3, 41, 90}});
  w->ClickCommand(1);
  w->ChangeColour(0xABCDEF);
  std::string path = (dir / "round.shd").string();
  ASSERT_TRUE(WriteShotFile(wb, state, w->List(), {.hideWeapon = true}, path));
  ShotEditorWindow other(wb, state);
  ASSERT_EQ(LoadShotFile(wb, state, other.MutableList(), path), LoadOutcome::Loaded);
  ASSERT_EQ(other.List().Size(), 3);
  for (int i = 0; i < 3; ++i) {
    const ShotCommand& a = w->List().Commands()[static_cast<std::size_t>(i)];
    const ShotCommand& b = other.List().Commands()[static_cast<std::size_t>(i)];
    EXPECT_EQ(a.itemName, b.itemName);
    EXPECT_EQ(a.camera, b.camera);
    EXPECT_EQ(a.begin, b.begin);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.colour, b.colour);
  }
  EXPECT_EQ(other.List().Range(kGlobalTimeLine), w->List().Range(kGlobalTimeLine));
}

}  // namespace
}  // namespace vorlan::shoteditor
