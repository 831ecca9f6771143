// One editing session of the Mapwright window, without the window: it builds the faces from
// the host, runs the commands of the tool bar and the keys, follows the mouse, reads the
// number fields, writes the coordinates back and saves the texture. A window draws it and
// forwards its input; the tests and the command line drive it directly.
#pragma once

#include <optional>
#include <string>

#include "host/interface.h"
#include "mapwright/image.h"
#include "mapwright/keymap.h"
#include "mapwright/settings.h"
#include "mapwright/uv_editor.h"
#include "mapwright/uv_view.h"

namespace vorlan::mapwright {

inline constexpr const char* kWindowTitle = "Vorlan Mapwright! v0.8";
inline constexpr int kMaxMapChannel = 99;

// The first selected node, depth first from the scene's root; null when none is.
host::Node* FirstSelectedNode(host::Interface& ip);
// The mesh a node's object lets the host edit in place, or null.
host::Mesh* EditableMesh(host::Node* node);
// Whether a face's edge (0: 0-1, 1: 1-2, 2: 2-0) is drawn.
bool EdgeShown(const UvFace& face, int edge, bool showInvisibleEdges);

class Session {
 public:
  // Both are borrowed for the session's life; the settings are the rollup's.
  Session(host::Interface& ip, Settings& settings) : ip_(ip), settings_(settings) {}

  UvEditor editor;
  TextureView view;
  ImageList images;
  Tool tool = Tool::None;
  ScaleKind scaleKind = ScaleKind::Uniform;
  bool quickMode = false;

  host::Node* Node() const { return node_; }
  Settings& GetSettings() { return settings_; }

  // Builds everything anew from the host ("R\nE\nL\nO\nA\nD"): the selected node's selected
  // faces by the settings' method, their groups, textures and pictures. Messages go to the
  // user; false when there is nothing to edit.
  bool Reload();
  // The same for a given node, selected or not.
  bool ReloadNode(host::Node* node);
  // The method and axis radio buttons: stored in the settings, then a reload.
  bool SetMethod(MapMethod method, int axis);
  // "Update Max UVWs": the current texture's coordinates into the mesh; the views redrawn.
  bool UpdateUVWs();
  // "Save Texture": the current texture's picture to its file (with a backup when asked).
  bool SaveTexture();

  // A tool chosen again is put down; choosing any tool ends quick mode.
  void ChooseTool(Tool t);
  void Execute(Command command, Modifiers mods = {});
  // Keys are ignored while an edit field or list of the window has the keyboard. Returns
  // whether the key gave a command.
  bool HandleKey(Key key, Modifiers mods, bool focusInField = false);

  // The texture view's mouse, in view pixels.
  void MouseDown(MouseButton button, int x, int y, Modifiers mods);
  void MouseMove(int x, int y, Modifiers mods);
  void MouseUp(MouseButton button, int x, int y, Modifiers mods);
  // Selects the corners of the current texture in the 7 x 7 pixel box around a view point;
  // without `add` the others are deselected. Returns how many.
  int PickAt(int x, int y, bool add = false);

  // Number fields, confirmed with Enter.
  void EnterTexels(const std::string& text);
  void EnterOutputFactor(const std::string& text);
  void EnterMapChannel(const std::string& text);

  // What the window's fields show.
  std::string TexelsText();
  std::string OutputFactorText();
  std::string SizeText();
  std::string FacesCountText() const { return std::to_string(editor.model.faces.size()); }
  std::string QuickModeText() const { return quickMode ? "On" : "Off"; }
  int MapChannel();
  // The channel the host's mapping is read from at the next reload.
  void SetMapChannel(int channel) { mapChannel_ = channel; }
  // The cursor in texture space ("U:", "V:").
  double CursorU() const { return cursorU_; }
  double CursorV() const { return cursorV_; }

  // "&Options": the options dialog over the settings.
  void ShowOptions();

 private:
  void Show(const Message& m);
  UvTexture LoadTexture(host::Texmap* map);
  void Drag(int dx, int dy, Modifiers mods);
  void RedrawHostViews();
  int TextureHeight();
  // Whether a texture-space point lies in the picking box around a view point.
  bool Near(double u, double v, int x, int y);

  host::Interface& ip_;
  Settings& settings_;
  host::Node* node_ = nullptr;
  int mapChannel_ = 1;
  std::optional<MouseButton> held_;
  bool penDown_ = false;
  int lastX_ = 0, lastY_ = 0;
  int penX_ = 0, penY_ = 0;
  double cursorU_ = 0, cursorV_ = 0;
};

}  // namespace vorlan::mapwright
