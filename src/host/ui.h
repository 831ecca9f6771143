// The user interface as data. Plug-ins describe a message box, a question or a dialog; the
// host shows it in whatever way it can (a window, a console, a test script) and hands back
// the answer. So every dialog path is testable without a display.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorlan::host {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Error, Warning, Information, Question };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  bool topmost = false;  // foreground and topmost
  // A Yes here replaces or deletes the user's data: a host answering without a person takes
  // the safe answer unless told otherwise.
  bool destroysData = false;
};

// A ListView shows `items` as rows of tab-separated cells under `columns`, each row with a
// check box (`checks`, one 0/1 per row) when `checks` is not empty; `value` is the selected
// row, -1 for none.
enum class ControlKind { Static, Group, Edit, MultiLineEdit, CheckBox, RadioButton, Button, ProgressBar, ListBox, ComboBox, ListView };

struct DialogControl {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  std::string label;  // caption of a button, check box, group or static text
  std::string text;   // contents of an edit control
  int value = 0;      // check state, selection or bar position
  int rangeMin = 0, rangeMax = 100;
  int maxLength = 0;  // edit controls; 0 = unlimited
  bool readOnly = false;
  bool enabled = true;
  std::vector<std::string> items;  // list and combo boxes
  std::vector<std::string> columns;  // list views: headings
  std::vector<int> columnWidths;     // list views: pixels per column
  std::vector<int> checks;           // list views with check boxes
};

// A dialog as a model: the plug-in fills the controls, the host runs it and sets `result`
// to the id of the button that closed it, with the controls holding the user's values.
struct DialogModel {
  std::string title;
  std::vector<DialogControl> controls;
  int result = 0;

  DialogControl* Find(int id);
  const DialogControl* Find(int id) const;
};

// A modeless window whose controls the plug-in updates while it works. Safe to call from
// any thread.
class ModelessWindow {
 public:
  virtual ~ModelessWindow() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetText(int controlId, const std::string& text) = 0;
  virtual void SetRange(int controlId, int min, int max) = 0;
  virtual void SetPos(int controlId, int pos) = 0;
  virtual void Show(bool visible) = 0;
};

struct FilePickerRequest {
  std::string title;
  std::string filter;  // e.g. "Zef files (*.zef)|*.zef"
  std::string initialPath;
  bool save = false;
  std::string defaultExt;  // added to a typed name without an extension; empty: none
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual Answer MessageBox(const MessageBoxRequest& request) = 0;
  // Runs a modal dialog; returns the id of the closing button (also left in model.result).
  virtual int RunModal(DialogModel& model) = 0;
  virtual std::unique_ptr<ModelessWindow> OpenModeless(const DialogModel& model) = 0;
  virtual std::optional<std::string> PickFile(const FilePickerRequest& request) = 0;
  virtual std::optional<std::string> PickFolder(const std::string& title) = 0;
  // The system sound of a message box of that icon, without a box.
  virtual void Beep(Icon /*sound*/) {}
  // The open utility's rollup pages changed (opened, updated, or all closed: empty). A user
  // interface with a command panel redraws it; presses reach the host's panel, not this.
  virtual void ShowRollups(const std::vector<const DialogModel*>& /*pages*/) {}
};

}  // namespace vorlan::host
