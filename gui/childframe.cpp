#include "childframe.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <functional>

#include "appearancedialog.h"
#include "insertdialog.h"
#include "logview.h"
#include "prompts.h"
#include "varnholt/insertdialog.h"

namespace varnholt {

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

ChildFrame::ChildFrame(Prompts& prompts, QWidget* parent)
    : QWidget(parent),
      prompts_(prompts),
      splitter_(new QSplitter(Qt::Horizontal, this)),
      tree_(new InstanceTree(splitter_)),
      log_(new LogView(splitter_)),
      control_(*tree_),
      view_(control_, &doc_) {
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
}

ChildFrame::~ChildFrame() {
  // The widgets outlive the tree logic and the document by a little; nothing may reach them.
  tree_->disconnect(this);
  tree_->Delegate()->disconnect(this);
  splitter_->disconnect(this);
}

QString ChildFrame::PathName() const { return QFile::decodeName(doc_.PathName().c_str()); }

QString ChildFrame::DocumentName() const { return QFileInfo(PathName()).fileName(); }

bool ChildFrame::Open(const QString& path) {
  if (!doc_.OnOpenDocument(LocalPath(path).c_str())) {
    Finish();
    return false;
  }
  setWindowTitle(DocumentName());
  {
    CDoc::LogRoute route(doc_);
    view_.FillTree();
  }
  Finish();
  if (QTreeWidgetItem* root = tree_->topLevelItem(0)) {
    tree_->expandItem(root);
    tree_->setCurrentItem(root);
  }
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
  if (modified) closeConfirmed_ = false;
  if (changed) Q_EMIT modifiedChanged(modified);
}

void ChildFrame::OnLabelEdited(const QModelIndex& index, const QString& text) {
  QTreeWidgetItem* item = tree_->itemFromIndex(index);
  if (!item) return;
  bool taken;
  {
    CDoc::LogRoute route(doc_);
    const std::string typed = FromQt(text);
    taken = view_.OnEndLabelEdit(item, typed.c_str());
  }
  if (taken) SetModified(true);
  Finish();
}

void ChildFrame::OnDoubleClicked(QTreeWidgetItem* item) {
  bool changed;
  {
    CDoc::LogRoute route(doc_);
    changed = view_.OnDoubleClick(item, [this](InsertDialogData& data) {
      return RunInsertDialog(data, prompts_.exec, this);
    });
  }
  Finish();
  if (!changed) return;
  SetModified(true);
  tree_->expandItem(item);
}

void ChildFrame::OnExpanded(QTreeWidgetItem* item) {
  if (!view_.HasDeferredChildren(item)) return;
  {
    CDoc::LogRoute route(doc_);
    view_.ExpandItem(item);
  }
  // An instance without attributes has nothing to show after all.
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  Finish();
}

void ChildFrame::ExpandLevels(int levels) {
  std::function<void(QTreeWidgetItem*, int)> expand = [&](QTreeWidgetItem* item, int depth) {
    if (depth >= levels) return;
    tree_->expandItem(item);
    for (int i = 0; i < item->childCount(); ++i) expand(item->child(i), depth + 1);
  };
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) expand(tree_->topLevelItem(i), 0);
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
  const QString path = prompts_.savePath(this);
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
  SetModified(false);
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
  // One third tree, two thirds log, until the user moves the divider.
  if (!splitByUser_) splitter_->setSizes({width() / 3, width() - width() / 3});
}

}  // namespace varnholt
