// Editing a document: values typed or cleared, elements and instances inserted, each an undo
// step; copying a row.
#include <cstring>
#include "childframe.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QUndoStack>
#include <functional>
#include <memory>

#include "cct/cct.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "finddialog.h"
#include "insertdialog.h"
#include "prompts.h"
#include "varnholt/edit.h"
#include "varnholt/insertdialog.h"
#include "varnholt/navigation.h"
#include "varnholt/valuetext.h"

namespace varnholt {

/// The state of a slot an undo or redo returns to: its value, and for an element whether its
/// list was set at all (typing into an unset list sets it).
struct SlotState {
  SlotEditor editor;
  bool listUnset = false;
};

namespace {

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
  LogToolpathsNowGiven(instance, attribute);
  tree_->expandItem(item);
  if (valueList && item->childCount() > 0) {
    QTreeWidgetItem* added = item->child(item->childCount() - 1);
    tree_->setCurrentItem(added);
    Q_EMIT statusMessage(QStringLiteral("Angef\u00fcgt: %1 (R\u00fcckg\u00e4ngig mit Strg+Z)").arg(added->text(0)));
  }
}

void ChildFrame::LogToolpathsNowGiven(cct_Instance* instance, long attribute) {
  // An operation given a toolpath list of its own has its moves from the file from now on: an
  // empty list leaves its workingsteps none, said at once rather than first at the G-code.
  const char* name = instance && attribute >= 0 ? instance->AttributeName(attribute) : nullptr;
  if (!name || std::strcmp(name, "its_toolpath") != 0 || !doc_.Scope() || !EnsureProjectProgram()) return;
  const std::string operation = std::string("#") + (instance->InstanceName() ? instance->InstanceName() : "?");
  {
    CDoc::LogRoute route(doc_);
    for (const varnholt::ProgramStep& step : ProjectProgram().steps)
      if (step.operation == operation && step.moves.empty() && !step.reason.empty())
        doc_.Log() << "workingstep " << step.name << ": no toolpaths: " << step.reason << '\n';
  }
  Finish();
}

void ChildFrame::PopulationChanged() {
  if (navigator_) navigator_->Invalidate();
  // Results may name an instance an undo withdrew.
  if (find_) find_->Clear();
  detailsTimer_.start();
}

}  // namespace varnholt
