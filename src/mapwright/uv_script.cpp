#include "mapwright/uv_script.h"

#include <charconv>
#include <cmath>

#include "mapwright/session.h"

namespace vorlan::mapwright {

namespace {

bool ParseDouble(std::string_view text, double& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

// "A,B" into two numbers; `single` allows one number for both.
bool ParsePair(std::string_view text, double& a, double& b, bool single) {
  std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return single && ParseDouble(text, a) && (b = a, true);
  return ParseDouble(text.substr(0, comma), a) && ParseDouble(text.substr(comma + 1), b);
}

struct MapName {
  std::string_view name;
  MapMethod method;
  int axis;
};
constexpr MapName kMaps[] = {{"planar-x", MapMethod::Planar, 0},
                             {"planar-y", MapMethod::Planar, 1},
                             {"planar-z", MapMethod::Planar, 2},
                             {"mesh", MapMethod::Mesh, 0},
                             {"unfold", MapMethod::Unfold, 0}};

}  // namespace

bool UvOperationTakesValue(std::string_view name) {
  return name == "rotate90" || name == "flip" || name == "move" || name == "scale" || name == "texels";
}

std::optional<UvOperation> ParseUvOperation(std::string_view name, std::string_view value,
                                            std::string& error) {
  UvOperation op{UvOperation::Merge};
  if (name == "rotate90") {
    if (value == "left") return UvOperation{UvOperation::Rotate90Left};
    if (value == "right") return UvOperation{UvOperation::Rotate90Right};
    error = "--rotate90 takes left or right";
  } else if (name == "flip") {
    if (value == "u") return UvOperation{UvOperation::FlipU};
    if (value == "v") return UvOperation{UvOperation::FlipV};
    error = "--flip takes u or v";
  } else if (name == "move") {
    op.kind = UvOperation::Move;
    if (ParsePair(value, op.x, op.y, false)) return op;
    error = "--move takes DX,DY in pixels";
  } else if (name == "scale") {
    op.kind = UvOperation::Scale;
    if (ParsePair(value, op.x, op.y, true) && op.x != 0 && op.y != 0) return op;
    error = "--scale takes SX,SY (or one factor), not 0";
  } else if (name == "texels") {
    op.kind = UvOperation::Texels;
    if (ParseDouble(value, op.x) && float(op.x) != 0.0f) return op;
    error = "--texels takes a number other than 0";
  } else if (name == "merge") {
    return op;
  } else if (name == "to-origin") {
    return UvOperation{UvOperation::ToOrigin};
  } else if (name == "fit") {
    return UvOperation{UvOperation::Fit};
  } else {
    error = "no operation --" + std::string(name);
  }
  return std::nullopt;
}

bool ApplyUvOperation(UvEditor& e, const UvOperation& op) {
  switch (op.kind) {
    case UvOperation::Rotate90Left:
      return e.Rotate90Left();
    case UvOperation::Rotate90Right:
      return e.Rotate90Right();
    case UvOperation::FlipU:
      return e.FlipAroundY();
    case UvOperation::FlipV:
      return e.FlipAroundX();
    case UvOperation::Move:
      return e.Translate(op.x, op.y);
    case UvOperation::Scale:
      return e.ScaleBy(op.x, op.y);
    case UvOperation::Texels:
      return e.ApplyTexels(float(op.x));
    case UvOperation::ToOrigin:
      return e.MoveToOrigin();
    case UvOperation::Fit:
      return e.TexelsFromSelection().has_value();
    case UvOperation::Merge: {
      if (!e.Valid()) return false;
      for (int f : e.CurrentGroup()->faces)
        for (UvCorner& c : e.model.faces[std::size_t(f)].textures[std::size_t(e.texture)]) c.selected = true;
      return e.Merge();
    }
  }
  return false;
}

std::optional<std::vector<int>> ParseFaceList(std::string_view text, int faceCount) {
  std::vector<int> out;
  while (!text.empty()) {
    std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    std::size_t dash = item.find('-');
    long long a = 0, b = 0;
    auto number = [](std::string_view s, long long& v) {
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      return !s.empty() && ec == std::errc() && end == s.data() + s.size() && v >= 0;
    };
    if (!number(item.substr(0, dash), a)) return std::nullopt;
    b = a;
    if (dash != std::string_view::npos && !number(item.substr(dash + 1), b)) return std::nullopt;
    if (b < a || b >= faceCount) return std::nullopt;
    for (long long f = a; f <= b; ++f) out.push_back(int(f));
  }
  if (out.empty()) return std::nullopt;
  return out;
}

UvScriptResult RunUvScript(host::Interface& ip, const UvScript& script) {
  UvScriptResult r;
  const MapName* map = nullptr;
  for (const MapName& m : kMaps)
    if (m.name == script.map) map = &m;
  if (!map)
    return r.error = "no mapping \"" + script.map + "\" (planar-x, planar-y, planar-z, mesh, unfold)", r;
  host::Node* node = ip.GetINodeByName(script.node);
  if (!node) return r.error = "no node \"" + script.node + "\" in the scene", r;
  host::Mesh* mesh = EditableMesh(node);
  if (!mesh) return r.error = "node \"" + script.node + "\" is not an editable mesh", r;

  std::vector<uint8_t> keptSelection = mesh->faceSel;
  std::vector<uint8_t> selection(mesh->faces.size(), 0);
  if (script.faces == "all") {
    selection.assign(mesh->faces.size(), 1);
  } else if (script.faces == "selected") {
    for (std::size_t f = 0; f < selection.size() && f < keptSelection.size(); ++f)
      selection[f] = keptSelection[f] ? 1 : 0;
  } else {
    auto list = ParseFaceList(script.faces, mesh->NumFaces());
    if (!list)
      return r.error =
                 "--faces takes all, selected or face numbers below " + std::to_string(mesh->NumFaces()),
             r;
    for (int f : *list) selection[std::size_t(f)] = 1;
  }
  mesh->faceSel = selection;

  Settings settings;
  settings.method = int(map->method);
  settings.planarAxis = map->axis;
  Session session(ip, settings);
  session.SetMapChannel(script.mapChannel);
  bool built = session.ReloadNode(node);
  if (built) {
    for (std::size_t g = 0; g < session.editor.model.groups.size(); ++g) {
      session.editor.SelectGroup(int(g));
      session.editor.SelectTexture(script.texture);
      if (session.editor.texture != script.texture) continue;  // the group has no such texture
      for (const UvOperation& op : script.operations) ApplyUvOperation(session.editor, op);
      if (session.UpdateUVWs()) ++r.groups;
    }
    r.faces = int(session.editor.model.faces.size());
  }
  mesh = EditableMesh(node);
  mesh->faceSel = keptSelection;
  if (!built) return r.error = "nothing to edit on node \"" + script.node + "\"", r;
  r.ok = true;
  return r;
}

}  // namespace vorlan::mapwright
