#include "desktop/qt_user_interface.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>
#include <mutex>

namespace vorlan::desktop {

using host::ControlKind;

void RunOnGuiThread(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, fn, Qt::BlockingQueuedConnection);
}

ModelDialog::ModelDialog(const host::DialogModel& model, QWidget* parent, bool modal)
    : QDialog(parent), model_(model), modal_(modal) {
  setWindowTitle(QString::fromStdString(model_.title));
  setModal(modal);
  Build();
}

void ModelDialog::Build() {
  auto* outer = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QVBoxLayout* current = outer;
  QButtonGroup* radios = nullptr;
  for (const host::DialogControl& c : model_.controls) {
    QWidget* w = nullptr;
    const QString label = QString::fromStdString(c.label);
    if (c.kind != ControlKind::RadioButton) radios = nullptr;
    switch (c.kind) {
      case ControlKind::Group: {
        auto* box = new QGroupBox(label.trimmed(), this);
        auto* inner = new QVBoxLayout(box);
        outer->addWidget(box);
        current = inner;
        w = box;
        break;
      }
      case ControlKind::Static: {
        auto* l = new QLabel(label, this);
        l->setWordWrap(true);
        w = l;
        break;
      }
      case ControlKind::Edit: {
        auto* e = new QLineEdit(QString::fromStdString(c.text), this);
        if (c.maxLength > 0) e->setMaxLength(c.maxLength);
        e->setReadOnly(c.readOnly);
        w = e;
        break;
      }
      case ControlKind::MultiLineEdit: {
        auto* e = new QPlainTextEdit(QString::fromStdString(c.text), this);
        e->setReadOnly(c.readOnly);
        e->setMinimumHeight(60);
        w = e;
        break;
      }
      case ControlKind::CheckBox: {
        auto* b = new QCheckBox(label, this);
        b->setChecked(c.value != 0);
        connect(b, &QCheckBox::clicked, this, [this, id = c.id] { Command(id); });
        w = b;
        break;
      }
      case ControlKind::RadioButton: {
        if (!radios) radios = new QButtonGroup(this);
        auto* b = new QRadioButton(label, this);
        b->setChecked(c.value != 0);
        radios->addButton(b);
        connect(b, &QRadioButton::clicked, this, [this, id = c.id] { Command(id); });
        w = b;
        break;
      }
      case ControlKind::Button: {
        auto* b = new QPushButton(label, this);
        const int id = c.id;
        connect(b, &QPushButton::clicked, this, [this, id] {
          // A modeless window's buttons belong to the plug-in; only dialogs close on them.
          if (modal_)
            done(id);
          else
            Command(id);
        });
        if (modal_ && (id == 1 || id == 1001 || c.label == "OK")) b->setDefault(true);
        b->setEnabled(c.enabled);
        b->setObjectName(QStringLiteral("control_%1").arg(c.id));
        // A dialog lines its buttons up at the bottom; a page or a plug-in's window keeps
        // each where it stands, beside the control it belongs to.
        if (modal_)
          buttons->addWidget(b);
        else
          current->addWidget(b);
        widgets_[c.id] = b;
        continue;
      }
      case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(this);
        p->setRange(c.rangeMin, c.rangeMax);
        p->setValue(c.value);
        w = p;
        break;
      }
      case ControlKind::ListBox: {
        auto* l = new QListWidget(this);
        for (const std::string& item : c.items) l->addItem(QString::fromStdString(item));
        if (c.value >= 0 && c.value < l->count()) l->setCurrentRow(c.value);
        w = l;
        break;
      }
      case ControlKind::ListView: {
        auto* t = new QTreeWidget(this);
        t->setRootIsDecorated(false);
        t->setColumnCount(static_cast<int>(c.columns.size()));
        QStringList headings;
        for (const std::string& h : c.columns) headings << QString::fromStdString(h);
        t->setHeaderLabels(headings);
        for (std::size_t i = 0; i < c.columnWidths.size(); ++i)
          t->setColumnWidth(static_cast<int>(i), c.columnWidths[i]);
        for (std::size_t row = 0; row < c.items.size(); ++row) {
          auto* item = new QTreeWidgetItem(t, QString::fromStdString(c.items[row]).split('\t'));
          if (row < c.checks.size()) item->setCheckState(0, c.checks[row] ? Qt::Checked : Qt::Unchecked);
        }
        if (c.value >= 0 && c.value < t->topLevelItemCount()) t->setCurrentItem(t->topLevelItem(c.value));
        w = t;
        break;
      }
      case ControlKind::ComboBox: {
        auto* cb = new QComboBox(this);
        for (const std::string& item : c.items) cb->addItem(QString::fromStdString(item));
        if (c.value >= 0 && c.value < cb->count()) cb->setCurrentIndex(c.value);
        connect(cb, &QComboBox::activated, this, [this, id = c.id] { Command(id); });
        w = cb;
        break;
      }
    }
    if (c.kind != ControlKind::Group) current->addWidget(w);
    w->setEnabled(c.enabled);
    if (c.id != 0) {
      w->setObjectName(QStringLiteral("control_%1").arg(c.id));
      widgets_[c.id] = w;
    }
  }
  outer->addStretch(1);
  outer->addLayout(buttons);
  setMinimumWidth(320);
}

QWidget* ModelDialog::Control(int id) const {
  auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second;
}

host::DialogModel ModelDialog::Values() const {
  host::DialogModel m = model_;
  m.result = result();
  for (host::DialogControl& c : m.controls) {
    QWidget* w = Control(c.id);
    if (!w || c.id == 0) continue;
    switch (c.kind) {
      case ControlKind::Edit:
        c.text = static_cast<QLineEdit*>(w)->text().toStdString();
        break;
      case ControlKind::MultiLineEdit:
        c.text = static_cast<QPlainTextEdit*>(w)->toPlainText().toStdString();
        break;
      case ControlKind::CheckBox:
      case ControlKind::RadioButton:
        c.value = static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
        break;
      case ControlKind::ListBox:
        c.value = static_cast<QListWidget*>(w)->currentRow();
        break;
      case ControlKind::ComboBox:
        c.value = static_cast<QComboBox*>(w)->currentIndex();
        break;
      case ControlKind::ListView: {
        auto* t = static_cast<QTreeWidget*>(w);
        c.value = t->indexOfTopLevelItem(t->currentItem());
        for (std::size_t row = 0; row < c.checks.size(); ++row)
          if (QTreeWidgetItem* item = t->topLevelItem(static_cast<int>(row)))
            c.checks[row] = item->checkState(0) == Qt::Checked ? 1 : 0;
        break;
      }
      case ControlKind::ProgressBar:
        c.value = static_cast<QProgressBar*>(w)->value();
        break;
      default:
        break;
    }
  }
  return m;
}

void ModelDialog::SetText(int id, const QString& text) {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(text);
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(text);
  else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
    p->setPlainText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(text);
}

void ModelDialog::SetRange(int id, int min, int max) {
  if (auto* p = qobject_cast<QProgressBar*>(Control(id))) p->setRange(min, max);
}

void ModelDialog::SetPos(int id, int pos) {
  if (auto* p = qobject_cast<QProgressBar*>(Control(id))) p->setValue(pos);
}

namespace {

struct ButtonSet {
  host::Buttons buttons;
  QMessageBox::StandardButtons qt;
};
constexpr ButtonSet kButtonSets[] = {
    {host::Buttons::Ok, QMessageBox::Ok},
    {host::Buttons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel},
    {host::Buttons::YesNo, QMessageBox::Yes | QMessageBox::No},
    {host::Buttons::YesNoCancel, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel},
};

QMessageBox::Icon QtIcon(host::Icon icon) {
  switch (icon) {
    case host::Icon::Error:
      return QMessageBox::Critical;
    case host::Icon::Warning:
      return QMessageBox::Warning;
    case host::Icon::Information:
      return QMessageBox::Information;
    case host::Icon::Question:
      return QMessageBox::Question;
    case host::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

host::Answer FromQt(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return host::Answer::Yes;
    case QMessageBox::No:
      return host::Answer::No;
    case QMessageBox::Cancel:
      return host::Answer::Cancel;
    default:
      return host::Answer::Ok;
  }
}

// The window of a plug-in that keeps working while it is shown. Its widgets live on the GUI
// thread; calls from the plug-in are queued there in order and never wait.
class QtModelessWindow : public host::ModelessWindow {
 public:
  QtModelessWindow(const host::DialogModel& model, QWidget* parent, std::function<void()> cancel)
      : state_(std::make_shared<State>()) {
    auto state = state_;
    Post([state, model, parent, cancel = std::move(cancel)] {
      state->dialog = new ModelDialog(model, parent, /*modal=*/false);
      state->dialog->setAttribute(Qt::WA_DeleteOnClose);
      state->dialog->SetCommandHandler([model, cancel](int id) {
        const host::DialogControl* c = model.Find(id);
        if (c && c->label == "Cancel" && cancel) cancel();
      });
    });
  }
  ~QtModelessWindow() override {
    auto state = state_;
    Post([state] {
      if (state->dialog) state->dialog->close();
    });
  }
  void SetTitle(const std::string& title) override {
    With([t = QString::fromStdString(title)](ModelDialog& d) { d.setWindowTitle(t); });
  }
  void SetText(int id, const std::string& text) override {
    With([id, t = QString::fromStdString(text)](ModelDialog& d) { d.SetText(id, t); });
  }
  void SetRange(int id, int min, int max) override {
    With([=](ModelDialog& d) { d.SetRange(id, min, max); });
  }
  void SetPos(int id, int pos) override {
    With([=](ModelDialog& d) { d.SetPos(id, pos); });
  }
  void Show(bool visible) override {
    With([visible](ModelDialog& d) { d.setVisible(visible); });
  }

 private:
  struct State {
    QPointer<ModelDialog> dialog;
  };
  static void Post(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread())
      fn();
    else
      QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  }
  void With(std::function<void(ModelDialog&)> fn) {
    auto state = state_;
    Post([state, fn = std::move(fn)] {
      if (state->dialog) fn(*state->dialog);
    });
  }
  std::shared_ptr<State> state_;
};

}  // namespace

host::Answer QtUserInterface::MessageBox(const host::MessageBoxRequest& request) {
  host::Answer answer = host::Answer::Ok;
  RunOnGuiThread([&] {
    QMessageBox box(QtIcon(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::NoButton, parent_);
    for (const ButtonSet& s : kButtonSets)
      if (s.buttons == request.buttons) box.setStandardButtons(s.qt);
    if (request.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setObjectName("messageBox");
    answer = FromQt(box.exec());
  });
  return answer;
}

int QtUserInterface::RunModal(host::DialogModel& model) {
  RunOnGuiThread([&] {
    ModelDialog dialog(model, parent_);
    dialog.setObjectName("modelDialog");
    int closedBy = dialog.exec();
    host::DialogModel values = dialog.Values();
    // Closing the window by its frame or Escape is its Cancel button's answer (the host's
    // own cancel id when it has none).
    if (closedBy == QDialog::Rejected) {
      values.result = 2;
      for (const host::DialogControl& c : model.controls)
        if (c.kind == ControlKind::Button && c.label == "Cancel") values.result = c.id;
    }
    model = std::move(values);
  });
  return model.result;
}

std::unique_ptr<host::ModelessWindow> QtUserInterface::OpenModeless(const host::DialogModel& model) {
  return std::make_unique<QtModelessWindow>(model, parent_.data(), cancel_);
}

void QtUserInterface::ShowRollups(const std::vector<const host::DialogModel*>&) {
  // The panel reads the pages from the host when it redraws: the pointers here may be gone
  // by the time the GUI thread gets to it.
  if (rollups_) rollups_();
}

QString QtFileFilter(const std::string& filter) {
  // Pairs of "description|pattern"; Qt wants the descriptions, which carry the patterns.
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i < parts.size(); i += 2) {
    QString desc = parts[i];
    QString pattern = i + 1 < parts.size() ? parts[i + 1] : QString();
    pattern.replace(';', ' ');
    if (!pattern.isEmpty() && !desc.contains('(')) desc += " (" + pattern + ")";
    if (!desc.isEmpty()) out << desc;
  }
  return out.join(";;");
}

std::optional<std::string> QtUserInterface::PickFile(const host::FilePickerRequest& request) {
  std::optional<std::string> picked;
  RunOnGuiThread([&] {
    QFileDialog dialog(parent_, QString::fromStdString(request.title),
                       QString::fromStdString(request.initialPath), QtFileFilter(request.filter));
    dialog.setObjectName("fileDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      picked = dialog.selectedFiles().front().toStdString();
  });
  return picked;
}

std::optional<std::string> QtUserInterface::PickFolder(const std::string& title) {
  std::optional<std::string> picked;
  RunOnGuiThread([&] {
    QFileDialog dialog(parent_, QString::fromStdString(title));
    dialog.setObjectName("folderDialog");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      picked = dialog.selectedFiles().front().toStdString();
  });
  return picked;
}

}  // namespace vorlan::desktop
