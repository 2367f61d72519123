// "Datei > Vergleichen mit...": the second file opens beside the first, the "Unterschiede" dock
// lists the differences, and a click on a row selects its instance in both documents.
#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "childframe.h"
#include "diffview.h"
#include "gui_support.h"
#include "mainwindow.h"

using varnholt::MainWindow;

namespace {

const QString kData = QStringLiteral(VARNHOLT_SOURCE_DIR "/tests/data/");

class Compare : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings().clear();
    window_ = std::make_unique<MainWindow>();
    window_->UserPrompts().exec = [](QDialog&) { return QMessageBox::Cancel; };
    window_->UserPrompts().openPath = [this](QWidget*) { return next_; };
    window_->resize(1200, 800);
    window_->show();
  }
  QAction* FileAction(const QString& text) {
    for (QAction* action : window_->menuBar()->actions().at(0)->menu()->actions())
      if (action->text() == text) return action;
    return nullptr;
  }
  QStringList Row(int row) {
    QStringList cells;
    QTableWidget* table = window_->Differences()->Table();
    for (int column = 0; column < table->columnCount(); ++column) cells << table->item(row, column)->text();
    return cells;
  }

  std::unique_ptr<MainWindow> window_;
  QString next_;
};

}  // namespace

TEST_F(Compare, TheMenuOpensTheSecondFileBesideTheFirstAndListsTheDifferences) {
  QAction* compare = FileAction(QStringLiteral("Vergleichen mit..."));
  ASSERT_NE(compare, nullptr);
  EXPECT_FALSE(compare->isVisible());  // nothing to compare without a document
  varnholt::ChildFrame* first = window_->OpenFile(kData + "diff_base.stp");
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(compare->isVisible());
  EXPECT_EQ(window_->DiffDock()->windowTitle(), QStringLiteral("Unterschiede"));
  EXPECT_FALSE(window_->DiffDock()->isVisible());

  next_ = kData + "diff_added_tool.stp";
  compare->trigger();
  ASSERT_EQ(window_->Frames().size(), 2);
  varnholt::ChildFrame* second = window_->Frames().at(0) == first ? window_->Frames().at(1) : window_->Frames().at(0);
  EXPECT_TRUE(window_->DiffDock()->isVisible());
  QTableWidget* table = window_->Differences()->Table();
  ASSERT_EQ(table->rowCount(), 2);
  const QString ws3 = "project 'P1' / main_workplan 'main' / its_elements[3] 'WS3 hole' / its_operation 'drill'";
  EXPECT_EQ(Row(0), (QStringList{QString::fromUtf8("ge\u00e4ndert"), ws3, "its_tool", "#41", "#46"}));
  EXPECT_EQ(Row(1), (QStringList{QString::fromUtf8("hinzugef\u00fcgt"), ws3 + " / its_tool 'T3 drill'", "", "",
                                 "#46=MILLING_CUTTING_TOOL('T3 drill',#47,(),117.,$,$);"}));
  // The cell shows the reals short; its tooltip the record as it stands in the file.
  EXPECT_EQ(table->item(1, 4)->toolTip(), "#46=MILLING_CUTTING_TOOL('T3 drill',#47,(),117.0000000000,$,$);");
  EXPECT_EQ(table->item(0, 1)->toolTip(), ws3);
  EXPECT_EQ(table->textElideMode(), Qt::ElideMiddle);
  EXPECT_EQ(window_->Differences()->Summary()->text(),
            QStringLiteral("diff_base.stp gegen diff_added_tool.stp: 2 Unterschiede."));

  // Side by side: the first file on the left, the second on the right, neither covering the other.
  QMdiSubWindow* left = nullptr;
  QMdiSubWindow* right = nullptr;
  for (QMdiSubWindow* sub : window_->MdiArea()->subWindowList())
    (sub->widget() == first ? left : right) = sub;
  ASSERT_TRUE(left && right);
  EXPECT_FALSE(left->isMaximized());
  EXPECT_LE(left->geometry().right(), right->geometry().left());
  EXPECT_FALSE(left->geometry().intersects(right->geometry()));

  // A change selects the operation in both trees; an addition only in the second.
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(0, 1)).center());
  ASSERT_NE(first->Tree()->currentItem(), nullptr);
  ASSERT_NE(second->Tree()->currentItem(), nullptr);
  EXPECT_TRUE(first->Tree()->currentItem()->text(0).startsWith("#32=drilling"))
      << first->Tree()->currentItem()->text(0).toStdString();
  EXPECT_TRUE(second->Tree()->currentItem()->text(0).startsWith("#32=drilling"));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(1, 1)).center());
  EXPECT_TRUE(first->Tree()->currentItem()->text(0).startsWith("#32=drilling"));
  EXPECT_TRUE(second->Tree()->currentItem()->text(0).startsWith("#46=milling_cutting_tool"))
      << second->Tree()->currentItem()->text(0).toStdString();
}

TEST_F(Compare, TheSameFileRenumberedHasNoRowsAndAFileIsNotComparedWithItself) {
  ASSERT_NE(window_->OpenFile(kData + "diff_base.stp"), nullptr);
  EXPECT_FALSE(window_->CompareWith(kData + "diff_base.stp"));
  EXPECT_FALSE(window_->DiffDock()->isVisible());
  EXPECT_FALSE(window_->CompareWith(kData + "no_such_file.stp"));
  window_->MdiArea()->setActiveSubWindow(window_->MdiArea()->subWindowList().at(0));
  EXPECT_TRUE(window_->CompareWith(kData + "diff_renumbered.stp"));
  EXPECT_EQ(window_->Differences()->Table()->rowCount(), 0);
  EXPECT_EQ(window_->Differences()->Summary()->text(),
            QStringLiteral("diff_base.stp und diff_renumbered.stp sind gleich."));
}

// A value's reals are shown in their shortest exact text; names, integers and strings stay.
TEST(DiffValues, RealsOutsideStringsAreShownShortestAndExact) {
  using varnholt::DiffView;
  EXPECT_EQ(DiffView::ShortestReals("20.000000000000000"), "20.");
  EXPECT_EQ(DiffView::ShortestReals("-0.10000000000000001"), "-0.1");
  EXPECT_EQ(DiffView::ShortestReals("(1.5000,2.,-3.25E+02)"), "(1.5,2.,-325.)");
  EXPECT_EQ(DiffView::ShortestReals("1.0E-5"), "1E-05");
  // Exact: a value that needs all its digits keeps them.
  EXPECT_EQ(DiffView::ShortestReals("0.30000000000000004"), "0.30000000000000004");
  EXPECT_EQ(DiffView::ShortestReals("#12"), "#12");
  EXPECT_EQ(DiffView::ShortestReals("42"), "42");
  EXPECT_EQ(DiffView::ShortestReals("'size 20.000 mm',20.000"), "'size 20.000 mm',20.");
  EXPECT_EQ(DiffView::ShortestReals("'it''s 1.50',1.50"), "'it''s 1.50',1.5");
  EXPECT_EQ(DiffView::ShortestReals("A2.500"), "A2.500");
}
