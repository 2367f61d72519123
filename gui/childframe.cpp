// The document window itself: its panes and commands, opening, saving and closing, the table
// export and the divider. Editing, the tree's views and navigation, and the machining panes
// are in childframe_edit.cpp, childframe_view.cpp and childframe_machining.cpp.
#include "childframe.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "cct/cct.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "detailsview.h"
#include "logview.h"
#include "problemsview.h"
#include "prompts.h"
#include "varnholt/table.h"
#include "varnholt/valuetext.h"

namespace varnholt {

namespace {

/// Lets a widget take the copy key before the window's shortcuts do (Ctrl+C also closes a
/// document): `copy`, when given, is what the key does there instead of the widget's own copy.
class CopyKeyFirst : public QObject {
 public:
  CopyKeyFirst(QWidget* widget, std::function<void()> copy)
      : QObject(widget), copy_(std::move(copy)) {
    widget->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool override = event->type() == QEvent::ShortcutOverride;
    if (!override && event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) return false;
    if (override) {
      event->accept();
      return true;
    }
    if (!copy_) return false;
    copy_();
    return true;
  }

 private:
  std::function<void()> copy_;
};

}  // namespace

std::string ChildFrame::LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

ChildFrame::ChildFrame(Prompts& prompts, QWidget* parent)
    : QWidget(parent),
      prompts_(prompts),
      splitter_(new QSplitter(Qt::Horizontal, this)),
      tree_(new InstanceTree(splitter_)),
      log_(new LogView(splitter_)),
      control_(*tree_),
      view_(control_, &doc_),
      undo_(new QUndoStack(this)),
      details_(new DetailsView),
      scene_(new SceneView),
      problems_(new ProblemsView),
      gcode_(new GcodeView),
      stock_(new StockView) {
  view_.SetInputRules(InputRules{QLocale().decimalPoint() == QStringLiteral(",")});
  // A value row's tooltip gives the value exactly, however the row rounds it.
  tree_->SetValueTip([this](QTreeWidgetItem* item) {
    CDoc::LogRoute route(doc_);
    ValueSlot slot;
    return view_.SlotOf(item, slot) ? ToQt(ExactText(slot)) : QString();
  });
  tree_->Delegate()->SetDescribe([this](const QModelIndex& index) {
    QTreeWidgetItem* item = tree_->itemFromIndex(index);
    return item ? view_.EditorFor(item) : SlotEditor{};
  });
  // Undoing back to the saved state makes the document unmodified again.
  connect(undo_, &QUndoStack::cleanChanged, this, [this](bool clean) { SetModified(!clean); });
  auto* clear = new QAction(QStringLiteral("Wert l\u00f6schen (auf $ setzen)"), tree_);
  clear->setShortcut(QKeySequence::Delete);
  clear->setShortcutContext(Qt::WidgetShortcut);
  connect(clear, &QAction::triggered, this, [this] { ClearCurrent(); });
  tree_->addAction(clear);
  // The copy key of the tree copies what is stored, never the rounded label.
  auto* copy = new QAction(QStringLiteral("&Kopieren"), tree_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, [this] { CopyCurrent(); });
  tree_->addAction(copy);
  new CopyKeyFirst(tree_, [this] { CopyCurrent(); });
  new CopyKeyFirst(log_, nullptr);
  new CopyKeyFirst(details_, nullptr);
  auto* copyRecord = new QAction(QStringLiteral("&Datensatz kopieren"), tree_);
  connect(copyRecord, &QAction::triggered, this, [this] { CopyCurrentRecord(); });
  tree_->addAction(copyRecord);
  exportTable_ = new QAction(QStringLiteral("Als Tabelle exportieren..."), tree_);
  exportTable_->setEnabled(false);
  connect(exportTable_, &QAction::triggered, this, [this] { ExportTable(); });
  tree_->addAction(exportTable_);
  tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(tree_, &InstanceTree::expandAllRequested, this, &ChildFrame::ExpandAll);
  // A file of a million instances would otherwise build every item before the window shows.
  view_.SetDeferred(true);
  splitter_->addWidget(tree_);
  splitter_->addWidget(log_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 2);
  splitter_->setChildrenCollapsible(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter_);

  connect(splitter_, &QSplitter::splitterMoved, this, [this] { splitByUser_ = true; });
  connect(tree_->Delegate(), &LabelDelegate::labelEdited, this, &ChildFrame::OnLabelEdited);
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { OnDoubleClicked(item); });
  connect(tree_, &QTreeWidget::itemExpanded, this, &ChildFrame::OnExpanded);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { OnCurrentChanged(current); });
  connect(tree_, &InstanceTree::enterPressed, this, &ChildFrame::GoToReferenced);
  connect(log_, &LogView::lineClicked, this, &ChildFrame::GoToLogLine);
  connect(details_, &DetailsView::instanceChosen, this, &ChildFrame::GoToName);
  connect(details_, &DetailsView::timeRequested, this, [this] {
    MakeProjectTime();
    UpdateDetails();
  });
  connect(scene_, &SceneView::instanceChosen, this, &ChildFrame::GoToName);
  connect(problems_, &ProblemsView::instanceChosen, this, &ChildFrame::GoToName);
  connect(gcode_, &GcodeView::instanceChosen, this, &ChildFrame::GoToName);
  connect(scene_, &SceneView::buildRequested, this, &ChildFrame::RebuildScene);
  connect(stock_, &StockView::runRequested, this, &ChildFrame::RunSimulation);
  connect(stock_, &StockView::stepRequested, this, &ChildFrame::ShowStockStep);
  connect(problems_, &ProblemsView::simulationChosen, this, &ChildFrame::GoToSimulationFinding);
  // Every edit, insert, undo and redo moves the undo stack: the scene may no longer match.
  // The details pane shows the record as it is now.
  connect(undo_, &QUndoStack::indexChanged, this, [this] {
    if (scene_) scene_->MarkOutdated();
    if (stock_) stock_->MarkOutdated();
    projectTime_.reset();
    program_.reset();
    model_.reset();
    detailsTimer_.start();
  });
  // Moving through the tree with the keys asks for one pane's worth of details, not one per step.
  detailsTimer_.setSingleShot(true);
  detailsTimer_.setInterval(0);
  connect(&detailsTimer_, &QTimer::timeout, this, &ChildFrame::UpdateDetails);
}

ChildFrame::~ChildFrame() {
  // The widgets outlive the tree logic and the document by a little; nothing may reach them.
  // (The undo stack, a child too, says it is clean again when it goes.)
  undo_->disconnect(this);
  tree_->disconnect(this);
  tree_->Delegate()->disconnect(this);
  splitter_->disconnect(this);
  log_->disconnect(this);
  // The pane lives in the main window's dock once shown there, and goes with this document.
  delete details_.data();
  delete scene_.data();
  delete problems_.data();
  delete gcode_.data();
  delete stock_.data();
  delete find_.data();
}

QString ChildFrame::PathName() const { return path_; }

QString ChildFrame::DocumentName() const { return QFileInfo(PathName()).fileName(); }

bool ChildFrame::Open(const QString& path) {
  if (!doc_.OnOpenDocument(LocalPath(path).c_str())) {
    Finish();
    return false;
  }
  path_ = path;
  setWindowTitle(DocumentName());
  if (doc_.Scope()) navigator_ = std::make_unique<Navigator>(*doc_.Scope());
  {
    CDoc::LogRoute route(doc_);
    view_.FillTree();
  }
  Finish();
  if (QTreeWidgetItem* root = tree_->topLevelItem(0)) {
    tree_->expandItem(root);
    tree_->setCurrentItem(root);
  }
  undo_->clear();
  SetModified(false);
  return true;
}

void ChildFrame::Finish() {
  for (QTreeWidgetItem* item : control_.TakeInserted())
    if (view_.HasDeferredChildren(item))
      item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  log_->ShowLog(doc_.LogText());
}

void ChildFrame::SetModified(bool modified) {
  const bool changed = modified != modified_;
  modified_ = modified;
  // The marker goes into the title itself: a maximized window's name is copied into the main
  // window's title, where a "[*]" placeholder would show as it is.
  if (!path_.isEmpty())
    setWindowTitle(DocumentName() + (modified ? QStringLiteral("*") : QString()));
  if (modified) closeConfirmed_ = false;
  if (changed) Q_EMIT modifiedChanged(modified);
}

cct_Instance* ChildFrame::CurrentTableInstance() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item || !control_.IsBold(item)) return nullptr;
  CDoc::LogRoute route(doc_);
  cct_Instance* instance = view_.ItemInstance(item);
  // A record kept as written (an unknown entity, a complex instance) has no entity's columns.
  return instance && instance->TypeID() != 0 ? instance : nullptr;
}

bool ChildFrame::ExportTable() {
  cct_Instance* instance = CurrentTableInstance();
  if (!instance || !instance->TypeName()) return false;
  const std::string entity = instance->TypeName();
  const QFileInfo document(path_);
  const QString proposed =
      document.dir().filePath(document.completeBaseName() + QStringLiteral("-") + ToQt(entity) + QStringLiteral(".csv"));
  const QString path = prompts_.tablePath(this, proposed);
  if (path.isEmpty()) return false;
  return ExportTableTo(entity, path);
}

bool ChildFrame::ExportTableTo(const std::string& entity, const QString& path) {
  if (!doc_.Scope()) return false;
  std::string why;
  bool ok = false;
  size_t rows = 0;
  {
    CDoc::LogRoute route(doc_);
    EntityTable table;
    if (table.Build(*doc_.Scope(), entity, false, why)) {
      rows = table.RowCount();
      const std::string target = LocalPath(path);
      ok = WriteTableFile(table, target, FormatOfPath(target), why);
    }
  }
  if (ok) {
    doc_.Log() << "Table of " << entity << " (" << rows << (rows == 1 ? " instance" : " instances")
               << ") written to \"" << path.toStdString() << "\".\n";
    Finish();
    return true;
  }
  doc_.Log() << "Table of " << entity << ": cannot write \"" << path.toStdString() << "\": " << why << "\n";
  Finish();
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"),
                  QStringLiteral("Die Tabelle von %1 konnte nicht nach \"%2\" geschrieben werden.")
                      .arg(ToQt(entity), QDir::toNativeSeparators(path)),
                  QMessageBox::Ok, this);
  box.setInformativeText(ToQt(why));
  prompts_.exec(box);
  return false;
}

bool ChildFrame::Save() {
  const QString path = prompts_.savePath(this, path_);
  if (path.isEmpty()) return false;
  return SaveTo(path);
}

bool ChildFrame::SaveTo(const QString& path) {
  const bool saved = doc_.OnSaveDocument(LocalPath(path));
  Finish();
  if (!saved) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"),
                    QStringLiteral("Die Datei \"%1\" konnte nicht gespeichert werden.")
                        .arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok, this);
    box.setInformativeText(QStringLiteral("Der Grund steht im Protokoll."));
    prompts_.exec(box);
    return false;
  }
  // From now on the document is the file just written: its name, the next save's proposal and
  // the recently used files follow it.
  const bool renamed = path != path_;
  path_ = path;
  undo_->setClean();
  SetModified(false);
  setWindowTitle(DocumentName());
  if (find_) find_->setWindowTitle(FindTitle());
  if (renamed) Q_EMIT pathChanged(path_);
  return true;
}

QString ChildFrame::SaveQuestion(const QString& name) {
  return QStringLiteral("Änderungen in \"%1\" speichern?").arg(name);
}

bool ChildFrame::MayClose() {
  closeConfirmed_ = AskToSave();
  return closeConfirmed_;
}

bool ChildFrame::AskToSave() {
  if (!modified_) return true;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Varnholt"), SaveQuestion(DocumentName()),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
  box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  box.setDefaultButton(QMessageBox::Yes);
  switch (prompts_.exec(box)) {
    case QMessageBox::Yes: return Save();
    case QMessageBox::No: return true;
    default: return false;
  }
}

void ChildFrame::closeEvent(QCloseEvent* event) {
  if (closeConfirmed_ || MayClose())
    event->accept();
  else
    event->ignore();
}

void ChildFrame::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplySplit();
}

void ChildFrame::ApplySplit() {
  // One third tree, two thirds log (or the share remembered from the last session), until the
  // user moves the divider.
  QList<int> sizes = splitter_->sizes();
  if (!splitByUser_) {
    const int tree = startShare_ == 1.0 / 3 ? width() / 3 : static_cast<int>(width() * startShare_);
    sizes = {tree, width() - tree};
  }
  if (treeLeast_ > 0) {
    // Beside the 3D view or the other panes the tree must stay readable: the log gives way.
    const int room = splitter_->width() - splitter_->handleWidth();
    const int least = std::min(treeLeast_, room - kLogLeast);
    const int tree = static_cast<int>(static_cast<double>(sizes.value(0)) * room /
                                      std::max(1, sizes.value(0) + sizes.value(1)));
    if (tree < least) sizes = {least, room - least};
  }
  splitter_->setSizes(sizes);
}

bool ChildFrame::focusNextPrevChild(bool next) {
  // The document window would keep Tab between its tree and its log; the main window takes it
  // on to the panes beside.
  if (tabOut_ && tabOut_(next)) return true;
  return QWidget::focusNextPrevChild(next);
}

void ChildFrame::SetTreeLeast(int pixels) {
  if (pixels == treeLeast_) return;
  treeLeast_ = std::max(0, pixels);
  ApplySplit();
}

double ChildFrame::TreeShare() const {
  const QList<int> sizes = splitter_->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  return total > 0 ? static_cast<double>(sizes.value(0)) / total : 1.0 / 3;
}

void ChildFrame::SetTreeShare(double share) {
  // A share that leaves either pane next to nothing is no useful memory.
  if (share >= 0.1 && share <= 0.9) startShare_ = share;
}

}  // namespace varnholt
