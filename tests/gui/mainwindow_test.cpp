#include "mainwindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTableView>
#include <QStackedWidget>
#include <QLabel>
#include <QComboBox>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QDockWidget>
#include <QDropEvent>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QSplitter>
#include <QTextBrowser>
#include <QProgressDialog>
#include <QTimer>
#include <QWindow>
#include "varnholt/valuetext.h"
#include "varnholt/gcode.h"
#include "varnholt/program.h"
#include <QUrl>

#include "childframe.h"
#include "gcodechoices.h"
#include "gcodeview.h"
#include "helpdialog.h"
#include "logview.h"
#include "problemsview.h"
#include "gui_support.h"

using varnholt::MainWindow;

namespace {

const QString kTitle = "File viewer for ISO 14649-10,11,111, 12, 112 - Version August 2003 - Quennet";

QStringList VisibleTexts(const QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions())
    if (action->isVisible()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return texts;
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().clear();
    window_ = std::make_unique<MainWindow>();
    window_->UserPrompts().savePath = [](QWidget*, const QString&) { return QString(); };
    // The export's choices as last made (the usual ones after the settings are cleared).
    window_->UserPrompts().gcodeChoices = [](QWidget*, varnholt::GcodeChoices&) { return true; };
    window_->UserPrompts().exec = [this](QDialog& dialog) {
      if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
        messages_ << box->text();
        details_ << box->detailedText();
        noByDefault_ << (box->defaultButton() && box->defaultButton() == box->button(QMessageBox::No));
      }
      return reply_;
    };
    window_->resize(1000, 700);
    window_->show();
  }
  QMenu* Menu(int i) { return window_->menuBar()->actions().at(i)->menu(); }
  QString Project(const QString& name) { return files_.Write(name, gui_test::kProject); }

  gui_test::Files files_;
  std::unique_ptr<MainWindow> window_;
  QStringList messages_, details_;
  QList<bool> noByDefault_;
  int reply_ = QMessageBox::Cancel;
};

}  // namespace

TEST_F(Window, MenusWithoutAndWithDocument) {
  QStringList titles;
  for (QAction* menu : window_->menuBar()->actions()) titles << menu->text();
  EXPECT_EQ(titles, (QStringList{"&Datei", "&Bearbeiten", "&Ansicht", QString::fromUtf8("&Pr\u00fcfen"), "&Fenster", "&?"}));
  EXPECT_EQ(VisibleTexts(Menu(0)),
            (QStringList{QString::fromUtf8("Ö&ffnen...\tStrg+O"), "-", "&Beenden"}));
  EXPECT_EQ(VisibleTexts(Menu(1)),
            (QStringList{QString::fromUtf8("&Rückgängig"), "&Wiederherstellen"}));
  EXPECT_EQ(VisibleTexts(Menu(2)),
            (QStringList{"&Symbolleiste", "S&tatusleiste", "&Details", "&3D-Ansicht", "&Unterschiede",
                         "&Darstellung", "&Materialabtrag"}));
  EXPECT_EQ(VisibleTexts(Menu(4)),
            (QStringList{QString::fromUtf8("Ü&berlappend"), "&Nebeneinander", "-",
                         QString::fromUtf8("Nä&chstes Fenster"), "&Vorheriges Fenster"}));
  EXPECT_EQ(VisibleTexts(Menu(3)),
            (QStringList{QString::fromUtf8("&Regeln pr\u00fcfen\tF7"), "&Probleme"}));
  EXPECT_EQ(VisibleTexts(Menu(5)), (QStringList{"&Hilfe", "&Info"}));
  EXPECT_EQ(window_->windowTitle(), kTitle);

  const QString path = Project("first.stp");
  ASSERT_NE(window_->OpenFile(path), nullptr);
  EXPECT_EQ(VisibleTexts(Menu(0)),
            (QStringList{QString::fromUtf8("Ö&ffnen...\tStrg+O"), "&Speichern...\tStrg+S",
                         "&G-Code exportieren...", "Vergleichen mit...", "S&chliessen...\tStrg+C", "-", "&1 " + path, "-",
                         "&Beenden"}));
  EXPECT_EQ(VisibleTexts(Menu(1)),
            (QStringList{QString::fromUtf8("&Rückgängig"), "&Wiederherstellen", "-",
                         "&Suchen...", "&Weitersuchen", QString::fromUtf8("&Rückwärts suchen"),
                         QString::fromUtf8("&Zurück"), QString::fromUtf8("&Vorwärts")}));
  EXPECT_EQ(VisibleTexts(Menu(2)), (QStringList{"&Symbolleiste", "S&tatusleiste", "&Details",
                                                "&3D-Ansicht", "&Unterschiede", "&G-Code anzeigen", "Format",
                                                "&Darstellung", "&Materialabtrag"}));
  EXPECT_EQ(VisibleTexts(Menu(4)).mid(5), (QStringList{"-", "&1 first.stp"}));
  // The first document window opens maximized; its name then goes in brackets.
  EXPECT_EQ(window_->windowTitle(), kTitle + " - [first.stp]");
  window_->MdiArea()->activeSubWindow()->showNormal();
  EXPECT_EQ(window_->windowTitle(), kTitle + " - first.stp");

  window_->CloseAction()->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(window_->Frames().isEmpty());
  EXPECT_EQ(window_->windowTitle(), kTitle);
  EXPECT_FALSE(window_->SaveAction()->isVisible());
}

// Every key a menu shows is bound to its command; Ctrl+C, shown by "Schliessen", closes only where
// nothing copies (the tree, the log and the details take it first).
TEST_F(Window, EveryKeyAMenuShowsWorks) {
  EXPECT_EQ(window_->OpenAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(window_->SaveAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(window_->CloseAction()->shortcuts(),
            (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_W)}));
  EXPECT_EQ(window_->QuitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(window_->HelpAction()->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(window_->FindPreviousAction()->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
  for (QAction* menu : window_->menuBar()->actions())
    for (QAction* action : menu->menu()->actions()) {
      if (action != window_->CloseAction()) {
        EXPECT_NE(action->shortcut(), QKeySequence(QKeySequence::Copy)) << action->text().toStdString();
      }
      const QString shown = action->text().section('\t', 1);
      if (shown.isEmpty()) continue;
      // "Strg" is how the labels have always written Ctrl.
      QString key = shown;
      key.replace("Strg", "Ctrl");
      EXPECT_EQ(action->shortcut(), QKeySequence(key)) << action->text().toStdString();
    }
  // F1 opens the page of keys and the README's section on finding one's way.
  QString page;
  window_->UserPrompts().exec = [&](QDialog& dialog) {
    if (auto* help = qobject_cast<varnholt::HelpDialog*>(&dialog)) page = help->Page()->toPlainText();
    return 0;
  };
  window_->HelpAction()->trigger();
  EXPECT_TRUE(page.contains("Strg+W")) << page.toStdString();
  EXPECT_TRUE(page.contains("Finding your way in the desktop program")) << page.toStdString();
  EXPECT_FALSE(page.contains("desktop help"));
}

// Ctrl+C in the tree copies the row's value and leaves the document open, in the log it copies
// the log's text; with the focus where nothing copies it closes the document.
TEST_F(Window, CopyKeyCopiesWhereAWidgetCopiesAndClosesElsewhere) {
  varnholt::ChildFrame* frame = window_->OpenFile(Project("p.stp"));
  ASSERT_NE(frame, nullptr);
  QApplication::setActiveWindow(window_.get());
  QTreeWidget* tree = frame->Tree();
  tree->setFocus();
  tree->setCurrentItem(tree->topLevelItem(0));
  QGuiApplication::clipboard()->setText("before");
  QTest::keySequence(tree, QKeySequence::Copy);
  QApplication::processEvents();
  EXPECT_EQ(window_->Frames().size(), 1);
  EXPECT_NE(QGuiApplication::clipboard()->text(), "before");

  QPlainTextEdit* log = frame->findChild<QPlainTextEdit*>();
  ASSERT_NE(log, nullptr);
  log->setFocus();
  log->selectAll();
  QTest::keySequence(log, QKeySequence::Copy);
  QApplication::processEvents();
  EXPECT_EQ(window_->Frames().size(), 1);

  window_->menuBar()->setFocus();
  QTest::keySequence(window_->menuBar(), QKeySequence::Copy);
  QApplication::processEvents();
  EXPECT_TRUE(window_->Frames().isEmpty());
}

// Ctrl+W closes the active document wherever the focus is, as in every desktop program: the
// document window's own menu must not claim the key too (two claims and Qt runs neither).
TEST_F(Window, CtrlWClosesTheActiveDocument) {
  varnholt::ChildFrame* first = window_->OpenFile(Project("first.stp"));
  varnholt::ChildFrame* second = window_->OpenFile(Project("second.stp"));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  QApplication::setActiveWindow(window_.get());
  second->Tree()->setFocus();
  QTest::keySequence(second->Tree(), QKeySequence(Qt::CTRL | Qt::Key_W));
  QApplication::processEvents();
  ASSERT_EQ(window_->Frames().size(), 1);
  EXPECT_EQ(window_->Frames().front(), first);
}

// "Regeln prüfen" (F7) fills the Probleme dock of the active document: a row per finding,
// filtered by severity and rule, a double-click going to the instance; the dock follows the
// active document, and a document not checked yet says so.
TEST_F(Window, RuleCheckFillsTheProblemsDockOfTheActiveDocument) {
  std::string text = gui_test::kProject;
  text.replace(text.find("'main',(#3)"), 11, "'main',(#3,#2)");  // a workplan in itself
  varnholt::ChildFrame* broken = window_->OpenFile(files_.Write("broken.stp", text));
  ASSERT_NE(broken, nullptr);
  EXPECT_EQ(window_->CheckRulesAction()->shortcut(), QKeySequence(Qt::Key_F7));
  EXPECT_EQ(window_->CheckRulesAction()->text(), QString::fromUtf8("&Regeln pr\u00fcfen\tF7"));
  EXPECT_FALSE(window_->ProblemsDock()->isVisible());
  window_->CheckRulesAction()->trigger();
  EXPECT_TRUE(window_->ProblemsDock()->isVisible());
  varnholt::ProblemsView* problems = broken->Problems();
  ASSERT_NE(problems, nullptr);
  const QStringList rows = problems->ShownRows();
  ASSERT_FALSE(rows.isEmpty()) << problems->Summary()->text().toStdString();
  bool aboutWorkplan = false;
  for (const QString& row : rows)
    if (row.section('\t', 2, 2) == "2" && row.section('\t', 3, 3) == "its_elements") aboutWorkplan = true;
  EXPECT_TRUE(aboutWorkplan) << rows.join('\n').toStdString();
  EXPECT_TRUE(problems->Summary()->text().contains("Regeln gepr\u00fcft")) << problems->Summary()->text().toStdString();

  // Filters: errors only keeps the errors; a rule that is not there leaves nothing.
  problems->SeverityFilter()->setCurrentText("Warnung");
  for (const QString& row : problems->ShownRows()) EXPECT_TRUE(row.startsWith("Warnung")) << row.toStdString();
  problems->SeverityFilter()->setCurrentIndex(0);
  ASSERT_GT(problems->RuleFilter()->count(), 1);
  problems->RuleFilter()->setCurrentIndex(1);
  const QString rule = problems->RuleFilter()->currentText();
  for (const QString& row : problems->ShownRows()) EXPECT_EQ(row.section('\t', 1, 1), rule);
  problems->RuleFilter()->setCurrentIndex(0);
  EXPECT_EQ(problems->ShownRows().size(), rows.size());

  // A double-click on the workplan's row goes to the workplan in the tree.
  QTableView* table = problems->Table();
  for (int r = 0; r < table->model()->rowCount(); ++r) {
    if (table->model()->index(r, varnholt::ProblemsView::kInstance).data().toString() != "2") continue;
    Q_EMIT table->doubleClicked(table->model()->index(r, 0));
    break;
  }
  ASSERT_NE(broken->Tree()->currentItem(), nullptr);
  EXPECT_TRUE(broken->Tree()->currentItem()->text(0).contains("#2=workplan")) << broken->Tree()->currentItem()->text(0).toStdString();

  // Another document has its own table, not checked yet; going back shows the first one's.
  varnholt::ChildFrame* other = window_->OpenFile(Project("other.stp"));
  ASSERT_NE(other, nullptr);
  auto shown = [this] {
    return qobject_cast<QStackedWidget*>(window_->ProblemsDock()->widget())->currentWidget();
  };
  EXPECT_EQ(shown(), other->Problems());
  EXPECT_TRUE(other->Problems()->ShownRows().isEmpty());
  EXPECT_TRUE(other->Problems()->Summary()->text().startsWith("Noch nicht gepr\u00fcft"));
  window_->MdiArea()->setActiveSubWindow(window_->MdiArea()->subWindowList().first());
  EXPECT_EQ(shown(), broken->Problems());
}

// The dock shows the active document's details; the search commands go to that document.
TEST_F(Window, DetailsDockAndSearchFollowTheActiveDocument) {
  EXPECT_TRUE(window_->DetailsDock()->isVisible());
  varnholt::ChildFrame* first = window_->OpenFile(Project("first.stp"));
  varnholt::ChildFrame* second = window_->OpenFile(Project("second.stp"));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(window_->ShownDetails(), second->Details());
  window_->MdiArea()->setActiveSubWindow(window_->MdiArea()->subWindowList().at(0));
  EXPECT_EQ(window_->ShownDetails(), first->Details());
  EXPECT_EQ(window_->FindAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  EXPECT_EQ(window_->FindNextAction()->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(window_->BackAction()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Left));
  EXPECT_EQ(window_->ForwardAction()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Right));
  window_->FindAction()->trigger();
  EXPECT_TRUE(first->Find()->isVisible());
  EXPECT_FALSE(window_->BackAction()->isEnabled());
  first->GoToName("7");
  EXPECT_TRUE(window_->BackAction()->isEnabled());
  window_->BackAction()->trigger();
  EXPECT_EQ(first->Tree()->currentItem()->text(0), "#1=project");
  // The keys reach the commands also while the tree has the focus.
  first->Tree()->setFocus();
  QTest::keyClick(first->Tree(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(first->Tree()->currentItem()->text(0), "#7=cartesian_point");
  QTest::keyClick(first->Tree(), Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(first->Tree()->currentItem()->text(0), "#1=project");
}

TEST_F(Window, OpensAFileOnceAndReportsFailures) {
  const QString path = Project("once.stp");
  varnholt::ChildFrame* frame = window_->OpenFile(path);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(window_->OpenFile(path), frame);
  EXPECT_EQ(window_->Frames().size(), 1);

  EXPECT_EQ(window_->OpenFile(files_.Path("missing.stp")), nullptr);
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_EQ(messages_[0], "Die Datei \"" + files_.Path("missing.stp") +
                              "\" konnte nicht ge\xc3\xb6" "ffnet werden.");
  // The log of the failed open is what the user gets to see.
  EXPECT_TRUE(details_[0].contains(" ERROR! StepNC-File \"" + files_.Path("missing.stp") +
                                   "\" could not be opened"));
  EXPECT_EQ(window_->Frames().size(), 1);
}

TEST_F(Window, RecentFilesKeepTheLastFive) {
  QStringList opened;
  for (int i = 0; i < 6; ++i) {
    opened.prepend(Project(QString("f%1.stp").arg(i)));
    ASSERT_NE(window_->OpenFile(opened.front()), nullptr);
  }
  EXPECT_EQ(window_->RecentFiles(), opened.mid(0, 5));
  // The list outlives the window.
  MainWindow next;
  EXPECT_EQ(next.RecentFiles(), opened.mid(0, 5));
}

TEST_F(Window, DroppedFilesOpen) {
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(Project("a.stp")), QUrl::fromLocalFile(Project("b.stp"))});
  // A drop only reaches a widget that took the drag when it entered.
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  EXPECT_EQ(window_->Frames().size(), 2);
  EXPECT_EQ(window_->ActiveFrame()->DocumentName(), "b.stp");
}

TEST_F(Window, QuittingAsksForEveryUnsavedDocument) {
  varnholt::ChildFrame* frame = window_->OpenFile(Project("edited.stp"));
  ASSERT_NE(frame, nullptr);
  QTreeWidgetItem* id = frame->Tree()->topLevelItem(0)->child(0);
  // What the inline editor hands over when the user presses Enter.
  Q_EMIT frame->Tree()->Delegate()->labelEdited(frame->Tree()->indexFromItem(id), "changed");
  ASSERT_TRUE(frame->IsModified());

  reply_ = QMessageBox::Cancel;
  EXPECT_FALSE(window_->close());
  EXPECT_EQ(window_->Frames().size(), 1);
  EXPECT_EQ(messages_.size(), 1);
  reply_ = QMessageBox::No;
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(messages_.size(), 2);
}

TEST(Screenshot, WritesThePngOfTheWindow) {
  gui_test::Files files;
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  const QString png = files.Path("shot.png");
  program.start(VARNHOLT_GUI_EXE, {"--screenshot", png, gui_test::MillingSample()});
  ASSERT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  QImage image(png, "PNG");
  EXPECT_EQ(image.size(), QSize(1200, 800));

  // With the 3D view beside the document (the flag may stand anywhere after the mode).
  program.start(VARNHOLT_GUI_EXE, {"--screenshot", "--3d", png, gui_test::MillingSample(), "20"});
  ASSERT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  EXPECT_EQ(QImage(png, "PNG").size(), QSize(1600, 900));

  program.start(VARNHOLT_GUI_EXE, {"--screenshot", files.Path("none.png"), files.Path("no.stp")});
  ASSERT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitCode(), 1);
}

namespace {

/// Changes the first attribute of the document's project as the inline editor would.
void EditProjectId(varnholt::ChildFrame& frame, const QString& id) {
  QTreeWidgetItem* item = frame.Tree()->topLevelItem(0)->child(0);
  Q_EMIT frame.Tree()->Delegate()->labelEdited(frame.Tree()->indexFromItem(item), id);
}

}  // namespace

// After a save under another name the document is the saved file: the title, the recently
// used files, the next save's proposed name and the unsaved-changes marker all follow it.
TEST_F(Window, SavedUnderANewNameTheDocumentIsThatFile) {
  const QString original = Project("edit1.stp");
  const QString saved = files_.Path("edit1_saved.stp");
  QString proposed;
  window_->UserPrompts().savePath = [&](QWidget*, const QString& name) {
    proposed = name;
    return saved;
  };
  varnholt::ChildFrame* frame = window_->OpenFile(original);
  ASSERT_NE(frame, nullptr);
  window_->MdiArea()->currentSubWindow()->showNormal();
  EditProjectId(*frame, "changed");
  EXPECT_EQ(window_->windowTitle(), kTitle + " - edit1.stp*");

  window_->SaveAction()->trigger();
  EXPECT_EQ(proposed, original);
  EXPECT_EQ(window_->windowTitle(), kTitle + " - edit1_saved.stp");
  EXPECT_EQ(window_->MdiArea()->currentSubWindow()->windowTitle(), "edit1_saved.stp");
  EXPECT_EQ(window_->RecentFiles().value(0), saved);
  EXPECT_EQ(window_->RecentFiles().value(1), original);

  EditProjectId(*frame, "again");
  EXPECT_EQ(window_->windowTitle(), kTitle + " - edit1_saved.stp*");
  window_->SaveAction()->trigger();
  EXPECT_EQ(proposed, saved);
  EXPECT_EQ(window_->windowTitle(), kTitle + " - edit1_saved.stp");
  // Opening the saved file finds the document that is it.
  EXPECT_EQ(window_->OpenFile(saved), frame);
  EXPECT_EQ(window_->Frames().size(), 1);
}

// The panes and the document commands follow the document window while a window of another
// program has the focus.
TEST_F(Window, PanesKeepTheDocumentWhileAnotherWindowIsActive) {
  varnholt::ChildFrame* frame = window_->OpenFile(Project("p.stp"));
  ASSERT_NE(frame, nullptr);
  window_->SceneDock()->show();
  ASSERT_NE(window_->MdiArea()->activeSubWindow(), nullptr);
  // What the window system tells the program when another program's window takes the focus.
  QEvent deactivate(QEvent::ApplicationDeactivate);
  QCoreApplication::sendEvent(qApp, &deactivate);
  ASSERT_EQ(window_->MdiArea()->activeSubWindow(), nullptr);
  EXPECT_EQ(window_->ActiveFrame(), frame);
  EXPECT_EQ(window_->ShownDetails(), frame->Details());
  EXPECT_EQ(window_->ShownScene(), frame->Scene3D());
  EXPECT_TRUE(window_->SaveAction()->isEnabled());
  EXPECT_EQ(window_->windowTitle(), kTitle + " - [p.stp]");
}

// "Fenster": the documents listed, Ctrl+Tab through them in the order of use while Ctrl is
// held, tiled and as tabs.
TEST_F(Window, WindowMenuGoesThroughTheDocumentsInTheOrderOfUse) {
  for (const char* name : {"a.stp", "b.stp", "c.stp"}) ASSERT_NE(window_->OpenFile(Project(name)), nullptr);
  auto active = [this] { return window_->ActiveFrame()->DocumentName(); };
  ASSERT_EQ(active(), "c.stp");
  QMenu* windows = Menu(4);
  EXPECT_EQ(VisibleTexts(windows).mid(5), (QStringList{"-", "&1 a.stp", "&2 b.stp", "&3 c.stp"}));
  EXPECT_TRUE(windows->actions().last()->isChecked());

  QApplication::setActiveWindow(window_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QWindow* handle = window_->windowHandle();
  // Tab pressed and let go while Ctrl stays down, then Ctrl let go.
  auto tab = [handle](Qt::KeyboardModifiers held, int key) {
    QTest::simulateEvent(handle, true, key, held, QString(), false);
    QTest::simulateEvent(handle, false, key, held, QString(), false);
  };
  auto letGo = [handle] {
    QTest::simulateEvent(handle, false, Qt::Key_Control, Qt::NoModifier, QString(), false);
  };
  // Held Ctrl: each Tab one document further back; letting go makes the choice the last used.
  tab(Qt::ControlModifier, Qt::Key_Tab);
  EXPECT_EQ(active(), "b.stp");
  tab(Qt::ControlModifier, Qt::Key_Tab);
  EXPECT_EQ(active(), "a.stp");
  letGo();
  tab(Qt::ControlModifier, Qt::Key_Tab);
  EXPECT_EQ(active(), "c.stp");
  letGo();
  tab(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Backtab);
  EXPECT_EQ(active(), "b.stp");
  letGo();
  QStringList order;
  for (QMdiSubWindow* sub : window_->UsedOrder()) order << sub->windowTitle();
  EXPECT_EQ(order, (QStringList{"b.stp", "c.stp", "a.stp"}));

  windows->actions().at(windows->actions().size() - 3)->trigger();
  EXPECT_EQ(active(), "a.stp");
  window_->TileAction()->trigger();
  const QRect area = window_->MdiArea()->viewport()->rect();
  for (QMdiSubWindow* sub : window_->MdiArea()->subWindowList())
    EXPECT_TRUE(area.contains(sub->geometry())) << sub->windowTitle().toStdString();
  window_->TabsAction()->trigger();
  EXPECT_EQ(window_->MdiArea()->viewMode(), QMdiArea::TabbedView);
  EXPECT_FALSE(window_->TileAction()->isEnabled());
  EXPECT_EQ(window_->windowTitle(), kTitle + " - a.stp");
}

// Size, place, docks, the divider and the display options come back at the next start.
TEST_F(Window, StateIsRestoredAtTheNextStart) {
  window_->RestoreState();
  window_->resize(900, 640);
  window_->DetailsDock()->hide();
  window_->TabsAction()->trigger();
  window_->ExactRealsAction()->trigger();
  varnholt::ChildFrame* frame = window_->OpenFile(Project("p.stp"));
  ASSERT_NE(frame, nullptr);
  const int width = frame->Splitter()->width();
  frame->Splitter()->setSizes({width / 2, width - width / 2});
  Q_EMIT frame->Splitter()->splitterMoved(width / 2, 1);
  ASSERT_TRUE(window_->close());
  window_.reset();
  varnholt::SetRealDisplay(varnholt::RealDisplay::FourDigits);

  MainWindow next;
  next.RestoreState();
  next.show();
  EXPECT_EQ(next.size(), QSize(900, 640));
  EXPECT_FALSE(next.DetailsDock()->isVisible());
  EXPECT_TRUE(next.TabsAction()->isChecked());
  EXPECT_EQ(next.MdiArea()->viewMode(), QMdiArea::TabbedView);
  EXPECT_TRUE(next.ExactRealsAction()->isChecked());
  EXPECT_EQ(varnholt::CurrentRealDisplay(), varnholt::RealDisplay::Exact);
  varnholt::ChildFrame* reopened = next.OpenFile(Project("p.stp"));
  ASSERT_NE(reopened, nullptr);
  EXPECT_NEAR(reopened->TreeShare(), 0.5, 0.02);
  next.ExactRealsAction()->setChecked(false);
  next.FourDigitRealsAction()->trigger();
  EXPECT_EQ(varnholt::CurrentRealDisplay(), varnholt::RealDisplay::FourDigits);
}

// Reals in the tree with four digits or exactly; a value row's tooltip is exact either way.
TEST_F(Window, RealsAreShownAsChosenAndExactInTheTooltip) {
  std::string text = gui_test::kProject;
  text.replace(text.find("'WP',$,$,"), 9, "'WP',$,1234.5678,");
  varnholt::ChildFrame* frame = window_->OpenFile(files_.Write("p.stp", text));
  ASSERT_NE(frame, nullptr);
  QTreeWidgetItem* workpiece = frame->Tree()->topLevelItem(0)->child(2)->child(0);
  frame->Tree()->expandItem(workpiece);
  QTreeWidgetItem* tolerance = workpiece->child(2);
  EXPECT_EQ(tolerance->text(0), "global_tolerance: 1235.");
  EXPECT_EQ(frame->Tree()->ValueTipOf(tolerance), "1234.5678");
  window_->ExactRealsAction()->trigger();
  EXPECT_EQ(tolerance->text(0), "global_tolerance: 1234.5678");
  EXPECT_EQ(frame->Tree()->ValueTipOf(tolerance), "1234.5678");
  window_->FourDigitRealsAction()->trigger();
  EXPECT_EQ(tolerance->text(0), "global_tolerance: 1235.");
  // A row that shows no value has no such tooltip.
  EXPECT_EQ(frame->Tree()->ValueTipOf(workpiece), "");
}

// "Abbrechen" while a file opens leaves no document, asks nothing and keeps the recent files;
// the next open works as ever. The open dialog offers the exchange-file endings.
TEST_F(Window, OpenCanBeCancelled) {
  EXPECT_TRUE(varnholt::OpenFilters().contains("*.stp *.step *.p21 *.stpnc"));
  const QString path = Project("large.stp");
  QTimer::singleShot(0, window_.get(), [this] {
    if (auto* progress = window_->findChild<QProgressDialog*>()) progress->cancel();
  });
  EXPECT_EQ(window_->OpenFile(path), nullptr);
  EXPECT_TRUE(window_->Frames().isEmpty());
  EXPECT_TRUE(messages_.isEmpty());
  EXPECT_TRUE(window_->RecentFiles().isEmpty());
  EXPECT_EQ(window_->windowTitle(), kTitle);
  varnholt::ChildFrame* frame = window_->OpenFile(path);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Tree()->topLevelItem(0)->text(0), "#1=project");
}

namespace {

QString BracketSample() { return QStringLiteral(VARNHOLT_SOURCE_DIR "/samples/bracket_project.stp"); }

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromUtf8(file.readAll());
}

/// The G-code the document's program gives, made here as the writer's own callers make it, to
/// hold the pane and the files against.
varnholt::GcodeResult ExpectedGcode(varnholt::ChildFrame& frame, bool allowPartial) {
  CDoc::LogRoute route(frame.Doc());
  varnholt::GcodeOptions options;
  options.allowPartial = allowPartial;
  options.source = frame.DocumentName().toStdString();
  return varnholt::WriteGcode(varnholt::BuildProgram(*frame.Doc().Scope()), options);
}

/// A click on a line of the pane's text, as the user gives it.
void ClickLine(varnholt::GcodeView& view, int line) {
  QPlainTextEdit* text = view.Text();
  const QTextCursor cursor(text->document()->findBlockByNumber(line));
  text->setTextCursor(cursor);
  text->ensureCursorVisible();
  const QPoint at = text->cursorRect(cursor).center() + QPoint(4, 0);
  QTest::mouseClick(text->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QString Current(varnholt::ChildFrame& frame) {
  return frame.Tree()->currentItem() ? frame.Tree()->currentItem()->text(0) : QString();
}

}  // namespace

// "G-Code exportieren..." writes the program and its source map beside it, replacing what was
// there, shows the program in the G-Code dock and logs what the writer noted; a target it
// cannot write is reported and leaves nothing behind.
TEST_F(Window, GcodeExportWritesTheProgramAndItsMap) {
  EXPECT_FALSE(window_->ExportGcodeAction()->isVisible());
  varnholt::ChildFrame* frame = window_->OpenFile(BracketSample());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(VisibleTexts(Menu(0)).mid(0, 3),
            (QStringList{QString::fromUtf8("Ö&ffnen...\tStrg+O"), "&Speichern...\tStrg+S",
                         "&G-Code exportieren..."}));
  EXPECT_TRUE(VisibleTexts(Menu(2)).contains("&G-Code anzeigen"));
  const QString target = files_.Write("bracket.ngc", "old program\n");
  QString proposed;
  QString chosen = target;
  window_->UserPrompts().gcodePath = [&](QWidget*, const QString& offered) {
    proposed = offered;
    return chosen;
  };
  EXPECT_FALSE(window_->GcodeDock()->isVisible());
  window_->ExportGcodeAction()->trigger();
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
  EXPECT_EQ(QFileInfo(proposed).fileName(), "bracket_project.ngc");

  const varnholt::GcodeResult expected = ExpectedGcode(*frame, false);
  ASSERT_TRUE(expected.ok);
  const QString written = ReadText(target);
  EXPECT_EQ(written, QString::fromStdString(expected.text));
  EXPECT_TRUE(written.startsWith("(Varnholt G-code for LinuxCNC of bracket_project.stp)")) << written.left(200).toStdString();
  const QString map = ReadText(files_.Path("bracket.map.json"));
  EXPECT_TRUE(map.startsWith("{")) << map.left(200).toStdString();
  EXPECT_EQ(map.count("\"line\""), written.count('\n'));

  EXPECT_TRUE(window_->GcodeDock()->isVisible());
  EXPECT_EQ(window_->ShownGcode(), frame->Gcode());
  EXPECT_EQ(frame->Gcode()->Text()->toPlainText() + "\n", written);
  EXPECT_TRUE(frame->Gcode()->Summary()->text().contains(QDir::toNativeSeparators(target)));
  const QString log = frame->Log()->toPlainText();
  EXPECT_TRUE(log.contains("G-code: units ")) << log.right(600).toStdString();
  EXPECT_TRUE(log.contains("G-code written to \"" + target + "\"")) << log.right(600).toStdString();

  // A folder that is not there: the user and the log are told, nothing is written.
  chosen = files_.Path("missing/bracket.ngc");
  window_->ExportGcodeAction()->trigger();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].contains("konnte nicht nach")) << messages_[0].toStdString();
  EXPECT_TRUE(frame->Log()->toPlainText().contains("G-code: cannot write \"" + chosen + "\""));
  EXPECT_FALSE(QFileInfo::exists(chosen));
  EXPECT_FALSE(QFileInfo::exists(files_.Path("missing/bracket.map.json")));

  // Cancelled: nothing asked, nothing written.
  chosen.clear();
  window_->ExportGcodeAction()->trigger();
  EXPECT_EQ(messages_.size(), 1);
}

// A program of which a workingstep cannot be written (its technology gives no spindle speed) is
// not exported as it is: the user is shown why and asked; "Nein" writes nothing, "Ja" writes
// the rest, with the step named as left out.
TEST_F(Window, GcodeExportAsksBeforeLeavingWorkingstepsOut) {
  std::string text = ReadText(BracketSample()).toStdString();
  const std::string technology = "#90=MILLING_TECHNOLOGY(20.0,.TCP.,$,-50.0,";
  ASSERT_NE(text.find(technology), std::string::npos);
  text.replace(text.find(technology), technology.size(), "#90=MILLING_TECHNOLOGY(20.0,.TCP.,$,$,");
  varnholt::ChildFrame* frame = window_->OpenFile(files_.Write("nospindle.stp", text));
  ASSERT_NE(frame, nullptr);
  const QString target = files_.Path("nospindle.ngc");
  window_->UserPrompts().gcodePath = [&](QWidget*, const QString&) { return target; };

  reply_ = QMessageBox::No;
  window_->ExportGcodeAction()->trigger();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].contains("#501")) << messages_[0].toStdString();
  EXPECT_TRUE(messages_[0].contains("no spindle speed")) << messages_[0].toStdString();
  EXPECT_FALSE(QFileInfo::exists(target));
  EXPECT_FALSE(QFileInfo::exists(files_.Path("nospindle.map.json")));
  EXPECT_FALSE(window_->GcodeDock()->isVisible());
  const QString log = frame->Log()->toPlainText();
  EXPECT_TRUE(log.contains("G-code: workingstep #501 'WS1 face rough': its technology gives no spindle speed"))
      << log.right(600).toStdString();
  // The face's finish is not run without its roughing, which would leave it the whole stock.
  EXPECT_TRUE(log.contains("G-code: workingstep #502 'WS2 face finish': its feature #100 is machined first by "
                           "workingstep #501 'WS1 face rough', which is left out"))
      << log.right(600).toStdString();
  EXPECT_TRUE(log.contains("G-code not written: 2 workingsteps cannot be written.")) << log.right(600).toStdString();

  reply_ = QMessageBox::Yes;
  window_->ExportGcodeAction()->trigger();
  EXPECT_EQ(messages_.size(), 2);
  const QString written = ReadText(target);
  EXPECT_EQ(written, QString::fromStdString(ExpectedGcode(*frame, true).text));
  EXPECT_TRUE(written.contains("left out: workingstep #501")) << written.left(600).toStdString();
  EXPECT_TRUE(frame->Log()->toPlainText().contains("G-code: units ")) << frame->Log()->toPlainText().right(600).toStdString();
  EXPECT_TRUE(QFileInfo::exists(files_.Path("nospindle.map.json")));
  EXPECT_TRUE(window_->GcodeDock()->isVisible());
  EXPECT_TRUE(frame->Gcode()->Summary()->text().contains("Ohne 2 Arbeitsschritte"))
      << frame->Gcode()->Summary()->text().toStdString();
}

// The export asks for the controller, the units, the tolerance and a tool table, remembers
// them for the next export, and writes what the command line's gcode writes with them; a tool
// table that cannot be read writes nothing and says why.
TEST_F(Window, GcodeExportTakesItsChoicesAndRemembersThem) {
  varnholt::ChildFrame* frame = window_->OpenFile(BracketSample());
  ASSERT_NE(frame, nullptr);
  const QString target = files_.Path("bracket.ngc");
  window_->UserPrompts().gcodePath = [&](QWidget*, const QString&) { return target; };
  const QString table = files_.Write("tools.tbl", "T7 P7 D63 Z0 ;T1 face mill D63\nT3 P3 D12 Z0 ;T2 end mill D12\n");
  std::vector<varnholt::GcodeChoices> offered;
  varnholt::GcodeChoices chosen;
  chosen.fanuc = true;
  chosen.units = varnholt::GcodeChoices::Shop;
  chosen.tolerance = 0.01;
  chosen.toolTable = table;
  window_->UserPrompts().gcodeChoices = [&](QWidget*, varnholt::GcodeChoices& choices) {
    offered.push_back(choices);
    choices = chosen;
    return true;
  };
  reply_ = QMessageBox::Yes;  // the shop reading may make feeds implausible: written as given
  window_->ExportGcodeAction()->trigger();
  ASSERT_EQ(offered.size(), 1u);
  EXPECT_FALSE(offered[0].fanuc);
  EXPECT_EQ(offered[0].units, varnholt::GcodeChoices::FromFile);
  EXPECT_EQ(offered[0].toolTable, QString());

  varnholt::ProgramOptions programOptions;
  programOptions.unitsGiven = true;
  programOptions.units = varnholt::UnitSystem::Shop;
  programOptions.tolerance = 0.01;
  varnholt::GcodeOptions options;
  options.dialect = varnholt::Dialect::Fanuc;
  options.tolerance = 0.01;
  options.source = frame->DocumentName().toStdString();
  options.acceptImplausible = true;
  options.toolNumbers = {{"T1 face mill D63", 7}, {"T2 end mill D12", 3}};
  varnholt::GcodeResult expected;
  {
    CDoc::LogRoute route(frame->Doc());
    expected = varnholt::WriteGcode(varnholt::BuildProgram(*frame->Doc().Scope(), programOptions), options);
  }
  const QString written = ReadText(target);
  EXPECT_EQ(written, QString::fromStdString(expected.text));
  EXPECT_TRUE(written.contains("Fanuc")) << written.left(300).toStdString();
  EXPECT_TRUE(written.contains("T7 M6")) << written.left(600).toStdString();

  // The next export starts from them; a table that is gone refuses and the log says why.
  QFile::remove(table);
  QFile::remove(target);
  window_->ExportGcodeAction()->trigger();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_TRUE(offered[1].fanuc);
  EXPECT_EQ(offered[1].units, varnholt::GcodeChoices::Shop);
  EXPECT_DOUBLE_EQ(offered[1].tolerance, 0.01);
  EXPECT_EQ(offered[1].toolTable, table);
  EXPECT_FALSE(QFileInfo::exists(target));
  EXPECT_TRUE(frame->Log()->toPlainText().contains("G-code: the tool table \"" + table + "\": it cannot be read"))
      << frame->Log()->toPlainText().right(400).toStdString();

  // Cancelled: nothing is asked further, nothing written.
  int paths = 0;
  window_->UserPrompts().gcodePath = [&](QWidget*, const QString&) { return ++paths, target; };
  window_->UserPrompts().gcodeChoices = [](QWidget*, varnholt::GcodeChoices&) { return false; };
  window_->ExportGcodeAction()->trigger();
  EXPECT_EQ(paths, 0);
  EXPECT_FALSE(QFileInfo::exists(target));
}

// A program with implausible feeds or speeds (a spindle of 90000 rpm) is not exported as it
// is: the user is asked, in German, with the workingstep and its values, "Nein" the default;
// "Nein" writes nothing, "Ja" writes them as given.
TEST_F(Window, GcodeExportAsksBeforeWritingImplausibleValues) {
  std::string text = ReadText(BracketSample()).toStdString();
  const std::string technology = "#90=MILLING_TECHNOLOGY(20.0,.TCP.,$,-50.0,";
  ASSERT_NE(text.find(technology), std::string::npos);
  text.replace(text.find(technology), technology.size(), "#90=MILLING_TECHNOLOGY(20.0,.TCP.,$,-1500.0,");
  varnholt::ChildFrame* frame = window_->OpenFile(files_.Write("fast.stp", text));
  ASSERT_NE(frame, nullptr);
  const QString target = files_.Path("fast.ngc");
  window_->UserPrompts().gcodePath = [&](QWidget*, const QString&) { return target; };

  reply_ = QMessageBox::No;
  window_->ExportGcodeAction()->trigger();
  ASSERT_EQ(messages_.size(), 1);
  EXPECT_TRUE(messages_[0].startsWith(QString::fromUtf8("Das Programm enthält unplausible Vorschübe oder Drehzahlen")))
      << messages_[0].toStdString();
  EXPECT_TRUE(messages_[0].contains("#501")) << messages_[0].toStdString();
  EXPECT_TRUE(messages_[0].contains("spindle 90000 rpm, above 60000 rpm")) << messages_[0].toStdString();
  EXPECT_TRUE(noByDefault_.value(0));
  EXPECT_FALSE(QFileInfo::exists(target));
  const QString log = frame->Log()->toPlainText();
  EXPECT_TRUE(log.contains("G-code: implausible: workingstep #501 'WS1 face rough': spindle 90000 rpm")) << log.right(600).toStdString();
  EXPECT_TRUE(log.contains("G-code not written: 1 workingstep has implausible feeds or speeds.")) << log.right(600).toStdString();

  reply_ = QMessageBox::Yes;
  window_->ExportGcodeAction()->trigger();
  EXPECT_EQ(messages_.size(), 2);
  const QString written = ReadText(target);
  EXPECT_TRUE(written.contains("(implausible, written as given: spindle 90000 rpm")) << written.left(600).toStdString();
  EXPECT_TRUE(frame->Gcode()->Summary()->text().contains("Unplausible Werte in einem Arbeitsschritt"))
      << frame->Gcode()->Summary()->text().toStdString();
}

// "G-Code anzeigen" shows the program without writing it; a click on one of its lines selects
// the workingstep the line was written for, a line of no workingstep leaves the tree as it is.
TEST_F(Window, AClickOnAGcodeLineSelectsItsWorkingstep) {
  varnholt::ChildFrame* frame = window_->OpenFile(BracketSample());
  ASSERT_NE(frame, nullptr);
  window_->ShowGcodeAction()->trigger();
  ASSERT_TRUE(window_->GcodeDock()->isVisible());
  varnholt::GcodeView* view = frame->Gcode();
  const varnholt::GcodeResult expected = ExpectedGcode(*frame, true);
  ASSERT_TRUE(expected.ok);
  EXPECT_EQ(view->Text()->toPlainText() + "\n", QString::fromStdString(expected.text));
  EXPECT_TRUE(view->Summary()->text().contains("nicht gespeichert"));
  EXPECT_TRUE(messages_.isEmpty());

  // Where one workingstep ends and the next begins: each line must lead to its own.
  const std::vector<varnholt::GcodeSource>& lines = expected.lines;
  int first = -1;
  for (size_t i = 1; i < lines.size() && first < 0; ++i)
    if (!lines[i].workingstep.empty() && !lines[i - 1].workingstep.empty() &&
        lines[i].workingstep != lines[i - 1].workingstep)
      first = static_cast<int>(i);
  ASSERT_GT(first, 0);
  for (int line : {first - 1, first}) {
    ClickLine(*view, line);
    const QString name = QString::fromStdString(lines[static_cast<size_t>(line)].workingstep);
    EXPECT_TRUE(Current(*frame).startsWith(name + "=machining_workingstep"))
        << "line " << line << ": " << Current(*frame).toStdString();
  }

  // The opening lines name no workingstep.
  ASSERT_TRUE(lines.front().workingstep.empty());
  frame->GoToName("1");
  ClickLine(*view, 0);
  EXPECT_EQ(Current(*frame), "#1=project");
  const int end = static_cast<int>(lines.size()) - 1;
  ASSERT_TRUE(lines.back().workingstep.empty());
  ClickLine(*view, end);
  EXPECT_EQ(Current(*frame), "#1=project");
  EXPECT_EQ(view->WorkingstepOfLine(end + 1), QString());
}
