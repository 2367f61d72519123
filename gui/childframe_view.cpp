// The document's tree and the panes that follow it: expanding and labelling rows, the details
// of the current instance, going to an instance, back and forward, and the search.
#include "childframe.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <utility>

#include "cct/cct.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "appearancedialog.h"
#include "detailsview.h"
#include "finddialog.h"
#include "prompts.h"
#include "varnholt/navigation.h"

namespace varnholt {

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
  FollowStockStep();
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
  return QStringLiteral("Kein Weg vom Projekt erreicht diese Instanz: der Baum zeigt sie nicht.");
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
