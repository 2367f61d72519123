// The document windows: the "Fenster" menu and its list of windows, going through them in
// the order last used (Ctrl+Tab), showing them as tabs, and fitting a new one into the area.
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

namespace varnholt {

namespace {

/// An action that knows whether its key triggered it (then the key's modifier is still held)
/// or the menu.
class KeyAction : public QAction {
 public:
  using QAction::QAction;
  bool ByKey() const { return byKey_; }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::Shortcut) return QAction::event(event);
    byKey_ = true;
    const bool handled = QAction::event(event);
    byKey_ = false;
    return handled;
  }

 private:
  bool byKey_ = false;
};

}  // namespace

void MainWindow::CreateWindowMenu(QMenu* menu) {
  windowMenu_ = menu;
  cascade_ = menu->addAction(QStringLiteral("\u00dc&berlappend"), mdi_, &QMdiArea::cascadeSubWindows);
  cascade_->setStatusTip(QStringLiteral("Ordnet die Dokumentfenster \u00fcberlappend an"));
  tile_ = menu->addAction(QStringLiteral("&Nebeneinander"), mdi_, &QMdiArea::tileSubWindows);
  tile_->setStatusTip(QStringLiteral("Ordnet die Dokumentfenster nebeneinander an"));
  menu->addSeparator();
  auto* next = new KeyAction(QStringLiteral("N\u00e4&chstes Fenster"), menu);
  auto* previous = new KeyAction(QStringLiteral("&Vorheriges Fenster"), menu);
  connect(next, &QAction::triggered, this, [this, next] { CycleWindows(1, next->ByKey()); });
  connect(previous, &QAction::triggered, this, [this, previous] { CycleWindows(-1, previous->ByKey()); });
  menu->addAction(next);
  menu->addAction(previous);
  nextWindow_ = next;
  previousWindow_ = previous;
  nextWindow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
  nextWindow_->setStatusTip(QStringLiteral("Geht zum zuletzt benutzten anderen Dokument"));
  // Shift turns Tab into Backtab; both forms are taken.
  previousWindow_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
  previousWindow_->setStatusTip(QStringLiteral("Geht in der Reihenfolge der Benutzung zur\u00fcck"));
  for (QAction* action : {nextWindow_, previousWindow_})
    action->setShortcutContext(Qt::ApplicationShortcut);
  windowListSeparator_ = menu->addSeparator();
}

void MainWindow::ShowWindowList() {
  for (QAction* action : windowActions_) delete action;
  windowActions_.clear();
  const QList<QMdiSubWindow*> subs = mdi_->subWindowList(QMdiArea::CreationOrder);
  QMdiSubWindow* current = CurrentSub();
  for (int i = 0; i < subs.size(); ++i) {
    QMdiSubWindow* sub = subs[i];
    QString title = sub->windowTitle();
    title.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action = windowMenu_->addAction(
        i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(title) : QStringLiteral("%1 %2").arg(i + 1).arg(title));
    action->setCheckable(true);
    action->setChecked(sub == current);
    QPointer<QMdiSubWindow> target(sub);
    connect(action, &QAction::triggered, this, [this, target] {
      if (target) mdi_->setActiveSubWindow(target);
    });
    windowActions_ << action;
  }
  windowListSeparator_->setVisible(!subs.isEmpty());
  const bool many = subs.size() > 1;
  const bool windows = mdi_->viewMode() == QMdiArea::SubWindowView;
  cascade_->setEnabled(windows && !subs.isEmpty());
  tile_->setEnabled(windows && !subs.isEmpty());
  nextWindow_->setEnabled(many);
  previousWindow_->setEnabled(many);
}

QList<QMdiSubWindow*> MainWindow::UsedOrder() const {
  QList<QMdiSubWindow*> order;
  const QList<QMdiSubWindow*> open = mdi_->subWindowList();
  for (const QPointer<QMdiSubWindow>& sub : used_)
    if (sub && open.contains(sub.data()) && !order.contains(sub.data())) order << sub.data();
  // Windows not activated yet come last, in the order they were made.
  for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (!order.contains(sub)) order << sub;
  return order;
}

void MainWindow::CycleWindows(int step, bool keyHeld) {
  if (cycle_.isEmpty()) {
    const QList<QMdiSubWindow*> order = UsedOrder();
    if (order.size() < 2) return;
    for (QMdiSubWindow* sub : order) cycle_ << sub;
    cycleAt_ = 0;
    // The order stays as it was until Ctrl is let go, so that each further Tab goes one
    // document further back in it.
    qApp->installEventFilter(this);
  }
  const int n = static_cast<int>(cycle_.size());
  for (int tries = 0; tries < n; ++tries) {
    cycleAt_ = ((cycleAt_ + step) % n + n) % n;
    if (QMdiSubWindow* sub = cycle_[cycleAt_]) {
      mdi_->setActiveSubWindow(sub);
      break;
    }
  }
  // From the menu the move is done at once; by the key, when Ctrl is let go.
  if (!keyHeld) EndCycle();
}

void MainWindow::EndCycle() {
  if (cycle_.isEmpty()) return;
  cycle_.clear();
  qApp->removeEventFilter(this);
  if (QMdiSubWindow* sub = CurrentSub()) {
    used_.removeAll(sub);
    used_.prepend(sub);
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mdi_->viewport() && event->type() == QEvent::Resize) UpdateEmptyHint();
  if (!cycle_.isEmpty()) {
    if (event->type() == QEvent::KeyRelease &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Control)
      EndCycle();
    else if (event->type() == QEvent::ApplicationDeactivate ||
             event->type() == QEvent::MouseButtonPress)
      EndCycle();
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::SetTabbed(bool tabbed) {
  mdi_->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
  if (tabbed) {
    mdi_->setTabsClosable(true);
    mdi_->setTabsMovable(true);
    mdi_->setDocumentMode(true);
  }
  if (tabs_->isChecked() != tabbed) tabs_->setChecked(tabbed);
  ShowWindowList();
  UpdateForActive();
}

void MainWindow::FitIntoArea(QMdiSubWindow* sub) {
  if (mdi_->viewMode() != QMdiArea::SubWindowView || sub->isMaximized()) return;
  const QRect area = mdi_->viewport()->rect();
  QRect frame = sub->geometry();
  frame.setSize(frame.size().boundedTo(area.size()));
  // Cascading places each new window further right and down; past the edge it starts again.
  if (!area.contains(frame)) frame.moveTopLeft(area.topLeft());
  sub->setGeometry(frame);
}

}  // namespace varnholt
