// The camera both the 3D view and the rendered picture draw through.
#include <gtest/gtest.h>

#include <cmath>

#include "varnholt/scene.h"

namespace {

using varnholt::Camera;
using varnholt::Point2;
using varnholt::Scene;
using varnholt::ScenePath;
using varnholt::Vec3;
using varnholt::ViewDirection;

Scene Box() {
  Scene scene;
  ScenePath path;
  for (int corner = 0; corner < 8; ++corner)
    path.points.push_back({corner & 1 ? 40.0 : -10.0, corner & 2 ? 25.0 : 5.0, corner & 4 ? 7.0 : -3.0});
  scene.paths.push_back(path);
  return scene;
}

TEST(SceneCamera, ViewsLookFromTheirSideAndFitTheWholeScene) {
  // Screen y grows downwards. From the top x runs right and y up; from the front x right and
  // z up; from the side y right and z up; the isometric view shows all three.
  struct Case {
    ViewDirection direction;
    Vec3 right, up;  // world directions that must go right and up on the screen
  };
  const Case cases[] = {{ViewDirection::Top, {1, 0, 0}, {0, 1, 0}},
                        {ViewDirection::Front, {1, 0, 0}, {0, 0, 1}},
                        {ViewDirection::Side, {0, 1, 0}, {0, 0, 1}},
                        {ViewDirection::Iso, {1, 1, 0}, {0, 0, 1}}};
  const Scene scene = Box();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.direction));
    const Camera camera = Camera::Fit(scene, c.direction, 800, 600);
    const Point2 o = camera.Project({0, 0, 0});
    const Point2 r = camera.Project(c.right);
    const Point2 u = camera.Project(c.up);
    EXPECT_GT(r.x - o.x, 0.1);
    EXPECT_LT(u.y - o.y, -0.1);
    for (const Vec3& p : scene.paths[0].points) {
      const Point2 s = camera.Project(p);
      EXPECT_GE(s.x, 0.0);
      EXPECT_LE(s.x, 800.0);
      EXPECT_GE(s.y, 0.0);
      EXPECT_LE(s.y, 600.0);
    }
  }
  // An empty scene gets a usable camera centred on the picture.
  const Camera empty = Camera::Fit(Scene{}, ViewDirection::Iso, 800, 600);
  EXPECT_DOUBLE_EQ(empty.Project({0, 0, 0}).x, 400.0);
  EXPECT_GT(empty.scale, 0.0);
}

TEST(SceneCamera, OrbitKeepsItsPivotAndZoomItsScreenPoint) {
  Camera camera = Camera::Fit(Box(), ViewDirection::Iso, 800, 600);
  const Vec3 pivot{15, 15, 2};
  const Point2 before = camera.Project(pivot);
  camera.Orbit(0.7, 5.0, pivot);  // the tilt stops at straight down
  const Point2 after = camera.Project(pivot);
  EXPECT_NEAR(after.x, before.x, 1e-9);
  EXPECT_NEAR(after.y, before.y, 1e-9);
  EXPECT_NEAR(camera.pitch, std::acos(0.0), 1e-12);

  const Vec3 under{40, 25, 7};
  const Point2 cursor = camera.Project(under);
  const double scale = camera.scale;
  camera.Zoom(2.5, cursor.x, cursor.y);
  EXPECT_DOUBLE_EQ(camera.scale, 2.5 * scale);
  EXPECT_NEAR(camera.Project(under).x, cursor.x, 1e-9);
  EXPECT_NEAR(camera.Project(under).y, cursor.y, 1e-9);
  camera.Zoom(0, 1, 1);  // refused: nothing changes
  camera.Zoom(NAN, 1, 1);
  EXPECT_DOUBLE_EQ(camera.scale, 2.5 * scale);
}

TEST(SceneCamera, PlacementsComposeLikeNestedCoordinateSystems) {
  // A system turned a quarter about z at (10,0,0), inside one moved to (0,5,0).
  varnholt::Placement inner;
  inner.origin = {10, 0, 0};
  inner.axis[0] = {0, 1, 0};
  inner.axis[1] = {-1, 0, 0};
  varnholt::Placement outer;
  outer.origin = {0, 5, 0};
  const varnholt::Placement placed = inner.Within(outer);
  const Vec3 p = placed.Apply({1, 2, 3});
  EXPECT_DOUBLE_EQ(p.x, 8);
  EXPECT_DOUBLE_EQ(p.y, 6);
  EXPECT_DOUBLE_EQ(p.z, 3);
}

}  // namespace
