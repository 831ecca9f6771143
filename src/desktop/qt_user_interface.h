// The host's user interface as real windows: message boxes, dialogs built from a plug-in's
// dialog model, modeless windows, file and folder pickers.
//
// Plug-ins may call from any thread (an exporter's progress window runs on a thread of its
// own, and the desktop runs plug-in calls off the GUI thread so that its windows stay
// alive). Every call is carried out on the GUI thread: directly when made there, otherwise
// queued to it and waited for. A modeless window never blocks its caller: it is created and
// updated on the GUI thread as soon as that thread gets to it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <map>

#include "host/ui.h"

class QWidget;
class QAbstractButton;

namespace vorlan::desktop {

// Runs `fn` on the GUI thread and waits for it to finish; runs it at once on the GUI thread.
void RunOnGuiThread(const std::function<void()>& fn);

// A dialog whose widgets are made from a dialog model: statics become labels, groups frame
// the controls after them, edits, check boxes, radio buttons (consecutive ones form one
// group), progress bars, lists and combo boxes become their widgets, and buttons line up at
// the bottom; any button closes the dialog with its id as the result. Every widget made for
// a control of id N is named "control_N", so tests and scripts find it.
class ModelDialog : public QDialog {
 public:
  explicit ModelDialog(const host::DialogModel& model, QWidget* parent = nullptr, bool modal = true);

  // The user's values written back into a copy of the model, with `result` set.
  host::DialogModel Values() const;
  QWidget* Control(int id) const;

  // Modeless windows: the plug-in changes controls while the window is open.
  void SetText(int id, const QString& text);
  void SetRange(int id, int min, int max);
  void SetPos(int id, int pos);

  // Presses of buttons and changes of check boxes, radio buttons and lists reach the
  // plug-in through this, with the control's id (rollup pages, progress windows).
  void SetCommandHandler(std::function<void(int id)> handler) { command_ = std::move(handler); }

 private:
  void Build();
  void Command(int id) {
    if (command_) command_(id);
  }
  std::function<void(int)> command_;
  host::DialogModel model_;
  std::map<int, QWidget*> widgets_;
  bool modal_ = true;
};

class QtUserInterface : public host::UserInterface {
 public:
  // `parent` owns every window shown (the host's main window); it may be null.
  explicit QtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  host::Answer MessageBox(const host::MessageBoxRequest& request) override;
  int RunModal(host::DialogModel& model) override;
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel& model) override;
  std::optional<std::string> PickFile(const host::FilePickerRequest& request) override;
  std::optional<std::string> PickFolder(const std::string& title) override;
  void ShowRollups(const std::vector<const host::DialogModel*>& pages) override;

  // The main window redraws its command panel when the open utility's pages change (called
  // on the thread that changed them).
  void SetRollupsHandler(std::function<void()> handler) { rollups_ = std::move(handler); }
  // The "Cancel" button of a modeless window (the host's progress display) asks the host to
  // cancel; called on the GUI thread while the plug-in works on.
  void SetCancelHandler(std::function<void()> handler) { cancel_ = std::move(handler); }

 private:
  QPointer<QWidget> parent_;
  std::function<void()> rollups_;
  std::function<void()> cancel_;
};

// A plug-in's file filter ("Zef files (*.zef)|*.zef|All (*.*)|*.*") as Qt writes one
// ("Zef files (*.zef);;All (*.*)").
QString QtFileFilter(const std::string& filter);

}  // namespace vorlan::desktop
