// The animation importer: files written by the exporter restore every key, and damaged or
// foreign files fail with their messages. Lives beside the exporter's tests because the
// round trip needs both.
#include <gtest/gtest.h>

#include "anim_host.h"
#include "keyexport/key_exporter.h"
#include "keyimport/key_importer.h"
#include "keyimport/manm.h"
#include "support/bytes.h"

namespace vorlan::keyimport {
namespace {

using testing::AnimHost;

int Import(AnimHost& host, const std::string& path) {
  KeyImporter importer;
  return importer.DoImport(path.c_str(), host, false);
}

// A file of records built by hand.
struct FileBuilder {
  std::vector<uint8_t> bytes;
  support::ByteWriter w{bytes};
  explicit FileBuilder(uint32_t count, uint32_t version = 2) { manm::WriteHeader(w, {version, count, 0}); }
  // Appends a record; `keys` writes the key blocks. The size comes from the counts.
  template <class F>
  void Record(const std::string& name, manm::RecordHead h, F keys) {
    h.size = static_cast<uint32_t>(manm::RecordSize(h, name.size()));
    manm::WriteRecordHead(w, h, name);
    keys(w);
  }
  std::string Save(const AnimHost& host, const std::string& name) const {
    std::string path = host.Path(name);
    support::WriteFileAtomic(path, bytes);
    return path;
  }
};

manm::RecordHead Head(uint32_t posType, uint32_t numPos, int tpf = 160, int fps = 30) {
  manm::RecordHead h;
  h.posType = posType;
  h.numPos = numPos;
  h.animStart = 0;
  h.animEnd = 1600;
  h.ticksPerFrame = tpf;
  h.frameRate = fps;
  return h;
}

TEST(KeyImport, RoundTripRestoresEveryKeyAndTheSameFile) {
  AnimHost source, target;
  testing::BuildAnimatedScene(source.scene);
  testing::BuildAnimatedScene(target.scene);
  // The target's nodes carry other controllers that the import must replace.
  for (auto* n : target.scene.AllNodes()) {
    n->GetTMController()->SetPositionController(
        testing::Keyed<host::LinearPoint3Key>(host::kLinearPositionClassId, {{0, 0, {9, 9, 9}}}));
    n->GetTMController()->SetRotationController(nullptr);
    n->GetTMController()->SetScaleController(nullptr);
  }

  std::string first = source.Path("first.manm");
  ASSERT_EQ(keyexport::KeyExporter().DoExport(first.c_str(), source, true, 0), 1);
  target.ui.QueueAnswer(host::Answer::No);
  ASSERT_EQ(Import(target, first), 1);

  for (const char* name : {"linear", "tcb", "bezier"}) {
    auto* a = source.scene.FindNode(name);
    auto* b = target.scene.FindNode(name);
    for (int frame = -2; frame <= 12; ++frame) {
      host::Matrix3 ma = a->GetNodeTM(frame * 160), mb = b->GetNodeTM(frame * 160);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(ma.GetRow(r)[c], mb.GetRow(r)[c]) << name << " frame " << frame;
    }
  }
  // Bezier flags come back; the camera's orientation keys end the parse (its type has keys
  // the importer does not take), after the other records were read.
  auto* bez = target.scene.FindNode("bezier")->GetTMController()->GetPositionController()->GetKeyControl();
  EXPECT_EQ(bez->GetKeyAs<host::BezPoint3Key>(1)->flags, 0x10000u);
  EXPECT_NE(target.Log().find("Error:\t  RotKeys: UNKNOWN, number: "), std::string::npos);
  EXPECT_NE(target.Log().find("Error:\tImport failed!\n"), std::string::npos);

  // The camera's sampled positions came back as Linear keys on every frame it moves, so
  // sampling it again gives the same keys: the whole file comes out the same.
  std::string again = target.Path("again.manm");
  ASSERT_EQ(keyexport::KeyExporter().DoExport(again.c_str(), target, true, 0), 1);
  EXPECT_EQ(source.Read(first), target.Read(again));
}

TEST(KeyImport, LogOfASmallImport) {
  AnimHost host;
  host.scene.CreateNode("Box01");
  FileBuilder f(1);
  f.Record("Box01", Head(manm::kPosLinear, 2), [](support::ByteWriter& w) {
    manm::WriteKey(w, host::LinearPoint3Key{160, 0, {1, 2, 3}});
    manm::WriteKey(w, host::LinearPoint3Key{0, 0, {0, 0, 0}});
  });
  std::string path = f.Save(host, "small.manm");
  ASSERT_EQ(Import(host, path), 1);
  EXPECT_TRUE(host.ui.messages.empty());
  // Type 0 on a channel without keys is "UNKNOWN" at level Error, and the import goes on.
  EXPECT_EQ(host.Log(),
            "Log for KeyImport:\n\n\n"
            "Info:\tMemMgr: Init OK\n"
            "Info:\tImporting file: " +
                path +
                ", size: 106\n"
                "Info:\tNumber of animated objects: 1\n"
                "Info:\tImporting animation for: \"Box01\"\n"
                "Info:\t  PosKeys: Linear, number: 2\n"
                "Error:\t  RotKeys: UNKNOWN, number: 0\n"
                "Error:\t  SclKeys: UNKNOWN, number: 0\n"
                "Info:\tMemMgr: Release OK\n"
                "Info:\tImport done.\n");
}

TEST(KeyImport, KeysAreSortedAndEmptyChannelsLeaveControllersAlone) {
  AnimHost host;
  auto& node = host.scene.CreateNode("Box01");
  node.GetTMController()->SetRotationController(
      testing::Keyed<host::TCBRotKey>(host::kTCBRotationClassId, {{0, 0, {{0, 0, 1}, 1}, {}}}));
  FileBuilder f(1);
  manm::RecordHead h = Head(manm::kPosLinear, 2);
  h.rotType = manm::kRotLinear;  // count 0: the rotation controller stays
  f.Record("Box01", h, [](support::ByteWriter& w) {
    manm::WriteKey(w, host::LinearPoint3Key{160, 0, {1, 2, 3}});
    manm::WriteKey(w, host::LinearPoint3Key{0, 0, {0, 0, 0}});
  });
  ASSERT_EQ(Import(host, f.Save(host, "sort.manm")), 1);
  auto* pos = node.GetTMController()->GetPositionController();
  ASSERT_NE(pos, nullptr);
  EXPECT_EQ(pos->GetClassId(), host::kLinearPositionClassId);
  EXPECT_EQ(pos->GetKeyControl()->GetKeyAs<host::LinearPoint3Key>(0)->time, 0);
  EXPECT_EQ(pos->GetKeyControl()->GetKeyAs<host::LinearPoint3Key>(1)->time, 160);
  EXPECT_EQ(node.GetTMController()->GetRotationController()->GetClassId(), host::kTCBRotationClassId);
  EXPECT_EQ(host.GetTime(), 0);
}

TEST(KeyImport, MissingNodeIsSkippedByItsSizeAndCameraKeysAreReported) {
  AnimHost host;
  host.scene.animEnd = 160;
  auto& node = host.scene.CreateNode("Second");
  FileBuilder f(3);
  f.Record("Ghost", Head(manm::kPosTCB, 1), [](support::ByteWriter& w) {
    manm::WriteKey(w, host::TCBPoint3Key{0, 0, {5, 5, 5}, {}});
  });
  manm::RecordHead cam = Head(manm::kPosLinear, 1);
  cam.numCam = 2;
  f.Record("Second", cam, [](support::ByteWriter& w) {
    manm::WriteKey(w, host::LinearPoint3Key{0, 0, {7, 8, 9}});
    manm::WriteKey(w, manm::CameraKey{0, 1});
    manm::WriteKey(w, manm::CameraKey{160, 2});
  });
  manm::RecordHead last = Head(0, 0);
  last.animStart = -480;
  last.animEnd = 4800;
  f.Record("Second", last, [](support::ByteWriter&) {});
  ASSERT_EQ(Import(host, f.Save(host, "skip.manm")), 1);

  ASSERT_EQ(host.ui.messages.size(), 2u);
  EXPECT_EQ(host.ui.messages[0].text, "Node \"Ghost\" not found. Can't import its animation.");
  EXPECT_EQ(host.ui.messages[0].caption, "Error");
  EXPECT_EQ(host.ui.messages[1].text, "Can't import Camera keys. See C:\\keyImport.log");
  EXPECT_EQ(host.ui.messages[1].caption, "Info");
  EXPECT_EQ(node.GetNodeTM(0).GetTrans(), (host::Point3{7, 8, 9}));
  EXPECT_NE(host.Log().find("Error:\t  Node not found!\n"), std::string::npos);
  EXPECT_NE(host.Log().find("Warning:\t  CamKeys: CURRENTLY NOT SUPPORTED, number: 2\n"), std::string::npos);
  EXPECT_NE(host.Log().find("Info:\tImport done.\n"), std::string::npos);
  // The range widens to every record's; the time goes to the last record's start.
  EXPECT_EQ(host.GetAnimRange(), (host::Interval{-480, 4800}));
  EXPECT_EQ(host.GetTime(), -480);
}

TEST(KeyImport, FrameRateQuestionComesBackAfterNo) {
  AnimHost host;
  host.scene.CreateNode("A");
  FileBuilder f(3);
  f.Record("A", Head(0, 0, 192, 25), [](support::ByteWriter&) {});
  f.Record("A", Head(0, 0, 192, 25), [](support::ByteWriter&) {});
  f.Record("A", Head(0, 0, 80, 60), [](support::ByteWriter&) {});
  host.ui.QueueAnswer(host::Answer::No);
  host.ui.QueueAnswer(host::Answer::No);
  host.ui.QueueAnswer(host::Answer::Yes);
  ASSERT_EQ(Import(host, f.Save(host, "fps.manm")), 1);
  ASSERT_EQ(host.ui.messages.size(), 3u);
  EXPECT_EQ(host.ui.messages[0].text,
            "The FPS of imported animation is not the same as current Max's FPS.\nDo you want to set Max to "
            "new FPS?");
  EXPECT_EQ(host.ui.messages[0].caption, "Key Import");
  EXPECT_EQ(host.GetTicksPerFrame(), 80);
  EXPECT_EQ(host.GetFrameRate(), 60);
}

TEST(KeyImport, RefusedAndDamagedFiles) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  FileBuilder old(1, 1);
  FileBuilder empty(0);
  FileBuilder unknown(1);
  manm::RecordHead h = Head(0, 0);
  h.rotType = manm::kRotCameraOrientation;
  h.numRot = 1;
  unknown.Record("A", h, [](support::ByteWriter& w) { manm::WriteKey(w, manm::CameraOrientationKey{}); });
  FileBuilder truncated(1);
  truncated.Record("A", Head(manm::kPosBezier, 1000),
                   [](support::ByteWriter& w) { manm::WriteKey(w, host::BezPoint3Key{}); });
  const Case cases[] = {
      {"version 1", old.bytes,
       "Old file version. It's not supported, but it could be if you really need it.\nCall Orvel."},
      {"no records", empty.bytes, "Number of animated objects = 0."},
      {"camera orientation keys", unknown.bytes, nullptr},
      {"truncated key block", truncated.bytes, nullptr},
      {"shorter than a header", {'M', 'A', 'N'}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AnimHost host;
    auto& node = host.scene.CreateNode("A");
    std::string path = host.Path("bad.manm");
    support::WriteFileAtomic(path, c.bytes);
    ASSERT_EQ(Import(host, path), 1);
    if (c.message) {
      ASSERT_EQ(host.ui.messages.size(), 1u);
      EXPECT_EQ(host.ui.messages[0].text, c.message);
      EXPECT_EQ(host.ui.messages[0].caption, "Error");
    }
    EXPECT_NE(host.Log().find("Error:\tImport failed!\n"), std::string::npos);
    // A block the file does not hold never replaces the node's controller.
    EXPECT_EQ(node.GetTMController()->GetPositionController(), nullptr);
  }

  AnimHost host;
  ASSERT_EQ(Import(host, host.Path("absent.manm")), 1);
  ASSERT_EQ(host.ui.messages.size(), 2u);
  EXPECT_EQ(host.ui.messages[0].text, "Can't open file: " + host.Path("absent.manm") + "\n");
  EXPECT_EQ(host.ui.messages[1].text, "Can't load file!");
}

TEST(KeyImport, NewerConfigurationDoesNothing) {
  AnimHost host;
  support::WriteFileAtomic(host.dir + "/cfg/keyImport.cfg", std::vector<uint8_t>{2, 0, 0, 0, 0, '\n'});
  EXPECT_EQ(Import(host, host.Path("x.manm")), 0);
  EXPECT_TRUE(host.ui.messages.empty());
  EXPECT_FALSE(support::FileExists(host.dir + "/logs/keyImport.log"));
}

}  // namespace
}  // namespace vorlan::keyimport
