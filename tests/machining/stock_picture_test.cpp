// The stock after the program as the picture draws it: placed where the scene draws its
// workpiece, and its triangles on gouges marked, only there.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "support/cli_run.h"
#include "support/face_job.h"
#include "varnholt/doc.h"
#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/scene.h"
#include "varnholt/simulate.h"

namespace varnholt {
namespace {

const std::string kSource = VARNHOLT_SOURCE_DIR;

struct Picture {
  bool ok = false;
  StockTriangles mesh;
  std::vector<bool> gouged;
  std::vector<int> leftAfter;
  std::string note, why;
  Box sceneWorkpiece;  // the scene's outline of the workpiece
};

Picture Draw(const std::string& path, double resolution) {
  Picture p;
  CDoc doc;
  if (!doc.OnOpenDocument(path.c_str())) {
    p.why = path + " could not be opened";
    return p;
  }
  CDoc::LogRoute route(doc);
  const Model model = ReadModel(*doc.Scope());
  const Program program = BuildProgram(model);
  GcodeOptions gcodeOptions;
  gcodeOptions.allowPartial = true;
  SimulateOptions options;
  options.resolution = resolution;
  options.volumes = [](const Model& m, int index, std::string& why) { return MakeFeatureVolume(m, index, why); };
  const SimulateResult result = Simulate(model, program, WriteGcode(program, gcodeOptions), options);
  p.why = result.error;
  p.ok = result.ok && StockPicture(model, result, p.mesh, p.gouged, p.leftAfter, p.note, p.why);
  for (const ScenePath& path : BuildScene(*doc.Scope()).paths)
    if (path.kind == ShapeKind::Workpiece)
      for (const Vec3& v : path.points) p.sceneWorkpiece.Add(v);
  return p;
}

Box BoundsOf(const std::vector<Vec3>& points) {
  Box box;
  for (const Vec3& v : points) box.Add(v);
  return box;
}


class StockPictureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
};

// The toolpath sample clamps its workpiece 10 mm along x in a setup far from machine zero: the
// mesh lies where the scene draws the workpiece's box, within the mesh's own error.
TEST_F(StockPictureTest, PlacedAsTheSceneDrawsTheWorkpiece) {
  const Picture p = Draw(kSource + "/samples/toolpath_project.stp", 2);
  ASSERT_TRUE(p.ok) << p.why;
  ASSERT_FALSE(p.sceneWorkpiece.empty);
  const Box mesh = BoundsOf(p.mesh.vertices);
  EXPECT_NEAR(mesh.low.x, p.sceneWorkpiece.low.x, 2.0);
  EXPECT_NEAR(mesh.low.y, p.sceneWorkpiece.low.y, 2.0);
  EXPECT_NEAR(mesh.low.z, p.sceneWorkpiece.low.z, 2.0);
  EXPECT_NEAR(mesh.high.x, p.sceneWorkpiece.high.x, 2.0);
  EXPECT_NEAR(mesh.high.y, p.sceneWorkpiece.high.y, 2.0);
  EXPECT_NEAR(mesh.high.z, p.sceneWorkpiece.high.z, 2.0);
}

// The third pass ramped 2 mm into the part marks the groove it cuts below the face's floor
// (z 9), and nothing else; the job as it should be marks nothing.
TEST_F(StockPictureTest, GougesMarkedWhereTheyAreOnly) {
  TempDir dir;
  const double h = 0.25;
  const Picture gouged = Draw(FaceJob(dir, "-3.0"), h);
  ASSERT_TRUE(gouged.ok) << gouged.why;
  EXPECT_TRUE(gouged.note.empty()) << gouged.note;
  ASSERT_EQ(gouged.gouged.size(), gouged.mesh.triangles.size());
  size_t red = 0;
  for (size_t t = 0; t < gouged.mesh.triangles.size(); ++t) {
    if (!gouged.gouged[t]) continue;
    ++red;
    Vec3 c;
    for (int k : gouged.mesh.triangles[t]) {
      const Vec3& v = gouged.mesh.vertices[static_cast<size_t>(k)];
      c = {c.x + v.x / 3, c.y + v.y / 3, c.z + v.z / 3};
    }
    // The D10 pass at y 19 cuts from y 14 to 24, below the floor by more than the margin.
    EXPECT_GT(c.y, 14 - h);
    EXPECT_LT(c.y, 24 + h);
    EXPECT_LT(c.z, 9 - h);
    EXPECT_GT(c.x, 0);
  }
  EXPECT_GT(red, 100u);

  const Picture clean = Draw(FaceJob(dir, "-1.0"), h);
  ASSERT_TRUE(clean.ok) << clean.why;
  EXPECT_EQ(std::count(clean.gouged.begin(), clean.gouged.end(), true), 0);
  EXPECT_GT(clean.mesh.triangles.size(), 0u);
}

// The third pass lifted 5 mm leaves a band of the face standing along it: the triangles on
// that band's surface are marked as material left after the face's one workingstep, and no
// others; the job as it should be marks none.
TEST_F(StockPictureTest, MaterialLeftMarkedWithItsWorkingstep) {
  TempDir dir;
  const double h = 0.25;
  const Picture lifted = Draw(FaceJob(dir, "5.0"), h);
  ASSERT_TRUE(lifted.ok) << lifted.why;
  ASSERT_EQ(lifted.leftAfter.size(), lifted.mesh.triangles.size());
  size_t marked = 0;
  for (size_t t = 0; t < lifted.mesh.triangles.size(); ++t) {
    if (lifted.leftAfter[t] < 0) continue;
    ++marked;
    EXPECT_EQ(lifted.leftAfter[t], 0);
    EXPECT_FALSE(lifted.gouged[t]);
    Vec3 c;
    for (int k : lifted.mesh.triangles[t]) {
      const Vec3& v = lifted.mesh.vertices[static_cast<size_t>(k)];
      c = {c.x + v.x / 3, c.y + v.y / 3, c.z + v.z / 3};
    }
    // Above the face's floor (z 9), where the lifted D10 pass at y 19 did not go down.
    EXPECT_GT(c.z, 9 + h);
    EXPECT_GT(c.y, 14 - 2 * h);
    EXPECT_LT(c.y, 24 + 2 * h);
  }
  EXPECT_GT(marked, 50u);

  const Picture clean = Draw(FaceJob(dir, "-1.0"), h);
  ASSERT_TRUE(clean.ok) << clean.why;
  EXPECT_EQ(std::count_if(clean.leftAfter.begin(), clean.leftAfter.end(), [](int k) { return k >= 0; }), 0);
}

}  // namespace
}  // namespace varnholt
