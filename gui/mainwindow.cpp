#include "mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QKeyEvent>
#include <functional>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QStackedWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QCoreApplication>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include "aboutbox.h"
#include "helpdialog.h"
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
  detailsStack_ = DocumentStack(detailsDock_, QStringLiteral("No document open."));
  detailsDock_->setWidget(detailsStack_);
  addDockWidget(Qt::LeftDockWidgetArea, detailsDock_);
  resizeDocks({detailsDock_}, {300}, Qt::Horizontal);
  CreateSceneDock();
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
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
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

void MainWindow::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
  // The labels carry their shortcut texts after a tab, as the menus always showed them, and
  // every key shown works. Closing keeps the Ctrl+C its label has always shown and has Ctrl+W as
  // in every desktop program; where a widget copies (the tree, the log, the details), Ctrl+C
  // copies there instead, since those widgets take the key before any shortcut.
  open_ = file->addAction(QStringLiteral("Ö&ffnen...\tStrg+O"), this, &MainWindow::Open);
  open_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  open_->setStatusTip(QStringLiteral("Öffnet eine Datei"));
  open_->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  save_ = file->addAction(QStringLiteral("&Speichern...\tStrg+S"), this, &MainWindow::Save);
  save_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  save_->setStatusTip(QStringLiteral("Speichert die Datei unter einem neuen Namen"));
  save_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  exportGcode_ = file->addAction(QStringLiteral("&G-Code exportieren..."), this, [this] {
    ChildFrame* frame = ActiveFrame();
    if (!frame || !frame->ExportGcode()) return;
    gcodeDock_->show();
    gcodeDock_->raise();
  });
  exportGcode_->setStatusTip(QStringLiteral(
      "Schreibt das Programm als G-Code f\u00fcr LinuxCNC und daneben die Zuordnung der Zeilen"));
  compare_ = file->addAction(QStringLiteral("Vergleichen mit..."), this,
                             [this] { CompareWith(prompts_.openPath(this)); });
  compare_->setStatusTip(QStringLiteral(
      "Vergleicht die Datei mit einer zweiten nach ihrem Aufbau und zeigt die Unterschiede"));
  close_ = file->addAction(QStringLiteral("S&chliessen...\tStrg+C"), this,
                           &MainWindow::CloseDocument);
  close_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_W)});
  close_->setStatusTip(QStringLiteral("Schließt die Datei"));
  file->addSeparator();
  for (int i = 0; i < kRecentCount; ++i) {
    QAction* action = file->addAction(QString());
    connect(action, &QAction::triggered, this, [this, action] {
      OpenFile(action->data().toString());
    });
    recentActions_ << action;
  }
  recentSeparator_ = file->addSeparator();
  quit_ = file->addAction(QStringLiteral("&Beenden"), this, &QWidget::close);
  quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit_->setStatusTip(QStringLiteral("Beendet das Programm"));
  ShowRecent();

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Bearbeiten"));
  undo_ = edit->addAction(QStringLiteral("&R\u00fcckg\u00e4ngig"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->UndoStack()->undo();
  });
  undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  undo_->setStatusTip(QStringLiteral("Nimmt die letzte \u00c4nderung zur\u00fcck"));
  redo_ = edit->addAction(QStringLiteral("&Wiederherstellen"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->UndoStack()->redo();
  });
  redo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                       QKeySequence(Qt::CTRL | Qt::Key_Y)});
  redo_->setStatusTip(QStringLiteral("F\u00fchrt die zur\u00fcckgenommene \u00c4nderung wieder aus"));
  findSeparator_ = edit->addSeparator();
  find_ = edit->addAction(QStringLiteral("&Suchen..."), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->ShowFind();
  });
  find_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find_->setStatusTip(QStringLiteral("Sucht Instanzen nach Nummer, Entit\u00e4tstyp oder Text"));
  findNext_ = edit->addAction(QStringLiteral("&Weitersuchen"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->FindNext();
  });
  findNext_->setShortcut(QKeySequence(Qt::Key_F3));
  findNext_->setStatusTip(QStringLiteral("Geht zum n\u00e4chsten Suchergebnis"));
  findPrevious_ = edit->addAction(QStringLiteral("&R\u00fcckw\u00e4rts suchen"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->FindPrevious();
  });
  findPrevious_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
  findPrevious_->setStatusTip(QStringLiteral("Geht zum vorigen Suchergebnis"));
  back_ = edit->addAction(QStringLiteral("&Zur\u00fcck"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->Back();
  });
  back_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  back_->setStatusTip(QStringLiteral("Geht zur vorher gew\u00e4hlten Instanz zur\u00fcck"));
  forward_ = edit->addAction(QStringLiteral("&Vorw\u00e4rts"), this, [this] {
    if (ChildFrame* frame = ActiveFrame()) frame->Forward();
  });
  forward_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  forward_->setStatusTip(QStringLiteral("Geht wieder vorw\u00e4rts"));

  QToolBar* toolbar = addToolBar(QStringLiteral("Symbolleiste"));
  toolbar->setObjectName(QStringLiteral("toolbar"));

  QMenu* view = menuBar()->addMenu(QStringLiteral("&Ansicht"));
  QAction* toolbarShown = view->addAction(QStringLiteral("&Symbolleiste"));
  toolbarShown->setCheckable(true);
  toolbarShown->setChecked(true);
  connect(toolbarShown, &QAction::toggled, toolbar, &QWidget::setVisible);
  connect(toolbar, &QToolBar::visibilityChanged, toolbarShown, &QAction::setChecked);
  QAction* statusShown = view->addAction(QStringLiteral("S&tatusleiste"));
  statusShown->setCheckable(true);
  statusShown->setChecked(true);
  connect(statusShown, &QAction::toggled, statusBar(), &QWidget::setVisible);
  QAction* details = detailsDock_->toggleViewAction();
  details->setText(QStringLiteral("&Details"));
  details->setStatusTip(QStringLiteral("Zeigt oder verbirgt die Details der gew\u00e4hlten Instanz"));
  view->addAction(details);
  QAction* scene = sceneDock_->toggleViewAction();
  scene->setText(QStringLiteral("&3D-Ansicht"));
  scene->setStatusTip(QStringLiteral("Zeigt oder verbirgt die 3D-Ansicht von Werkst\u00fcck, Features und Werkzeugwegen"));
  view->addAction(scene);
  QAction* differences = diffDock_->toggleViewAction();
  differences->setText(QStringLiteral("&Unterschiede"));
  differences->setStatusTip(QStringLiteral("Zeigt oder verbirgt die Unterschiede des letzten Vergleichs"));
  view->addAction(differences);
  showGcode_ = view->addAction(QStringLiteral("&G-Code anzeigen"), this, [this] {
    ChildFrame* frame = ActiveFrame();
    if (!frame) return;
    frame->ShowGcode();
    // Also when nothing could be made: the pane says why.
    gcodeDock_->show();
    gcodeDock_->raise();
  });
  showGcode_->setStatusTip(QStringLiteral("Zeigt das Programm als G-Code, ohne es zu speichern"));
  format_ = view->addAction(QStringLiteral("Format"), this, &MainWindow::Format);
  format_->setStatusTip(QStringLiteral("Stellt die Zeilenhöhe des Baums ein"));
  QMenu* appearance = view->addMenu(QStringLiteral("&Darstellung"));
  tabs_ = appearance->addAction(QStringLiteral("Dokumente als &Reiter"));
  tabs_->setCheckable(true);
  tabs_->setStatusTip(QStringLiteral("Zeigt die Dokumente als Reiter statt als Fenster"));
  connect(tabs_, &QAction::toggled, this, &MainWindow::SetTabbed);
  appearance->addSeparator();
  auto* reals = new QActionGroup(this);
  fourDigitReals_ = appearance->addAction(QStringLiteral("Zahlen mit &4 signifikanten Stellen"));
  fourDigitReals_->setStatusTip(QStringLiteral("Zeigt reelle Zahlen im Baum gerundet"));
  exactReals_ = appearance->addAction(QStringLiteral("Zahlen &exakt"));
  exactReals_->setStatusTip(
      QStringLiteral("Zeigt reelle Zahlen im Baum so genau, wie sie gespeichert sind"));
  for (QAction* action : {fourDigitReals_, exactReals_}) {
    action->setCheckable(true);
    reals->addAction(action);
  }
  fourDigitReals_->setChecked(CurrentRealDisplay() == RealDisplay::FourDigits);
  exactReals_->setChecked(CurrentRealDisplay() == RealDisplay::Exact);
  connect(exactReals_, &QAction::toggled, this, &MainWindow::SetExactReals);

  QMenu* check = menuBar()->addMenu(QStringLiteral("&Pr\u00fcfen"));
  checkRules_ = check->addAction(QStringLiteral("&Regeln pr\u00fcfen\tF7"), this, [this] {
    ChildFrame* frame = ActiveFrame();
    if (!frame) return;
    problemsDock_->show();
    problemsDock_->raise();
    frame->CheckRules();
  });
  checkRules_->setShortcut(QKeySequence(Qt::Key_F7));
  checkRules_->setStatusTip(QStringLiteral(
      "Pr\u00fcft das Programm gegen die Regeln von ISO 14649 und auf der Maschine (Preflight)"));
  QAction* problems = problemsDock_->toggleViewAction();
  problems->setText(QStringLiteral("&Probleme"));
  problems->setStatusTip(QStringLiteral("Zeigt oder verbirgt die Befunde der Regelpr\u00fcfung"));
  check->addAction(problems);
  CreateWindowMenu(menuBar()->addMenu(QStringLiteral("&Fenster")));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&?"));
  help_ = help->addAction(QStringLiteral("&Hilfe"), this, &MainWindow::Help);
  help_->setShortcut(QKeySequence(Qt::Key_F1));
  help_->setStatusTip(QStringLiteral("Zeigt die Tasten und wie man sich zurechtfindet"));
  help_->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
  about_ = help->addAction(QStringLiteral("&Info"), this, &MainWindow::About);
  about_->setStatusTip(QStringLiteral("Zeigt Programminformationen an"));
  about_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));

  toolbar->addAction(open_);
  toolbar->addAction(save_);
  toolbar->addSeparator();
  toolbar->addAction(about_);
}

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

void MainWindow::SetExactReals(bool exact) {
  const RealDisplay display = exact ? RealDisplay::Exact : RealDisplay::FourDigits;
  if (exactReals_->isChecked() != exact) (exact ? exactReals_ : fourDigitReals_)->setChecked(true);
  if (display == CurrentRealDisplay()) return;
  SetRealDisplay(display);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  for (ChildFrame* frame : Frames()) frame->Relabel();
  QGuiApplication::restoreOverrideCursor();
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
  auto* tools = new QToolBar(QStringLiteral("3D-Ansicht"), pane);
  tools->setIconSize(QSize(16, 16));
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  layout->addWidget(tools);
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
    action->setToolTip(QStringLiteral("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
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
  tools->addSeparator();
  sceneRebuild_ = add(QStringLiteral("Neu aufbauen"),
                      QStringLiteral("Baut die Szene aus dem jetzigen Stand der Datei neu auf"),
                      QKeySequence(Qt::Key_F5), [this](SceneView&) {
                        if (ChildFrame* frame = ActiveFrame()) frame->RebuildScene();
                      });
  // Shown the first time, the dock takes a good part of the window: a drawing needs room.
  connect(sceneDock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (!visible || sceneSized_) return;
    sceneSized_ = true;
    resizeDocks({sceneDock_}, {width() / 3}, Qt::Horizontal);
  });
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
  checkRules_->setEnabled(frame != nullptr);
  for (QAction* action : {sceneFit_, sceneViews_[0], sceneViews_[1], sceneViews_[2],
                          sceneViews_[3], sceneRebuild_})
    action->setEnabled(frame != nullptr);
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
  // Side by side, the first file on the left, as the columns "Alt" and "Neu" read.
  if (mdi_->viewMode() == QMdiArea::SubWindowView) {
    const QSize area = mdi_->viewport()->size();
    const int half = area.width() / 2;
    for (QMdiSubWindow* sub : {firstSub, secondSub}) sub->showNormal();
    firstSub->setGeometry(0, 0, half, area.height());
    secondSub->setGeometry(half, 0, area.width() - half, area.height());
  }
  diffDock_->show();
  diffDock_->raise();
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
  if (rememberState_) SaveState();
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
}

}  // namespace varnholt
