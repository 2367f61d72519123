#include "sceneview.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "childframe.h"
#include "gui_support.h"
#include "mainwindow.h"
#include "prompts.h"

using varnholt::Camera;
using varnholt::Scene;
using varnholt::SceneView;
using varnholt::ShapeKind;
using varnholt::Vec3;
using varnholt::ViewDirection;

namespace {

constexpr double kHalfPi = 1.5707963267948966;

void Add(Scene& scene, ShapeKind kind, const char* source, int workingstep,
         std::vector<Vec3> points, bool closed = false) {
  varnholt::ScenePath path;
  path.kind = kind;
  path.source = source;
  path.workingstep = workingstep;
  path.points = std::move(points);
  path.closed = closed;
  scene.paths.push_back(std::move(path));
}

/// Two workingsteps (#3 and #40) on a 100 x 60 x 20 block: a feature and a toolpath each, the
/// first with its security plane.
Scene TwoSteps() {
  Scene scene;
  scene.hasProject = true;
  scene.lengthUnit = "mm";
  scene.workingsteps = {{"#3", "WS1"}, {"#40", "WS2"}};
  Add(scene, ShapeKind::Workpiece, "#10", -1, {{0, 0, 0}, {100, 0, 0}, {100, 60, 0}, {0, 60, 0}}, true);
  Add(scene, ShapeKind::Workpiece, "#10", -1, {{0, 0, 20}, {100, 0, 20}, {100, 60, 20}, {0, 60, 20}}, true);
  Add(scene, ShapeKind::Feature, "#20", 0, {{10, 10, 20}, {40, 10, 20}, {40, 50, 20}, {10, 50, 20}}, true);
  Add(scene, ShapeKind::Toolpath, "#21", 0, {{15, 15, 15}, {35, 15, 15}, {35, 45, 15}});
  Add(scene, ShapeKind::SecurityPlane, "#3", 0, {{0, 0, 30}, {100, 0, 30}, {100, 60, 30}, {0, 60, 30}}, true);
  Add(scene, ShapeKind::Feature, "#41", 1, {{60, 10, 20}, {90, 10, 20}, {90, 50, 20}});
  Add(scene, ShapeKind::Toolpath, "#42", 1, {{65, 20, 10}, {85, 20, 10}, {85, 40, 10}});
  return scene;
}

QPointF Screen(const SceneView& view, const Vec3& p) {
  const varnholt::Point2 s = view.View().Project(p);
  return {s.x, s.y};
}

Vec3 Middle(const Vec3& a, const Vec3& b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2}; }

/// The darkest pixel around a point: where a line drawn through it left its colour.
QColor Darkest(const QImage& image, const QPointF& at) {
  QColor darkest(Qt::white);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const QColor c = image.pixelColor(qRound(at.x()) + dx, qRound(at.y()) + dy);
      if (c.lightness() < darkest.lightness()) darkest = c;
    }
  return darkest;
}

std::vector<size_t> Highlighted(const SceneView& view) {
  std::vector<size_t> paths;
  for (size_t i = 0; i < view.Shown().paths.size(); ++i)
    if (view.IsHighlighted(i)) paths.push_back(i);
  return paths;
}

class View : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.resize(400, 300);
    view_.show();
    view_.SetScene(TwoSteps());
  }
  void Press(Qt::MouseButton button, QPoint from, QPoint to) {
    QTest::mousePress(&view_, button, {}, from);
    QTest::mouseMove(&view_, (from + to) / 2);
    QTest::mouseMove(&view_, to);
    QTest::mouseRelease(&view_, button, {}, to);
  }
  SceneView view_;
};

}  // namespace

TEST_F(View, FitShowsEveryPointFromEachSideAndStaysFittedOnResize) {
  auto inside = [this] {
    for (const varnholt::ScenePath& path : view_.Shown().paths)
      for (const Vec3& p : path.points) {
        const QPointF s = Screen(view_, p);
        if (s.x() < 0 || s.y() < 0 || s.x() > view_.width() || s.y() > view_.height()) return false;
      }
    return true;
  };
  for (ViewDirection direction :
       {ViewDirection::Top, ViewDirection::Front, ViewDirection::Side, ViewDirection::Iso}) {
    view_.LookFrom(direction);
    EXPECT_TRUE(inside()) << static_cast<int>(direction);
  }
  view_.resize(150, 500);
  EXPECT_TRUE(inside());
}

TEST_F(View, MouseOrbitsPansZoomsAndAClickChoosesTheWorkingstep) {
  view_.LookFrom(ViewDirection::Top);
  QSignalSpy chosen(&view_, &SceneView::instanceChosen);
  // On the second workingstep's toolpath, and on the workpiece's outline.
  QTest::mouseClick(&view_, Qt::LeftButton, {}, Screen(view_, Middle({65, 20, 10}, {85, 20, 10})).toPoint());
  QTest::mouseClick(&view_, Qt::LeftButton, {}, (Screen(view_, {0, 30, 0}) + QPointF(2, 0)).toPoint());
  // Nowhere near a line (the middle of the block, between the two steps).
  QTest::mouseClick(&view_, Qt::LeftButton, {}, Screen(view_, {50, 30, 0}).toPoint());
  ASSERT_EQ(chosen.size(), 2);
  EXPECT_EQ(chosen[0][0].toString(), "40");
  EXPECT_EQ(chosen[1][0].toString(), "10");

  const Camera before = view_.View();
  Press(Qt::LeftButton, {100, 100}, {160, 70});  // up: from straight above towards the front
  EXPECT_NE(view_.View().yaw, before.yaw);
  EXPECT_NE(view_.View().pitch, before.pitch);
  EXPECT_EQ(chosen.size(), 2);  // a drag is no click

  const Camera turned = view_.View();
  Press(Qt::RightButton, {100, 100}, {130, 90});
  EXPECT_EQ(view_.View().yaw, turned.yaw);
  EXPECT_DOUBLE_EQ(view_.View().offsetX, turned.offsetX + 30);
  EXPECT_DOUBLE_EQ(view_.View().offsetY, turned.offsetY - 10);

  // The point under the cursor stays there while the scale grows.
  const Vec3 corner{100, 60, 20};
  const QPointF at = Screen(view_, corner);
  QWheelEvent wheel(at, view_.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view_, &wheel);
  EXPECT_GT(view_.View().scale, turned.scale * 1.1);
  EXPECT_NEAR(Screen(view_, corner).x(), at.x(), 1e-6);
  EXPECT_NEAR(Screen(view_, corner).y(), at.y(), 1e-6);
}

TEST_F(View, HighlightTakesTheFirstKnownNameAndDimsTheRest) {
  view_.Highlight({"#99", "#42", "#40"});
  EXPECT_EQ(Highlighted(view_), (std::vector<size_t>{6}));
  // A workingstep stands for everything of it, its security plane too.
  view_.Highlight({"#7", "#3", "#1"});
  EXPECT_EQ(Highlighted(view_), (std::vector<size_t>{2, 3, 4}));
  view_.Highlight({"#10"});
  EXPECT_EQ(Highlighted(view_), (std::vector<size_t>{0, 1}));

  view_.LookFrom(ViewDirection::Top);
  const QPointF onPath = Screen(view_, Middle({65, 20, 10}, {85, 20, 10}));
  view_.Highlight({});
  const QColor plain = Darkest(view_.grab().toImage(), onPath);
  view_.Highlight({"#42"});
  const QColor strong = Darkest(view_.grab().toImage(), onPath);
  EXPECT_GT(strong.red(), strong.green() + 80);  // the second workingstep's red
  view_.Highlight({"#21"});
  const QColor dimmed = Darkest(view_.grab().toImage(), onPath);
  EXPECT_GT(dimmed.lightness(), strong.lightness() + 40);
  EXPECT_GT(dimmed.lightness(), plain.lightness() + 40);  // paler than when nothing is chosen
  view_.Highlight({});
  EXPECT_TRUE(Highlighted(view_).empty());
}

TEST(ViewScene, EmptyAndDegenerateScenesPaint) {
  SceneView view;
  view.resize(200, 150);
  view.show();
  EXPECT_FALSE(view.grab().isNull());  // never built
  view.SetScene(Scene{});
  view.grab();
  Scene odd;
  odd.hasProject = true;
  Add(odd, ShapeKind::Marker, "#5", 0, {{1, 1, 1}});
  Add(odd, ShapeKind::Toolpath, "#6", 0, {});
  Add(odd, ShapeKind::Toolpath, "#7", 0, {{2, 2, 2}, {2, 2, 2}}, true);
  view.SetScene(odd);
  for (ViewDirection direction : {ViewDirection::Top, ViewDirection::Iso}) {
    view.LookFrom(direction);
    EXPECT_TRUE(std::isfinite(view.View().scale));
    view.grab();
  }
  EXPECT_EQ(view.PathAt({-50, -50}), -1);
}

TEST(ViewScene, MovingFramesKeepToTheBudget) {
  // A million points round a cylinder, spaced well below a pixel but not on one pixel.
  Scene scene;
  scene.hasProject = true;
  std::vector<Vec3> helix(1000000);
  for (size_t i = 0; i < helix.size(); ++i) {
    const double angle = static_cast<double>(i) * 2 * 3.141592653589793 / 2000;
    helix[i] = {100 * std::cos(angle), 100 * std::sin(angle), static_cast<double>(i) * 1e-4};
  }
  Add(scene, ShapeKind::Toolpath, "#2", 0, std::move(helix));
  SceneView view;
  view.resize(400, 300);
  view.show();
  view.SetScene(std::move(scene));
  view.LookFrom(ViewDirection::Top);
  view.grab();
  EXPECT_GT(view.LastPaintSegments(), SceneView::kMovingBudget);
  QTest::mousePress(&view, Qt::LeftButton, {}, {100, 100});
  QTest::mouseMove(&view, {140, 120});
  view.grab();
  EXPECT_LE(view.LastPaintSegments(), SceneView::kMovingBudget);
  EXPECT_GT(view.LastPaintSegments(), SceneView::kMovingBudget / 2);
  QTest::mouseRelease(&view, Qt::LeftButton, {}, {140, 120});
}

// In the program: the menu entry shows the dock with the active document's view, which builds
// its scene when first shown; the toolbar turns it; edits mark it outdated until rebuilt; the tree
// and the view choose for each other.
TEST(SceneDock, FollowsTheDocumentAndTheTree) {
  gui_test::Files files;
  varnholt::MainWindow window;
  window.UserPrompts().exec = [](QDialog&) { return static_cast<int>(QMessageBox::Cancel); };
  window.resize(1000, 700);
  window.show();
  varnholt::ChildFrame* frame = window.OpenFile(files.Write("p.stp", gui_test::kProject));
  ASSERT_NE(frame, nullptr);
  SceneView* view = frame->Scene3D();
  QAction* entry = nullptr;
  for (QAction* action : window.menuBar()->actions().at(2)->menu()->actions())
    if (action->text() == "&3D-Ansicht") entry = action;
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->isCheckable());
  EXPECT_FALSE(window.SceneDock()->isVisible());
  EXPECT_EQ(view->SceneState(), SceneView::State::None);

  entry->trigger();
  EXPECT_TRUE(window.SceneDock()->isVisible());
  EXPECT_EQ(window.ShownScene(), view);
  QApplication::processEvents();
  EXPECT_EQ(view->SceneState(), SceneView::State::Current);

  window.SceneViewAction(ViewDirection::Top)->trigger();
  EXPECT_DOUBLE_EQ(view->View().pitch, kHalfPi);
  window.SceneViewAction(ViewDirection::Side)->trigger();
  EXPECT_DOUBLE_EQ(view->View().yaw, kHalfPi);
  EXPECT_DOUBLE_EQ(view->View().pitch, 0);

  QTreeWidgetItem* id = frame->Tree()->topLevelItem(0)->child(0);
  Q_EMIT frame->Tree()->Delegate()->labelEdited(frame->Tree()->indexFromItem(id), "changed");
  EXPECT_EQ(view->SceneState(), SceneView::State::Outdated);
  window.SceneRebuildAction()->trigger();
  EXPECT_EQ(view->SceneState(), SceneView::State::Current);

  // The builder is not this test's business: a scene naming the file's instances by hand.
  Scene scene;
  scene.hasProject = true;
  scene.workingsteps = {{"#3", "WS1"}};
  Add(scene, ShapeKind::Workpiece, "#10", -1, {{0, 0, 0}, {50, 0, 0}, {50, 50, 0}, {0, 50, 0}}, true);
  Add(scene, ShapeKind::Toolpath, "#99", 0, {{10, 10, 5}, {40, 10, 5}});
  view->SetScene(std::move(scene));
  view->LookFrom(ViewDirection::Top);
  ASSERT_TRUE(frame->GoToName("10"));
  EXPECT_EQ(Highlighted(*view), (std::vector<size_t>{0}));
  ASSERT_TRUE(frame->GoToName("3"));
  EXPECT_EQ(Highlighted(*view), (std::vector<size_t>{1}));
  ASSERT_TRUE(frame->GoToName("1"));
  EXPECT_TRUE(Highlighted(*view).empty());
  QTest::mouseClick(view, Qt::LeftButton, {}, Screen(*view, {25, 10, 5}).toPoint());
  EXPECT_EQ(frame->Tree()->currentItem()->text(0), "#3=machining_workingstep");

  entry->trigger();
  EXPECT_FALSE(window.SceneDock()->isVisible());
}
