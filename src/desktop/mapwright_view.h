// Mapwright's window: the texture view with the picture, the faces' edges and corners, the
// tool bar, the " Mapping " and " Method " frames and the menus, over an editing session.
//
// The window lives on the GUI thread like every other window of the workbench, and its keys
// come through an event filter on the window and its children: a key that gives a command
// is taken, every other key goes on to the widget that has the keyboard.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "host/interface.h"
#include "mapwright/keymap.h"
#include "mapwright/session.h"
#include "mapwright/settings.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace vorlan::desktop {

// The texture view ("TextureWnd"): draws the session and hands it the mouse.
class TextureWidget : public QWidget {
 public:
  TextureWidget(mapwright::Session& session, QWidget* parent);
  // Called after every mouse action, so that the window's fields follow.
  std::function<void()> changed;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  mapwright::Session& session_;
};

// The toolkit's key as the editor's key map names it; nothing for keys it does not know.
std::optional<mapwright::Key> EditorKey(int qtKey, bool keypad);

class MapwrightView : public QWidget {
 public:
  // Opens the window on a node's selected faces; the settings come from the configuration
  // file and go back to it when the window closes.
  MapwrightView(host::Interface& ip, QWidget* parent = nullptr);
  ~MapwrightView() override;

  mapwright::Session& GetSession() { return *session_; }
  mapwright::Settings& GetSettings() { return settings_; }
  TextureWidget* Texture() const { return texture_; }
  QAction* ToolAction(mapwright::Command c) const;
  QLineEdit* TexelsField() const { return texels_; }
  QLabel* FacesCount() const { return faces_; }
  QLabel* SizeLabel() const { return size_; }
  QComboBox* MaterialList() const { return material_; }
  QComboBox* TextureList() const { return textureList_; }
  QPushButton* ReloadButton() const { return reload_; }
  // Builds everything anew from the host, as "R\nE\nL\nO\nA\nD" does.
  bool Reload();
  // Draws the fields and the view from the session.
  void Refresh();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus(QVBoxLayout* layout);
  void BuildToolBar(QVBoxLayout* layout);
  void BuildFields(QVBoxLayout* layout);
  void PickColour(uint32_t& colour);

  host::Interface& ip_;
  mapwright::Settings settings_;
  std::unique_ptr<mapwright::Session> session_;
  bool updating_ = false;
  TextureWidget* texture_ = nullptr;
  std::vector<std::pair<mapwright::Command, QAction*>> tools_;
  QComboBox* material_ = nullptr;
  QComboBox* textureList_ = nullptr;
  QLineEdit* channel_ = nullptr;
  QLabel* size_ = nullptr;
  QLineEdit* texels_ = nullptr;
  QLineEdit* output_ = nullptr;
  QLabel* faces_ = nullptr;
  QLabel* u_ = nullptr;
  QLabel* v_ = nullptr;
  QPushButton* reload_ = nullptr;
  QRadioButton* methods_[3] = {};
  QRadioButton* axes_[3] = {};
  QPushButton* colours_[3] = {};
  QLabel* quick_ = nullptr;
};

}  // namespace vorlan::desktop
