// The editor's commands, the keys that give them and the tool bar that shows them. The window
// and the tests share these tables, so a key does in a test exactly what it does on screen.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace vorlan::mapwright {

enum class Command {
  ToolMove,
  ToolRotate,
  ToolScale,
  Rotate90Left,
  Rotate90Right,
  FlipAroundY,
  FlipAroundX,
  ToggleVertexMode,
  ToggleWeldOnTarget,
  MergeVertices,
  ToolPan,
  ToolZoom,
  SaveTexture,
  UpdateUVWs,
  ToolPen,
  MoveLeft,
  MoveUp,
  MoveRight,
  MoveDown,
  ZoomIn,
  ZoomOut,
  QuickMode,
  Undo,
  Redo,
  MoveToOrigin,
  TexelsFromSelection,
};

// Keys by what is printed on them; the window translates its toolkit's key codes to these.
enum class Key {
  A,
  B,
  C,
  D,
  E,
  F,
  G,
  H,
  I,
  J,
  K,
  L,
  M,
  N,
  O,
  P,
  Q,
  R,
  S,
  T,
  U,
  V,
  W,
  X,
  Y,
  Z,
  Comma,
  Period,
  LeftBracket,
  RightBracket,
  Left,
  Up,
  Right,
  Down,
  NumpadPlus,
  NumpadMinus,
  Numpad0,
  Numpad1,
  Other,
};

struct KeyBinding {
  Key key;
  Command command;
};
std::span<const KeyBinding> KeyMap();
std::optional<Command> CommandForKey(Key key);

// Tool bar buttons in order, with their tool tips ("Save Texture" has no key).
struct ToolButton {
  Command command;
  std::string_view tip;
};
std::span<const ToolButton> ToolBar();

// The scale button's drop-down menu, in the order of ScaleKind.
std::span<const std::string_view> ScaleMenu();

}  // namespace vorlan::mapwright
