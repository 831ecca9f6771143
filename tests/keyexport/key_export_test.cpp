// The animation exporter on workbench scenes: which nodes, which key blocks, camera sampling,
// the unsupported-controller messages, options and the configuration file.
#include <gtest/gtest.h>

#include "anim_host.h"
#include "keyexport/key_exporter.h"
#include "keyimport/manm.h"
#include "support/bytes.h"

namespace vorlan::keyexport {
namespace {

using host::Point3;
using testing::AnimHost;
using testing::Keyed;

struct Record {
  manm::RecordHead head;
  std::string name;
  std::size_t keysAt = 0;  // offset of the first key block
};

// Splits a file into records by their sizes, checking that each size is where the next
// record starts.
std::vector<Record> Records(const std::vector<uint8_t>& file) {
  std::vector<Record> out;
  if (file.size() < manm::kHeaderSize) return out;
  std::size_t at = manm::kHeaderSize;
  uint32_t count = manm::LoadHeader(file.data()).recordCount;
  for (uint32_t i = 0; i < count && at + manm::kRecordHeadSize < file.size(); ++i) {
    Record r;
    r.head = manm::LoadRecordHead(file.data() + at);
    r.name = reinterpret_cast<const char*>(file.data() + at + manm::kRecordHeadSize);
    r.keysAt = at + manm::kRecordHeadSize + r.name.size() + 1;
    EXPECT_EQ(r.head.size, manm::RecordSize(r.head, r.name.size())) << r.name;
    at += r.head.size;
    out.push_back(r);
  }
  EXPECT_EQ(at, file.size()) << "records must fill the file exactly";
  return out;
}

std::vector<std::string> Names(const std::vector<Record>& records) {
  std::vector<std::string> names;
  for (const auto& r : records) names.push_back(r.name);
  return names;
}

int Export(AnimHost& host, const std::string& path, uint32_t options = 0, bool prompts = false) {
  KeyExporter exporter;
  return exporter.DoExport(path.c_str(), host, !prompts, options);
}

TEST(KeyExport, SceneWithoutAnimationWritesEmptyRecordsNamingTheKinds) {
  AnimHost host;
  host.scene.animStart = 160;
  host.scene.animEnd = 3200;
  host.scene.frameRate = 25;
  host.scene.ticksPerFrame = 192;
  host.scene.CreateNode("plain");
  auto& typed = host.scene.CreateNode("typed");
  typed.GetTMController()->SetPositionController(workbench::CreateControl(host::kTCBPositionClassId));
  typed.GetTMController()->SetScaleController(workbench::CreateControl(host::kBezierScaleClassId));
  std::string path = host.Path("still.manm");
  ASSERT_EQ(Export(host, path), 1);

  auto file = host.Read(path);
  ASSERT_GE(file.size(), 16u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 16),
            (std::vector<uint8_t>{'M', 'A', 'N', 'M', 2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
  auto records = Records(file);
  ASSERT_EQ(Names(records), (std::vector<std::string>{"plain", "typed"}));
  const manm::RecordHead& p = records[0].head;
  EXPECT_EQ(p.kind, 1u);
  EXPECT_EQ(p.size, 52u + 6);
  EXPECT_EQ(p.posType | p.rotType | p.sclType, 0u);
  EXPECT_EQ(p.animStart, 160);
  EXPECT_EQ(p.animEnd, 3200);
  EXPECT_EQ(p.ticksPerFrame, 192);
  EXPECT_EQ(p.frameRate, 25);
  const manm::RecordHead& t = records[1].head;
  EXPECT_EQ(t.posType, manm::kPosTCB);
  EXPECT_EQ(t.rotType, 0u);
  EXPECT_EQ(t.sclType, manm::kSclBezier);
  EXPECT_EQ(t.numPos + t.numRot + t.numScl + t.numCam, 0u);
}

TEST(KeyExport, SelectedOnlyWithAndWithoutHierarchy) {
  AnimHost host;
  auto& parent = host.scene.CreateNode("parent");
  auto& child = host.scene.CreateNode("child", &parent);
  host.scene.CreateNode("grandchild", &child);
  auto& other = host.scene.CreateNode("other");
  host.scene.CreateNode("otherChild", &other);
  std::string path = host.Path("sel.manm");

  parent.SetSelected(true);
  auto names = [&](bool hierarchy) {
    KeyExporter exporter;
    host.ui.QueueDialog([&](host::DialogModel& d) {
      d.Find(IDC_SELECTED_ONLY)->value = 1;
      d.Find(IDC_HIERARCHY)->value = hierarchy;
    });
    EXPECT_EQ(exporter.DoExport(path.c_str(), host, false, 0), 1);
    return Names(Records(host.Read(path)));
  };
  EXPECT_EQ(names(true), (std::vector<std::string>{"parent", "child", "grandchild"}));
  EXPECT_EQ(names(false), (std::vector<std::string>{"parent"}));
  // Selecting only a child exports the child alone, with or without hierarchy below it.
  parent.SetSelected(false);
  child.SetSelected(true);
  EXPECT_EQ(names(false), (std::vector<std::string>{"child"}));
  EXPECT_EQ(names(true), (std::vector<std::string>{"child", "grandchild"}));

  // The host's "export selected" bit switches selected-only on without a dialog.
  ASSERT_EQ(Export(host, path, host::kExportSelected), 1);
  EXPECT_EQ(Names(Records(host.Read(path))), (std::vector<std::string>{"child", "grandchild"}));
  EXPECT_TRUE(KeyExporter().SupportsOptions(0, host::kExportSelected));
}

TEST(KeyExport, StillCameraWritesOneKeyOfEachKind) {
  AnimHost host;
  auto& node = host.scene.CreateNode("cam");
  node.SetObject(std::make_shared<workbench::CameraObject>(false));
  node.SetTransform(host::Matrix3::Translation({1, 2, 3}));
  std::string path = host.Path("cam.manm");
  ASSERT_EQ(Export(host, path), 1);
  auto file = host.Read(path);
  auto records = Records(file);
  ASSERT_EQ(records.size(), 1u);
  const auto& h = records[0].head;
  EXPECT_EQ(h.posType, manm::kPosLinear);
  EXPECT_EQ(h.rotType, manm::kRotCameraOrientation);
  EXPECT_EQ(h.sclType, 0u);
  EXPECT_EQ(h.numPos, 1u);
  EXPECT_EQ(h.numRot, 1u);
  EXPECT_EQ(h.numScl, 0u);
  EXPECT_EQ(h.numCam, 1u);

  const uint8_t* k = file.data() + records[0].keysAt;
  host::LinearPoint3Key pos;
  manm::LoadKey(k, pos);
  EXPECT_EQ(pos.time, 0);
  EXPECT_EQ(pos.val, (Point3{1, 2, 3}));
  manm::CameraOrientationKey ori;
  manm::LoadKey(k + 16, ori);
  // Identity axes: up (0,1,0), forward (0,0,1), side = up x forward = (1,0,0), view = side x up.
  EXPECT_EQ(ori.up, (Point3{0, 1, 0}));
  EXPECT_EQ(ori.view, (Point3{0, 0, 1}));
  manm::CameraKey cam;
  manm::LoadKey(k + 16 + 28, cam);
  EXPECT_EQ(cam.time, 0);
  EXPECT_FLOAT_EQ(cam.fov, 0.785398f);
}

TEST(KeyExport, MovingCameraIsSampledPerFrameUntilItsValueHolds) {
  AnimHost host;
  host.scene.animEnd = 10 * 160;
  auto& node = host.scene.CreateNode("cam");
  auto cam = std::make_shared<workbench::CameraObject>(false);
  node.SetObject(cam);
  // Moves from frame 2 to frame 4; still before and after.
  node.GetTMController()->SetPositionController(
      Keyed<host::LinearPoint3Key>(host::kLinearPositionClassId, {{320, 0, {0, 0, 0}}, {640, 0, {4, 0, 0}}}));
  std::string path = host.Path("cam.manm");
  ASSERT_EQ(Export(host, path), 1);
  auto file = host.Read(path);
  auto records = Records(file);
  ASSERT_EQ(records.size(), 1u);
  const auto& h = records[0].head;
  // Frames 0, 1, 2 hold (0,0,0): one key at 0; frames 3 and 4 move; sampling stops at
  // frame 4, whose value holds past the end of the range.
  ASSERT_EQ(h.numPos, 3u);
  std::vector<host::TimeValue> times;
  for (uint32_t i = 0; i < h.numPos; ++i) {
    host::LinearPoint3Key k;
    manm::LoadKey(file.data() + records[0].keysAt + 16 * i, k);
    times.push_back(k.time);
  }
  EXPECT_EQ(times, (std::vector<host::TimeValue>{0, 480, 640}));
  EXPECT_EQ(h.numRot, 1u);
  EXPECT_EQ(h.numCam, 1u);
}

TEST(KeyExport, UnsupportedControllerShowsItsMessageAndKeepsOtherChannels) {
  AnimHost host;
  auto& node = host.scene.CreateNode("Expr01");
  node.GetTMController()->SetPositionController(workbench::CreateControl(host::kPositionExpressionClassId));
  node.GetTMController()->SetRotationController(Keyed<host::LinearRotKey>(
      host::kLinearRotationClassId, {{0, 0, {}}, {160, 0, host::QuatFromAngAxis({{0, 0, 1}, 1})}}));
  node.GetTMController()->SetScaleController(
      Keyed<host::LinearScaleKey>(host::kLinearScaleClassId, {{3 * 160, 0, {{2, 2, 2}, {}}}}));
  auto& euler = host.scene.CreateNode("Euler01");
  euler.GetTMController()->SetRotationController(workbench::CreateControl(host::kEulerRotationClassId));
  euler.GetTMController()->SetScaleController(workbench::CreateControl(host::kScaleExpressionClassId));

  std::string path = host.Path("expr.manm");
  ASSERT_EQ(Export(host, path), 1);
  ASSERT_EQ(host.ui.messages.size(), 3u);
  EXPECT_EQ(host.ui.messages[0].caption, "Node: Expr01");
  EXPECT_EQ(host.ui.messages[0].text, "Position keys must have one of these types: Linear/TCB/Bezier!");
  EXPECT_EQ(host.ui.messages[1].caption, "Node: Euler01");
  EXPECT_EQ(host.ui.messages[1].text, "Rotation keys must have one of these types: Linear/TCB/Smooth!");
  EXPECT_EQ(host.ui.messages[2].text, "Scale keys must have one of these types: Linear/TCB/Bezier!");

  auto file = host.Read(path);
  auto records = Records(file);
  ASSERT_EQ(records.size(), 2u);
  const auto& h = records[0].head;
  EXPECT_EQ(h.posType, 0u);
  EXPECT_EQ(h.numPos, 0u);
  EXPECT_EQ(h.rotType, manm::kRotLinear);
  EXPECT_EQ(h.numRot, 2u);
  EXPECT_EQ(h.sclType, manm::kSclLinear);
  EXPECT_EQ(h.numScl, 1u);
  // Frames are stored as ticks: the scale key at frame 3 reads 480.
  host::LinearScaleKey s;
  manm::LoadKey(file.data() + records[0].keysAt + 2 * 20, s);
  EXPECT_EQ(s.time, 480);
  EXPECT_EQ(s.val.s, (Point3{2, 2, 2}));
}

TEST(KeyExport, TargetCameraLookAtIsAcceptedSilently) {
  AnimHost host;
  auto& node = host.scene.CreateNode("tcam");
  node.SetObject(std::make_shared<workbench::CameraObject>(true));
  node.GetTMController()->SetRotationController(workbench::CreateControl(host::kLookAtRotationClassId));
  auto& plain = host.scene.CreateNode("fcam");
  plain.SetObject(std::make_shared<workbench::CameraObject>(false));
  plain.GetTMController()->SetRotationController(workbench::CreateControl(host::kLookAtRotationClassId));
  ASSERT_EQ(Export(host, host.Path("t.manm")), 1);
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].caption, "Node: fcam");
  auto records = Records(host.Read(host.Path("t.manm")));
  EXPECT_EQ(records[0].head.rotType, manm::kRotCameraOrientation);
  EXPECT_EQ(records[1].head.rotType, 0u);
  EXPECT_EQ(records[1].head.numRot, 0u);
}

TEST(KeyExport, ConfigurationDialogAndFailuresLeaveThePreviousFile) {
  AnimHost host;
  host.scene.CreateNode("a");
  const std::string cfg = host.dir + "/cfg/KeyExport.cfg";
  const std::string path = host.Path("out.manm");
  support::WriteFileAtomic(path, std::string("previous"));

  // Cancel in the dialog: nothing written; the configuration is created with the defaults.
  host.ui.QueueDialog([](host::DialogModel& d) { d.result = IDC_CANCEL; });
  EXPECT_EQ(Export(host, path, 0, true), 1);
  EXPECT_EQ(host.ReadText(path), "previous");
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0}));
  ASSERT_EQ(host.ui.dialogs.size(), 1u);
  EXPECT_FALSE(host.ui.dialogs[0].Find(IDC_HIERARCHY)->enabled);

  // OK stores both options; the extension is lower-cased.
  host.ui.QueueDialog([](host::DialogModel& d) {
    d.Find(IDC_SELECTED_ONLY)->value = 1;
    d.Find(IDC_HIERARCHY)->value = 1;
  });
  EXPECT_EQ(Export(host, host.Path("Upper.MANM"), 0, true), 1);
  EXPECT_TRUE(support::FileExists(host.Path("Upper.manm")));
  EXPECT_EQ(host.Read(cfg), (std::vector<uint8_t>{1, 0, 0, 0, 1, 1}));

  // A newer configuration ends the export at once.
  support::WriteFileAtomic(cfg, std::vector<uint8_t>{2, 0, 0, 0, 0, 0});
  EXPECT_EQ(Export(host, path), 0);
  EXPECT_EQ(host.ReadText(path), "previous");

  // A folder that does not exist: the export ends without a message.
  support::WriteFileAtomic(cfg, std::vector<uint8_t>{1, 0, 0, 0, 0, 0});
  EXPECT_EQ(Export(host, host.Path("missing/out.manm")), 0);
  EXPECT_TRUE(host.ui.messages.empty());
}

// A controller that reports more Bezier keys than a record's 32-bit size can cover; it
// holds none, so the test needs no memory for them.
class ManyKeys : public workbench::ControlBase, public host::IKeyControl {
 public:
  ManyKeys() : ControlBase(host::kBezierPositionClassId, host::kCtrlPositionClass) {}
  host::IKeyControl* GetKeyControl() override { return this; }
  int GetNumKeys() const override { return 70'000'000; }  // x 68 bytes > 4 GiB
  void SetNumKeys(int) override {}
  std::optional<host::AnyKey> GetKey(int) const override { return host::AnyKey(host::BezPoint3Key{}); }
  bool SetKey(int, const host::AnyKey&) override { return false; }
  void SortKeys() override {}
};

TEST(KeyExport, RecordTooLargeForItsSizeFieldIsRefusedAndThePreviousFileKept) {
  AnimHost host;
  host.scene.CreateNode("before");
  auto& node = host.scene.CreateNode("Huge");
  node.GetTMController()->SetPositionController(std::make_unique<ManyKeys>());
  const std::string path = host.Path("big.manm");
  support::WriteFileAtomic(path, std::string("previous"));
  EXPECT_EQ(Export(host, path), 0);
  EXPECT_EQ(host.ReadText(path), "previous");
  ASSERT_EQ(host.ui.messages.size(), 1u);
  EXPECT_EQ(host.ui.messages[0].caption, "Node: Huge");
  EXPECT_EQ(host.ui.messages[0].text,
            "The animation of this node needs 4760000057 bytes, more than a .manm record can hold (4 GiB). "
            "Nothing was exported.");
}

}  // namespace
}  // namespace vorlan::keyexport
