#include "childframe.h"

#include <QAction>
#include <QCloseEvent>
#include <QLocale>
#include <QUndoStack>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>

#include "cct/cct.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "appearancedialog.h"
#include "detailsview.h"
#include "finddialog.h"
#include "insertdialog.h"
#include "logview.h"
#include "problemsview.h"
#include "varnholt/rules.h"
#include "prompts.h"
#include "varnholt/insertdialog.h"
#include "varnholt/navigation.h"
#include "varnholt/gcode.h"
#include "varnholt/table.h"
#include "varnholt/program.h"
#include "varnholt/save_io.h"
#include "varnholt/valuetext.h"

namespace varnholt {

/// The state of a slot an undo or redo returns to: its value, and for an element whether its
/// list was set at all (typing into an unset list sets it).
struct SlotState {
  SlotEditor editor;
  bool listUnset = false;
};

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

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

/// An edit already done when it is pushed: the first redo does nothing.
class DoneCommand : public QUndoCommand {
 public:
  DoneCommand(const QString& text, std::function<void()> undo, std::function<void()> redo)
      : QUndoCommand(text), undo_(std::move(undo)), redo_(std::move(redo)) {}
  void undo() override { undo_(); }
  void redo() override {
    if (done_) redo_();
    done_ = true;
  }

 private:
  std::function<void()> undo_, redo_;
  bool done_ = false;
};

/// The list a slot's element belongs to, or null for an attribute's own value.
cct_AggregateType_1d* ListOf(const ValueSlot& slot) {
  if (!slot.instance || slot.element < 0) return nullptr;
  return dynamic_cast<cct_AggregateType_1d*>(slot.instance->Attribute(slot.attribute));
}

/// The select a slot shows, or null.
cct_SelectType* SelectOf(const ValueSlot& slot) {
  cct_Type* value = slot.instance ? slot.instance->Attribute(slot.attribute) : nullptr;
  if (cct_AggregateType_1d* list = ListOf(slot))
    value = static_cast<unsigned long>(slot.element) < list->Count() &&
                    list->ElementDescriptor()->kind == cct_KIND_SELECT
                ? list->ElementObject(static_cast<unsigned long>(slot.element))
                : nullptr;
  return value && value->Kind() == cct_KIND_SELECT ? static_cast<cct_SelectType*>(value) : nullptr;
}

SlotState StateOf(const ValueSlot& slot) {
  cct_AggregateType_1d* list = ListOf(slot);
  if (cct_SelectType* select = SelectOf(slot)) {
    // A select's value is given back with its type, which an edit may have changed.
    SlotState state{DescribeSlot(slot), false};
    if (cct_Type* held = state.editor.set ? select->Get(0, 0) : nullptr) {
      state.editor.text = QString::fromUtf8(held->TypeName()).toUpper().toStdString() + "(" +
                          state.editor.text + ")";
      cct_DisposeGot(held);
    }
    return state;
  }
  if (!list || list->IsSet()) return SlotState{DescribeSlot(slot), false};
  // The element's stored value is kept too, so that an undo leaves the list as it was.
  list->SetSet(true);
  SlotState state{DescribeSlot(slot), true};
  list->SetSet(false);
  return state;
}

void Restore(const ValueSlot& slot, const SlotState& state) {
  if (state.listUnset) {
    SetValue(slot, state.editor.text);
    if (cct_AggregateType_1d* list = ListOf(slot)) list->SetSet(false);
  } else if (state.editor.asWritten) {
    RestoreSlot(slot, state.editor);
  } else if (cct_SelectType* select = SelectOf(slot)) {
    // A select's value is given back with its type; a clear of a select is refused by the
    // rules of a clear, so an undo empties it itself.
    if (state.editor.set)
      SetValue(slot, state.editor.text);
    else
      select->Unset();
  } else {
    RestoreSlot(slot, state.editor);
  }
}

bool IsValueListKind(long kind) {
  return kind == cct_KIND_INTEGER || kind == cct_KIND_REAL || kind == cct_KIND_STRING ||
         kind == cct_KIND_BOOLEAN || kind == cct_KIND_LOGICAL || kind == cct_KIND_ENUMERATION;
}

}  // namespace

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
      gcode_(new GcodeView) {
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
  // Every edit, insert, undo and redo moves the undo stack: the scene may no longer match.
  // The details pane shows the record as it is now.
  connect(undo_, &QUndoStack::indexChanged, this, [this] {
    if (scene_) scene_->MarkOutdated();
    projectTime_.reset();
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

void ChildFrame::Report(const EditOutcome& outcome) {
  if (!outcome.message.empty()) Q_EMIT statusMessage(ToQt(outcome.message));
}

void ChildFrame::PushValueChange(const ValueSlot& slot, const SlotState& before,
                                 const QString& what) {
  const SlotState after = StateOf(slot);
  auto apply = [this, slot](const SlotState& state) {
    {
      CDoc::LogRoute route(doc_);
      Restore(slot, state);
      view_.RefreshInstance(*slot.instance);
    }
    Finish();
  };
  undo_->push(new DoneCommand(what + QStringLiteral(" ") + ToQt(SlotName(slot)),
                              [apply, before] { apply(before); }, [apply, after] { apply(after); }));
}

void ChildFrame::OnLabelEdited(const QModelIndex& index, const QString& text) {
  QTreeWidgetItem* item = tree_->itemFromIndex(index);
  if (!item) return;
  ValueSlot slot;
  if (!view_.SlotOf(item, slot)) return;
  const SlotState before = StateOf(slot);
  EditOutcome outcome;
  {
    CDoc::LogRoute route(doc_);
    outcome = view_.EditLabel(item, FromQt(text));
  }
  Report(outcome);
  if (outcome.status == EditOutcome::kChanged)
    PushValueChange(slot, before, QStringLiteral("\u00c4ndern"));
  Finish();
}

bool ChildFrame::ClearCurrent() {
  QTreeWidgetItem* item = tree_->currentItem();
  ValueSlot slot;
  if (!item || !view_.SlotOf(item, slot)) return false;
  const SlotState before = StateOf(slot);
  EditOutcome outcome;
  {
    CDoc::LogRoute route(doc_);
    outcome = view_.ClearItem(item);
  }
  Report(outcome);
  const bool changed = outcome.status == EditOutcome::kChanged;
  if (changed) PushValueChange(slot, before, QStringLiteral("L\u00f6schen"));
  Finish();
  return changed;
}

QString ChildFrame::CopyCurrent() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item) return QString();
  QString text = item->text(0);
  {
    CDoc::LogRoute route(doc_);
    ValueSlot slot;
    if (view_.SlotOf(item, slot)) text = ToQt(CopyText(slot));
  }
  QGuiApplication::clipboard()->setText(text);
  return text;
}

QString ChildFrame::CopyCurrentRecord() {
  QTreeWidgetItem* item = tree_->currentItem();
  QString text;
  {
    CDoc::LogRoute route(doc_);
    if (cct_Instance* instance = item ? view_.ItemInstance(item) : nullptr)
      text = ToQt(RecordText(*instance));
  }
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
  return text;
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

bool ChildFrame::IsValueList(QTreeWidgetItem* item) {
  if (!item || control_.IsBold(item) || !item->parent() || !control_.IsBold(item->parent()))
    return false;
  CDoc::LogRoute route(doc_);
  cct_Instance* instance = view_.ItemInstance(item->parent());
  const int i = item->parent()->indexOfChild(item);
  auto* list = instance ? dynamic_cast<cct_AggregateType_1d*>(instance->Attribute(i)) : nullptr;
  return list && IsValueListKind(list->ElementDescriptor()->kind);
}

void ChildFrame::OnDoubleClicked(QTreeWidgetItem* item) {
  if (!item || GoToReferenced(item)) return;
  // A double-click on a closed list of values opens it, as in every tree; only on an open (or
  // empty) one does it add an element, which is then selected and named in the status bar.
  const bool valueList = IsValueList(item);
  if (valueList && !item->isExpanded() && item->childCount() > 0) {
    tree_->expandItem(item);
    return;
  }
  bool changed;
  {
    CDoc::LogRoute route(doc_);
    changed = view_.OnDoubleClick(item, [this](InsertDialogData& data) {
      return RunInsertDialog(data, prompts_.exec, this);
    });
  }
  Finish();
  if (!changed) {
    // Everything else opens and closes as in every tree.
    if (item->childCount() > 0 || view_.HasDeferredChildren(item))
      item->setExpanded(!item->isExpanded());
    return;
  }
  cct_Instance* instance = view_.LastInsertInstance();
  const long attribute = view_.LastInsertAttribute();
  auto result = std::make_shared<InsertResult>(view_.LastInsert());
  auto rebuild = [this, instance](const std::function<void()>& change) {
    {
      CDoc::LogRoute route(doc_);
      change();
      view_.RebuildInstance(*instance);
    }
    PopulationChanged();
    Finish();
  };
  PopulationChanged();
  undo_->push(new DoneCommand(
      QStringLiteral("Einf\u00fcgen"),
      [rebuild, instance, attribute, result] {
        rebuild([&] { RevertInsert(*instance, attribute, *result); });
      },
      [this, rebuild, instance, attribute, result] {
        rebuild([&] {
          if (cct_Scope* scope = doc_.Scope())
            *result = InsertValue(*scope, *instance, attribute, result->chosen);
        });
      }));
  tree_->expandItem(item);
  if (valueList && item->childCount() > 0) {
    QTreeWidgetItem* added = item->child(item->childCount() - 1);
    tree_->setCurrentItem(added);
    Q_EMIT statusMessage(QStringLiteral("Angef\u00fcgt: %1 (R\u00fcckg\u00e4ngig mit Strg+Z)").arg(added->text(0)));
  }
}

void ChildFrame::PopulationChanged() {
  if (navigator_) navigator_->Invalidate();
  // Results may name an instance an undo withdrew.
  if (find_) find_->Clear();
  detailsTimer_.start();
}

void ChildFrame::OnCurrentChanged(QTreeWidgetItem* item) {
  detailsTimer_.start();
  exportTable_->setEnabled(CurrentTableInstance() != nullptr);
  if (navigating_ || !item) return;
  const QPersistentModelIndex index(tree_->indexFromItem(item));
  if (historyAt_ >= 0 && history_[static_cast<size_t>(historyAt_)] == index) return;
  history_.resize(static_cast<size_t>(historyAt_ + 1));
  history_.push_back(index);
  if (history_.size() > static_cast<size_t>(kHistoryLength)) history_.erase(history_.begin());
  historyAt_ = static_cast<int>(history_.size()) - 1;
  Q_EMIT historyChanged();
}

void ChildFrame::UpdateDetails() {
  detailsTimer_.stop();
  cct_Instance* instance = nullptr;
  if (QTreeWidgetItem* item = tree_->currentItem()) {
    CDoc::LogRoute route(doc_);
    instance = view_.ItemInstance(item);
  }
  ShowDetailsOf(instance, QString());
  UpdateSceneHighlight();
}

void ChildFrame::UpdateSceneHighlight() {
  if (!scene_ || scene_->SceneState() == SceneView::State::None) return;
  std::vector<std::string> names;
  {
    CDoc::LogRoute route(doc_);
    for (QTreeWidgetItem* item = tree_->currentItem(); item; item = item->parent()) {
      cct_Instance* instance = view_.ItemInstance(item);
      if (!instance || !instance->InstanceName()) continue;
      std::string name = std::string("#") + instance->InstanceName();
      if (names.empty() || names.back() != name) names.push_back(std::move(name));
    }
  }
  scene_->Highlight(names);
}

void ChildFrame::RebuildScene() {
  cct_Scope* scope = doc_.Scope();
  // The progress window lets events through, among them a second request of the view.
  if (!scope || !scene_ || buildingScene_) return;
  buildingScene_ = true;
  // On the calling thread like everything that reads the population; a large file takes a
  // while, so it can be stopped, and shows what was done until then.
  QProgressDialog progress(QStringLiteral("Baue die 3D-Ansicht auf ..."), QStringLiteral("Abbrechen"),
                           0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  bool cancelled = false;
  Scene scene;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    scene = varnholt::BuildScene(*scope, [&](int percent) {
      progress.setValue(std::clamp(percent, 0, 99));
      QCoreApplication::processEvents();
      cancelled = progress.wasCanceled();
      return !cancelled;
    });
    QGuiApplication::restoreOverrideCursor();
    // Once: a rebuild after an edit would repeat the same lines.
    if (!cancelled && !sceneProblemsReported_) {
      ReportSceneProblems(scene, doc_.Log());
      sceneProblemsReported_ = true;
    }
  }
  progress.reset();
  buildingScene_ = false;
  Finish();
  scene_->SetScene(std::move(scene), cancelled ? SceneView::State::Partial : SceneView::State::Current);
  UpdateSceneHighlight();
}

bool ChildFrame::CheckRules() {
  cct_Scope* scope = doc_.Scope();
  if (!scope || !problems_ || checkingRules_) return false;
  checkingRules_ = true;
  // On the calling thread like everything that reads the population; a large file takes a
  // while, so it can be stopped, and then says that what it shows is not all.
  QProgressDialog progress(QStringLiteral("Pr\u00fcfe die Regeln ..."), QStringLiteral("Abbrechen"),
                           0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  rules::Report report;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    report = rules::Check(*scope, [&](int percent) {
      progress.setValue(std::clamp(percent, 0, 99));
      QCoreApplication::processEvents();
      return !progress.wasCanceled();
    });
    QGuiApplication::restoreOverrideCursor();
  }
  progress.reset();
  checkingRules_ = false;
  const long errors = report.Errors(), warnings = report.Warnings();
  QString summary = QStringLiteral("%1 Fehler, %2 Warnungen; %3 Regeln gepr\u00fcft, %4 nicht gepr\u00fcft")
                        .arg(errors)
                        .arg(warnings)
                        .arg(report.evaluated.size())
                        .arg(report.notEvaluated.size());
  if (!report.notEvaluated.empty()) {
    QStringList ids;
    for (const rules::Rule* rule : report.notEvaluated) ids << QString::fromStdString(rule->id);
    summary += QStringLiteral(" (%1)").arg(ids.join(QStringLiteral(", ")));
  }
  if (report.cancelled) summary = QStringLiteral("Abgebrochen: nicht alle Regeln sind gepr\u00fcft. ") + summary;
  problems_->Show(report.findings, summary + QStringLiteral("."));
  Q_EMIT statusMessage(report.cancelled ? QStringLiteral("Regelpr\u00fcfung abgebrochen")
                                        : QStringLiteral("Regeln gepr\u00fcft: %1 Fehler, %2 Warnungen")
                                              .arg(errors)
                                              .arg(warnings));
  return !report.cancelled;
}

GcodeResult ChildFrame::MakeGcode(bool allowPartial) {
  GcodeResult result;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const Program program = varnholt::BuildProgram(*doc_.Scope());
    GcodeOptions options;
    options.dialect = Dialect::LinuxCnc;
    options.allowPartial = allowPartial;
    // The name alone: the program goes to the machine, the folders of this computer do not.
    options.source = FromQt(DocumentName());
    result = varnholt::WriteGcode(program, options);
    QGuiApplication::restoreOverrideCursor();
  }
  return result;
}

void ChildFrame::LogGcode(const GcodeResult& result, bool problems) {
  for (const std::string& note : result.notes) doc_.Log() << "G-code: " << note << '\n';
  if (problems)
    for (const std::string& problem : result.problems) doc_.Log() << "G-code: " << problem << '\n';
}

QString ChildFrame::GcodeMapPath(const QString& gcodePath) {
  const QFileInfo file(gcodePath);
  return file.dir().filePath(file.completeBaseName() + QStringLiteral(".map.json"));
}

bool ChildFrame::ExportGcode() {
  if (!doc_.Scope()) return false;
  const QFileInfo document(path_);
  const QString proposed = document.dir().filePath(document.completeBaseName() + QStringLiteral(".ngc"));
  const QString path = prompts_.gcodePath(this, proposed);
  if (path.isEmpty()) return false;
  return ExportGcodeTo(path);
}

bool ChildFrame::ExportGcodeTo(const QString& path) {
  if (!doc_.Scope()) return false;
  GcodeResult result = MakeGcode(false);
  LogGcode(result, true);
  auto refuse = [this](const QString& text, const QString& reason) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"), text, QMessageBox::Ok, this);
    box.setInformativeText(reason);
    prompts_.exec(box);
    return false;
  };
  if (!result.ok) {
    const QString target = QDir::toNativeSeparators(path);
    if (result.problems.empty()) {
      doc_.Log() << "G-code not written: the program cannot be written.\n";
      Finish();
      return refuse(QStringLiteral("Das Programm l\u00e4sst sich nicht als G-Code schreiben; \"%1\" "
                                   "wurde nicht geschrieben.").arg(target),
                    QStringLiteral("Der Grund steht im Protokoll."));
    }
    // The list in the box itself: they are what the user decides on. A long one is cut there
    // and given whole in the details.
    constexpr size_t kListed = 10;
    QStringList listed, all;
    for (const std::string& problem : result.problems) {
      all << ToQt(problem);
      if (static_cast<size_t>(listed.size()) < kListed) listed << QStringLiteral("\u2022 ") + ToQt(problem);
    }
    if (result.problems.size() > kListed)
      listed << QStringLiteral("\u2026 und %1 weitere").arg(result.problems.size() - kListed);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Varnholt"),
                    QStringLiteral("Nicht jeder Arbeitsschritt l\u00e4sst sich als G-Code schreiben:\n\n%1")
                        .arg(listed.join(QLatin1Char('\n'))),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(QStringLiteral("Ohne diese Arbeitsschritte nach \"%1\" exportieren?").arg(target));
    box.setDetailedText(all.join(QLatin1Char('\n')));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    box.setDefaultButton(QMessageBox::No);
    if (prompts_.exec(box) != QMessageBox::Yes) {
      doc_.Log() << "G-code not written: " << result.problems.size()
                 << (result.problems.size() == 1 ? " workingstep cannot" : " workingsteps cannot")
                 << " be written.\n";
      Finish();
      return false;
    }
    // Its problems are those just logged; a refused program has no notes, this one has.
    result = MakeGcode(true);
    LogGcode(result, false);
    if (!result.ok) {
      doc_.Log() << "G-code not written: the program cannot be written even without those workingsteps.\n";
      Finish();
      return refuse(QStringLiteral("Das Programm l\u00e4sst sich auch ohne diese Arbeitsschritte nicht "
                                   "als G-Code schreiben; \"%1\" wurde nicht geschrieben.").arg(target),
                    QStringLiteral("Der Grund steht im Protokoll."));
    }
  }

  // The map is of the program written, so it follows the program; a program whose map could
  // not be written is still the program, and is said to be so.
  const QString map = GcodeMapPath(path);
  std::string why;
  QString failed;
  if (!varnholt::ReplaceFile(LocalPath(path), [&](std::ostream& out) {
        out << result.text;
        return std::string();
      }, why)) {
    failed = path;
  } else if (!varnholt::ReplaceFile(LocalPath(map), [&](std::ostream& out) {
               varnholt::WriteGcodeMap(result, out);
               return std::string();
             }, why)) {
    failed = map;
  }
  if (!failed.isEmpty()) {
    doc_.Log() << "G-code: cannot write \"" << LocalPath(failed) << "\": " << why << '\n';
    Finish();
    const QString text = failed == path
                             ? QStringLiteral("Der G-Code konnte nicht nach \"%1\" geschrieben werden.")
                             : QStringLiteral("Der G-Code ist geschrieben, seine Zuordnung der Zeilen "
                                              "konnte nicht nach \"%1\" geschrieben werden.");
    return refuse(text.arg(QDir::toNativeSeparators(failed)), ToQt(why));
  }
  doc_.Log() << "G-code written to \"" << LocalPath(path) << "\" (" << result.lines.size()
             << " lines), its source map to \"" << LocalPath(map) << "\".\n";
  Finish();
  QString summary = QStringLiteral("%1 Zeilen G-Code aus %2, geschrieben nach %3.")
                        .arg(result.lines.size())
                        .arg(DocumentName(), QDir::toNativeSeparators(path));
  if (!result.problems.empty())
    summary += QStringLiteral(" Ohne %1 Arbeitsschritte (siehe Protokoll).").arg(result.problems.size());
  gcode_->Show(result, summary);
  Q_EMIT statusMessage(QStringLiteral("G-Code geschrieben: %1").arg(QDir::toNativeSeparators(path)));
  return true;
}

bool ChildFrame::ShowGcode() {
  if (!doc_.Scope() || !gcode_) return false;
  // Shown, not written: what can be written is shown at once, and the rest named.
  const GcodeResult result = MakeGcode(true);
  LogGcode(result, true);
  Finish();
  if (!result.ok) {
    gcode_->Show(GcodeResult{},
                 QStringLiteral("Kein G-Code aus %1: das Programm l\u00e4sst sich nicht schreiben "
                                "(siehe Protokoll).").arg(DocumentName()));
    return false;
  }
  QString summary = QStringLiteral("%1 Zeilen G-Code aus %2 (nicht gespeichert).")
                        .arg(result.lines.size())
                        .arg(DocumentName());
  if (!result.problems.empty())
    summary += QStringLiteral(" Ohne %1 Arbeitsschritte (siehe Protokoll).").arg(result.problems.size());
  gcode_->Show(result, summary);
  return true;
}

namespace {

QString Millimetres(double length) { return QStringLiteral("%1 mm").arg(length, 0, 'f', 1); }

/// The feeds of a step, as the file gives them converted to mm/min; a long list is cut, the
/// project may use dozens.
QString Feeds(const std::vector<double>& feeds) {
  constexpr size_t kShown = 8;
  if (feeds.empty()) return QStringLiteral("none");
  QStringList shown;
  for (size_t i = 0; i < feeds.size() && i < kShown; ++i) shown << QString::number(feeds[i], 'g', 6);
  QString text = shown.join(QStringLiteral(", "));
  if (feeds.size() > kShown) text += QStringLiteral(", \u2026 %1 more").arg(feeds.size() - kShown);
  return text + QStringLiteral(" mm/min");
}

/// The lines of the details pane for the time of a workingstep or of the whole program.
DetailRows TimeRows(const StepTime& time) {
  DetailRows rows;
  auto add = [&rows](const QString& label, const QString& text) { rows.push_back({label, text, QString()}); };
  add(QStringLiteral("Cutting length:"), Millimetres(time.cutting));
  add(QStringLiteral("Rapid length:"), Millimetres(time.rapid));
  add(time.feeds.size() > 1 ? QStringLiteral("Feeds:") : QStringLiteral("Feed:"), Feeds(time.feeds));
  QString cutting = ToQt(Duration(time.cuttingSeconds));
  // A time that leaves out moves must not pass for the whole time.
  if (time.feedMissing) cutting += QStringLiteral(" (moves without a feed not counted)");
  add(QStringLiteral("Cutting time:"), cutting);
  add(QStringLiteral("Rapid time:"), ToQt(Duration(time.rapidSeconds)));
  add(QStringLiteral("Tool change time:"), ToQt(Duration(time.toolChangeSeconds)));
  if (time.dwellSeconds > 0) add(QStringLiteral("Dwell time:"), ToQt(Duration(time.dwellSeconds)));
  add(QStringLiteral("Total time:"), ToQt(Duration(time.Total())));
  return rows;
}

}  // namespace

void ChildFrame::MakeProjectTime() {
  if (!doc_.Scope()) return;
  CDoc::LogRoute route(doc_);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  projectTime_ = varnholt::MachiningTime(varnholt::BuildProgram(*doc_.Scope()));
  QGuiApplication::restoreOverrideCursor();
}

// For a workingstep: how many moves it has, from the file's toolpaths or generated, and how
// long its cutting and rapid moves are; the reason where it has none. Its machining time, and
// the project's, go to `time`.
QString ChildFrame::MotionOf(cct_Instance* instance, DetailRows& time) {
  time.clear();
  if (!instance || !doc_.Scope()) return QString();
  if (varnholt::IsOfType(*instance, "project")) {
    // The project is the row selected when a file opens: a large one would open seconds later.
    if (!projectTime_ && static_cast<long>(doc_.Scope()->EntryCount()) >= timeOnRequest_) {
      time.push_back({QStringLiteral("Machining time:"),
                      QStringLiteral("work it out (a large file: this takes a while)"),
                      DetailsView::TimeLink()});
      return QString();
    }
    if (!projectTime_) MakeProjectTime();
    // A project without a workingstep that moves has no time to speak of.
    if (!projectTime_->steps.empty()) time = TimeRows(projectTime_->total);
    return QString();
  }
  if (!varnholt::IsOfType(*instance, "workingstep")) return QString();
  varnholt::ProgramOptions options;
  options.only = instance;
  varnholt::Program program;
  varnholt::ProgramTime machining;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    program = varnholt::BuildProgram(*doc_.Scope(), options);
    machining = varnholt::MachiningTime(program);
    QGuiApplication::restoreOverrideCursor();
  }
  if (program.steps.empty()) return QString();
  const varnholt::ProgramStep& step = program.steps.front();
  if (step.moves.empty()) return QStringLiteral("none (%1)").arg(ToQt(step.reason));
  // The first time the workplans reach it, as the moves above.
  if (!machining.steps.empty()) time = TimeRows(machining.steps.front());
  const varnholt::MoveLengths lengths = varnholt::Lengths(step.start, step.moves);
  return QStringLiteral("%1 %2, cutting %3 mm, rapid %4 mm")
      .arg(step.moves.size())
      .arg(step.explicitMoves ? QStringLiteral("from the file") : QStringLiteral("generated"))
      .arg(lengths.cutting, 0, 'f', 1)
      .arg(lengths.rapid, 0, 'f', 1);
}

void ChildFrame::ShowDetailsOf(cct_Instance* instance, const QString& note) {
  InstanceDetails details;
  bool found = false;
  if (instance && navigator_ && instance->InstanceName()) {
    CDoc::LogRoute route(doc_);
    // The first question builds the index of references: a moment on a large file.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    found = navigator_->Details(instance->InstanceName(), details);
    QGuiApplication::restoreOverrideCursor();
  }
  if (found) {
    DetailRows time;
    const QString motion = MotionOf(instance, time);
    details_->ShowDetails(details, note, motion, time);
  } else {
    details_->ShowNothing();
  }
  Finish();
}

QString ChildFrame::UnreachedNote() {
  return QStringLiteral("No path from the project reaches this instance: the tree does not show it.");
}

bool ChildFrame::GoTo(cct_Instance* instance) {
  if (!instance || !doc_.Scope()) return false;
  TreeItem found;
  {
    CDoc::LogRoute route(doc_);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    found = view_.RevealInstance(*instance);
    QGuiApplication::restoreOverrideCursor();
  }
  Finish();
  QTreeWidgetItem* item = QtTreeControl::Item(found);
  if (!item) {
    ShowDetailsOf(instance, UnreachedNote());
    Q_EMIT statusMessage(UnreachedNote());
    return false;
  }
  std::vector<QTreeWidgetItem*> above;
  for (QTreeWidgetItem* p = item->parent(); p; p = p->parent()) above.push_back(p);
  for (auto it = above.rbegin(); it != above.rend(); ++it) tree_->expandItem(*it);
  tree_->setCurrentItem(item);
  tree_->scrollToItem(item, QAbstractItemView::PositionAtCenter);
  // Scrolled sideways to a deep item, the tree would cut off the start of every label above it.
  tree_->horizontalScrollBar()->setValue(0);
  // Also when the item was current already: the pane may show an unreached instance.
  UpdateDetails();
  return true;
}

bool ChildFrame::GoToName(const QString& name) {
  cct_Scope* scope = doc_.Scope();
  if (!scope) return false;
  cct_Instance* instance;
  {
    CDoc::LogRoute route(doc_);
    cct_Scope::Entry* entry = scope->FindEntry(FromQt(name).c_str(), 1);
    instance = entry ? entry->instance : nullptr;
  }
  return GoTo(instance);
}

bool ChildFrame::GoToReferenced(QTreeWidgetItem* item) {
  // Only an instance shown under the attribute that refers to it; the project has nowhere
  // else to go.
  if (!item || !control_.IsBold(item) || !item->parent()) return false;
  cct_Instance* instance;
  {
    CDoc::LogRoute route(doc_);
    instance = view_.ItemInstance(item);
  }
  return GoTo(instance);
}

bool ChildFrame::GoToHistory(int step) {
  for (int at = historyAt_ + step; at >= 0 && at < static_cast<int>(history_.size()); at += step) {
    const QPersistentModelIndex& index = history_[static_cast<size_t>(at)];
    // Items of a rebuilt subtree are gone; their places are passed over.
    if (!index.isValid()) continue;
    historyAt_ = at;
    navigating_ = true;
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    navigating_ = false;
    Q_EMIT historyChanged();
    return true;
  }
  return false;
}

bool ChildFrame::Back() { return GoToHistory(-1); }
bool ChildFrame::Forward() { return GoToHistory(1); }

bool ChildFrame::CanGoBack() const {
  for (int at = historyAt_ - 1; at >= 0; --at)
    if (history_[static_cast<size_t>(at)].isValid()) return true;
  return false;
}

bool ChildFrame::CanGoForward() const {
  for (size_t at = static_cast<size_t>(historyAt_ + 1); at < history_.size(); ++at)
    if (history_[at].isValid()) return true;
  return false;
}

FindDialog* ChildFrame::Find() {
  if (!find_) {
    find_ = new FindDialog(this);
    find_->setWindowTitle(FindTitle());
    connect(find_, &FindDialog::searchRequested, this, &ChildFrame::RunFind);
    connect(find_, &FindDialog::instanceChosen, this, [this](cct_Instance* instance) {
      GoTo(instance);
      KeepFindClear();
    });
  }
  return find_;
}

QString ChildFrame::FindTitle() const { return QStringLiteral("Suchen in %1").arg(DocumentName()); }

void ChildFrame::ShowFind() {
  FindDialog* dialog = Find();
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  dialog->TextField()->setFocus();
  dialog->TextField()->selectAll();
}

void ChildFrame::RunFind() {
  if (!navigator_) return;
  const FindQuery query = Find()->Query();
  if (query.name.empty() && query.type.empty() && query.text.empty() && !query.unreached) return;
  // A search over every instance of a large file takes a while; it can be stopped.
  QProgressDialog progress(QStringLiteral("Suche ..."), QStringLiteral("Abbrechen"), 0, 0, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  bool cancelled = false;
  std::vector<cct_Instance*> found;
  {
    CDoc::LogRoute route(doc_);
    found = navigator_->Find(query, [&] {
      progress.setValue(0);
      QCoreApplication::processEvents();
      cancelled = progress.wasCanceled();
      return cancelled;
    });
  }
  progress.reset();
  Finish();
  Find()->SetResults(std::move(found), !cancelled);
  // The first hit is selected at once, as a desktop program's search does.
  Find()->Next();
}

bool ChildFrame::FindNext() {
  if (!find_ || find_->ResultCount() == 0) {
    ShowFind();
    return false;
  }
  return find_->Next();
}

bool ChildFrame::FindPrevious() {
  if (!find_ || find_->ResultCount() == 0) {
    ShowFind();
    return false;
  }
  return find_->Previous();
}

void ChildFrame::KeepFindClear() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!find_ || !find_->isVisible() || !item) return;
  const QRect row = tree_->visualItemRect(item);
  const QRect onScreen(tree_->viewport()->mapToGlobal(row.topLeft()),
                       tree_->viewport()->mapToGlobal(row.bottomRight()));
  QRect window = find_->frameGeometry();
  if (!window.intersects(onScreen)) return;
  const QScreen* screen = find_->screen();
  const QRect room = screen ? screen->availableGeometry() : QRect(window.united(onScreen));
  const int gap = 8;
  // Below the row, else above it, else beside the tree: the first place with room. Without
  // room anywhere it goes below (its title bar stays on the screen), or above when the row is
  // at the screen's foot.
  const int treeRight = tree_->viewport()->mapToGlobal(QPoint(tree_->viewport()->width(), 0)).x();
  if (onScreen.bottom() + gap + window.height() <= room.bottom()) {
    window.moveTop(onScreen.bottom() + gap);
  } else if (onScreen.top() - gap - window.height() >= room.top()) {
    window.moveBottom(onScreen.top() - gap);
  } else if (treeRight + gap + window.width() <= room.right()) {
    window.moveLeft(treeRight + gap);
  } else if (room.bottom() - onScreen.bottom() >= 80) {
    window.moveTop(onScreen.bottom() + gap);
  } else {
    window.moveBottom(onScreen.top() - gap);
  }
  find_->move(window.topLeft());
}

bool ChildFrame::GoToLogLine(const QString& line) {
  cct_Scope* scope = doc_.Scope();
  if (!scope) return false;
  cct_Instance* instance;
  {
    CDoc::LogRoute route(doc_);
    instance = LogLineInstance(*scope, FromQt(line));
  }
  return GoTo(instance);
}

void ChildFrame::OnExpanded(QTreeWidgetItem* item) {
  if (expanding_ || !view_.HasDeferredChildren(item)) return;
  {
    CDoc::LogRoute route(doc_);
    view_.ExpandItem(item);
  }
  // An instance without attributes has nothing to show after all.
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  Finish();
}

void ChildFrame::ExpandLevels(int levels) {
  // Breadth first and bounded like ExpandAll: a level of a large file can hold millions of items.
  std::vector<std::pair<QTreeWidgetItem*, int>> queue;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) queue.emplace_back(tree_->topLevelItem(i), 0);
  for (size_t next = 0; next < queue.size() && queue.size() < size_t{kExpandBatch}; ++next) {
    auto [item, depth] = queue[next];
    if (depth >= levels) continue;
    tree_->expandItem(item);
    for (int i = 0; i < item->childCount(); ++i) queue.emplace_back(item->child(i), depth + 1);
  }
}

void ChildFrame::ExpandAll(QTreeWidgetItem* root) {
  if (!root || expanding_) return;
  expanding_ = true;
  // A modal progress window that lets events through: the window stays drawn and the user can
  // stop; nothing else can change the tree meanwhile.
  QProgressDialog progress(QStringLiteral("Klappe %1 auf ...").arg(root->text(0)),
                           QStringLiteral("Abbrechen"), 0, 0, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(kExpandFeedbackMs);
  progress.setValue(0);
  // In a large file one instance may hold a list of a hundred thousand points, whose rows are
  // built in one step: the window says at once that it works rather than after that step.
  if (doc_.Scope() && doc_.Scope()->EntryCount() >= kExpandShowAtOnce) {
    progress.show();
    QCoreApplication::processEvents();
  }
  QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  // A column sized to its contents measures every row again after each change; that, not the
  // building of the rows, is what made a large expansion take minutes. It is measured once at
  // the end.
  QHeaderView* header = tree_->header();
  header->setSectionResizeMode(0, QHeaderView::Interactive);
  tree_->scheduleDelayedItemsLayout();
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  // Breadth first: a reference met in many places is shown in each, so "everything below" of
  // a large project has no useful bound; each further kExpandBatch rows need the user's go-ahead.
  std::vector<QTreeWidgetItem*> queue{root};
  size_t asked = 0;
  bool stopped = false;
  for (size_t next = 0; next < queue.size() && !stopped; ++next) {
    QTreeWidgetItem* item = queue[next];
    if (view_.HasDeferredChildren(item)) {
      CDoc::LogRoute route(doc_);
      view_.ExpandItem(item);
      item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
    item->setExpanded(true);
    for (int i = 0; i < item->childCount(); ++i) queue.push_back(item->child(i));
    if (sinceEvents.elapsed() >= kExpandEventsMs) {
      progress.setLabelText(QStringLiteral("%1 Eintr\u00e4ge aufgeklappt ...").arg(static_cast<qlonglong>(queue.size())));
      progress.setValue(0);
      QCoreApplication::processEvents();
      stopped = progress.wasCanceled();
      // The events laid the tree out; the next expansions wait for one layout again.
      tree_->scheduleDelayedItemsLayout();
      sinceEvents.restart();
    }
    if (!stopped && queue.size() - asked >= kExpandBatch && next + 1 < queue.size()) {
      asked = queue.size();
      QMessageBox box(QMessageBox::Question, QStringLiteral("Varnholt"),
                      QStringLiteral("%1 Eintr\u00e4ge sind aufgeklappt. Weiter aufklappen?")
                          .arg(static_cast<qlonglong>(queue.size())),
                      QMessageBox::Yes | QMessageBox::Cancel, this);
      box.button(QMessageBox::Yes)->setText(QStringLiteral("&Weiter"));
      box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
      stopped = prompts_.exec(box) != QMessageBox::Yes;
    }
  }
  // Rows whose children were not built yet still show that there is something to open.
  Finish();
  header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  progress.reset();
  QGuiApplication::restoreOverrideCursor();
  expanding_ = false;
  if (stopped)
    Q_EMIT statusMessage(QStringLiteral("Aufklappen nach %1 Eintr\u00e4gen angehalten")
                             .arg(static_cast<qlonglong>(queue.size())));
}

void ChildFrame::Format() {
  AppearanceDialog dialog(control_.ShownItemHeight(), this);
  if (prompts_.exec(dialog) != QDialog::Accepted) return;
  {
    CDoc::LogRoute route(doc_);
    view_.ApplyItemHeight(FromQt(dialog.ItemHeightText()));
  }
  Finish();
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
  // One third tree, two thirds log (or the share remembered from the last session), until the
  // user moves the divider.
  if (splitByUser_) return;
  const int tree = startShare_ == 1.0 / 3 ? width() / 3 : static_cast<int>(width() * startShare_);
  splitter_->setSizes({tree, width() - tree});
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

void ChildFrame::Relabel() {
  // Every instance row relabels its attribute and element rows; the column is measured once.
  QHeaderView* header = tree_->header();
  header->setSectionResizeMode(0, QHeaderView::Interactive);
  {
    CDoc::LogRoute route(doc_);
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) stack.push_back(tree_->topLevelItem(i));
    while (!stack.empty()) {
      QTreeWidgetItem* item = stack.back();
      stack.pop_back();
      for (int i = 0; i < item->childCount(); ++i) stack.push_back(item->child(i));
      if (!control_.IsBold(item)) continue;
      cct_Instance* instance = view_.ItemInstance(item);
      if (!instance) continue;
      for (int i = 0; i < item->childCount() && i < instance->AttributeCount(); ++i) {
        QTreeWidgetItem* attribute = item->child(i);
        attribute->setText(0, ToQt(CStpTreeView::AttributeLabel(*instance, i)));
        for (int j = 0; j < attribute->childCount(); ++j)
          if (!control_.IsBold(attribute->child(j)))
            attribute->child(j)->setText(0, ToQt(CStpTreeView::ElementItemLabel(*instance, i, j)));
      }
    }
  }
  header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}

}  // namespace varnholt
