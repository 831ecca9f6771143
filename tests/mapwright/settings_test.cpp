#include "mapwright/settings.h"

#include <gtest/gtest.h>

#include "mapwright/keymap.h"
#include "mapwright/session_fixture.h"
#include "support/file_io.h"

namespace mw = vorlan::mapwright;
using MapwrightSettings = mw::testing::SessionFixture;

namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> b;
  vorlan::support::ReadWholeFile(path, b);
  return b;
}

const std::vector<uint8_t> kDefaults =
    Words({3, 0x3F800000, 0x00FFFF, 0xFFFFFF, 0xA0A0A0, 0, 0, 0, 0, 3, 1, 540, 745});

}  // namespace

TEST_F(MapwrightSettings, ANewInstallationWritesTheDefaultsFirst) {
  mw::Settings s = mw::LoadSettings(ip);
  EXPECT_EQ(s, mw::Settings{});
  EXPECT_EQ(ReadFile(dir.File("Mapwright!.cfg")), kDefaults);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MapwrightSettings, KeepsEveryValueThroughTheFile) {
  mw::Settings s;
  s.texels = 2.5f;
  s.lineColor = mw::Rgb(1, 2, 3);
  s.method = 2;
  s.planarAxis = 1;
  s.windowLeft = -20;
  s.windowTop = 33;
  s.numberOfBackups = 7;
  s.createBackups = false;
  s.windowWidth = 800;
  s.windowHeight = 900;
  ASSERT_TRUE(mw::SaveSettings(ip, s));
  EXPECT_EQ(ReadFile(dir.File("Mapwright!.cfg")),
            Words({3, 0x40200000, 0x030201, 0xFFFFFF, 0xA0A0A0, 2, 1, uint32_t(-20), 33, 7, 0, 800, 900}));
  EXPECT_EQ(mw::LoadSettings(ip), s);
}

TEST_F(MapwrightSettings, AnotherVersionOrAShortFileIsReplacedByTheDefaults) {
  for (auto bytes :
       {Words({2, 0x40000000, 0, 0, 0, 1, 1, 5, 5, 9, 0, 900, 900}), Words({3, 0x40000000, 7})}) {
    mw::testing::WriteBytes(dir.File("Mapwright!.cfg"), bytes);
    EXPECT_EQ(mw::LoadSettings(ip), mw::Settings{});
    EXPECT_EQ(ReadFile(dir.File("Mapwright!.cfg")), kDefaults);
  }
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text,
            "Unknown version of Mapwright.cfg file has been found.\nSetting to defaults.");
  EXPECT_EQ(ui.messages[0].caption, "Info");
}

TEST(MapwrightSettingsFile, ValuesNoWindowCouldUseAreBroughtIntoRange) {
  mw::Settings s;
  auto bytes = Words({3, 0x7FC00000 /* NaN */, 1, 2, 3, 9, uint32_t(-1), 0, 0, 1000000000, 5, 10, 20});
  ASSERT_EQ(mw::DecodeSettings(bytes, s), mw::SettingsRead::Ok);
  EXPECT_EQ(s.texels, 1.0f);
  EXPECT_EQ(s.method, 0);
  EXPECT_EQ(s.planarAxis, 0);
  EXPECT_EQ(s.numberOfBackups, mw::kMaxBackups);
  EXPECT_TRUE(s.createBackups);
  EXPECT_EQ(s.windowWidth, 540);
  EXPECT_EQ(s.windowHeight, 745);
}

TEST(MapwrightSettingsFile, OptionsDialogStoresOnOkOnly) {
  vorlan::workbench::ScriptedUI ui;
  mw::Settings s;
  ui.QueueDialog([](vorlan::host::DialogModel& m) {
    EXPECT_EQ(m.title, "Options");
    EXPECT_EQ(m.Find(mw::kOptionsEdgesGroup)->label, " Edges ");
    EXPECT_EQ(m.Find(mw::kOptionsSavingGroup)->label, " Bitmap saving ");
    EXPECT_EQ(m.Find(mw::kOptionsBackupsLabel)->label, "Number of backups:");
    m.Find(mw::kOptionsShowInvisibleEdges)->value = 0;
    m.Find(mw::kOptionsNumberOfBackups)->text = "5";
    m.result = mw::kOptionsCancel;
  });
  EXPECT_FALSE(mw::RunOptionsDialog(ui, s));
  EXPECT_EQ(s, mw::Settings{});
  ui.QueueDialog([](vorlan::host::DialogModel& m) {
    m.Find(mw::kOptionsShowInvisibleEdges)->value = 0;
    m.Find(mw::kOptionsCreateBackups)->value = 0;
    m.Find(mw::kOptionsNumberOfBackups)->text = "5";
  });
  EXPECT_TRUE(mw::RunOptionsDialog(ui, s));
  EXPECT_FALSE(s.showInvisibleEdges);
  EXPECT_FALSE(s.createBackups);
  EXPECT_EQ(s.numberOfBackups, 5);
  // The number field is greyed while backups are off.
  EXPECT_FALSE(mw::OptionsDialog(s).Find(mw::kOptionsNumberOfBackups)->enabled);
}

TEST(MapwrightKeys, EveryToolBarTipWithAKeyNamesAKeyThatGivesItsCommand) {
  int withKey = 0;
  for (const mw::ToolButton& b : mw::ToolBar()) {
    auto open = b.tip.rfind('('), close = b.tip.rfind(')');
    if (open == std::string_view::npos) {
      EXPECT_EQ(b.tip, "Save Texture");
      continue;
    }
    std::string_view name = b.tip.substr(open + 1, close - open - 1);
    mw::Key key = name == "," ? mw::Key::Comma : name == "." ? mw::Key::Period : mw::Key(name[0] - 'A');
    EXPECT_EQ(mw::CommandForKey(key), b.command) << b.tip;
    ++withKey;
  }
  EXPECT_EQ(withKey, 14);
  EXPECT_EQ(mw::ToolBar()[3].tip, "Rotate 90\u00B0 Left (,)");
  // Keys bound once each.
  for (const auto& a : mw::KeyMap())
    EXPECT_EQ(
        std::count_if(mw::KeyMap().begin(), mw::KeyMap().end(), [&](auto& b) { return b.key == a.key; }), 1);
}
