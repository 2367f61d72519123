// The scene for a reader of every toolpath point against the scene itself (the file's own
// toolpaths, none generated): the same paths, the same workingsteps and, visited, the same
// toolpath points to the last bit, on the samples and on files made to take each way out of
// the walk.
#include "varnholt/scene_toolpaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/scene.h"

namespace fs = std::filesystem;
using varnholt::Scene;
using varnholt::ScenePath;
using varnholt::SceneToolpath;
using varnholt::ShapeKind;
using varnholt::ToolpathScene;
using varnholt::Vec3;

namespace {

const std::string kSource = VARNHOLT_SOURCE_DIR;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  const size_t at = text.find(what);
  EXPECT_NE(at, std::string::npos) << what;
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// Equal to the bit: a 0 and a -0 are not the same point to a reader that prints them.
bool Same(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)) == 0);
}

std::string Describe(const ScenePath& path) {
  return path.source + " kind " + std::to_string(static_cast<int>(path.kind)) + " with " +
         std::to_string(path.points.size()) + " points";
}

class ToolpathSceneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }

  // The scene and the toolpath scene of the file agree, found with and without the projects
  // given; answers how many toolpaths the scene drew.
  static size_t ExpectAlike(const std::string& path) {
    SCOPED_TRACE(path);
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) {
      ADD_FAILURE() << "does not open";
      return 0;
    }
    CDoc::LogRoute route(doc);
    cct_Scope& scope = *doc.Scope();
    const Scene scene = varnholt::BuildScene(scope, {}, false);
    std::vector<const cct_Instance*> projects;  // in no particular order: here the last made first
    cct_Scope::ListCursor cursor;
    for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor))
      if (e->instance && e->instance->HasSupertype("project")) projects.insert(projects.begin(), e->instance);
    size_t drawn = 0;
    for (const bool given : {false, true}) {
      SCOPED_TRACE(given ? "projects given" : "projects found");
      const ToolpathScene placed = varnholt::BuildToolpathScene(scope, given ? &projects : nullptr);
      EXPECT_EQ(placed.scene.hasProject, scene.hasProject);
      EXPECT_EQ(placed.scene.lengthUnit, scene.lengthUnit);
      EXPECT_TRUE(placed.scene.problems.empty());
      EXPECT_EQ(placed.scene.workingsteps.size(), scene.workingsteps.size());
      for (size_t i = 0; i < scene.workingsteps.size() && i < placed.scene.workingsteps.size(); ++i) {
        EXPECT_EQ(placed.scene.workingsteps[i].name, scene.workingsteps[i].name);
        EXPECT_EQ(placed.scene.workingsteps[i].label, scene.workingsteps[i].label);
      }
      std::vector<const ScenePath*> others, toolpaths;
      for (const ScenePath& p : scene.paths) (p.kind == ShapeKind::Toolpath ? toolpaths : others).push_back(&p);
      EXPECT_EQ(placed.scene.paths.size(), others.size());
      for (size_t i = 0; i < others.size() && i < placed.scene.paths.size(); ++i) {
        const ScenePath& got = placed.scene.paths[i];
        SCOPED_TRACE(Describe(*others[i]));
        EXPECT_EQ(got.kind, others[i]->kind);
        EXPECT_EQ(got.source, others[i]->source);
        EXPECT_EQ(got.workingstep, others[i]->workingstep);
        EXPECT_EQ(got.closed, others[i]->closed);
        EXPECT_TRUE(Same(got.points, others[i]->points));
      }
      varnholt::ToolpathPoints reader;
      size_t next = 0;
      for (const SceneToolpath& toolpath : placed.toolpaths) {
        std::vector<Vec3> points;
        size_t runs = 0;
        const bool visible = reader.Visit(toolpath, [&](const Vec3* run, size_t count) {
          EXPECT_GT(count, 0u);
          EXPECT_LE(count, 256u);
          points.insert(points.end(), run, run + count);
          ++runs;
        });
        if (!visible) continue;
        if (next == toolpaths.size()) {
          ADD_FAILURE() << "one toolpath more than the scene draws: " << toolpath.source;
          break;
        }
        const ScenePath& want = *toolpaths[next++];
        SCOPED_TRACE(Describe(want));
        EXPECT_EQ(toolpath.source, want.source);
        EXPECT_EQ(toolpath.workingstep, want.workingstep);
        EXPECT_TRUE(Same(points, want.points));
        if (toolpath.polyline) {
          EXPECT_EQ(runs, (want.points.size() + 255) / 256);
        }
      }
      EXPECT_EQ(next, toolpaths.size()) << "toolpaths the scene draws and the visits do not";
      drawn = toolpaths.size();
    }
    return drawn;
  }

  // A variant of the placements file, its toolpaths checked alike.
  static size_t ExpectAlikeText(const std::string& text) {
    TempFile file(text);
    return ExpectAlike(file.Path());
  }

  static std::string Placements() { return Read(kSource + "/tests/data/scene_placements.stp"); }
};

}  // namespace

TEST_F(ToolpathSceneTest, SamplesAndFixturesGiveTheScenesToolpaths) {
  size_t drawn = 0;
  for (const std::string folder : {"/samples", "/tests/data"})
    for (const auto& file : fs::directory_iterator(kSource + folder))
      if (file.path().extension() == ".stp") drawn += ExpectAlike(file.path().string());
  EXPECT_GT(drawn, 5u);  // the placements file alone has polylines, arcs, a b-spline, a composite curve
}

// Each way a polyline is left out: a point named but never defined, a point too far out to be
// placed, a single point; 2-D and 4-D points are read as the scene reads them.
TEST_F(ToolpathSceneTest, PolylinesTheSceneLeavesOutAreLeftOut) {
  const std::string base = Placements();
  EXPECT_EQ(ExpectAlikeText(Replaced(base, "#121=POLYLINE('',(#122,#123));", "#121=POLYLINE('',(#122,#999));")), 4u);
  EXPECT_EQ(ExpectAlikeText(Replaced(base, "#121=POLYLINE('',(#122,#123));", "#121=POLYLINE('',(#122));")), 4u);
  // Tilted, the feature adds two halves of the largest double: beyond it, once placed.
  std::string huge = Replaced(base, "#102=AXIS2_PLACEMENT_3D('',#103,#15,#16);",
                              "#102=AXIS2_PLACEMENT_3D('',#103,#30,#16);#30=DIRECTION('',(0.0,0.6,0.8));");
  EXPECT_EQ(ExpectAlikeText(Replaced(huge, "#122=CARTESIAN_POINT('',(1.0,2.0,3.0));",
                                     "#122=CARTESIAN_POINT('',(0.0,1.7E308,1.7E308));")),
            4u);
  std::string dimensions = Replaced(base, "#123=CARTESIAN_POINT('',(0.0,0.0,0.0));", "#123=CARTESIAN_POINT('',(4.0,5.0));");
  EXPECT_EQ(ExpectAlikeText(Replaced(dimensions, "#122=CARTESIAN_POINT('',(1.0,2.0,3.0));",
                                     "#122=CARTESIAN_POINT('',(1.0,2.0,3.0,4.0));")),
            5u);
}

// Hundreds of points come in several runs; without a workpiece the security plane spans the
// toolpaths too, tilted so that its corners depend on all of them.
TEST_F(ToolpathSceneTest, LongPolylinesAndPlanesAroundTheToolpaths) {
  std::string points, names;
  for (int i = 0; i < 700; ++i) {
    const int n = 3000 + i;
    points += "#" + std::to_string(n) + "=CARTESIAN_POINT('',(" + std::to_string(i * 0.25) + ",-" +
              std::to_string(i % 7) + ".5," + std::to_string(40 - i % 50) + ".0));\n";
    names += (i ? ",#" : "#") + std::to_string(n);
  }
  std::string text = Replaced(Placements(), "#112=TOOLPATH_LIST((#120,#130,#140,#150,#160));",
                              "#112=TOOLPATH_LIST((#120,#2001,#130,#140,#150,#160));"
                              "#2001=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.,$,$,$,$,#2002,$,$);"
                              "#2002=POLYLINE('long',(" + names + "));\n" + points);
  EXPECT_EQ(ExpectAlikeText(text), 6u);
  text = Replaced(text, "#20=SETUP('setup',#21,#23,(#26));", "#20=SETUP('setup',#21,#23,());");
  text = Replaced(text, "#24=AXIS2_PLACEMENT_3D('',#25,#15,#16);",
                  "#24=AXIS2_PLACEMENT_3D('',#25,#31,$);#31=DIRECTION('',(0.3,0.0,0.9));");
  EXPECT_EQ(ExpectAlikeText(text), 6u);
}

// Of two projects the first in the name table's order is drawn, whether the projects are given
// (in any order) or looked for; the second has nothing to draw.
TEST_F(ToolpathSceneTest, TheFirstOfTwoProjects) {
  EXPECT_EQ(ExpectAlikeText(Replaced(Placements(), "#1=PROJECT('placements',#2,(#10),$,$,$);",
                                     "#1=PROJECT('placements',#2,(#10),$,$,$);#5=PROJECT('other',#6,(#10),$,$,$);"
                                     "#6=WORKPLAN('other main',(#4),$,$,$);")),
            5u);
}
