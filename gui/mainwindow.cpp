// The main window itself: its docks, opening and comparing documents, the recently used files
// and the state remembered between sessions. The menus are built in mainwindow_menus.cpp, the
// document windows arranged and gone through in mainwindow_windows.cpp.
#include "mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <functional>

#include "aboutbox.h"
#include "helpdialog.h"
#include "language.h"
#include "varnholt/valuetext.h"
#include "childframe.h"
#include "diffview.h"
#include "varnholt/diff.h"
#include "varnholt/doc.h"
#include "detailsview.h"
#include "logview.h"
#include "sceneview.h"

namespace varnholt {

namespace {

const char* const kRecentKey = "RecentFiles";

QStringList LocalFiles(const QMimeData* mime) {
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

/// What the progress of an open raises when the user cancels it.
struct OpenCancelled {};

QString Canonical(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

}  // namespace

const char* const MainWindow::kTitle =
    "File viewer for ISO 14649-10,11,111, 12, 112 - Version August 2003 - Quennet";

namespace {

/// The pages of a dock that shows a pane of the active document: page 0 says there is none.
QStackedWidget* DocumentStack(QWidget* parent, const QString& none) {
  auto* stack = new QStackedWidget(parent);
  auto* label = new QLabel(none, stack);
  label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  label->setMargin(6);
  stack->addWidget(label);
  return stack;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), mdi_(new QMdiArea(this)) {
  setWindowIcon(AppIcon());
  setCentralWidget(mdi_);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setAcceptDrops(true);
  // Beside the tree, which is the left pane of every document window; each document has its own
  // pane, which the dock shows while that document is active.
  detailsDock_ = new QDockWidget(QStringLiteral("Details"), this);
  detailsDock_->setObjectName(QStringLiteral("details"));
  detailsStack_ = DocumentStack(detailsDock_, QStringLiteral("Kein Dokument offen."));
  detailsDock_->setWidget(detailsStack_);
  addDockWidget(Qt::LeftDockWidgetArea, detailsDock_);
  resizeDocks({detailsDock_}, {300}, Qt::Horizontal);
  CreateSceneDock();
  CreateStockDock();
  // Below the documents, as the problems of a build are in an IDE; each document has its own
  // table, which the dock shows while that document is active.
  problemsDock_ = new QDockWidget(QStringLiteral("Probleme"), this);
  problemsDock_->setObjectName(QStringLiteral("problems"));
  problemsStack_ = DocumentStack(problemsDock_, QStringLiteral("Kein Dokument offen."));
  problemsDock_->setWidget(problemsStack_);
  addDockWidget(Qt::BottomDockWidgetArea, problemsDock_);
  problemsDock_->hide();
  // Beside the tree, below the details: a line clicked there selects its workingstep in the tree.
  gcodeDock_ = new QDockWidget(QStringLiteral("G-Code"), this);
  gcodeDock_->setObjectName(QStringLiteral("gcode"));
  gcodeStack_ = DocumentStack(gcodeDock_, QStringLiteral("Kein Dokument offen."));
  gcodeDock_->setWidget(gcodeStack_);
  addDockWidget(Qt::LeftDockWidgetArea, gcodeDock_);
  gcodeDock_->hide();
  // Below the documents, as the problems: one comparison at a time, of two documents.
  diffDock_ = new QDockWidget(QStringLiteral("Unterschiede"), this);
  diffDock_->setObjectName(QStringLiteral("differences"));
  diffView_ = new DiffView(diffDock_);
  diffDock_->setWidget(diffView_);
  addDockWidget(Qt::BottomDockWidgetArea, diffDock_);
  diffDock_->hide();
  connect(diffView_, &DiffView::instancesChosen, this, [this](const QString& nameA, const QString& nameB) {
    if (diffA_ && !nameA.isEmpty()) diffA_->GoToName(nameA);
    if (diffB_ && !nameB.isEmpty()) diffB_->GoToName(nameB);
  });
  recent_ = QSettings().value(kRecentKey).toStringList().mid(0, kRecentCount);
  CreateMenus();
  CreatePaneKeys();
  CreateEmptyHint();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    // Another document: its tree gets its room. (Not on every update: a dock the user sized
    // stays so.)
    if (sub && sub != lastActive_) fitTimer_.start();
    if (sub) lastActive_ = sub;
    // While Ctrl+Tab goes through the documents the order of use stays as it was.
    if (sub && cycle_.isEmpty()) {
      used_.removeAll(sub);
      used_.prepend(sub);
    }
    UpdateForActive();
  });
  statusBar()->showMessage(QStringLiteral("Bereit"));
  UpdateForActive();
}

MainWindow::~MainWindow() {
  // Hiding the children while the QWidget part is destroyed still activates document windows;
  // by then this object is no MainWindow any more.
  mdi_->disconnect(this);
  sceneDock_->disconnect(this);
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    sub->disconnect(this);
    // A document's window and its undo stack signal while they are destroyed as well.
    if (auto* frame = qobject_cast<ChildFrame*>(sub->widget())) {
      frame->disconnect(this);
      frame->UndoStack()->disconnect(this);
    }
  }
}

void MainWindow::SetExactReals(bool exact) {
  const RealDisplay display = exact ? RealDisplay::Exact : RealDisplay::FourDigits;
  if (exactReals_->isChecked() != exact) (exact ? exactReals_ : fourDigitReals_)->setChecked(true);
  if (display == CurrentRealDisplay()) return;
  SetRealDisplay(display);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  for (ChildFrame* frame : Frames()) frame->Relabel();
  QGuiApplication::restoreOverrideCursor();
}

namespace {
const char* const kGeometryKey = "MainWindow/geometry";
const char* const kStateKey = "MainWindow/state";
const char* const kTabsKey = "View/tabs";
const char* const kExactKey = "View/exactReals";
const char* const kTreeShareKey = "Document/treeShare";
}  // namespace

void MainWindow::RestoreState() {
  rememberState_ = true;
  QSettings settings;
  // Qt moves a window whose place lies on a screen no longer there back onto a screen.
  if (!restoreGeometry(settings.value(kGeometryKey).toByteArray())) resize(1200, 800);
  restoreState(settings.value(kStateKey).toByteArray());
  sceneSized_ = settings.contains(kStateKey);
  SetTabbed(settings.value(kTabsKey, false).toBool());
  SetExactReals(settings.value(kExactKey, false).toBool());
  restoreSession_->setChecked(settings.value(kSessionKey, true).toBool());
}

void MainWindow::SaveState() {
  QSettings settings;
  settings.setValue(kGeometryKey, saveGeometry());
  settings.setValue(kStateKey, saveState());
  settings.setValue(kTabsKey, tabs_->isChecked());
  settings.setValue(kExactKey, exactReals_->isChecked());
  if (ChildFrame* frame = ActiveFrame())
    if (frame->TreeShareSetByUser()) settings.setValue(kTreeShareKey, frame->TreeShare());
}

QWidget* MainWindow::ShownDetails() const { return detailsStack_->currentWidget(); }

QWidget* MainWindow::ShownScene() const { return sceneStack_->currentWidget(); }

QWidget* MainWindow::ShownGcode() const { return gcodeStack_->currentWidget(); }

void MainWindow::CreateSceneDock() {
  // Right of the document windows, where it has room; each document has its own view, which
  // the dock shows while that document is active, like the details.
  sceneDock_ = new QDockWidget(QStringLiteral("3D-Ansicht"), this);
  sceneDock_->setObjectName(QStringLiteral("scene3d"));
  auto* pane = new QWidget(sceneDock_);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  // "Neu aufbauen" heads the row, outside the toolbar: a narrow dock folds the toolbar's end
  // into a menu, and after an edit the view asks for exactly this button.
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  sceneRebuildButton_ = new QToolButton(pane);
  sceneRebuildButton_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  sceneRebuildButton_->setAutoRaise(true);
  sceneRebuildButton_->setFocusPolicy(Qt::TabFocus);
  row->addWidget(sceneRebuildButton_);
  auto* tools = new QToolBar(QStringLiteral("3D-Ansicht"), pane);
  tools->setIconSize(QSize(16, 16));
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  row->addWidget(tools, 1);
  layout->addLayout(row);
  sceneStack_ = DocumentStack(pane, QStringLiteral("Kein Dokument offen."));
  layout->addWidget(sceneStack_, 1);
  sceneDock_->setWidget(pane);
  addDockWidget(Qt::RightDockWidgetArea, sceneDock_);
  sceneDock_->hide();

  auto add = [this, tools, pane](const QString& text, const QString& tip, const QKeySequence& key,
                                 std::function<void(SceneView&)> apply) {
    QAction* action = tools->addAction(text, this, [this, apply] {
      if (ChildFrame* frame = ActiveFrame()) apply(*frame->Scene3D());
    });
    action->setToolTip(QStringLiteral("%1 (%2)").arg(tip, KeyText(key)));
    action->setStatusTip(tip);
    action->setShortcut(key);
    // The keys belong to the view: "1" typed into the tree must stay a "1".
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    pane->addAction(action);
    return action;
  };
  sceneFit_ = add(QStringLiteral("Alles zeigen"), QStringLiteral("Zeigt die ganze Szene"),
                  QKeySequence(Qt::Key_Home), [](SceneView& view) { view.ShowAll(); });
  const struct {
    ViewDirection direction;
    const char* text;
    const char* tip;
    Qt::Key key;
  } views[] = {
      {ViewDirection::Top, "Oben", "Ansicht von oben", Qt::Key_1},
      {ViewDirection::Front, "Vorne", "Ansicht von vorne", Qt::Key_2},
      {ViewDirection::Side, "Seite", "Ansicht von der Seite", Qt::Key_3},
      {ViewDirection::Iso, "Isometrisch", "Isometrische Ansicht", Qt::Key_4},
  };
  for (const auto& view : views) {
    const ViewDirection direction = view.direction;
    sceneViews_[static_cast<int>(direction)] =
        add(QString::fromUtf8(view.text), QString::fromUtf8(view.tip), QKeySequence(view.key),
            [direction](SceneView& scene) { scene.LookFrom(direction); });
  }
  sceneRebuild_ = add(QStringLiteral("Neu aufbauen"),
                      QStringLiteral("Baut die Szene aus dem jetzigen Stand der Datei neu auf"),
                      QKeySequence(Qt::Key_F5), [this](SceneView&) {
                        ChildFrame* frame = ActiveFrame();
                        if (!frame) return;
                        sceneDock_->show();
                        frame->RebuildScene();
                      });
  tools->removeAction(sceneRebuild_);
  sceneRebuildButton_->setDefaultAction(sceneRebuild_);
  // Shown the first time, the dock takes a good part of the window: a drawing needs room.
  connect(sceneDock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (!visible || sceneSized_) return;
    sceneSized_ = true;
    resizeDocks({sceneDock_}, {width() / 3}, Qt::Horizontal);
  });
}

void MainWindow::CreateStockDock() {
  // Beside the 3D view, on the same side: the stock is seen against the toolpaths drawn there.
  stockDock_ = new QDockWidget(QStringLiteral("Materialabtrag"), this);
  stockDock_->setObjectName(QStringLiteral("stock"));
  auto* pane = new QWidget(stockDock_);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* tools = new QToolBar(QStringLiteral("Materialabtrag"), pane);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  layout->addWidget(tools);
  stockStack_ = DocumentStack(pane, QStringLiteral("Kein Dokument offen."));
  layout->addWidget(stockStack_, 1);
  stockDock_->setWidget(pane);
  addDockWidget(Qt::RightDockWidgetArea, stockDock_);
  stockDock_->hide();
  stockRun_ = tools->addAction(QStringLiteral("Neu berechnen"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->RunSimulation();
  });
  const QString tip = QStringLiteral("Simuliert das Programm aus dem jetzigen Stand der Datei neu");
  stockRun_->setToolTip(QStringLiteral("%1 (F5)").arg(tip));
  stockRun_->setStatusTip(tip);
  stockRun_->setShortcut(QKeySequence(Qt::Key_F5));
  // F5 of the 3D view rebuilds its scene; here it runs the simulation again.
  stockRun_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  pane->addAction(stockRun_);
}

ChildFrame* MainWindow::ActiveFrame() const {
  QMdiSubWindow* sub = CurrentSub();
  return sub ? qobject_cast<ChildFrame*>(sub->widget()) : nullptr;
}

QMdiSubWindow* MainWindow::CurrentSub() const {
  // While another program's window (or a dialog) has the focus the area has no active window,
  // yet the user still works on the document last active.
  if (QMdiSubWindow* active = mdi_->activeSubWindow()) return active;
  return lastActive_ && mdi_->subWindowList().contains(lastActive_) ? lastActive_.data() : nullptr;
}

QList<ChildFrame*> MainWindow::Frames() const {
  QList<ChildFrame*> frames;
  for (QMdiSubWindow* sub : mdi_->subWindowList())
    if (auto* frame = qobject_cast<ChildFrame*>(sub->widget())) frames << frame;
  return frames;
}

void MainWindow::UpdateForActive() {
  ChildFrame* frame = ActiveFrame();
  // Without a document the menus offer only what needs none.
  for (QAction* action : {save_, exportGcode_, compare_, close_, showGcode_, format_}) {
    action->setVisible(frame != nullptr);
    action->setEnabled(frame != nullptr);
  }
  // Searching and going back and forth need a document, and are offered only with one.
  for (QAction* action : {findSeparator_, find_, findNext_, findPrevious_, back_, forward_})
    action->setVisible(frame != nullptr);
  for (QAction* action : {find_, findNext_, findPrevious_}) action->setEnabled(frame != nullptr);
  ShowWindowList();
  back_->setEnabled(frame && frame->CanGoBack());
  forward_->setEnabled(frame && frame->CanGoForward());
  if (frame && frame->Details()) {
    if (detailsStack_->indexOf(frame->Details()) < 0) detailsStack_->addWidget(frame->Details());
    detailsStack_->setCurrentWidget(frame->Details());
  } else {
    detailsStack_->setCurrentIndex(0);
  }
  if (frame && frame->Scene3D()) {
    if (sceneStack_->indexOf(frame->Scene3D()) < 0) sceneStack_->addWidget(frame->Scene3D());
    sceneStack_->setCurrentWidget(frame->Scene3D());
  } else {
    sceneStack_->setCurrentIndex(0);
  }
  if (frame && frame->Problems()) {
    if (problemsStack_->indexOf(frame->Problems()) < 0) problemsStack_->addWidget(frame->Problems());
    problemsStack_->setCurrentWidget(frame->Problems());
  } else {
    problemsStack_->setCurrentIndex(0);
  }
  if (frame && frame->Gcode()) {
    if (gcodeStack_->indexOf(frame->Gcode()) < 0) gcodeStack_->addWidget(frame->Gcode());
    gcodeStack_->setCurrentWidget(frame->Gcode());
  } else {
    gcodeStack_->setCurrentIndex(0);
  }
  if (frame && frame->Stock()) {
    if (stockStack_->indexOf(frame->Stock()) < 0) stockStack_->addWidget(frame->Stock());
    stockStack_->setCurrentWidget(frame->Stock());
  } else {
    stockStack_->setCurrentIndex(0);
  }
  stockRun_->setEnabled(frame != nullptr);
  checkRules_->setEnabled(frame != nullptr);
  for (QAction* action : {sceneFit_, sceneViews_[0], sceneViews_[1], sceneViews_[2],
                          sceneViews_[3], sceneRebuild_})
    action->setEnabled(frame != nullptr);
  ChainTabOrder();
  UpdateEmptyHint();
  undo_->setEnabled(frame && frame->UndoStack()->canUndo());
  redo_->setEnabled(frame && frame->UndoStack()->canRedo());
  // A maximized document window adds " - [name]" to the title itself, as Windows does; a "*"
  // after the name marks unsaved changes.
  const QString title = QString::fromUtf8(kTitle);
  // As tabs the area adds nothing: the name goes in as for a window that is not maximized.
  const bool named = frame && (!CurrentSub()->isMaximized() ||
                               mdi_->viewMode() == QMdiArea::TabbedView);
  const QString marker = frame && frame->IsModified() ? QStringLiteral("*") : QString();
  setWindowTitle(named ? title + QStringLiteral(" - ") + frame->DocumentName() + marker
                       : frame ? title + marker : title);
}

ChildFrame* MainWindow::OpenFile(const QString& path) {
  if (path.isEmpty()) return nullptr;
  const QString wanted = Canonical(path);
  for (QMdiSubWindow* sub : mdi_->subWindowList()) {
    auto* frame = qobject_cast<ChildFrame*>(sub->widget());
    if (frame && Canonical(frame->PathName()) == wanted) {
      mdi_->setActiveSubWindow(sub);
      return frame;
    }
  }

  auto* frame = new ChildFrame(prompts_);
  frame->SetTabOut([this](bool next) { return TabAlongChain(next); });
  // Reading checks every instance of the file; a large one takes a while.
  statusBar()->showMessage(QStringLiteral("Lese %1 ...").arg(QDir::toNativeSeparators(path)));
  statusBar()->repaint();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  // A modal progress window keeps the program responsive on a large file and keeps the user
  // from acting on documents while one is being read; "Abbrechen" ends the open.
  QProgressDialog progress(QStringLiteral("Lese %1 ...").arg(QFileInfo(path).fileName()),
                           QStringLiteral("Abbrechen"), 0, 100, this);
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(500);
  bool cancelled = false;
  frame->SetProgress([&progress, &cancelled](int percent) {
    progress.setValue(percent);
    QCoreApplication::processEvents();
    // Raised between two records, where the reader has nothing half made; the document's open
    // takes it as a failed open, and the document is dropped with all it read.
    if (progress.wasCanceled()) {
      cancelled = true;
      throw OpenCancelled();
    }
  });
  const bool opened = frame->Open(path);
  frame->SetProgress(nullptr);
  progress.reset();
  QGuiApplication::restoreOverrideCursor();
  if (cancelled) {
    delete frame;
    statusBar()->showMessage(QStringLiteral("\u00d6ffnen von %1 abgebrochen").arg(QDir::toNativeSeparators(path)), 10000);
    return nullptr;
  }
  if (!opened) {
    const QString log = frame->Log()->toPlainText();
    delete frame;
    Forget(path);
    statusBar()->showMessage(QStringLiteral("Bereit"));
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTitle),
                    QStringLiteral("Die Datei \"%1\" konnte nicht geöffnet werden.")
                        .arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok, this);
    box.setDetailedText(log);
    prompts_.exec(box);
    return nullptr;
  }
  statusBar()->showMessage(QStringLiteral("Bereit"));

  const bool maximized = mdi_->subWindowList().isEmpty() ||
                         (CurrentSub() && CurrentSub()->isMaximized());
  QMdiSubWindow* sub = mdi_->addSubWindow(frame);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  // The window's own menu closes it with the platform's close keys, Ctrl+W among them: two
  // commands on one key make it ambiguous, and Qt then runs neither. "Schliessen" has it.
  if (QMenu* menu = sub->systemMenu())
    for (QAction* action : menu->actions()) {
      QList<QKeySequence> keys = action->shortcuts();
      if (keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_W))) action->setShortcuts(keys);
    }
  sub->setWindowIcon(AppIcon());
  sub->setWindowTitle(frame->windowTitle());
  connect(sub, &QMdiSubWindow::windowStateChanged, this, [this] { UpdateForActive(); });
  connect(frame, &ChildFrame::modifiedChanged, this, [this] { UpdateForActive(); });
  // (In the document window's name: the window cuts it when it goes, before its undo stack.)
  connect(frame->UndoStack(), &QUndoStack::indexChanged, frame, [this] { UpdateForActive(); });
  connect(frame, &ChildFrame::historyChanged, this, [this] { UpdateForActive(); });
  connect(frame, &QWidget::windowTitleChanged, sub, [this, sub](const QString& title) {
    sub->setWindowTitle(title);
    ShowWindowList();
  });
  connect(frame, &ChildFrame::pathChanged, this, [this](const QString& saved) {
    Remember(saved);
    UpdateForActive();
  });
  connect(frame, &ChildFrame::statusMessage, this,
          [this](const QString& text) { statusBar()->showMessage(text, 10000); });
  sub->resize(mdi_->viewport()->size() * 3 / 4);
  if (rememberState_) {
    const QVariant share = QSettings().value(kTreeShareKey);
    if (share.isValid()) frame->SetTreeShare(share.toDouble());
  }
  if (maximized)
    sub->showMaximized();
  else
    sub->show();
  FitIntoArea(sub);
  mdi_->setActiveSubWindow(sub);
  Remember(path);
  UpdateForActive();
  return frame;
}

void MainWindow::Open() { OpenFile(prompts_.openPath(this)); }

bool MainWindow::CompareWith(const QString& path) {
  ChildFrame* first = ActiveFrame();
  QMdiSubWindow* firstSub = CurrentSub();
  if (!first || !firstSub || path.isEmpty()) return false;
  ChildFrame* second = OpenFile(path);
  if (!second) return false;
  if (second == first) {
    statusBar()->showMessage(QStringLiteral("Eine Datei ist mit sich selbst gleich"), 10000);
    return false;
  }
  QMdiSubWindow* secondSub = CurrentSub();
  statusBar()->showMessage(QStringLiteral("Vergleiche ..."));
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  std::vector<Difference> differences;
  {
    // What the comparison reports (a value it cannot read) belongs to the documents' logs.
    CDoc::LogRoute route(first->Doc());
    differences = Compare(*first->Doc().Scope(), *second->Doc().Scope());
  }
  QGuiApplication::restoreOverrideCursor();
  diffA_ = first;
  diffB_ = second;
  const int count = static_cast<int>(differences.size());
  diffView_->Show(std::move(differences), first->DocumentName(), second->DocumentName());
  diffDock_->show();
  diffDock_->raise();
  // Side by side, the first file on the left, as the columns "Alt" and "Neu" read; the docks
  // first give the two trees their room.
  if (mdi_->viewMode() == QMdiArea::SubWindowView) {
    for (QMdiSubWindow* sub : {firstSub, secondSub}) sub->showNormal();
    FitPanes();
    const QSize area = mdi_->viewport()->size();
    const int half = area.width() / 2;
    firstSub->setGeometry(0, 0, half, area.height());
    secondSub->setGeometry(half, 0, area.width() - half, area.height());
  }
  statusBar()->showMessage(count == 0 ? QStringLiteral("Keine Unterschiede")
                                      : QStringLiteral("%1 Unterschied%2").arg(count).arg(count == 1 ? "" : "e"),
                           10000);
  return true;
}

void MainWindow::Save() {
  if (ChildFrame* frame = ActiveFrame()) frame->Save();
}

void MainWindow::CloseDocument() {
  if (QMdiSubWindow* sub = CurrentSub()) sub->close();
}

void MainWindow::Format() {
  if (ChildFrame* frame = ActiveFrame()) frame->Format();
}

void MainWindow::Help() {
  HelpDialog dialog(this);
  prompts_.exec(dialog);
}

void MainWindow::About() {
  AboutBox box(this);
  prompts_.exec(box);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Every document is asked first, so that "Abbrechen" leaves them all open.
  const QList<ChildFrame*> frames = Frames();
  for (ChildFrame* frame : frames) {
    if (!frame->MayClose()) {
      for (ChildFrame* other : frames) other->KeepOpen();
      event->ignore();
      return;
    }
  }
  if (rememberState_) {
    SaveState();
    SaveSession();
  }
  mdi_->closeAllSubWindows();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList files = LocalFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  activateWindow();
  for (const QString& file : files) OpenFile(file);
}

void MainWindow::Remember(const QString& path) {
  if (!rememberRecent_) return;
  const QString absolute = QFileInfo(path).absoluteFilePath();
  recent_.removeAll(absolute);
  recent_.prepend(absolute);
  while (recent_.size() > kRecentCount) recent_.removeLast();
  QSettings().setValue(kRecentKey, recent_);
  ShowRecent();
}

void MainWindow::Forget(const QString& path) {
  if (!recent_.removeAll(QFileInfo(path).absoluteFilePath())) return;
  if (rememberRecent_) QSettings().setValue(kRecentKey, recent_);
  ShowRecent();
}

void MainWindow::ShowRecent() {
  for (int i = 0; i < recentActions_.size(); ++i) {
    QAction* action = recentActions_[i];
    const bool used = i < recent_.size();
    action->setVisible(used);
    if (!used) continue;
    QString shown = QDir::toNativeSeparators(recent_[i]);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
    action->setData(recent_[i]);
  }
  recentSeparator_->setVisible(!recent_.isEmpty());
  UpdateEmptyHint();
}

}  // namespace varnholt
