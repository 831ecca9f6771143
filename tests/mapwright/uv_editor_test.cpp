#include "mapwright/uv_editor.h"

#include <gtest/gtest.h>

#include <random>

namespace mw = vorlan::mapwright;

namespace {

using Pt = std::pair<double, double>;

// One group with one texture of the given size; each face's corners at the given pixels.
mw::UvEditor Editor(const std::vector<std::array<Pt, 3>>& faces, int width = 64, int height = 64) {
  mw::UvEditor e;
  mw::UvGroup g;
  g.textures.push_back({.width = width, .height = height});
  for (std::size_t f = 0; f < faces.size(); ++f) {
    mw::UvFace face;
    face.faceIndex = int(f);
    mw::TextureSet set;
    for (int k = 0; k < 3; ++k) set[k] = {faces[f][k].first, faces[f][k].second, false};
    face.textures.push_back(set);
    e.model.faces.push_back(face);
    g.faces.push_back(int(f));
  }
  e.model.groups.push_back(g);
  return e;
}

mw::UvCorner& C(mw::UvEditor& e, int face, int corner) { return e.model.faces[face].textures[0][corner]; }

std::vector<Pt> All(mw::UvEditor& e) {
  std::vector<Pt> out;
  for (auto& f : e.model.faces)
    for (auto& c : f.textures[0]) out.emplace_back(c.u, c.v);
  return out;
}

void ExpectNear(mw::UvEditor& e, const std::vector<Pt>& want, double tol = 1e-5) {
  auto got = All(e);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_NEAR(got[i].first, want[i].first, tol) << "corner " << i;
    EXPECT_NEAR(got[i].second, want[i].second, tol) << "corner " << i;
  }
}

// A unit square in pixels as two triangles.
mw::UvEditor UnitSquare() { return Editor({{{{0, 0}, {1, 0}, {1, 1}}}, {{{0, 0}, {1, 1}, {0, 1}}}}); }

}  // namespace

TEST(UvEditor, QuarterTurnsOfAUnitSquareTurnClockwiseOnScreenAboutItsCentre) {
  mw::UvEditor e = UnitSquare();
  // Texture y grows downwards, so a turn to the right takes (0, 0) to (1, 0).
  ASSERT_TRUE(e.Rotate90Right());
  ExpectNear(e, {{1, 0}, {1, 1}, {0, 1}, {1, 0}, {0, 1}, {0, 0}});
  e.Rotate90Left();
  ExpectNear(e, {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}});
  for (int i = 0; i < 4; ++i) e.Rotate90Right();
  ExpectNear(e, {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}});
}

TEST(UvEditor, FlipsMirrorAboutTheCentreExactly) {
  mw::UvEditor e = Editor({{{{10, 20}, {30, 20}, {10, 60}}}});
  auto start = All(e);
  e.FlipAroundY();
  EXPECT_EQ(All(e), (std::vector<Pt>{{30, 20}, {10, 20}, {30, 60}}));
  e.FlipAroundY();
  EXPECT_EQ(All(e), start);
  e.FlipAroundX();
  EXPECT_EQ(All(e), (std::vector<Pt>{{10, 60}, {30, 60}, {10, 20}}));
}

TEST(UvEditor, VertexModeActsOnSelectedCornersOnly) {
  mw::UvEditor e = UnitSquare();
  e.vertexMode = true;
  EXPECT_FALSE(e.Translate(5, 5));  // nothing selected, nothing moves
  C(e, 0, 1).selected = true;
  ASSERT_TRUE(e.Translate(2, -3));
  EXPECT_EQ(All(e), (std::vector<Pt>{{0, 0}, {3, -3}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}));
  // The rectangle of a single corner is that corner: a rotation leaves it where it is.
  e.Rotate90Right();
  EXPECT_NEAR(C(e, 0, 1).u, 3, 1e-9);
  e.vertexMode = false;
  auto r = e.Selection();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->minY, -3);
  EXPECT_EQ(r->maxX, 3);
}

TEST(UvEditor, UndoAndRedoReturnToExactCoordinates) {
  mw::UvEditor e =
      Editor({{{{0.1, 0.7}, {13.3, 2.9}, {5.5, 11.1}}}, {{{13.3, 2.9}, {20.25, 3}, {5.5, 11.1}}}});
  auto start = All(e);
  std::mt19937 rng(5);
  std::vector<std::vector<Pt>> states{start};
  for (int i = 0; i < 40; ++i) {
    switch (rng() % 5) {
      case 0:
        e.Rotate90Right();
        break;
      case 1:
        e.RotateZ(0.0137f * float(rng() % 50 + 1));
        break;
      case 2:
        e.ScaleBy(1.03, 0.97);
        break;
      case 3:
        e.Translate(0.1, -0.3);
        break;
      case 4:
        e.ApplyTexels(e.CurrentTexels() * 1.7f);
        break;
    }
    states.push_back(All(e));
  }
  for (int i = 40; i > 0; --i) {
    ASSERT_TRUE(e.Undo());
    ASSERT_EQ(All(e), states[i - 1]) << "after undoing step " << i;
  }
  EXPECT_FALSE(e.Undo());
  EXPECT_EQ(e.CurrentTexels(), 1.0f);
  for (int i = 1; i <= 40; ++i) {
    ASSERT_TRUE(e.Redo());
    ASSERT_EQ(All(e), states[i]);
  }
  EXPECT_FALSE(e.Redo());
  // A new step after undoing drops what could have been redone.
  e.Undo();
  e.Translate(1, 1);
  EXPECT_FALSE(e.Redo());
}

TEST(UvEditor, MergeMovesSelectedCornersOntoTheFirstInListOrder) {
  mw::UvEditor e = Editor({{{{10, 10}, {99, 0}, {20, 20}}}, {{{30, 30}, {50, 50}, {60, 60}}}});
  EXPECT_FALSE(e.Merge());
  C(e, 0, 2).selected = C(e, 0, 0).selected = C(e, 1, 0).selected = true;
  ASSERT_TRUE(e.Merge());
  EXPECT_EQ(All(e), (std::vector<Pt>{{10, 10}, {99, 0}, {10, 10}, {10, 10}, {50, 50}, {60, 60}}));
  e.Undo();
  EXPECT_EQ(C(e, 1, 0).u, 30);
}

TEST(UvEditor, WeldPullsTheNearestCornerThatDiffersInBothDirections) {
  // P = (10, 10); (12, 10) shares P's v and is no candidate; (11, 11) is nearest (2 <= 3).
  mw::UvEditor e = Editor({{{{10, 10}, {12, 10}, {11, 11}}}, {{{11, 11}, {12, 12}, {40, 40}}}});
  C(e, 0, 0).selected = true;
  ASSERT_TRUE(e.WeldOnTarget());
  EXPECT_EQ(All(e), (std::vector<Pt>{{10, 10}, {12, 10}, {10, 10}, {10, 10}, {12, 12}, {40, 40}}));

  // The nearest other corner is (12, 12) at squared distance 8: too far, nothing changes.
  mw::UvEditor far = Editor({{{{10, 10}, {12, 10}, {12, 12}}}});
  C(far, 0, 0).selected = true;
  EXPECT_FALSE(far.WeldOnTarget());
  EXPECT_EQ(C(far, 0, 2).u, 12);
}

TEST(UvEditor, DragsWeldAtTheirEndAndUndoAsOneStep) {
  mw::UvEditor e = Editor({{{{0, 0}, {20, 20}, {40, 0}}}, {{{20, 20}, {23, 22}, {40, 40}}}});
  e.vertexMode = e.weldOnTarget = true;
  C(e, 1, 1).selected = true;  // (23, 22), dragged towards (20, 20)
  e.BeginDrag();
  e.Translate(-1, 0);
  e.Translate(-1, -1);
  e.EndDrag();
  // (21, 21) is within reach of (20, 20), which moves onto it.
  EXPECT_EQ(C(e, 1, 1).u, 21);
  EXPECT_EQ(C(e, 0, 1).u, 21);
  EXPECT_EQ(C(e, 1, 0).v, 21);
  EXPECT_EQ(e.history.Size(), 2u);  // the drag and the weld
  e.Undo();
  e.Undo();
  EXPECT_EQ(C(e, 1, 1).u, 23);
  EXPECT_EQ(C(e, 0, 1).u, 20);
}

TEST(UvEditor, TexelsScaleTheSelectionAboutItsCentre) {
  mw::UvEditor e = Editor({{{{10, 10}, {20, 10}, {10, 30}}}}, 64, 32);
  EXPECT_EQ(mw::FormatTexels(e.CurrentTexels()), "1.00000");
  EXPECT_FALSE(e.SetTexelsText("2"));
  EXPECT_EQ(All(e), (std::vector<Pt>{{5, 0}, {25, 0}, {5, 40}}));
  EXPECT_EQ(mw::FormatTexels(e.CurrentTexels()), "2.00000");
  for (const char* bad : {"abc", "0", "0.0", "", "inf", "nan"}) {
    auto m = e.SetTexelsText(bad);
    ASSERT_TRUE(m) << bad;
    EXPECT_EQ(m->text, "Wrong number format");
  }
  EXPECT_EQ(e.CurrentTexels(), 2.0f);

  // Texels from the selection: the 20 x 40 selection fills a 64 x 32 texture at ratio
  // max(64 / 20, 32 / 40) = 3.2, so the texels become 6.4 and the selection grows 3.2 times.
  auto t = e.TexelsFromSelection();
  ASSERT_TRUE(t);
  EXPECT_FLOAT_EQ(*t, 6.4f);
  auto r = *e.Selection();
  EXPECT_NEAR(r.Width(), 64, 1e-4);

  mw::UvEditor flat = Editor({{{{1, 5}, {1, 5}, {1, 5}}}});
  EXPECT_FALSE(flat.TexelsFromSelection());
}

TEST(UvEditor, MovingToTheOriginAndScaleDragsStayFinite) {
  mw::UvEditor e = Editor({{{{-5, 7}, {3, 9}, {1, 12}}}});
  e.MoveToOrigin();
  auto r = *e.Selection();
  EXPECT_EQ(r.minX, 0);
  EXPECT_EQ(r.minY, 0);
  // A drag that would bring the texels value to nothing is refused.
  EXPECT_FALSE(e.ScaleToTexels(0.0f, true, true));
  EXPECT_TRUE(e.ScaleToTexels(2.0f, true, false));
  r = *e.Selection();
  EXPECT_EQ(r.Width(), 16);
  EXPECT_EQ(r.Height(), 5);
}
