#include "desktop/mapwright_view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <QVBoxLayout>

#include "desktop/shot_rows.h"

namespace vorlan::desktop {

using mapwright::Command;
using mapwright::Key;

namespace {

// The picture as the toolkit draws it: the editor keeps bottom-up blue-green-red rows.
QImage ToQImage(const mapwright::Image& image) {
  QImage out(image.width, image.height, QImage::Format_RGB32);
  for (int y = 0; y < image.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < image.width; ++x) {
      const uint32_t c = image.PixelAt(x, y);
      line[x] = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    }
  }
  return out;
}

mapwright::Modifiers ModifiersOf(Qt::KeyboardModifiers m) {
  return {.shift = (m & Qt::ShiftModifier) != 0, .ctrl = (m & Qt::ControlModifier) != 0};
}

std::optional<mapwright::MouseButton> ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return mapwright::MouseButton::Left;
    case Qt::RightButton:
      return mapwright::MouseButton::Right;
    case Qt::MiddleButton:
      return mapwright::MouseButton::Middle;
    default:
      return std::nullopt;
  }
}

// The tool bar's pictures: the letter of the key, or a sign for the buttons without one.
QIcon ToolIcon(std::string_view tip) {
  QPixmap pm(24, 24);
  pm.fill(QColor(235, 235, 235));
  QPainter p(&pm);
  p.setPen(QColor(60, 60, 60));
  p.drawRect(0, 0, 23, 23);
  QString label;
  const std::size_t open = tip.rfind('(');
  if (open != std::string_view::npos && open + 2 < tip.size())
    label = QString::fromUtf8(tip.data() + open + 1, 1);
  else
    label = tip.starts_with("Save") ? "S!" : "?";
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(13);
  p.setFont(f);
  p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, label);
  return QIcon(pm);
}

bool IsToolCommand(Command c) {
  return c == Command::ToolMove || c == Command::ToolRotate || c == Command::ToolScale ||
         c == Command::ToolPan || c == Command::ToolZoom || c == Command::ToolPen ||
         c == Command::ToggleVertexMode || c == Command::ToggleWeldOnTarget;
}

}  // namespace

std::optional<Key> EditorKey(int qtKey, bool keypad) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return Key(int(Key::A) + (qtKey - Qt::Key_A));
  struct Entry {
    int qt;
    bool keypad;
    Key key;
  };
  static constexpr Entry kKeys[] = {
      {Qt::Key_Comma, false, Key::Comma},
      {Qt::Key_Period, false, Key::Period},
      {Qt::Key_BracketLeft, false, Key::LeftBracket},
      {Qt::Key_BracketRight, false, Key::RightBracket},
      {Qt::Key_Left, false, Key::Left},
      {Qt::Key_Up, false, Key::Up},
      {Qt::Key_Right, false, Key::Right},
      {Qt::Key_Down, false, Key::Down},
      {Qt::Key_Plus, true, Key::NumpadPlus},
      {Qt::Key_Minus, true, Key::NumpadMinus},
      {Qt::Key_0, true, Key::Numpad0},
      {Qt::Key_1, true, Key::Numpad1},
  };
  for (const Entry& e : kKeys)
    if (e.qt == qtKey && (e.keypad == keypad || !e.keypad)) return e.key;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// The texture view

TextureWidget::TextureWidget(mapwright::Session& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  setObjectName("TextureWnd");
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(256, 256);
}

void TextureWidget::resizeEvent(QResizeEvent*) { session_.view.SetViewSize(width(), height()); }

void TextureWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const mapwright::Settings& s = session_.GetSettings();
  p.fillRect(rect(), FromColourRef(s.backgroundColor));
  mapwright::UvEditor& ed = session_.editor;
  mapwright::UvTexture* t = ed.CurrentTexture();
  mapwright::UvGroup* g = ed.CurrentGroup();
  if (!t || !g) return;
  const mapwright::TextureView& view = session_.view;
  const int zoom = view.Zoom();
  if (t->image)
    p.drawImage(QRectF(view.OffsetX(), view.OffsetY(), double(t->width) * zoom, double(t->height) * zoom),
                ToQImage(*t->image));

  const QColor line = FromColourRef(s.lineColor), marker = FromColourRef(s.vertexColor);
  auto at = [&](const mapwright::UvCorner& c) {
    double x = 0, y = 0;
    view.TextureToView(c.u, c.v, t->height, x, y);
    return QPoint(int(std::floor(x)), int(std::floor(y)));
  };
  p.setPen(line);
  for (int f : g->faces) {
    const mapwright::UvFace& face = ed.model.faces[std::size_t(f)];
    const mapwright::TextureSet& set = face.textures[std::size_t(ed.texture)];
    for (int e = 0; e < 3; ++e)
      if (mapwright::EdgeShown(face, e, s.showInvisibleEdges))
        p.drawLine(at(set[std::size_t(e)]), at(set[std::size_t((e + 1) % 3)]));
  }
  // Corners over the edges, so that a selected corner is never hidden by a line.
  for (int f : g->faces)
    for (const mapwright::UvCorner& c : ed.model.faces[std::size_t(f)].textures[std::size_t(ed.texture)]) {
      const QPoint q = at(c);
      if (c.selected) {
        p.fillRect(QRect(q.x() - 3, q.y(), 7, 1), marker);
        p.fillRect(QRect(q.x(), q.y() - 3, 1, 7), marker);
      } else {
        p.fillRect(QRect(q.x() - 1, q.y() - 1, 3, 3), marker);
      }
    }
}

void TextureWidget::mousePressEvent(QMouseEvent* e) {
  setFocus();
  if (auto b = ButtonOf(e->button()))
    session_.MouseDown(*b, e->pos().x(), e->pos().y(), ModifiersOf(e->modifiers()));
  update();
  if (changed) changed();
}

void TextureWidget::mouseMoveEvent(QMouseEvent* e) {
  session_.MouseMove(e->pos().x(), e->pos().y(), ModifiersOf(e->modifiers()));
  update();
  if (changed) changed();
}

void TextureWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (auto b = ButtonOf(e->button()))
    session_.MouseUp(*b, e->pos().x(), e->pos().y(), ModifiersOf(e->modifiers()));
  update();
  if (changed) changed();
}

// ---------------------------------------------------------------------------------------
// The window

MapwrightView::MapwrightView(host::Interface& ip, QWidget* parent)
    : QWidget(parent, Qt::Window), ip_(ip), settings_(mapwright::LoadSettings(ip)) {
  session_ = std::make_unique<mapwright::Session>(ip_, settings_);
  setObjectName("mapwright");
  setWindowTitle(mapwright::kWindowTitle);
  // The least size holds while the user resizes the window.
  setMinimumSize(mapwright::kMinWindowWidth, mapwright::kMinWindowHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 0, 4, 4);
  layout->setSpacing(4);
  BuildMenus(layout);
  BuildToolBar(layout);
  texture_ = new TextureWidget(*session_, this);
  texture_->changed = [this] { Refresh(); };
  layout->addWidget(texture_, 1);
  BuildFields(layout);
  move(settings_.windowLeft, settings_.windowTop);
  resize(settings_.windowWidth, settings_.windowHeight);
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  Refresh();
}

MapwrightView::~MapwrightView() = default;

void MapwrightView::BuildMenus(QVBoxLayout* layout) {
  auto* bar = new QMenuBar(this);
  QMenu* file = bar->addMenu("&File");
  file->addAction("&Save", this, [this] {
    session_->SaveTexture();
    Refresh();
  });
  file->addAction("Save &As...");  // does nothing, as before
  file->addAction("&Exit...", this, &QWidget::close);
  QMenu* tools = bar->addMenu("&Tools");
  tools->addAction("&Numeric...");
  tools->addAction("MapChannels...");
  tools->addAction("&Options", this, [this] {
    session_->ShowOptions();
    Refresh();
  });
  QMenu* help = bar->addMenu("&Help");
  help->addAction("&Controls...");
  help->addAction("&About...");
  layout->setMenuBar(bar);
}

void MapwrightView::BuildToolBar(QVBoxLayout* layout) {
  auto* bar = new QToolBar(this);
  bar->setObjectName("mapwrightToolbar");
  bar->setIconSize(QSize(24, 24));
  for (const mapwright::ToolButton& b : mapwright::ToolBar()) {
    const QString tip = QString::fromUtf8(b.tip.data(), qsizetype(b.tip.size()));
    QAction* a = bar->addAction(ToolIcon(b.tip), tip);
    a->setToolTip(tip);
    a->setCheckable(IsToolCommand(b.command));
    const Command c = b.command;
    connect(a, &QAction::triggered, this, [this, c] {
      session_->Execute(c);
      Refresh();
    });
    tools_.emplace_back(c, a);
  }
  layout->addWidget(bar);
}

void MapwrightView::BuildFields(QVBoxLayout* layout) {
  auto* mapping = new QGroupBox(" Mapping ", this);
  auto* grid = new QGridLayout(mapping);
  grid->setContentsMargins(6, 4, 6, 4);
  auto label = [&](const char* text, int row, int col) {
    grid->addWidget(new QLabel(text, mapping), row, col);
  };
  material_ = new QComboBox(mapping);
  material_->setObjectName("material");
  textureList_ = new QComboBox(mapping);
  textureList_->setObjectName("texture");
  channel_ = new QLineEdit(mapping);
  channel_->setObjectName("mapChannel");
  channel_->setMaximumWidth(40);
  size_ = new QLabel(mapping);
  size_->setObjectName("size");
  texels_ = new QLineEdit(mapping);
  texels_->setObjectName("texels");
  output_ = new QLineEdit(mapping);
  output_->setObjectName("outputFactor");
  faces_ = new QLabel(mapping);
  faces_->setObjectName("facesCount");
  u_ = new QLabel(mapping);
  v_ = new QLabel(mapping);
  label("Material:", 0, 0);
  grid->addWidget(material_, 0, 1, 1, 3);
  label("Texture:", 1, 0);
  grid->addWidget(textureList_, 1, 1, 1, 3);
  label("MCh:", 2, 0);
  grid->addWidget(channel_, 2, 1);
  label("Size:", 2, 2);
  grid->addWidget(size_, 2, 3);
  label("Texels:", 3, 0);
  grid->addWidget(texels_, 3, 1);
  grid->addWidget(output_, 3, 2, 1, 2);
  label("Faces count:", 4, 0);
  grid->addWidget(faces_, 4, 1);
  auto* uv = new QHBoxLayout;
  uv->addWidget(new QLabel("U:", mapping));
  uv->addWidget(u_, 1);
  uv->addWidget(new QLabel("V:", mapping));
  uv->addWidget(v_, 1);
  grid->addLayout(uv, 4, 2, 1, 2);
  reload_ = new QPushButton("R\nE\nL\nO\nA\nD", mapping);
  reload_->setObjectName("reload");
  reload_->setFixedWidth(22);
  reload_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  grid->addWidget(reload_, 0, 4, 5, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);

  auto* method = new QGroupBox(" Method ", this);
  auto* mg = new QGridLayout(method);
  mg->setContentsMargins(6, 4, 6, 4);
  const char* methodNames[] = {"Unfold faces", "Get MAX mapping", "Planar mapping"};
  for (int i = 0; i < 3; ++i) {
    methods_[i] = new QRadioButton(methodNames[i], method);
    mg->addWidget(methods_[i], i, 0);
    connect(methods_[i], &QRadioButton::clicked, this, [this, i] {
      session_->SetMethod(mapwright::MapMethod(i), -1);
      Refresh();
    });
  }
  auto* axisRow = new QHBoxLayout;
  auto* axisGroup = new QWidget(method);
  axisGroup->setLayout(axisRow);
  axisRow->setContentsMargins(16, 0, 0, 0);
  const char* axisNames[] = {"X", "Y", "Z"};
  for (int i = 0; i < 3; ++i) {
    axes_[i] = new QRadioButton(axisNames[i], axisGroup);
    axisRow->addWidget(axes_[i]);
    connect(axes_[i], &QRadioButton::clicked, this, [this, i] {
      session_->SetMethod(mapwright::MapMethod::Planar, i);
      Refresh();
    });
  }
  mg->addWidget(axisGroup, 3, 0);

  auto* side = new QVBoxLayout;
  const char* colourNames[] = {"Lines", "Vertices", "Background"};
  uint32_t* colourFields[] = {&settings_.lineColor, &settings_.vertexColor, &settings_.backgroundColor};
  for (int i = 0; i < 3; ++i) {
    colours_[i] = new QPushButton(colourNames[i], this);
    colours_[i]->setObjectName(QString("colour_%1").arg(i));
    uint32_t* field = colourFields[i];
    connect(colours_[i], &QPushButton::clicked, this, [this, field] { PickColour(*field); });
    side->addWidget(colours_[i]);
  }
  auto* quickRow = new QHBoxLayout;
  quickRow->addWidget(new QLabel("QuickMode:", this));
  quick_ = new QLabel(this);
  quick_->setObjectName("quickMode");
  quickRow->addWidget(quick_, 1);
  side->addLayout(quickRow);
  side->addStretch(1);

  auto* lower = new QHBoxLayout;
  lower->addWidget(mapping, 3);
  auto* right = new QVBoxLayout;
  right->addWidget(method);
  right->addLayout(side);
  lower->addLayout(right, 2);
  layout->addLayout(lower);

  connect(reload_, &QPushButton::clicked, this, [this] { Reload(); });
  connect(material_, &QComboBox::activated, this, [this](int i) {
    session_->editor.SelectGroup(i);
    Refresh();
  });
  connect(textureList_, &QComboBox::activated, this, [this](int i) {
    session_->editor.SelectTexture(i);
    Refresh();
  });
  connect(texels_, &QLineEdit::returnPressed, this, [this] {
    session_->EnterTexels(texels_->text().toStdString());
    Refresh();
  });
  connect(output_, &QLineEdit::returnPressed, this, [this] {
    session_->EnterOutputFactor(output_->text().toStdString());
    Refresh();
  });
  connect(channel_, &QLineEdit::returnPressed, this, [this] {
    session_->EnterMapChannel(channel_->text().toStdString());
    Refresh();
  });
}

void MapwrightView::PickColour(uint32_t& colour) {
  QColorDialog dialog(FromColourRef(colour), this);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() == QDialog::Accepted) colour = ToColourRef(dialog.selectedColor());
  Refresh();
}

bool MapwrightView::Reload() {
  const bool ok = session_->Reload();
  Refresh();
  return ok;
}

QAction* MapwrightView::ToolAction(Command c) const {
  for (const auto& [command, action] : tools_)
    if (command == c) return action;
  return nullptr;
}

void MapwrightView::Refresh() {
  updating_ = true;
  mapwright::Session& s = *session_;
  mapwright::UvEditor& ed = s.editor;
  material_->clear();
  for (const mapwright::UvGroup& g : ed.model.groups) material_->addItem(QString::fromStdString(g.name));
  material_->setCurrentIndex(ed.Valid() ? ed.group : -1);
  textureList_->clear();
  if (const mapwright::UvGroup* g = ed.CurrentGroup())
    for (const mapwright::UvTexture& t : g->textures) textureList_->addItem(QString::fromStdString(t.name));
  textureList_->setCurrentIndex(ed.Valid() ? ed.texture : -1);
  const bool valid = ed.Valid();
  auto setIfIdle = [](QLineEdit* e, const QString& text) {
    if (!e->hasFocus()) e->setText(text);
  };
  setIfIdle(channel_, valid ? QString::number(s.MapChannel()) : QString());
  size_->setText(valid ? QString::fromStdString(s.SizeText()) : QString());
  setIfIdle(texels_, valid ? QString::fromStdString(s.TexelsText()) : QString());
  setIfIdle(output_, valid ? QString::fromStdString(s.OutputFactorText()) : QString());
  faces_->setText(QString::fromStdString(s.FacesCountText()));
  u_->setText(QString::number(s.CursorU(), 'f', 1));
  v_->setText(QString::number(s.CursorV(), 'f', 1));
  quick_->setText(QString::fromStdString(s.QuickModeText()));
  const int method = std::clamp(settings_.method, 0, 2);
  methods_[method]->setChecked(true);
  axes_[std::clamp(settings_.planarAxis, 0, 2)]->setChecked(true);
  for (QRadioButton* a : axes_) a->setEnabled(method == int(mapwright::MapMethod::Planar));
  const uint32_t colourValues[] = {settings_.lineColor, settings_.vertexColor, settings_.backgroundColor};
  for (int i = 0; i < 3; ++i) {
    const QColor c = FromColourRef(colourValues[i]);
    colours_[i]->setStyleSheet(
        QString("background-color: %1; color: %2;").arg(c.name(), Brightness(c) >= 128 ? "black" : "white"));
  }
  const std::pair<Command, bool> states[] = {
      {Command::ToolMove, s.tool == mapwright::Tool::Move},
      {Command::ToolRotate, s.tool == mapwright::Tool::Rotate},
      {Command::ToolScale, s.tool == mapwright::Tool::Scale},
      {Command::ToolPan, s.tool == mapwright::Tool::Pan},
      {Command::ToolZoom, s.tool == mapwright::Tool::Zoom},
      {Command::ToolPen, s.tool == mapwright::Tool::Pen},
      {Command::ToggleVertexMode, ed.vertexMode},
      {Command::ToggleWeldOnTarget, ed.weldOnTarget},
  };
  for (auto [command, on] : states)
    if (QAction* a = ToolAction(command)) a->setChecked(on);
  texture_->update();
  updating_ = false;
}

bool MapwrightView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
    return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const std::optional<Key> k = EditorKey(key->key(), (key->modifiers() & Qt::KeypadModifier) != 0);
  if (!k) return false;
  // Typing into a number field or a list is not a command.
  auto isField = [](QObject* o) { return qobject_cast<QLineEdit*>(o) || qobject_cast<QComboBox*>(o); };
  const bool inField = isField(watched) || isField(QApplication::focusWidget());
  if (!session_->HandleKey(*k, ModifiersOf(key->modifiers()), inField)) return false;
  Refresh();
  return true;
}

void MapwrightView::closeEvent(QCloseEvent* event) {
  // The window's place and size stay in the settings, which go back to the file.
  settings_.windowLeft = x();
  settings_.windowTop = y();
  int w = width(), h = height();
  mapwright::ClampWindowSize(w, h);
  settings_.windowWidth = w;
  settings_.windowHeight = h;
  mapwright::SaveSettings(ip_, settings_);
  event->accept();
}

}  // namespace vorlan::desktop
