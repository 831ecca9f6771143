#include "mapwright/keymap.h"

#include <algorithm>

namespace vorlan::mapwright {

namespace {

constexpr KeyBinding kKeys[] = {
    {Key::M, Command::ToolMove},
    {Key::R, Command::ToolRotate},
    {Key::S, Command::ToolScale},
    {Key::Comma, Command::Rotate90Left},
    {Key::Period, Command::Rotate90Right},
    {Key::Y, Command::FlipAroundY},
    {Key::X, Command::FlipAroundX},
    {Key::V, Command::ToggleVertexMode},
    {Key::W, Command::ToggleWeldOnTarget},
    {Key::G, Command::MergeVertices},
    {Key::P, Command::ToolPan},
    {Key::Z, Command::ToolZoom},
    {Key::U, Command::UpdateUVWs},
    {Key::N, Command::ToolPen},
    {Key::Left, Command::MoveLeft},
    {Key::Up, Command::MoveUp},
    {Key::Right, Command::MoveRight},
    {Key::Down, Command::MoveDown},
    {Key::NumpadPlus, Command::ZoomIn},
    {Key::NumpadMinus, Command::ZoomOut},
    {Key::Q, Command::QuickMode},
    {Key::LeftBracket, Command::Undo},
    {Key::RightBracket, Command::Redo},
    {Key::Numpad0, Command::MoveToOrigin},
    {Key::Numpad1, Command::TexelsFromSelection},
};

constexpr ToolButton kToolBar[] = {
    {Command::ToolMove, "Move (M)"},
    {Command::ToolRotate, "Rotate (R)"},
    {Command::ToolScale, "Scale (S)"},
    {Command::Rotate90Left, "Rotate 90\xC2\xB0 Left (,)"},
    {Command::Rotate90Right, "Rotate 90\xC2\xB0 Right (.)"},
    {Command::FlipAroundY, "Flip around Y-axis (Y)"},
    {Command::FlipAroundX, "Flip around X-axis (X)"},
    {Command::ToggleVertexMode, "Vertex-Mode (V)"},
    {Command::ToggleWeldOnTarget, "Weld On Target (W)"},
    {Command::MergeVertices, "Merge Vertices (G)"},
    {Command::ToolPan, "Pan Texture (P)"},
    {Command::ToolZoom, "Zoom Texture (Z)"},
    {Command::SaveTexture, "Save Texture"},
    {Command::UpdateUVWs, "Update Max UVWs (U)"},
    {Command::ToolPen, "Pen (N)"},
};

constexpr std::string_view kScaleMenu[] = {"Uniform scale", "Non-Uniform Horizontal", "Non-Uniform Vertical"};

}  // namespace

std::span<const KeyBinding> KeyMap() { return kKeys; }

std::optional<Command> CommandForKey(Key key) {
  auto it =
      std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyBinding& b) { return b.key == key; });
  if (it == std::end(kKeys)) return std::nullopt;
  return it->command;
}

std::span<const ToolButton> ToolBar() { return kToolBar; }
std::span<const std::string_view> ScaleMenu() { return kScaleMenu; }

}  // namespace vorlan::mapwright
