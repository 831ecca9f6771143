#include "mapwright/session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mapwright/image_files.h"
#include "mapwright/uv_writeback.h"

namespace vorlan::mapwright {

namespace {

host::Node* FindSelected(host::Node* node) {
  if (!node) return nullptr;
  if (!node->IsRootNode() && node->Selected()) return node;
  for (int i = 0; i < node->NumberOfChildren(); ++i)
    if (host::Node* found = FindSelected(node->GetChildNode(i))) return found;
  return nullptr;
}

}  // namespace

host::Node* FirstSelectedNode(host::Interface& ip) { return FindSelected(ip.GetRootNode()); }

host::Mesh* EditableMesh(host::Node* node) {
  host::Object* object = node ? node->EvalWorldState(0) : nullptr;
  return object ? object->GetEditableMesh() : nullptr;
}

bool EdgeShown(const UvFace& face, int edge, bool showInvisibleEdges) {
  return showInvisibleEdges || (face.flags & (1u << edge)) != 0;
}

void Session::Show(const Message& m) {
  ip_.UI().MessageBox({.text = m.text,
                       .caption = m.caption,
                       .icon = m.caption == "Error" ? host::Icon::Error : host::Icon::Information});
}

void Session::RedrawHostViews() { ip_.RedrawViews(); }

UvTexture Session::LoadTexture(host::Texmap* map) {
  UvTexture t;
  t.texmap = map;
  t.name = map->GetName();
  t.fileName = map->GetMapFileName();
  const host::UVGenState* gen = map->GetUVGen();
  t.mapChannel = gen && gen->mapChannel >= 1 && gen->mapChannel <= kMaxMapChannel ? gen->mapChannel : 1;
  Image* image = images.Find(t.fileName);
  if (!image && !t.fileName.empty())
    if (std::optional<Image> loaded = LoadImageFile(t.fileName, ip_.UI()))
      image = &images.Add(std::move(*loaded));
  if (image) {
    t.image = image;
    t.width = image->width;
    t.height = image->height;
  }
  return t;
}

bool Session::Reload() { return ReloadNode(FirstSelectedNode(ip_)); }

bool Session::ReloadNode(host::Node* node) {
  if (UvTexture* t = editor.CurrentTexture()) mapChannel_ = t->mapChannel;
  editor = UvEditor{};
  images.Clear();
  node_ = node;
  if (!node_) {
    Show({"Select object to texture, please.", "Info"});
    return false;
  }
  host::Object* object = node_->EvalWorldState(0);
  std::optional<host::Mesh> mesh = object ? object->ConvertToTriMesh(0) : std::nullopt;
  if (!mesh) {
    Show({"Select faces, please.", "Info"});
    return false;
  }
  BuildOptions options{MapMethod(settings_.method), settings_.planarAxis, mapChannel_};
  FaceListResult built = BuildFaceList(*mesh, node_->GetObjTMAfterWSM(0), node_->GetMtl(), options);
  if (built.message) {
    Show(*built.message);
    return false;
  }
  editor.model.faces = std::move(built.faces);
  editor.model.method = options.method;
  editor.model.planarAxis = options.planarAxis;
  editor.model.mapChannel = options.mapChannel;
  BuildGroups(
      editor.model, settings_.texels, [&](host::Texmap* map) { return LoadTexture(map); }, &*mesh);
  return true;
}

bool Session::SetMethod(MapMethod method, int axis) {
  settings_.method = int(method);
  if (axis >= 0 && axis <= 2) settings_.planarAxis = axis;
  return Reload();
}

bool Session::UpdateUVWs() {
  host::Mesh* mesh = EditableMesh(node_);
  if (!mesh || !editor.Valid()) return false;
  if (!WriteBack(editor.model, editor.group, editor.texture, *mesh)) return false;
  RedrawHostViews();
  return true;
}

bool Session::SaveTexture() {
  UvTexture* t = editor.CurrentTexture();
  if (!t || !t->image) return false;
  if (!SaveImageFile(*t->image, {settings_.createBackups, settings_.numberOfBackups}, ip_.UI())) return false;
  // The host's views take their textures from the files: redrawn, they show the saved one.
  RedrawHostViews();
  return true;
}

void Session::ChooseTool(Tool t) {
  tool = tool == t ? Tool::None : t;
  quickMode = false;
}

void Session::Execute(Command command, Modifiers mods) {
  double step = MoveStep(mods.shift);
  switch (command) {
    case Command::ToolMove:
      return ChooseTool(Tool::Move);
    case Command::ToolRotate:
      return ChooseTool(Tool::Rotate);
    case Command::ToolScale:
      return ChooseTool(Tool::Scale);
    case Command::ToolPan:
      return ChooseTool(Tool::Pan);
    case Command::ToolZoom:
      return ChooseTool(Tool::Zoom);
    case Command::ToolPen:
      return ChooseTool(Tool::Pen);
    case Command::Rotate90Left:
      editor.Rotate90Left();
      return;
    case Command::Rotate90Right:
      editor.Rotate90Right();
      return;
    case Command::FlipAroundY:
      editor.FlipAroundY();
      return;
    case Command::FlipAroundX:
      editor.FlipAroundX();
      return;
    case Command::ToggleVertexMode:
      editor.vertexMode = !editor.vertexMode;
      return;
    case Command::ToggleWeldOnTarget:
      editor.weldOnTarget = !editor.weldOnTarget;
      return;
    case Command::MergeVertices:
      editor.Merge();
      return;
    case Command::SaveTexture:
      SaveTexture();
      return;
    case Command::UpdateUVWs:
      UpdateUVWs();
      return;
    case Command::MoveLeft:
      editor.Translate(-step, 0);
      return;
    case Command::MoveUp:
      editor.Translate(0, -step);
      return;
    case Command::MoveRight:
      editor.Translate(step, 0);
      return;
    case Command::MoveDown:
      editor.Translate(0, step);
      return;
    case Command::ZoomIn:
      view.ZoomIn();
      return;
    case Command::ZoomOut:
      view.ZoomOut();
      return;
    case Command::QuickMode:
      quickMode = true;
      return;
    case Command::Undo:
      editor.Undo();
      return;
    case Command::Redo:
      editor.Redo();
      return;
    case Command::MoveToOrigin:
      editor.MoveToOrigin();
      return;
    case Command::TexelsFromSelection:
      editor.TexelsFromSelection();
      return;
  }
}

bool Session::HandleKey(Key key, Modifiers mods, bool focusInField) {
  if (focusInField) return false;
  std::optional<Command> command = CommandForKey(key);
  if (!command) return false;
  Execute(*command, mods);
  return true;
}

int Session::TextureHeight() {
  UvTexture* t = editor.CurrentTexture();
  return t ? t->height : UvTexture::kStandInSize;
}

bool Session::Near(double u, double v, int x, int y) {
  double cx = 0, cy = 0;
  view.TextureToView(u, v, TextureHeight(), cx, cy);
  return std::fabs(cx - x) <= kPickRadius && std::fabs(cy - y) <= kPickRadius;
}

int Session::PickAt(int x, int y, bool add) {
  return editor.Pick([&](double u, double v) { return Near(u, v, x, y); }, add);
}

void Session::MouseDown(MouseButton button, int x, int y, Modifiers mods) {
  held_ = button;
  lastX_ = x;
  lastY_ = y;
  UvTexture* t = editor.CurrentTexture();
  if (tool == Tool::Pen && button == MouseButton::Left && !quickMode) {
    penDown_ = t && t->image;
    if (penDown_) {
      view.ViewToImage(x, y, penX_, penY_);
      DrawLine(*t->image, penX_, penY_, penX_, penY_, settings_.lineColor);
    }
    return;
  }
  bool picks =
      tool == Tool::None || tool == Tool::Move || tool == Tool::Rotate || tool == Tool::Scale || quickMode;
  if (button == MouseButton::Left && picks) {
    // A click on a selected corner keeps the selection, so that it can be dragged as a whole;
    // Ctrl adds to it (outside quick mode, where Ctrl scales).
    bool onSelected = false;
    if (UvGroup* g = editor.CurrentGroup(); g && editor.Valid())
      for (int f : g->faces)
        for (const UvCorner& c : editor.model.faces[std::size_t(f)].textures[std::size_t(editor.texture)])
          onSelected = onSelected || (c.selected && Near(c.u, c.v, x, y));
    if (!onSelected) PickAt(x, y, mods.ctrl && !quickMode);
  }
  editor.BeginDrag();
}

void Session::MouseMove(int x, int y, Modifiers mods) {
  view.ViewToTexture(x, y, TextureHeight(), cursorU_, cursorV_);
  if (!held_) return;
  int dx = x - lastX_, dy = y - lastY_;
  lastX_ = x;
  lastY_ = y;
  if (penDown_) {
    int px = 0, py = 0;
    view.ViewToImage(x, y, px, py);
    DrawLine(*editor.CurrentTexture()->image, penX_, penY_, px, py, settings_.lineColor);
    penX_ = px;
    penY_ = py;
    return;
  }
  Drag(dx, dy, mods);
}

void Session::MouseUp(MouseButton button, int x, int y, Modifiers mods) {
  if (!held_ || *held_ != button) return;
  MouseMove(x, y, mods);
  held_.reset();
  if (penDown_) {
    penDown_ = false;
    return;
  }
  editor.EndDrag();
}

void Session::Drag(int dx, int dy, Modifiers mods) {
  DragStep s = MouseDragStep(tool, scaleKind, quickMode, *held_, mods, dx, dy);
  UvTexture* t = editor.CurrentTexture();
  switch (s.kind) {
    case DragStep::None:
      return;
    case DragStep::Translate:
      editor.Translate(s.dx, s.dy);
      return;
    case DragStep::Rotate:
      editor.RotateZ(s.angle);
      return;
    case DragStep::Scale:
      editor.ScaleToTexels(float(editor.CurrentTexels() + s.texelsDelta), s.scaleKind != ScaleKind::Vertical,
                           s.scaleKind != ScaleKind::Horizontal);
      return;
    case DragStep::Pan:
      view.Pan(s.dx, s.dy, t ? t->width : 0, t ? t->height : 0);
      return;
    case DragStep::Zoom:
      view.ZoomBy(s.zoomDelta);
      return;
  }
}

void Session::EnterTexels(const std::string& text) {
  if (std::optional<Message> m = editor.SetTexelsText(text)) Show(*m);
}

void Session::EnterOutputFactor(const std::string& text) {
  std::optional<float> f = ParseNumberField(text);
  if (!f) return Show({"Wrong number format"});
  UvTexture* t = editor.CurrentTexture();
  if (!t) return;
  t->outputFactor = *f;
  UpdateUVWs();
}

void Session::EnterMapChannel(const std::string& text) {
  int channel = std::atoi(text.c_str());
  if (channel < 1 || channel > kMaxMapChannel) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Only values in interval 1 - %d are valid.", kMaxMapChannel);
    return Show({buf});
  }
  host::Mesh* mesh = EditableMesh(node_);
  if (mesh && !mesh->HasMap(channel)) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "The Mapping channel %d does not exist. Would you like to create it ?",
                  channel);
    host::Answer a = ip_.UI().MessageBox({.text = buf,
                                          .caption = "Create MapChannel?",
                                          .buttons = host::Buttons::YesNoCancel,
                                          .icon = host::Icon::Question});
    if (a == host::Answer::Cancel) return;
    if (a == host::Answer::Yes) EnableMapChannel(*mesh, channel);
  }
  if (UvTexture* t = editor.CurrentTexture()) t->mapChannel = channel;
  mapChannel_ = channel;
  RedrawHostViews();
}

std::string Session::TexelsText() { return FormatTexels(editor.CurrentTexels()); }

std::string Session::OutputFactorText() {
  UvTexture* t = editor.CurrentTexture();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", double(t ? t->outputFactor : 1.0f));
  return buf;
}

std::string Session::SizeText() {
  UvTexture* t = editor.CurrentTexture();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d x %d", t ? t->width : 0, t ? t->height : 0);
  return buf;
}

int Session::MapChannel() {
  UvTexture* t = editor.CurrentTexture();
  return t ? t->mapChannel : mapChannel_;
}

void Session::ShowOptions() { RunOptionsDialog(ip_.UI(), settings_); }

}  // namespace vorlan::mapwright
