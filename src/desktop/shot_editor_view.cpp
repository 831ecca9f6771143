#include "desktop/shot_editor_view.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>

#include "desktop/shot_rows.h"
#include "shoteditor/shd_io.h"

namespace vorlan::desktop {

using shoteditor::PlayMode;
using shoteditor::ToolButton;

namespace {

// The toolbar's pictures, 24 x 24, drawn rather than shipped.
QIcon ToolIcon(ToolButton b) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 40, 40), green(30, 140, 60), red(190, 40, 40);
  auto triangle = [&](int x, int w, const QColor& c) {
    QPainterPath path;
    path.moveTo(x, 5);
    path.lineTo(x + w, 12);
    path.lineTo(x, 19);
    path.closeSubpath();
    p.fillPath(path, c);
  };
  switch (b) {
    case ToolButton::Add:
      p.fillRect(10, 4, 4, 16, green);
      p.fillRect(4, 10, 16, 4, green);
      break;
    case ToolButton::Delete:
      p.setPen(QPen(red, 4));
      p.drawLine(6, 6, 18, 18);
      p.drawLine(18, 6, 6, 18);
      break;
    case ToolButton::PlayCommand:
      triangle(7, 12, green);
      break;
    case ToolButton::PlaySegment:
      p.fillRect(4, 5, 3, 14, ink);
      triangle(9, 11, green);
      break;
    case ToolButton::PlayAll:
      triangle(3, 9, green);
      triangle(12, 9, green);
      break;
    case ToolButton::Magnet:
      p.setPen(QPen(red, 5, Qt::SolidLine, Qt::FlatCap));
      p.drawArc(QRect(5, 4, 14, 14), 180 * 16, 180 * 16);
      p.drawLine(5, 11, 5, 5);
      p.drawLine(19, 11, 19, 5);
      break;
    case ToolButton::Load:
      p.fillRect(3, 8, 18, 12, QColor(220, 180, 70));
      p.fillRect(3, 5, 8, 4, QColor(220, 180, 70));
      break;
    case ToolButton::Save:
      p.fillRect(4, 4, 16, 16, QColor(60, 90, 160));
      p.fillRect(8, 4, 8, 6, Qt::white);
      p.fillRect(7, 13, 10, 7, QColor(230, 230, 230));
      break;
  }
  return QIcon(pm);
}

void SetRow(QTreeWidgetItem* item, const std::array<std::string, 5>& cells, const QString& last, int kind,
            uint32_t colour, int32_t begin, int32_t end, int32_t length) {
  for (int c = 0; c < 5; ++c) item->setText(c, QString::fromStdString(cells[std::size_t(c)]));
  item->setText(kTimelineColumn, last);
  item->setData(0, ShotListWidget::kKindRole, kind);
  item->setData(0, ShotListWidget::kColourRole, colour);
  item->setData(0, ShotListWidget::kBeginRole, begin);
  item->setData(0, ShotListWidget::kEndRole, end);
  item->setData(0, ShotListWidget::kLengthRole, length);
}

void ResizeRows(QTreeWidget* list, int count) {
  while (list->topLevelItemCount() > count) delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
  while (list->topLevelItemCount() < count) list->addTopLevelItem(new QTreeWidgetItem);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The lists

ShotListWidget::ShotListWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(6);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  for (int c = 0; c < 6; ++c) setColumnWidth(c, kShotColumnWidths[c]);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ShotListWidget::drawRow(QPainter* p, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const QTreeWidgetItem* item = itemFromIndex(index);
  if (!item) return;
  const int kind = item->data(0, kKindRole).toInt();
  const bool command = kind == kCommandRow;
  const bool selected = selectionModel()->isSelected(index);
  const bool focused = selected && hasFocus();
  const QPalette& pal = palette();
  QColor bg = command ? FromColourRef(item->data(0, kColourRole).toUInt()) : pal.color(QPalette::Base);
  if (selected) bg = pal.color(QPalette::Button);
  if (focused) bg = pal.color(QPalette::Highlight);
  const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
  p->fillRect(row, bg);

  p->setPen(TextColourOn(bg, pal.color(QPalette::WindowText), pal.color(QPalette::HighlightedText)));
  const QFontMetrics fm(font());
  for (int c = 0; c < kTimelineColumn; ++c) {
    QRect cell(columnViewportPosition(c), row.top(), columnWidth(c), row.height());
    cell.adjust(3, 0, -2, 0);
    p->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                fm.elidedText(item->text(c), Qt::ElideRight, cell.width()));
  }
  if (globalLength_ > 0) {
    const int x0 = columnViewportPosition(kTimelineColumn), w = columnWidth(kTimelineColumn);
    const int32_t length = item->data(0, kLengthRole).toInt();
    const BarSpan span = kind == kGlobalRow
                             ? FullBar(x0, w)
                             : TimelineBar(x0, w, item->data(0, kBeginRole).toInt(),
                                           item->data(0, kEndRole).toInt(), globalBegin_, globalLength_);
    DrawBar(*p, span, row, BarColour(length, bg));
  }
  if (command && focused) {
    p->setPen(QPen(pal.color(QPalette::HighlightedText), 1, Qt::DotLine));
    p->drawRect(row.adjusted(0, 0, -1, -1));
  }
}

// ---------------------------------------------------------------------------------------
// The window

ShotEditorView::ShotEditorView(host::Interface& ip, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ip_(ip),
      model_(std::make_unique<shoteditor::ShotEditorWindow>(ip, state_)) {
  setObjectName("shotEditor");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 6);
  BuildToolbar(layout);

  ranges_ = new ShotListWidget(this);
  ranges_->setObjectName("rangeList");
  ranges_->setHeaderLabels({"", "", "Begin", "End", "Length", "Timeline"});
  ranges_->setFixedHeight(ShotListWidget::kRowHeight * 2 + ranges_->header()->sizeHint().height() + 4);
  ranges_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ResizeRows(ranges_, 2);
  layout->addWidget(ranges_);

  commands_ = new ShotListWidget(this);
  commands_->setObjectName("commandList");
  commands_->setHeaderLabels({"Item name", "Description", "Begin", "End", "Length", "Timeline"});
  commands_->installEventFilter(this);
  layout->addWidget(commands_, 1);
  for (ShotListWidget* l : {ranges_, commands_}) {
    l->setStyleSheet(QString("QTreeView::item { height: %1px; }").arg(ShotListWidget::kRowHeight));
  }

  connect(ranges_, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
    if (updating_) return;
    model_->ClickRange(shoteditor::RangeRow(ranges_->indexOfTopLevelItem(item)));
  });
  connect(commands_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (updating_ || !item) return;
    model_->ClickCommand(commands_->indexOfTopLevelItem(item));
  });
  connect(commands_, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
    if (updating_) return;
    model_->ClickCommand(commands_->indexOfTopLevelItem(item));
  });

  BuildProperties(layout);
  model_->SetChangedHandler([this] {
    // Host notifications may come from a plug-in call's thread; widgets belong to this one.
    if (QThread::currentThread() != thread()) {
      pending_ = true;
      return;
    }
    Refresh();
    if (hostChanged_) hostChanged_();
  });
  Refresh();
  const int listWidth = 675 + 2 * commands_->frameWidth() + 14;
  resize(listWidth + 12, 560);
}

ShotEditorView::~ShotEditorView() {
  model_->SetChangedHandler(nullptr);
  model_.reset();
}

void ShotEditorView::BuildToolbar(QVBoxLayout* layout) {
  auto* bar = new QToolBar(this);
  bar->setObjectName("shotToolbar");
  bar->setIconSize(QSize(24, 24));
  struct Entry {
    ToolButton button;
    bool toggle;
    bool separatorBefore;
  };
  const Entry entries[] = {
      {ToolButton::Add, false, false},       {ToolButton::Delete, false, false},
      {ToolButton::PlayCommand, true, true}, {ToolButton::PlaySegment, true, false},
      {ToolButton::PlayAll, true, false},    {ToolButton::Magnet, true, true},
      {ToolButton::Load, false, true},       {ToolButton::Save, false, false},
  };
  for (const Entry& e : entries) {
    if (e.separatorBefore) bar->addSeparator();
    QAction* a = bar->addAction(ToolIcon(e.button), shoteditor::kToolTips[int(e.button)]);
    a->setToolTip(shoteditor::kToolTips[int(e.button)]);
    a->setCheckable(e.toggle);
    actions_[int(e.button)] = a;
  }
  const std::pair<ToolButton, PlayMode> plays[] = {{ToolButton::PlayCommand, PlayMode::Command},
                                                   {ToolButton::PlaySegment, PlayMode::Segment},
                                                   {ToolButton::PlayAll, PlayMode::All}};
  for (auto [button, mode] : plays)
    connect(Action(button), &QAction::triggered, this, [this, m = mode](bool on) { model_->Play(m, on); });
  connect(Action(ToolButton::Add), &QAction::triggered, this, [this] { model_->AddCommand(); });
  connect(Action(ToolButton::Delete), &QAction::triggered, this, [this] { model_->DeleteCommand(); });
  connect(Action(ToolButton::Magnet), &QAction::triggered, this, [this] { model_->ToggleMagnet(); });
  connect(Action(ToolButton::Load), &QAction::triggered, this, [this] { model_->Load(); });
  connect(Action(ToolButton::Save), &QAction::triggered, this, [this] { model_->Save(); });
  layout->addWidget(bar);
}

void ShotEditorView::BuildProperties(QVBoxLayout* layout) {
  auto* frame = new QGroupBox(" Properties ", this);
  frame->setObjectName("properties");
  auto* form = new QFormLayout(frame);
  item_ = new QComboBox(frame);
  item_->setObjectName("item");
  item_->setMinimumWidth(200);
  form->addRow("Item", item_);
  description_ = new QLineEdit(frame);
  description_->setObjectName("description");
  description_->setMaxLength(int(shoteditor::kMaxDescription));
  description_->installEventFilter(this);
  form->addRow("Description", description_);

  auto* frames = new QHBoxLayout;
  auto spin = [&](const char* label, const char* name) {
    auto* s = new QSpinBox(frame);
    s->setObjectName(name);
    s->setRange(shoteditor::kMinFrame, shoteditor::kMaxFrame);
    s->setKeyboardTracking(false);  // a typed number counts once confirmed
    s->setMinimumWidth(80);
    frames->addWidget(new QLabel(label, frame));
    frames->addWidget(s);
    return s;
  };
  begin_ = spin("Begin", "begin");
  end_ = spin("End", "end");
  length_ = spin("Length", "length");
  frames->addStretch(1);
  form->addRow(frames);

  swatch_ = new QPushButton(frame);
  swatch_->setObjectName("colours");
  swatch_->setFixedSize(48, 22);
  form->addRow("Colors", swatch_);
  layout->addWidget(frame);

  connect(item_, &QComboBox::activated, this, [this](int i) { model_->ChooseItem(i); });
  connect(description_, &QLineEdit::textEdited, this,
          [this](const QString& t) { model_->EditDescription(t.toStdString()); });
  connect(begin_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!updating_) model_->SetBegin(v);
  });
  connect(end_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!updating_) model_->SetEnd(v);
  });
  connect(length_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!updating_) model_->SetLength(v);
  });
  connect(swatch_, &QPushButton::clicked, this, [this] { PickColour(); });
}

void ShotEditorView::PickColour() {
  QColorDialog dialog(FromColourRef(model_->Props().colour), this);
  dialog.setObjectName("colourPicker");
  dialog.setWindowTitle("New Item Color");
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() == QDialog::Accepted) model_->ChangeColour(ToColourRef(dialog.selectedColor()));
}

bool ShotEditorView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == description_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    model_->DescriptionFocus(event->type() == QEvent::FocusIn);
  if (watched == commands_ && event->type() == QEvent::FocusOut && !updating_) model_->CommandListLostFocus();
  return QWidget::eventFilter(watched, event);
}

void ShotEditorView::Refresh() {
  updating_ = true;
  const shoteditor::ShotList& list = model_->List();
  setWindowTitle(QString::fromStdString(model_->Title()));

  const shoteditor::TimelineRange& global = list.Range(shoteditor::kGlobalTimeLine);
  for (ShotListWidget* l : {ranges_, commands_}) l->SetGlobal(global.begin, global.length);
  for (int r = 0; r < 2; ++r) {
    const auto row = shoteditor::RangeRow(r);
    const shoteditor::TimelineRange& range = list.Range(row);
    SetRow(ranges_->topLevelItem(r), shoteditor::ShotEditorWindow::RangeCells(row, range), "---------", r, 0,
           range.begin, range.end, range.length);
  }
  ResizeRows(commands_, list.Size());
  for (int i = 0; i < list.Size(); ++i) {
    const shoteditor::ShotCommand& c = list.Commands()[std::size_t(i)];
    SetRow(commands_->topLevelItem(i), shoteditor::ShotEditorWindow::CommandCells(c), "",
           ShotListWidget::kCommandRow, c.colour, c.begin, c.end, c.length);
  }
  {
    QSignalBlocker block(commands_);
    if (list.Selected() >= 0) {
      commands_->setCurrentItem(commands_->topLevelItem(list.Selected()));
    } else {
      commands_->clearSelection();
      commands_->setCurrentItem(nullptr);
    }
  }
  if (model_->Editing() == shoteditor::EditingKind::Range)
    ranges_->setCurrentItem(ranges_->topLevelItem(int(model_->EditedRange())));
  else
    ranges_->clearSelection();

  const shoteditor::Properties& props = model_->Props();
  const auto& items = model_->Items();
  bool sameItems = item_->count() == int(items.size());
  for (int i = 0; sameItems && i < item_->count(); ++i)
    sameItems = item_->itemText(i).toStdString() == items[std::size_t(i)].name;
  if (!sameItems) {
    item_->clear();
    for (const shoteditor::CameraItem& c : items) item_->addItem(QString::fromStdString(c.name));
  }
  item_->setCurrentIndex(props.item);
  if (description_->text().toStdString() != props.description)
    description_->setText(QString::fromStdString(props.description));
  begin_->setValue(props.begin);
  end_->setValue(props.end);
  length_->setValue(props.length);
  swatch_->setStyleSheet(
      QString("background-color: %1; border: 1px solid #555;").arg(FromColourRef(props.colour).name()));
  item_->setEnabled(props.itemEnabled);
  description_->setEnabled(props.descriptionEnabled);
  for (QSpinBox* s : {begin_, end_, length_}) s->setEnabled(props.framesEnabled);
  swatch_->setEnabled(props.colourEnabled);
  for (ToolButton b :
       {ToolButton::PlayCommand, ToolButton::PlaySegment, ToolButton::PlayAll, ToolButton::Magnet})
    Action(b)->setChecked(model_->Pressed(b));
  ranges_->viewport()->update();
  commands_->viewport()->update();
  updating_ = false;
}

void ShotEditorView::RefreshIfPending() {
  if (!pending_.exchange(false)) return;
  Refresh();
  if (hostChanged_) hostChanged_();
}

bool ShotEditorView::LoadFile(const std::string& path) {
  const shoteditor::LoadOutcome outcome = shoteditor::LoadShotFile(ip_, state_, model_->MutableList(), path);
  if (model_->List().Size() > 0)
    model_->ClickCommand(0);
  else
    Refresh();
  return outcome == shoteditor::LoadOutcome::Loaded;
}

bool ShotEditorView::AskToClose() {
  if (closed_) return true;
  if (!model_->Close()) return false;
  closed_ = true;
  return true;
}

void ShotEditorView::closeEvent(QCloseEvent* event) {
  if (AskToClose())
    event->accept();
  else
    event->ignore();
}

}  // namespace vorlan::desktop
