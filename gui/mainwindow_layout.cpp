// The room the panes get and the keyboard's way through them: the tree keeps a readable width
// beside the docks, Tab goes through the panes in reading order, Ctrl+1 to Ctrl+7 and F6 go
// straight to one.
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <map>

#include "childframe.h"
#include "diffview.h"
#include "gcodeview.h"
#include "logview.h"
#include "problemsview.h"

namespace varnholt {

QList<ChildFrame*> MainWindow::SideBySide() const {
  if (!diffDock_->isVisible() || !diffA_ || !diffB_ || diffA_ == diffB_ ||
      mdi_->viewMode() != QMdiArea::SubWindowView)
    return {};
  for (ChildFrame* frame : {diffA_.data(), diffB_.data()}) {
    const QWidget* sub = frame->parentWidget();
    if (!sub || !sub->isVisible() || sub->isMaximized() || sub->isMinimized()) return {};
  }
  return {diffA_.data(), diffB_.data()};
}

int MainWindow::TreeLeast() const {
  // Details alone leave the documents the window's middle; the other docks take more.
  const bool crowded = sceneDock_->isVisible() || problemsDock_->isVisible() ||
                       gcodeDock_->isVisible() || diffDock_->isVisible();
  if (!crowded) return 0;
  const int share = static_cast<int>(std::ceil(width() * kTreeShareLeast));
  return std::max(kTreeLeast, share / (SideBySide().size() == 2 ? 2 : 1));
}

void MainWindow::FitPanes() {
  if (fitting_ || !isVisible()) return;
  fitting_ = true;
  const int least = TreeLeast();
  QList<ChildFrame*> shown = SideBySide();
  if (shown.isEmpty() && ActiveFrame()) shown << ActiveFrame();
  if (least > 0 && !shown.isEmpty()) {
    // What the documents shown need: each its tree, the least of its log, its divider and the
    // frame of its window.
    int need = 0;
    for (ChildFrame* frame : shown) {
      const QWidget* sub = frame->parentWidget();
      // The frame of a document window not maximized; the document inside may not have its new
      // size yet when measured, so a frame's worth more is kept in hand.
      int border = sub ? std::max(0, sub->width() - frame->width()) : 0;
      if (sub && !sub->isMaximized()) border = 2 * std::max(border, 8);
      need += least + ChildFrame::kLogLeast + frame->Splitter()->handleWidth() + border;
    }
    int excess = need - mdi_->viewport()->width();
    // The docks beside give it, each side in proportion to what it can spare.
    std::map<Qt::DockWidgetArea, QList<QDockWidget*>> sides;
    for (QDockWidget* dock : {detailsDock_, gcodeDock_, sceneDock_}) {
      const Qt::DockWidgetArea area = dockWidgetArea(dock);
      if (dock->isVisible() && !dock->isFloating() &&
          (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea))
        sides[area] << dock;
    }
    int spare = 0;
    std::map<Qt::DockWidgetArea, int> widths;
    for (const auto& [area, docks] : sides) {
      int width = 0;
      for (QDockWidget* dock : docks) width = std::max(width, dock->width());
      widths[area] = width;
      spare += std::max(0, width - kDockLeast);
    }
    if (excess > 0 && spare > 0) {
      excess = std::min(excess, spare);
      QList<QDockWidget*> docks;
      QList<int> sizes;
      for (const auto& [area, list] : sides) {
        const int canGive = std::max(0, widths[area] - kDockLeast);
        const int cut = static_cast<int>(std::ceil(static_cast<double>(excess) * canGive / spare));
        for (QDockWidget* dock : list) {
          docks << dock;
          sizes << widths[area] - std::min(cut, canGive);
        }
      }
      resizeDocks(docks, sizes, Qt::Horizontal);
      // Laid out now, so that the documents' windows have their new width below.
      layout()->activate();
    }
  }
  for (ChildFrame* frame : Frames()) frame->SetTreeLeast(least);
  fitting_ = false;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  fitTimer_.start();
}

QWidget* MainWindow::PaneWidget(Pane pane) const {
  ChildFrame* frame = ActiveFrame();
  if (pane == Pane::Differences) return diffView_->Table();
  if (!frame) return nullptr;
  switch (pane) {
    case Pane::Tree: return frame->Tree();
    case Pane::Details: return frame->Details();
    case Pane::Log: return frame->Log();
    case Pane::Scene: return frame->Scene3D();
    case Pane::Problems: return frame->Problems() ? frame->Problems()->Table() : nullptr;
    case Pane::Gcode: return frame->Gcode() ? frame->Gcode()->Text() : nullptr;
    case Pane::Differences: break;
  }
  return nullptr;
}

bool MainWindow::FocusPane(Pane pane) {
  QWidget* widget = PaneWidget(pane);
  if (!widget) return false;
  QDockWidget* dock = nullptr;
  switch (pane) {
    case Pane::Details: dock = detailsDock_; break;
    case Pane::Scene: dock = sceneDock_; break;
    case Pane::Problems: dock = problemsDock_; break;
    case Pane::Gcode: dock = gcodeDock_; break;
    case Pane::Differences: dock = diffDock_; break;
    default: break;
  }
  if (dock) {
    dock->show();
    dock->raise();
  }
  widget->setFocus(Qt::ShortcutFocusReason);
  return true;
}

int MainWindow::FocusedPane() const {
  const QWidget* focus = QApplication::focusWidget();
  for (int i = 0; i < kPaneCount && focus; ++i) {
    const QWidget* pane = PaneWidget(static_cast<Pane>(i));
    // The problems' filters belong to their pane as well.
    if (i == static_cast<int>(Pane::Problems) && pane) pane = pane->parentWidget();
    if (pane && (focus == pane || pane->isAncestorOf(focus))) return i;
  }
  return -1;
}

void MainWindow::CyclePanes(int step) {
  QList<int> shown;
  for (int i = 0; i < kPaneCount; ++i) {
    const QWidget* pane = PaneWidget(static_cast<Pane>(i));
    if (pane && pane->isVisible()) shown << i;
  }
  if (shown.isEmpty()) return;
  const int at = static_cast<int>(shown.indexOf(FocusedPane()));
  const int n = static_cast<int>(shown.size());
  const int next = at < 0 ? (step > 0 ? 0 : n - 1) : ((at + step) % n + n) % n;
  FocusPane(static_cast<Pane>(shown[next]));
}

void MainWindow::CreatePaneKeys() {
  fitTimer_.setSingleShot(true);
  fitTimer_.setInterval(0);
  connect(&fitTimer_, &QTimer::timeout, this, &MainWindow::FitPanes);
  for (QDockWidget* dock : {detailsDock_, sceneDock_, problemsDock_, gcodeDock_, diffDock_})
    connect(dock, &QDockWidget::visibilityChanged, &fitTimer_, [this](bool visible) {
      if (visible) fitTimer_.start();
    });

  const char* const names[kPaneCount] = {"zum Baum", "zu den Details", "zum Protokoll",
                                         "zur 3D-Ansicht", "zu den Problemen", "zum G-Code",
                                         "zu den Unterschieden"};
  for (int i = 0; i < kPaneCount; ++i) {
    auto* action = new QAction(QStringLiteral("Gehe %1").arg(QString::fromUtf8(names[i])), this);
    action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, i] { FocusPane(static_cast<Pane>(i)); });
    addAction(action);
    paneActions_[i] = action;
  }
  nextPane_ = new QAction(QStringLiteral("N\u00e4chster Bereich"), this);
  nextPane_->setShortcut(QKeySequence(Qt::Key_F6));
  connect(nextPane_, &QAction::triggered, this, [this] { CyclePanes(1); });
  previousPane_ = new QAction(QStringLiteral("Voriger Bereich"), this);
  previousPane_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  connect(previousPane_, &QAction::triggered, this, [this] { CyclePanes(-1); });
  for (QAction* action : {nextPane_, previousPane_}) {
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
  }
  // F5 rebuilds the 3D view from anywhere in the window, not only from the view.
  addAction(sceneRebuild_);
  sceneRebuild_->setShortcutContext(Qt::WindowShortcut);
  // In the tables Tab leaves the table instead of going from cell to cell.
  diffView_->Table()->setTabKeyNavigation(false);
}

QList<QWidget*> MainWindow::TabChain() const {
  ChildFrame* frame = ActiveFrame();
  if (!frame) return {};
  QList<QWidget*> chain{frame->Tree(), frame->Details(), frame->Log()};
  if (ProblemsView* problems = frame->Problems())
    chain << problems->Table() << problems->SeverityFilter() << problems->RuleFilter()
          << problems->UncheckedToggle();
  chain << diffView_->Table();
  if (GcodeView* gcode = frame->Gcode()) chain << gcode->Text();
  chain << sceneRebuildButton_;
  if (frame->Scene3D()) chain << frame->Scene3D();
  chain.removeAll(nullptr);
  return chain;
}

void MainWindow::ChainTabOrder() {
  // Qt's own order as well, for what goes by it (a dock's widget handing Tab to the window).
  const QList<QWidget*> chain = TabChain();
  for (int i = 0; i + 1 < chain.size(); ++i)
    if (chain[i]->window() == chain[i + 1]->window()) setTabOrder(chain[i], chain[i + 1]);
}

bool MainWindow::TabAlongChain(bool next) {
  const QList<QWidget*> chain = TabChain();
  const int at = static_cast<int>(chain.indexOf(QApplication::focusWidget()));
  if (at < 0) return false;
  const int n = static_cast<int>(chain.size());
  for (int step = 1; step < n; ++step) {
    QWidget* widget = chain[((at + (next ? step : -step)) % n + n) % n];
    if (!widget->isVisible() || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus)) continue;
    widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
  }
  return false;
}

bool MainWindow::focusNextPrevChild(bool next) {
  return TabAlongChain(next) || QMainWindow::focusNextPrevChild(next);
}

}  // namespace varnholt
