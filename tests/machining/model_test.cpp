// The machining model: the reader asks only for attributes the binding has, walks the workplans
// once in machining order (a structure within itself entered once, and named), and gives every
// workingstep of a real file its moves or a reason.
#include "varnholt/model_read.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "support/real_files.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/program.h"
#include "model/source.h"

namespace {

namespace model_detail = varnholt::model_detail;

class ModelRead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
};

// A misspelt name would read as unset everywhere without a word: every name the reader uses
// must be an attribute of some entity of the binding.
TEST_F(ModelRead, EveryAttributeNameIsOneOfTheBinding) {
  std::set<std::string> attributes;
  const cct_SchemaBinding* binding = cct_GetSchemaBinding();
  ASSERT_NE(binding, nullptr);
  for (const TypeIdEntry* e = binding->entities; e->id != 0; ++e) {
    cct_Instance* instance = CreateEntity(e->id);
    if (!instance) continue;
    for (long i = 0; i < instance->AttributeCount(); ++i)
      if (const char* name = instance->AttributeName(i)) attributes.insert(name);
    delete instance;
  }
  ASSERT_GT(attributes.size(), 100u);
  ASSERT_FALSE(varnholt::ModelAttributeNames().empty());
  for (const char* name : varnholt::ModelAttributeNames()) EXPECT_TRUE(attributes.count(name)) << name;
}

// The same for the names the readers of geometry write where they ask for them (curves,
// placements, points): every attribute asked for by a string in the model's folder and in the
// scene's reader is one of the binding.
TEST_F(ModelRead, EveryAttributeTheReadersAskForByNameIsOneOfTheBinding) {
  std::set<std::string> attributes;
  for (const TypeIdEntry* e = cct_GetSchemaBinding()->entities; e->id != 0; ++e)
    if (cct_Instance* instance = CreateEntity(e->id)) {
      for (long i = 0; i < instance->AttributeCount(); ++i)
        if (const char* name = instance->AttributeName(i)) attributes.insert(name);
      delete instance;
    }
  const std::regex asked(
      R"re(\b(?:r_?|reader)\.(?:Ref|Refs|Number|Numbers|Flag|Text|Value|Items)\(\s*\*?[A-Za-z_][\w.>-]*(?:\([^()]*\))?\s*,\s*"([a-z_0-9]+)")re");
  std::vector<std::filesystem::path> sources = {VARNHOLT_SOURCE_DIR "/machining/src/scene_read.cpp"};
  for (const auto& entry : std::filesystem::directory_iterator(VARNHOLT_SOURCE_DIR "/machining/src/model"))
    if (entry.path().extension() == ".cpp") sources.push_back(entry.path());
  size_t names = 0;
  for (const std::filesystem::path& source : sources) {
    std::ifstream in(source);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator m(text.begin(), text.end(), asked), end; m != end; ++m, ++names)
      EXPECT_TRUE(attributes.count((*m)[1].str())) << source.filename().string() << ": " << (*m)[1].str();
  }
  EXPECT_GT(names, 10u);
}

std::string File(const std::string& plans) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\nFILE_NAME('c.stp','2026-12-10T10:00:00',(''),(''),"
         "'','','');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n#1=PROJECT('cycle',#2,(),$,$,$);\n" +
         plans +
         "#13=CARTESIAN_POINT('',(0.0,0.0,0.0));\n#14=CARTESIAN_POINT('',(10.0,0.0,0.0));\n"
         "#15=POLYLINE('',(#13,#14));\n#16=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.,$,$,$,$,#15,$,$);\n"
         "#17=TOOLPATH_LIST((#16));\n#20=RAPID_MOVEMENT('move',$,#17,$);\n"
         "#31=MACHINING_WORKINGSTEP('WS1',$,$,#20,$);\n#32=MACHINING_WORKINGSTEP('WS2',$,$,#20,$);\n"
         "#33=MACHINING_WORKINGSTEP('WS3',$,$,#20,$);\nENDSEC;\nEND-ISO-10303-21;\n";
}

// A structure that comes back to itself is walked once: its workingsteps once each, in order,
// and the cycle named by the structure and the element that leads back to it.
TEST_F(ModelRead, AStructureWithinItselfIsEnteredOnceAndNamed) {
  struct Case {
    const char* what;
    const char* plans;
    const char* structure;
    const char* through;
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {"directly", "#2=WORKPLAN('main',(#31,#2,#32),$,$,$);\n", "#2", "#2", {"#31", "#32"}},
      {"through another workplan",
       "#2=WORKPLAN('main',(#31,#3),$,$,$);\n#3=WORKPLAN('A',(#32,#4),$,$,$);\n#4=WORKPLAN('B',(#33,#3),$,$,$);\n",
       "#3", "#4", {"#31", "#32", "#33"}},
      {"through a selective element",
       "#2=WORKPLAN('main',(#31,#5),$,$,$);\n#5=SELECTIVE('s',(#3,#32));\n#3=WORKPLAN('A',(#33,#5),$,$,$);\n",
       "#5", "#3", {"#31", "#33"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFile file(File(c.plans));
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
    const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
    ASSERT_EQ(model.cycles.size(), 1u);
    EXPECT_EQ(model.cycles[0].structure, c.structure);
    EXPECT_EQ(model.cycles[0].through, c.through);
    std::vector<std::string> order;
    for (const varnholt::ModelStep& step : model.order) order.push_back(model.workingsteps[step.workingstep].name);
    EXPECT_EQ(order, c.order);
    // The program says it where the log shows it, and machines nothing twice.
    const varnholt::Program program = varnholt::BuildProgram(model);
    ASSERT_EQ(program.cycles.size(), 1u);
    EXPECT_NE(program.cycles[0].find(std::string(c.structure) + " contains itself"), std::string::npos)
        << program.cycles[0];
    EXPECT_EQ(program.steps.size(), c.order.size());
  }
}

// The program as a tree in machining order: a selective element holds the one way followed
// through it, an NC function stands where the workplan lists it.
TEST_F(ModelRead, TheProgramIsATreeOfExecutablesInMachiningOrder) {
  TempFile file(File("#2=WORKPLAN('main',(#31,#5,#40),$,$,$);\n#5=SELECTIVE('s',(#3,#32));\n"
                     "#3=WORKPLAN('A',(#33),$,$,$);\n#40=PROGRAM_STOP('stop');\n"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
  std::function<std::string(size_t)> show = [&](size_t k) {
    const varnholt::ModelExecutable& e = model.executables[k];
    std::string text = e.name + ":" + e.type;
    if (e.step >= 0) text += "@" + std::to_string(e.step);
    if (!e.elements.empty()) {
      text += "(";
      for (size_t i = 0; i < e.elements.size(); ++i) text += (i ? " " : "") + show(e.elements[i]);
      text += ")";
    }
    return text;
  };
  ASSERT_FALSE(model.executables.empty());
  EXPECT_EQ(show(0),
            "#2:workplan(#31:machining_workingstep@0 #5:selective(#3:workplan(#33:machining_workingstep@1)) "
            "#40:program_stop)");
  EXPECT_EQ(model.executables[0].kind, varnholt::ModelExecutable::Workplan);
  EXPECT_EQ(model.executables[model.executables[0].elements[2]].kind, varnholt::ModelExecutable::ProgramStop);
}

// A setup's workpiece with its stock and where it is clamped, and the workingstep's tool,
// technology and operation as numbers.
TEST_F(ModelRead, TheStockClampsToolAndTechnologyAreNumbers) {
  const std::string text = File(
      "#2=WORKPLAN('main',(#50),$,#60,$);\n#60=SETUP('s',#61,$,(#62));\n#61=AXIS2_PLACEMENT_3D('',#63,$,$);\n"
      "#62=WORKPIECE_SETUP(#64,#61,$,$,());\n#63=CARTESIAN_POINT('',(100.0,0.0,0.0));\n"
      "#64=WORKPIECE('w',$,$,$,$,#65,(#13,#14));\n#65=BLOCK('b',#61,80.0,60.0,30.0);\n"
      "#50=MACHINING_WORKINGSTEP('ws',$,$,#51,$);\n"
      "#51=PLANE_ROUGH_MILLING($,$,'op',7.5,$,#52,#55,$,$,$,$,$,1.5,0.2);\n"
      "#52=MILLING_CUTTING_TOOL('T1',#53,(),90.0,$,$);\n#53=ENDMILL(#54,4,.LEFT.,.F.,$);\n"
      "#54=MILLING_TOOL_DIMENSION(10.0,$,$,25.0,0.5,$,$);\n"
      "#55=MILLING_TECHNOLOGY(12.0,.TCP.,$,-3000.0,0.05,.F.,.F.,.F.,$);\n");
  TempFile file(text);
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path())) << doc.LogText();
  const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
  ASSERT_EQ(model.setups.size(), 1u);
  ASSERT_EQ(model.setups[0].workpieces.size(), 1u);
  const varnholt::ModelWorkpiece& workpiece = model.workpieces[model.setups[0].workpieces[0].workpiece];
  EXPECT_EQ(workpiece.stock.kind, varnholt::ModelStock::Block);
  EXPECT_EQ(workpiece.stock.x, 80);
  EXPECT_EQ(workpiece.stock.z, 30);
  EXPECT_EQ(workpiece.stock.position.origin.x, 100);
  ASSERT_EQ(workpiece.clampingPositions.size(), 2u);
  EXPECT_EQ(workpiece.clampingPositions[1].x, 10);
  ASSERT_EQ(model.order.size(), 1u);
  const varnholt::ModelOperation& operation = model.operations[model.workingsteps[model.order[0].workingstep].operation];
  EXPECT_EQ(operation.retractPlane, 7.5);
  EXPECT_EQ(operation.allowanceBottom, 0.2);
  const varnholt::ModelTool& tool = model.tools[operation.tool];
  EXPECT_EQ(tool.id, "T1");
  EXPECT_EQ(tool.diameter, 10);
  EXPECT_EQ(tool.cornerRadius, 0.5);
  EXPECT_EQ(tool.cuttingEdgeLength, 25);
  EXPECT_EQ(tool.overallLength, 90);
  EXPECT_EQ(tool.teeth, 4);
  EXPECT_EQ(tool.hand, varnholt::Hand::Left);
  const varnholt::ModelTechnology& technology = model.technologies[operation.technology];
  EXPECT_EQ(technology.feedrate, 12);
  EXPECT_EQ(technology.spindle, -3000);
  EXPECT_EQ(technology.feedratePerTooth, 0.05);
  EXPECT_TRUE(std::isnan(technology.cutspeed));
}

// A workplan listed twice is no cycle: nothing is said of it.
TEST_F(ModelRead, AWorkplanListedTwiceIsNoCycle) {
  TempFile file(File("#2=WORKPLAN('main',(#3,#3),$,$,$);\n#3=WORKPLAN('A',(#33),$,$,$);\n"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  EXPECT_TRUE(varnholt::ReadModel(*doc.Scope()).cycles.empty());
}

// Every workingstep the workplans of a real file reach is in the model, and its program gives
// it moves or says why it has none.
TEST_F(ModelRead, EveryWorkingstepOfTheRealFilesHasMovesOrAReason) {
  std::vector<std::filesystem::path> files =
      RealFiles({VARNHOLT_SOURCE_DIR "/samples", VARNHOLT_SOURCE_DIR "/../shared/corpus"});
  size_t steps = 0;
  for (const std::filesystem::path& path : files) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) continue;
    CDoc::LogRoute route(doc);
    const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
    const varnholt::Program program = varnholt::BuildProgram(model);
    ASSERT_EQ(program.steps.size(), model.order.size());
    for (size_t k = 0; k < model.order.size(); ++k) {
      const varnholt::ModelWorkingstep& step = model.workingsteps[model.order[k].workingstep];
      EXPECT_EQ(program.steps[k].name, step.name);
      EXPECT_TRUE(!program.steps[k].moves.empty() || !program.steps[k].reason.empty()) << step.name;
      ++steps;
    }
  }
  EXPECT_GT(steps, 0u);
}

// The system of units is the file's, chosen once: a workingstep's program alone (the desktop's
// details of one) reads its feeds as the whole program does.
TEST_F(ModelRead, OneWorkingstepAloneReadsItsFeedsInTheFilesUnits) {
  size_t compared = 0;
  for (const std::filesystem::path& path :
       RealFiles({VARNHOLT_SOURCE_DIR "/samples", VARNHOLT_SOURCE_DIR "/../shared/corpus"})) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) continue;
    CDoc::LogRoute route(doc);
    const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
    const varnholt::Program whole = varnholt::BuildProgram(model);
    for (const cct_Instance* step : model_detail::SourceOf(model)->workingsteps) {
      varnholt::ProgramOptions alone;
      alone.only = step;
      const varnholt::Program one = varnholt::BuildProgram(model, alone);
      EXPECT_EQ(one.units.system, whole.units.system);
      EXPECT_EQ(one.units.reason, whole.units.reason);
      ++compared;
    }
  }
  EXPECT_GT(compared, 10u);
}

}  // namespace
