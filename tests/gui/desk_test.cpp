// The desktop as a user meets it: the tree's room beside the docks at the usual window sizes,
// the keyboard's way through the panes, the session kept between starts, and Qt's own texts in
// German.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QTreeWidget>

#include "childframe.h"
#include "diffview.h"
#include "gui_support.h"
#include "language.h"
#include "logview.h"
#include "mainwindow.h"
#include "problemsview.h"

using varnholt::ChildFrame;
using varnholt::MainWindow;
using Pane = MainWindow::Pane;

namespace {

const QString kData = QStringLiteral(VARNHOLT_SOURCE_DIR "/tests/data/");

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    QTest::qWait(5);
  }
}

class Desk : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().clear();
    window_ = Make();
  }
  std::unique_ptr<MainWindow> Make() {
    auto window = std::make_unique<MainWindow>();
    window->UserPrompts().exec = [](QDialog&) { return QMessageBox::Cancel; };
    return window;
  }
  void Show(const QSize& size) {
    window_->resize(size);
    window_->show();
    Settle();
  }
  static int TreeWidth(ChildFrame* frame) { return frame->Splitter()->sizes().value(0); }
  static int Least(const QSize& size, int trees) {
    return std::max(MainWindow::kTreeLeast, static_cast<int>(std::ceil(size.width() * 0.4)) / trees);
  }

  gui_test::Files files_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace

// With each dock that takes room shown, the tree keeps 40 % of the window and at least 240 px,
// at the default size and at a small one; beside the details alone it keeps its third.
TEST_F(Desk, TheTreeKeepsItsRoomBesideEveryDock) {
  for (const QSize size : {QSize(1200, 800), QSize(900, 600)}) {
    for (QDockWidget* (MainWindow::*dock)() const :
         {&MainWindow::SceneDock, &MainWindow::ProblemsDock, &MainWindow::GcodeDock}) {
      SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
      window_ = Make();
      Show(size);
      ChildFrame* frame = window_->OpenFile(gui_test::MillingSample());
      ASSERT_NE(frame, nullptr);
      Settle();
      EXPECT_NEAR(TreeWidth(frame), frame->Splitter()->width() / 3, 2);  // details only
      (window_.get()->*dock)()->show();
      Settle();
      const int least = Least(size, 1);
      EXPECT_GE(TreeWidth(frame), least) << (window_.get()->*dock)()->objectName().toStdString();
      // The log gives way first, but keeps a little.
      EXPECT_GE(frame->Log()->width(), ChildFrame::kLogLeast - 2);
      EXPECT_GE(window_->DetailsDock()->width(), MainWindow::kDockLeast - 2);
    }
  }
}

TEST_F(Desk, BothTreesOfAComparisonKeepTheirRoom) {
  for (const QSize size : {QSize(1200, 800), QSize(900, 600)}) {
    SCOPED_TRACE(size.width());
    window_ = Make();
    Show(size);
    ASSERT_NE(window_->OpenFile(kData + "diff_base.stp"), nullptr);
    ASSERT_TRUE(window_->CompareWith(kData + "diff_added_tool.stp"));
    Settle();
    ASSERT_EQ(window_->Frames().size(), 2);
    for (ChildFrame* frame : window_->Frames()) EXPECT_GE(TreeWidth(frame), Least(size, 2));
  }
}

// The docks stay the user's to size: the 3D view can take most of the window.
TEST_F(Desk, TheUserCanGiveTheSceneMostOfTheWindow) {
  Show(QSize(1200, 800));
  ChildFrame* frame = window_->OpenFile(gui_test::MillingSample());
  ASSERT_NE(frame, nullptr);
  window_->SceneDock()->show();
  Settle();
  window_->DetailsDock()->hide();
  window_->resizeDocks({window_->SceneDock()}, {850}, Qt::Horizontal);
  Settle();
  EXPECT_GT(window_->SceneDock()->width(), 800);
  // The log gave way before the tree did.
  EXPECT_LE(frame->Log()->width(), ChildFrame::kLogLeast + 4);
}

// Deep in a narrow tree the selected row still shows its text, not only its highlight.
TEST(TreeRow, TheCurrentRowsTextIsInView) {
  varnholt::InstanceTree tree;
  QTreeWidgetItem* item = new QTreeWidgetItem(&tree, {QStringLiteral("#1=project")});
  for (int depth = 0; depth < 20; ++depth)
    item = new QTreeWidgetItem(item, {QStringLiteral("#%1=a_rather_long_entity_name('with a label')").arg(depth + 2)});
  tree.expandAll();
  tree.resize(150, 300);
  tree.show();
  Settle();
  tree.setCurrentItem(item);
  Settle();
  const QRect row = tree.visualItemRect(item);
  EXPECT_GE(row.left(), 0);
  EXPECT_LT(row.left(), tree.viewport()->width() / 2);
  // And back at the top the start of the tree is in view again.
  tree.setCurrentItem(tree.topLevelItem(0));
  Settle();
  EXPECT_GE(tree.visualItemRect(tree.topLevelItem(0)).left(), 0);
  EXPECT_LT(tree.visualItemRect(tree.topLevelItem(0)).left(), tree.viewport()->width() / 2);
}

// Tab goes tree, details (link by link), log, and through each dock shown; Umschalt+Tab back.
TEST_F(Desk, TabGoesThroughEveryPane) {
  Show(QSize(1200, 800));
  ASSERT_NE(window_->OpenFile(kData + "diff_base.stp"), nullptr);
  ASSERT_TRUE(window_->CompareWith(kData + "diff_added_tool.stp"));
  ChildFrame* frame = window_->ActiveFrame();
  for (QDockWidget* dock : {window_->SceneDock(), window_->ProblemsDock(), window_->GcodeDock()}) dock->show();
  Settle();
  window_->activateWindow();
  frame->Tree()->setFocus(Qt::OtherFocusReason);
  Settle();
  QList<QWidget*> expected;
  expected << static_cast<QWidget*>(frame->Tree());
  expected << static_cast<QWidget*>(frame->Details());
  expected << frame->Log();
  expected << frame->Problems()->Table();
  expected << frame->Problems()->SeverityFilter();
  expected << frame->Problems()->RuleFilter();
  expected << window_->Differences()->Table();
  expected << frame->Gcode()->Text();
  expected << window_->SceneRebuildButton();
  expected << static_cast<QWidget*>(frame->Scene3D());

  QList<QWidget*> seen{QApplication::focusWidget()};
  for (int i = 0; i < 80 && seen.size() < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (QApplication::focusWidget() != seen.back()) seen << QApplication::focusWidget();
  }
  EXPECT_EQ(seen, expected);
  QList<QWidget*> back{QApplication::focusWidget()};
  for (int i = 0; i < 80 && back.size() < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    if (QApplication::focusWidget() != back.back()) back << QApplication::focusWidget();
  }
  QList<QWidget*> reversed(expected.rbegin(), expected.rend());
  EXPECT_EQ(back, reversed);
}

// In the details pane Tab goes from link to link and Enter follows the one focused.
TEST_F(Desk, EnterFollowsTheDetailsLinkReachedByTab) {
  Show(QSize(1200, 800));
  ChildFrame* frame = window_->OpenFile(files_.Write("p.stp", gui_test::kProject));
  ASSERT_NE(frame, nullptr);
  frame->UpdateDetails();
  window_->activateWindow();
  frame->Tree()->setFocus(Qt::OtherFocusReason);
  // Into the pane, then from link to link: #1 in its row, #1 of the record, then #2.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), frame->Details());
  QStringList links;
  for (int i = 0; i < 4 && !links.contains("#2"); ++i) {
    QTest::keyClick(frame->Details(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), frame->Details());
    links << frame->Details()->textCursor().selectedText();
  }
  EXPECT_EQ(links.first(), "#1");
  const QString link = frame->Details()->textCursor().selectedText();
  QTest::keyClick(frame->Details(), Qt::Key_Return);
  Settle();
  ASSERT_NE(frame->Tree()->currentItem(), nullptr);
  EXPECT_TRUE(frame->Tree()->currentItem()->text(0).startsWith(link + "=")) << link.toStdString();
  EXPECT_EQ(link, "#2");
}

// Ctrl+1 to Ctrl+7 go straight to a pane, showing its dock; F6 goes round the panes shown.
TEST_F(Desk, KeysGoStraightToAPaneAndRound) {
  Show(QSize(1200, 800));
  ChildFrame* frame = window_->OpenFile(gui_test::MillingSample());
  ASSERT_NE(frame, nullptr);
  window_->activateWindow();
  frame->Tree()->setFocus();
  EXPECT_FALSE(window_->SceneDock()->isVisible());
  QTest::keyClick(frame->Tree(), Qt::Key_4, Qt::ControlModifier);
  EXPECT_TRUE(window_->SceneDock()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), frame->Scene3D());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), frame->Log());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_5, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), frame->Problems()->Table());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), frame->Tree());
  // Shown now: tree, details, log, 3D view, problems, in that round.
  const QList<Pane> round{Pane::Details, Pane::Log, Pane::Scene, Pane::Problems, Pane::Tree};
  for (Pane pane : round) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(window_->FocusedPane(), static_cast<int>(pane));
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_EQ(window_->FocusedPane(), static_cast<int>(Pane::Problems));
}

// The focused 3D view turns with the arrows and zooms with + and -; F5 rebuilds it from the tree,
// and its button is in view in a narrow dock.
TEST_F(Desk, TheSceneTakesKeysAndRebuildsFromAnywhere) {
  Show(QSize(900, 600));
  ChildFrame* frame = window_->OpenFile(gui_test::MillingSample());
  ASSERT_NE(frame, nullptr);
  window_->activateWindow();
  ASSERT_TRUE(window_->FocusPane(Pane::Scene));
  Settle();
  varnholt::SceneView* scene = frame->Scene3D();
  ASSERT_EQ(scene->SceneState(), varnholt::SceneView::State::Current);
  const varnholt::Camera before = scene->View();
  QTest::keyClick(scene, Qt::Key_Left);
  EXPECT_GT(scene->View().yaw, before.yaw);
  QTest::keyClick(scene, Qt::Key_Up);
  EXPECT_NE(scene->View().pitch, before.pitch);
  const double scale = scene->View().scale;
  QTest::keyClick(scene, Qt::Key_Plus);
  EXPECT_GT(scene->View().scale, scale);
  QTest::keyClick(scene, Qt::Key_Minus);
  QTest::keyClick(scene, Qt::Key_Minus);
  EXPECT_LT(scene->View().scale, scale);

  QToolButton* rebuild = window_->SceneRebuildButton();
  EXPECT_TRUE(rebuild->isVisible());
  EXPECT_EQ(rebuild->text(), QStringLiteral("Neu aufbauen"));
  EXPECT_LE(rebuild->geometry().right(), rebuild->parentWidget()->width());
  scene->MarkOutdated();
  frame->Tree()->setFocus();
  QApplication::setActiveWindow(window_.get());
  QTest::keyClick(frame->Tree(), Qt::Key_F5);
  EXPECT_EQ(scene->SceneState(), varnholt::SceneView::State::Current);
}

// The rules not evaluated are one line with their count, opened by a click.
TEST(ProblemsPane, TheUncheckedRulesAreFoldedBehindTheirCount) {
  varnholt::ProblemsView view;
  view.resize(600, 300);
  view.show();
  QStringList ids;
  for (int i = 1; i <= 22; ++i) ids << QStringLiteral("R%1").arg(i);
  view.Show({}, QStringLiteral("0 Fehler, 0 Warnungen; 40 Regeln gepr\u00fcft, 22 nicht gepr\u00fcft."), ids);
  QToolButton* toggle = view.UncheckedToggle();
  EXPECT_TRUE(toggle->isVisible());
  EXPECT_EQ(toggle->text(), QString::fromUtf8("22 Regeln nicht gepr\u00fcft"));
  EXPECT_FALSE(view.UncheckedList()->isVisible());
  EXPECT_FALSE(view.Summary()->text().contains("R7"));
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_TRUE(view.UncheckedList()->isVisible());
  EXPECT_TRUE(view.UncheckedList()->text().contains("R1, R2"));
  EXPECT_TRUE(view.UncheckedList()->text().contains("R22"));
  QTest::mouseClick(toggle, Qt::LeftButton);
  EXPECT_FALSE(view.UncheckedList()->isVisible());
  view.Show({}, QStringLiteral("alles gepr\u00fcft"), {QStringLiteral("R9")});
  EXPECT_EQ(toggle->text(), QString::fromUtf8("1 Regel nicht gepr\u00fcft"));
  view.Show({}, QStringLiteral("alles gepr\u00fcft"), {});
  EXPECT_FALSE(toggle->isVisible());
}

// The documents open at quit come back, with the active one and the selected instance; a file
// gone is skipped and named; the choice in "Darstellung" turns it off.
TEST_F(Desk, TheSessionComesBackAtTheNextStart) {
  const QString a = files_.Write("a.stp", gui_test::kProject);
  const QString b = files_.Write("b.stp", gui_test::kProject);
  const QString c = files_.Write("c.stp", gui_test::kProject);
  window_->RestoreState();
  window_->show();
  ChildFrame* first = window_->OpenFile(a);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(first->GoToName("7"));
  ASSERT_NE(window_->OpenFile(b), nullptr);
  ASSERT_NE(window_->OpenFile(c), nullptr);
  window_->MdiArea()->setActiveSubWindow(window_->MdiArea()->subWindowList(QMdiArea::CreationOrder).at(1));
  ASSERT_TRUE(window_->close());
  window_.reset();
  QFile::remove(c);

  window_ = Make();
  window_->RestoreState();
  window_->show();
  EXPECT_TRUE(window_->RestoreSessionAction()->isChecked());
  EXPECT_EQ(window_->RestoreSession(), 2);
  ASSERT_EQ(window_->Frames().size(), 2);
  EXPECT_EQ(QFileInfo(window_->ActiveFrame()->PathName()).fileName(), "b.stp");
  ChildFrame* again = nullptr;
  for (ChildFrame* frame : window_->Frames())
    if (QFileInfo(frame->PathName()).fileName() == "a.stp") again = frame;
  ASSERT_NE(again, nullptr);
  ASSERT_NE(again->Tree()->currentItem(), nullptr);
  EXPECT_TRUE(again->Tree()->currentItem()->text(0).startsWith("#7=")) << again->Tree()->currentItem()->text(0).toStdString();
  EXPECT_TRUE(window_->statusBar()->currentMessage().contains("c.stp")) << window_->statusBar()->currentMessage().toStdString();

  window_->RestoreSessionAction()->trigger();
  ASSERT_TRUE(window_->close());
  window_ = Make();
  window_->RestoreState();
  EXPECT_FALSE(window_->RestoreSessionAction()->isChecked());
  EXPECT_EQ(window_->RestoreSession(), 0);
  EXPECT_TRUE(window_->Frames().isEmpty());
}

// The empty window says how to open a file and offers the ones used last.
TEST_F(Desk, TheEmptyWindowShowsTheKeysAndTheRecentFiles) {
  Show(QSize(900, 600));
  QLabel* hint = window_->EmptyHint();
  EXPECT_TRUE(hint->isVisible());
  EXPECT_TRUE(hint->text().contains("Strg+O")) << hint->text().toStdString();
  const QString a = files_.Write("a.stp", gui_test::kProject);
  ASSERT_NE(window_->OpenFile(a), nullptr);
  EXPECT_FALSE(hint->isVisible());
  window_->CloseDocument();
  Settle();
  EXPECT_TRUE(hint->isVisible());
  EXPECT_TRUE(hint->text().contains(QDir::toNativeSeparators(a)));
  Q_EMIT hint->linkActivated(QUrl::fromLocalFile(a).toString());
  EXPECT_EQ(window_->Frames().size(), 1);
}

// Loaded at start, Qt's catalogue makes its dialogs German; our key labels read the same way
// with it and without it.
TEST(Language, QtsDialogsSpeakGermanAndKeysReadStrg) {
  EXPECT_EQ(varnholt::KeyText(QKeySequence(Qt::CTRL | Qt::Key_Q)), "Strg+Q");
  if (!QFileInfo::exists(varnholt::QtGermanCatalogue()))
    GTEST_SKIP() << "Qt's German catalogue is not installed (qt6-translations-l10n): "
                 << varnholt::QtGermanCatalogue().toStdString();
  QTranslator* translator = varnholt::InstallGerman(*QCoreApplication::instance());
  ASSERT_NE(translator, nullptr);
  {
    QFileDialog dialog(nullptr, QStringLiteral("\u00d6ffnen"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    QStringList texts;
    for (QAbstractButton* button : buttons->buttons()) texts << button->text();
    EXPECT_TRUE(texts.contains(QString::fromUtf8("Abbrechen"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.join('|').contains(QString::fromUtf8("\u00d6ffnen"))) << texts.join('|').toStdString();
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_Q).toString(QKeySequence::NativeText), "Strg+Q");
    EXPECT_EQ(varnholt::KeyText(QKeySequence(Qt::CTRL | Qt::Key_Q)), "Strg+Q");
  }
  QCoreApplication::removeTranslator(translator);
  delete translator;
}
