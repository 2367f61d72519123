// The menus and the toolbar of the main window.
#include "mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUndoStack>

#include "childframe.h"
#include "varnholt/valuetext.h"

namespace varnholt {

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
  restoreSession_ = appearance->addAction(QStringLiteral("Letzte &Sitzung wiederherstellen"));
  restoreSession_->setCheckable(true);
  restoreSession_->setChecked(true);
  restoreSession_->setStatusTip(
      QStringLiteral("Öffnet beim Start wieder die Dateien, die beim Beenden offen waren"));
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
  stockShown_ = stockDock_->toggleViewAction();
  stockShown_->setText(QStringLiteral("&Materialabtrag"));
  stockShown_->setStatusTip(QStringLiteral(
      "Zeigt oder verbirgt den Rohteil nach dem gewählten Arbeitsschritt, wie ihn das Programm abträgt"));
  view->addAction(stockShown_);

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

}  // namespace varnholt
