#include "varnholt/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "support/temp_file.h"
#include "support/cli_run.h"
#include "support/real_files.h"
#include "varnholt/doc.h"
#include "varnholt/scene_render.h"

namespace fs = std::filesystem;
using varnholt::Scene;
using varnholt::ScenePath;
using varnholt::ShapeKind;
using varnholt::Vec3;

namespace {

const std::string kData = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/";

class SceneBuild : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  static Scene Build(const std::string& path, const varnholt::SceneProgress& progress = {}) {
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) return Scene{};
    CDoc::LogRoute route(doc);
    return varnholt::BuildScene(*doc.Scope(), progress);
  }
  static const ScenePath* Path(const Scene& scene, const std::string& source, ShapeKind kind) {
    for (const ScenePath& path : scene.paths)
      if (path.source == source && path.kind == kind) return &path;
    return nullptr;
  }
};

void ExpectNear(const Vec3& got, const Vec3& want, const std::string& where) {
  EXPECT_NEAR(got.x, want.x, 1e-6) << where;
  EXPECT_NEAR(got.y, want.y, 1e-6) << where;
  EXPECT_NEAR(got.z, want.z, 1e-6) << where;
}

// The feature system of scene_placements.stp: origin (110,205,0), its x along the world's y.
Vec3 FeatureToWorld(const Vec3& p) { return {110 - p.y, 205 + p.x, p.z}; }
Vec3 WorldToFeature(const Vec3& p) { return {p.y - 205, 110 - p.x, p.z}; }

}  // namespace

// Toolpaths lie in the feature's system, placed within the workpiece setup within the setup.
TEST_F(SceneBuild, ToolpathEndsArePlacedThroughFeatureWorkpieceSetupAndSetup) {
  const Scene scene = Build(kData + "scene_placements.stp");
  ASSERT_TRUE(scene.hasProject);
  EXPECT_TRUE(scene.problems.empty()) << scene.problems.front().instance << " " << scene.problems.front().text;
  ASSERT_EQ(scene.workingsteps.size(), 1u);  // found through the nested workplan
  EXPECT_EQ(scene.workingsteps[0].label, "WS pocket");
  EXPECT_EQ(scene.lengthUnit, "mm");
  struct Row {
    const char* source;
    Vec3 first, last;  // in feature coordinates
  } const rows[] = {
      {"#120", {1, 2, 3}, {0, 0, 0}},   // polyline
      {"#130", {0, 2, 0}, {-2, 0, 0}},  // circle trimmed by parameters, 90 to 180 degrees
      {"#140", {0, 0, 0}, {2, 0, 0}},   // b-spline
      {"#150", {2, 0, 0}, {0, -2, 0}},  // circle trimmed by points, against its sense
      {"#160", {0, 0, 0}, {1, 1, 0}},   // composite curve, its second segment reversed
  };
  for (const Row& row : rows) {
    const ScenePath* path = Path(scene, row.source, ShapeKind::Toolpath);
    ASSERT_TRUE(path) << row.source;
    EXPECT_EQ(path->workingstep, 0);
    ExpectNear(path->points.front(), FeatureToWorld(row.first), std::string(row.source) + " first");
    ExpectNear(path->points.back(), FeatureToWorld(row.last), std::string(row.source) + " last");
  }
  // The composite curve turns at (1,0,0) and does not step back over its join.
  const ScenePath* composite = Path(scene, "#160", ShapeKind::Toolpath);
  ASSERT_GE(composite->points.size(), 3u);
  ExpectNear(composite->points[1], FeatureToWorld({1, 0, 0}), "#160 corner");
  for (size_t i = 1; i < composite->points.size(); ++i)
    EXPECT_GE(WorldToFeature(composite->points[i]).x + WorldToFeature(composite->points[i]).y,
              WorldToFeature(composite->points[i - 1]).x + WorldToFeature(composite->points[i - 1]).y - 1e-9);
  // Against its sense the arc runs clockwise through the fourth quadrant, the short way.
  for (const Vec3& p : Path(scene, "#150", ShapeKind::Toolpath)->points) EXPECT_LE(WorldToFeature(p).y, 1e-9);
  // The quadratic Bezier (0,0) (1,2) (2,0): x = 2t, y = 2t(1-t)*2 at every sample.
  const ScenePath* bezier = Path(scene, "#140", ShapeKind::Toolpath);
  EXPECT_GE(bezier->points.size(), 8u);
  for (const Vec3& p : bezier->points) {
    const Vec3 local = WorldToFeature(p);
    const double t = local.x / 2;
    EXPECT_NEAR(local.y, 4 * t * (1 - t), 1e-9) << "t=" << t;
  }
  // The block 10 x 20 x 30 in the turned workpiece setup at (110,200,0).
  Scene workpiece;
  for (const ScenePath& path : scene.paths)
    if (path.kind == ShapeKind::Workpiece) workpiece.paths.push_back(path);
  EXPECT_EQ(workpiece.paths.size(), 6u);
  Vec3 low, high;
  ASSERT_TRUE(workpiece.Bounds(low, high));
  ExpectNear(low, {90, 200, 0}, "block low");
  ExpectNear(high, {110, 210, 30}, "block high");
  // The pocket's circle at the top and at its depth; the security plane at z 50.
  const ScenePath* top = Path(scene, "#101", ShapeKind::Feature);
  ASSERT_TRUE(top);
  ExpectNear(top->points.front(), FeatureToWorld({3, 0, 0}), "pocket outline");
  const ScenePath* plane = Path(scene, "#100", ShapeKind::SecurityPlane);
  ASSERT_TRUE(plane);
  EXPECT_NEAR(plane->points.front().z, 50, 1e-9);
}

// What cannot be placed is named once per instance; the rest is still drawn.
TEST_F(SceneBuild, ProblemsNameWhatCannotBePlaced) {
  const Scene scene = Build(kData + "scene_problems.stp");
  struct Row {
    const char* instance;
    const char* text;
  } const rows[] = {
      {"#2", "nested within itself"},
      {"#101", "placement is missing"},
      {"#100", "toolpaths are not drawn"},
      {"#213", "a curve of kind helix cannot be drawn"},
      {"#215", "knots do not fit"},
      {"#219", "the b-spline has degree 2 and 2 control points; not drawn"},
  };
  ASSERT_EQ(scene.problems.size(), sizeof rows / sizeof rows[0]);
  for (const Row& row : rows) {
    bool found = false;
    for (const varnholt::SceneProblem& problem : scene.problems)
      found = found || (problem.instance == row.instance && problem.text.find(row.text) != std::string::npos);
    EXPECT_TRUE(found) << row.instance << ": " << row.text;
  }
  EXPECT_TRUE(Path(scene, "#216", ShapeKind::Toolpath));  // a rapid movement's path
  EXPECT_FALSE(Path(scene, "#112", ShapeKind::Toolpath));

  std::ostringstream log;
  varnholt::ReportSceneProblems(scene, log);
  EXPECT_NE(log.str().find("\nWarning: Message: #213: a curve of kind helix cannot be drawn."), std::string::npos)
      << log.str();
}

TEST_F(SceneBuild, FileWithoutProjectGivesAnEmptySceneAndSaysSo) {
  const Scene scene = Build(kData + "scene_no_project.stp");
  EXPECT_FALSE(scene.hasProject);
  EXPECT_TRUE(scene.paths.empty());
  std::ostringstream log;
  varnholt::ReportSceneProblems(scene, log);
  EXPECT_EQ(log.str(), "\nWarning: Message: The file holds no project: there is nothing to draw.\n");
}

TEST_F(SceneBuild, CancelStopsTheBuild) {
  std::vector<int> calls;
  const Scene scene = Build(std::string(VARNHOLT_SOURCE_DIR) + "/samples/toolpath_project.stp", [&](int percent) {
    calls.push_back(percent);
    return false;
  });
  EXPECT_TRUE(scene.workingsteps.empty());
  EXPECT_EQ(calls, std::vector<int>{0});
}

// One <path> per scene path: the sample's workpiece (6), features (2 + 2 + 4 + 4 + 4), toolpaths
// (6) and security plane (1); then the three axes and the scale bar's line and two ends.
TEST_F(SceneBuild, SvgOfTheToolpathSampleHasOnePathElementPerScenePath) {
  const Scene scene = Build(std::string(VARNHOLT_SOURCE_DIR) + "/samples/toolpath_project.stp");
  EXPECT_TRUE(scene.problems.empty());
  const auto camera = varnholt::Camera::Fit(scene, varnholt::ViewDirection::Iso, 800, 600);
  const varnholt::PictureFile svg = varnholt::RenderSvg(scene, camera, 800, 600);
  ASSERT_EQ(svg.error, "");
  const std::string stroked = "<path style=\"fill:none;";
  size_t count = 0;
  for (size_t at = svg.bytes.find(stroked); at != std::string::npos; at = svg.bytes.find(stroked, at + 1)) ++count;
  EXPECT_EQ(scene.paths.size(), 29u);
  EXPECT_EQ(count, scene.paths.size() + 6);
  EXPECT_EQ(varnholt::ScaleBarText(varnholt::ScaleBarLength(camera.scale, 800 / 4.0), scene.lengthUnit), "50 mm");
}

// Real files: no crash, and those with workpiece blocks or trajectories draw them.
TEST_F(SceneBuild, CorpusFilesBuildAndDrawWhatTheyHold) {
  const std::vector<fs::path> files = RealFiles({VARNHOLT_CORPUS_DIR});
  if (files.empty()) GTEST_SKIP() << "no corpus";
  for (const fs::path& file : files) {
    const std::string text = ReadAll(file.string());
    const Scene scene = Build(file.string());
    size_t workpieces = 0, toolpaths = 0;
    for (const ScenePath& path : scene.paths) {
      workpieces += path.kind == ShapeKind::Workpiece;
      toolpaths += path.kind == ShapeKind::Toolpath;
    }
    const std::string name = file.filename().string();
    if (text.find("BLOCK(") != std::string::npos) {
      EXPECT_GT(workpieces, 0u) << name;
    }
    if (text.find("CUTTER_LOCATION_TRAJECTORY(") != std::string::npos) {
      EXPECT_GT(toolpaths, 0u) << name;
    }
  }
}

// A profile whose placement repeats its feature's placement, as another instance of the same
// values, lies at the feature, as the same instance would: the outline and the pocket's
// generated moves stay on the 120 x 100 block instead of lying twice as far out.
TEST_F(SceneBuild, AProfilePlacedLikeItsFeatureIsPlacedOnce) {
  const std::string text =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\nFILE_NAME('p.stp','2026-12-10T10:00:00',(''),(''),"
      "'','','');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
      "#1=PROJECT('p',#2,(#4),$,$,$);\n#2=WORKPLAN('main',(#70),$,$,$);\n"
      "#4=WORKPIECE('w',$,$,$,$,#15,());\n#15=BLOCK('b',#9,120.0,100.0,50.0);\n"
      "#9=AXIS2_PLACEMENT_3D('',#10,#11,#12);\n#10=CARTESIAN_POINT('',(0.0,0.0,0.0));\n"
      "#11=DIRECTION('',(0.0,0.0,1.0));\n#12=DIRECTION('',(1.0,0.0,0.0));\n"
      "#43=CLOSED_POCKET('pocket',#4,(#31),#44,#52,(),$,#53,$,$,#56);\n"
      "#44=AXIS2_PLACEMENT_3D('at',#45,#11,#12);\n#45=CARTESIAN_POINT('',(60.0,50.0,50.0));\n"
      "#52=PLANE('depth',#48);\n#48=AXIS2_PLACEMENT_3D('',#49,#11,#12);\n#49=CARTESIAN_POINT('',(0.0,0.0,-20.0));\n"
      "#53=PLANAR_POCKET_BOTTOM_CONDITION();\n#56=RECTANGULAR_CLOSED_PROFILE(#57,#63,#64);\n"
      "#57=AXIS2_PLACEMENT_3D('at',#58,#11,#12);\n#58=CARTESIAN_POINT('',(60.0,50.0,50.0));\n"
      "#63=TOLERANCED_LENGTH_MEASURE(40.0,$);\n#64=TOLERANCED_LENGTH_MEASURE(30.0,$);\n"
      "#70=MACHINING_WORKINGSTEP('ws',$,#43,#31,$);\n"
      "#31=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'rough',10.0,$,#32,#36,$,$,$,$,$,5.0,8.0,0.0,0.0);\n"
      "#32=MILLING_CUTTING_TOOL('T1',#33,(),$,$,$);\n#33=ENDMILL(#34,2,$,$,$);\n"
      "#34=MILLING_TOOL_DIMENSION(10.0,$,$,30.0,$,$,$);\n"
      "#36=MILLING_TECHNOLOGY(10.0,.TCP.,$,100.0,$,.F.,.F.,.F.,$);\n"
      "ENDSEC;\nEND-ISO-10303-21;\n";
  TempFile file(text);
  const Scene scene = Build(file.Path());
  const ScenePath* outline = Path(scene, "#43", ShapeKind::Feature);
  ASSERT_NE(outline, nullptr);
  for (const Vec3& p : outline->points) {
    EXPECT_NEAR(std::fabs(p.x - 60), 15, 1e-9) << "the outline lies about (60, 50), 30 long, 40 wide";
    EXPECT_NEAR(std::fabs(p.y - 50), 20, 1e-9);
  }
  bool generated = false;
  for (const ScenePath& path : scene.paths) {
    if (path.kind != ShapeKind::Generated) continue;
    generated = true;
    for (const Vec3& p : path.points) {
      EXPECT_LE(std::fabs(p.x - 60), 10 + 1e-6) << "the tool stays in the pocket";
      EXPECT_LE(std::fabs(p.y - 50), 15 + 1e-6);
    }
  }
  EXPECT_TRUE(generated);
}
