// The material-removal pane: run on the bracket sample at a coarse resolution, its findings in
// the Probleme pane beside the rule check's, stepping through the workingsteps, edits marking
// it out of date, a stopped run leaving nothing half shown.
#include "stockview.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>

#include "childframe.h"
#include "gui_support.h"
#include "mainwindow.h"
#include "problemsview.h"
#include "prompts.h"

using varnholt::ChildFrame;
using varnholt::ProblemsView;
using varnholt::StockView;

namespace {

QString Bracket() { return QStringLiteral(VARNHOLT_SOURCE_DIR "/samples/bracket_project.stp"); }

// Pixels neither white nor near it: what the picture draws.
int Drawn(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2)
      if (qGray(image.pixel(x, y)) < 240) ++n;
  return n;
}

QStringList SimulationRows(ProblemsView& problems) {
  QStringList rows;
  for (const QString& row : problems.ShownRows())
    if (row.section('\t', 1, 1).startsWith(ProblemsView::kSimulationPrefix)) rows << row;
  return rows;
}

class Stock : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.UserPrompts().exec = [](QDialog&) { return static_cast<int>(QMessageBox::Cancel); };
    window_.resize(1200, 800);
    window_.show();
    frame_ = window_.OpenFile(Bracket());
    ASSERT_NE(frame_, nullptr);
    frame_->SetSimulationResolution(1);
    view_ = frame_->Stock();
  }

  varnholt::MainWindow window_;
  ChildFrame* frame_ = nullptr;
  StockView* view_ = nullptr;
};

TEST_F(Stock, MenuEntryRunsAndStepsThroughTheWorkingsteps) {
  QAction* entry = window_.menuBar()->actions().at(2)->menu()->actions().last();
  EXPECT_EQ(entry, window_.StockAction());
  EXPECT_EQ(entry->text(), "&Materialabtrag");
  EXPECT_TRUE(entry->isCheckable());
  EXPECT_EQ(view_->StockState(), StockView::State::None);

  entry->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(window_.StockDock()->isVisible());
  ASSERT_EQ(view_->StockState(), StockView::State::Current) << view_->StatusText().toStdString();
  ASSERT_NE(frame_->Simulation(), nullptr);
  const int steps = static_cast<int>(frame_->Simulation()->steps.size());
  ASSERT_GT(steps, 3);
  EXPECT_EQ(view_->Steps(), steps);
  // The project row is current: the stock after the last workingstep.
  EXPECT_EQ(view_->Step(), steps - 1);
  const QImage last = view_->Picture();
  ASSERT_FALSE(last.isNull());
  EXPECT_GT(Drawn(last), 1000);
  EXPECT_TRUE(view_->StatusText().contains(QString::fromStdString(frame_->Simulation()->steps.back().instance)))
      << view_->StatusText().toStdString();

  // Keys and slider step, each step its own stock.
  QTest::keyClick(view_, Qt::Key_PageUp);
  EXPECT_EQ(view_->Step(), steps - 2);
  EXPECT_EQ(view_->Slider()->value(), steps - 2);
  QTest::keyClick(view_, Qt::Key_PageDown);
  EXPECT_EQ(view_->Step(), steps - 1);
  EXPECT_EQ(view_->Picture(), last);
  QTest::keyClick(view_, Qt::Key_PageDown);  // past the last: stays
  EXPECT_EQ(view_->Step(), steps - 1);
  view_->setFocus();
  const int history = frame_->CanGoBack();
  QTest::keyClick(view_, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(view_->Step(), steps - 2);
  EXPECT_EQ(frame_->CanGoBack(), history);  // the tree's "Zurück" did not take the key
  QTest::keyClick(view_, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(view_->Step(), steps - 1);
  QTest::keyClick(view_, Qt::Key_Home);
  EXPECT_EQ(view_->Step(), 0);
  // The first face takes far less than the whole program.
  EXPECT_NE(view_->Picture(), last);
  view_->Slider()->setValue(2);
  EXPECT_EQ(view_->Step(), 2);
  EXPECT_EQ(view_->StockState(), StockView::State::Current);

  // The tree chooses the workingstep shown.
  const QString third = QString::fromStdString(frame_->Simulation()->steps[3].instance);
  ASSERT_TRUE(frame_->GoToName(third.mid(1)));
  frame_->UpdateDetails();
  EXPECT_EQ(view_->Step(), 3);

  // An edit: the picture stays, said to be out of date, also while stepping; F5 runs again.
  QTreeWidgetItem* id = frame_->Tree()->topLevelItem(0)->child(0);
  Q_EMIT frame_->Tree()->Delegate()->labelEdited(frame_->Tree()->indexFromItem(id), "changed");
  EXPECT_EQ(view_->StockState(), StockView::State::Outdated);
  EXPECT_TRUE(view_->StatusText().startsWith(StockView::OutdatedNote())) << view_->StatusText().toStdString();
  EXPECT_FALSE(view_->Picture().isNull());
  QTest::keyClick(view_, Qt::Key_PageDown);
  EXPECT_EQ(view_->StockState(), StockView::State::Outdated);
  window_.StockRunAction()->trigger();
  EXPECT_EQ(view_->StockState(), StockView::State::Current);
  EXPECT_FALSE(view_->StatusText().contains(StockView::OutdatedNote()));
}

TEST_F(Stock, FindingsJoinTheProblemsAndLeadToTheirPlace) {
  ProblemsView& problems = *frame_->Problems();
  frame_->CheckRules();
  const QStringList ruleRows = problems.ShownRows();
  ASSERT_TRUE(frame_->RunSimulation());
  const varnholt::SimulateResult& result = *frame_->Simulation();
  ASSERT_FALSE(result.findings.empty());
  const QStringList rows = SimulationRows(problems);
  ASSERT_EQ(rows.size(), static_cast<int>(result.findings.size()));
  // The rule check's rows stay beside them, and a new check keeps the simulation's.
  EXPECT_EQ(problems.ShownRows().size(), ruleRows.size() + rows.size());
  frame_->CheckRules();
  EXPECT_EQ(SimulationRows(problems), rows);
  EXPECT_TRUE(problems.Summary()->text().contains(QStringLiteral("Materialabtrag: ")));
  // Each on its workingstep, with its severity and the G-code line where it has one.
  for (const varnholt::SimFinding& f : result.findings) {
    const QString rule = QStringLiteral("simulate.") + QString::fromStdString(f.kind);
    const QString severity = f.severity == "error" ? QStringLiteral("Fehler") : QStringLiteral("Warnung");
    const QString on = QString::fromStdString(f.workingstep).mid(1);
    bool found = false;
    for (const QString& row : rows)
      found |= row.section('\t', 0, 0) == severity && row.section('\t', 1, 1) == rule && row.section('\t', 2, 2) == on;
    EXPECT_TRUE(found) << f.workingstep << " " << f.kind;
  }

  // A click on the last finding's row: its workingstep in the tree and in the picture, marked.
  window_.ProblemsDock()->show();
  QApplication::processEvents();
  const varnholt::SimFinding& chosen = result.findings.back();
  const QString on = QString::fromStdString(chosen.workingstep).mid(1);
  QTableView* table = problems.Table();
  int row = -1;
  for (int r = 0; r < table->model()->rowCount(); ++r)
    if (table->model()->index(r, ProblemsView::kInstance).data().toString() == on &&
        table->model()->index(r, ProblemsView::kRule).data().toString().startsWith(ProblemsView::kSimulationPrefix))
      row = r;
  ASSERT_GE(row, 0);
  view_->Slider()->setValue(0);
  const QImage unmarked = [&] {
    int step = 0;
    for (size_t k = 0; k < result.steps.size(); ++k)
      if (result.steps[k].instance == chosen.workingstep) step = static_cast<int>(k);
    frame_->ShowStockStep(step);
    return view_->Picture();
  }();
  const QRect cell = table->visualRect(table->model()->index(row, ProblemsView::kText));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
  ASSERT_TRUE(frame_->Tree()->currentItem());
  EXPECT_TRUE(frame_->Tree()->currentItem()->text(0).contains(QString::fromStdString(chosen.workingstep)))
      << frame_->Tree()->currentItem()->text(0).toStdString();
  EXPECT_EQ(QString::fromStdString(result.steps[static_cast<size_t>(view_->Step())].instance),
            QString::fromStdString(chosen.workingstep));
  EXPECT_TRUE(view_->StatusText().contains(QStringLiteral("markiert"))) << view_->StatusText().toStdString();
  // The mark is drawn in red over the picture.
  int redder = 0;
  for (int y = 0; y < unmarked.height(); ++y)
    for (int x = 0; x < unmarked.width(); ++x) {
      const QRgb a = unmarked.pixel(x, y), b = view_->Picture().pixel(x, y);
      if (qRed(b) > 150 && qGreen(b) < 60 && !(qRed(a) > 150 && qGreen(a) < 60)) ++redder;
    }
  EXPECT_GT(redder, 50);
}

TEST_F(Stock, StoppedOrImpossibleRunsLeaveAClearState) {
  // A run that ran first, then one stopped: nothing of either is shown.
  ASSERT_TRUE(frame_->RunSimulation());
  ASSERT_FALSE(SimulationRows(*frame_->Problems()).isEmpty());
  QTimer cancel;
  bool seen = false;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    if (auto* progress = frame_->findChild<QProgressDialog*>()) {
      seen = true;
      progress->cancel();
    }
  });
  cancel.start(0);
  EXPECT_FALSE(frame_->RunSimulation());
  cancel.stop();
  EXPECT_TRUE(seen);
  EXPECT_EQ(view_->StockState(), StockView::State::Cancelled);
  EXPECT_TRUE(view_->Picture().isNull());
  EXPECT_EQ(view_->Steps(), 0);
  EXPECT_TRUE(view_->StatusText().startsWith(QStringLiteral("Materialabtrag abgebrochen"))) << view_->StatusText().toStdString();
  EXPECT_EQ(frame_->Simulation(), nullptr);
  EXPECT_TRUE(SimulationRows(*frame_->Problems()).isEmpty());
  EXPECT_FALSE(frame_->findChild<QProgressDialog*>());
  // Keys and a finding's index lead nowhere now.
  QTest::keyClick(view_, Qt::Key_PageUp);
  EXPECT_EQ(view_->Step(), -1);
  EXPECT_FALSE(frame_->GoToSimulationFinding(0));
  // Showing the pane again does not start a run of its own: F5 does.
  window_.StockAction()->trigger();
  QApplication::processEvents();
  EXPECT_EQ(view_->StockState(), StockView::State::Cancelled);
  window_.StockRunAction()->trigger();
  EXPECT_EQ(view_->StockState(), StockView::State::Current);

  // A workpiece without a stock: said so, nothing shown.
  gui_test::Files files;
  ChildFrame* bare = window_.OpenFile(files.Write("bare.stp", gui_test::kProject));
  ASSERT_NE(bare, nullptr);
  EXPECT_FALSE(bare->RunSimulation());
  EXPECT_EQ(bare->Stock()->StockState(), StockView::State::Failed);
  EXPECT_TRUE(bare->Stock()->StatusText().startsWith(QStringLiteral("Kein Materialabtrag: "))) << bare->Stock()->StatusText().toStdString();
  EXPECT_TRUE(bare->Stock()->Picture().isNull());
}

}  // namespace
