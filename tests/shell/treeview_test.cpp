#include "varnholt/treeview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "cct/schema.h"
#include "cct/stepfile.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/insertdialog.h"

using varnholt::CStpTreeView;
using varnholt::InsertDialogData;
using varnholt::MemoryTreeControl;
using varnholt::TreeItem;

namespace {

std::string File(const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('t'),'2;1');\n"
         "FILE_NAME('t.stp','2020-1-1T0-0-0',('a'),('o'),'p','s','x');\n"
         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n" +
         data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

const char* const kProject =
    "#1=PROJECT('P1',#2,(#10),$,$,$);\n"
    "#2=WORKPLAN('main',(#3,#4),$,$,$);\n"
    "#3=MACHINING_WORKINGSTEP('WS1',#5,$,$,$);\n"
    "#4=TURNING_WORKINGSTEP('T1',#5,(),$,$);\n"
    "#5=PLANE('sec',#6);\n"
    "#6=AXIS2_PLACEMENT_3D('origin',#7,#8,$);\n"
    "#7=CARTESIAN_POINT('p',(1.,2.5,-3.));\n"
    "#8=DIRECTION('z',(0.,0.,1.));\n"
    "#10=WORKPIECE('WP',$,$,$,$,$,(#7));\n"
    "#11=FACEMILL($,4,.LEFT.,.T.,12.5);\n"
    "#13=CARTESIAN_POINT('q',(5.));\n";

/// A document opened on a file, with its tree.
class Tree : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTypeNames();
    RegisterEntityNames();
    savedCerr_ = std::cerr.rdbuf();
  }
  void TearDown() override { std::cerr.rdbuf(savedCerr_); }
  void Open(const std::string& data) {
    temp_ = std::make_unique<TempFile>(File(data));
    ASSERT_TRUE(doc_.OnOpenDocument(temp_->Path())) << doc_.LogText();
  }
  TreeItem Child(TreeItem parent, size_t i) { return tree_.Children(parent).at(i); }
  cct_Instance* Instance(const char* name) { return doc_.Scope()->FindEntry(name, 0)->instance; }

  std::unique_ptr<TempFile> temp_;
  CDoc doc_;
  MemoryTreeControl tree_;
  CStpTreeView view_{tree_, &doc_};
  std::streambuf* savedCerr_ = nullptr;
};

}  // namespace

TEST_F(Tree, FillsFromTheProjectAndHidesTurning) {
  Open(kProject);
  view_.FillTree();
  EXPECT_EQ(tree_.Dump(),
            "#1=project\n"
            "  its_id: P1\n"
            "  main_workplan\n"
            "    #2=workplan\n"
            "      its_id: main\n"
            "      its_elements\n"
            "        #3=machining_workingstep\n"
            "          its_id: WS1\n"
            "          its_secplane\n"
            "            #5=plane\n"
            "              name: sec\n"
            "              position\n"
            "                #6=axis2_placement_3d\n"
            "                  name: origin\n"
            "                  location\n"
            "                    #7=cartesian_point\n"
            "                      name: p\n"
            "                      coordinates\n"
            "                        coordinates [1]: 1.000\n"
            "                        coordinates [2]: 2.500\n"
            "                        coordinates [3]: -3.000\n"
            "                  axis\n"
            "                    #8=direction\n"
            "                      name: z\n"
            "                      direction_ratios\n"
            "                        direction_ratios [1]: 0.000\n"
            "                        direction_ratios [2]: 0.000\n"
            "                        direction_ratios [3]: 1.000\n"
            "                  ref_direction\n"
            "          its_feature\n"
            "          its_operation\n"
            "          its_effect\n"
            "      its_channel\n"
            "      its_setup\n"
            "      its_effect\n"
            "  its_workpieces\n"
            "    #10=workpiece\n"
            "      its_id: WP\n"
            "      its_material\n"
            "      global_tolerance: Optional Value not set\n"
            "      its_rawpiece\n"
            "      its_geometry\n"
            "      its_bounding_geometry: Optional Value not set\n"
            "      clamping_positions\n"
            "        #7=cartesian_point\n"
            "          name: p\n"
            "          coordinates\n"
            "            coordinates [1]: 1.000\n"
            "            coordinates [2]: 2.500\n"
            "            coordinates [3]: -3.000\n"
            "  its_owner\n"
            "  its_release\n"
            "  its_status\n");
  TreeItem root = Child(nullptr, 0);
  EXPECT_TRUE(tree_.IsBold(root));
  EXPECT_EQ(tree_.ItemData(root), 1);
  EXPECT_EQ(tree_.ItemData(Child(root, 0)), 0);
}

TEST_F(Tree, NoProjectGivesAnEmptyTree) {
  Open("#7=CARTESIAN_POINT('p',(1.,2.,3.));\n");
  view_.FillTree();
  EXPECT_EQ(tree_.ItemCount(), 0u);
}

TEST_F(Tree, UnsetValuesAndBooleans) {
  Open("#11=FACEMILL($,4,.LEFT.,.T.,$);\n#12=CARTESIAN_POINT($,(1.));\n");
  view_.InsertInstance(Instance("11"), nullptr);
  view_.InsertInstance(Instance("12"), nullptr);
  EXPECT_EQ(tree_.Dump(),
            "#11=facemill\n"
            "  dimension\n"
            "  number_of_teeth: 4\n"
            "  hand_of_cut: left\n"
            "  coolant_through_tool: true\n"
            "  pilot_length: Optional Value not set\n"
            "#12=cartesian_point\n"
            "  name: !!Value not set!!\n"
            "  coordinates\n"
            "    coordinates [1]: 1.000\n");
}

TEST_F(Tree, ReferenceCycleEndsAtTheRepeatedInstance) {
  Open("#1=WORKPIECE('A',$,$,#2,$,$,());\n#2=WORKPIECE('B',$,$,#1,$,$,());\n");
  view_.InsertInstance(Instance("1"), nullptr);
  std::string dump = tree_.Dump();
  EXPECT_NE(dump.find("  its_rawpiece\n    #2=workpiece\n"), std::string::npos);
  EXPECT_NE(dump.find("      its_rawpiece\n        #1=workpiece\n      its_geometry"),
            std::string::npos)
      << dump;
}

TEST_F(Tree, DeferredItemsFillOnExpansion) {
  Open(kProject);
  view_.SetDeferred(true);
  view_.FillTree();
  EXPECT_EQ(tree_.Dump(), "#1=project\n");
  TreeItem root = Child(nullptr, 0);
  EXPECT_TRUE(view_.HasDeferredChildren(root));
  view_.ExpandItem(root);
  EXPECT_EQ(tree_.Children(root).size(), 6u);
  EXPECT_EQ(tree_.ItemText(Child(Child(root, 1), 0)), "#2=workplan");
  EXPECT_TRUE(view_.HasDeferredChildren(Child(Child(root, 1), 0)));
}

TEST_F(Tree, LabelEditsOfEachSimpleKind) {
  Open(kProject);
  view_.InsertInstance(Instance("11"), nullptr);
  TreeItem mill = Child(nullptr, 0);
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 1), "6"));
  EXPECT_EQ(tree_.ItemText(Child(mill, 1)), "number_of_teeth: 6");
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 4), "2.75"));
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 2), "Right"));
  EXPECT_EQ(tree_.ItemText(Child(mill, 2)), "hand_of_cut: right");  // the stored value
  std::ostringstream written;
  Instance("11")->WriteP21Instance(written);
  EXPECT_EQ(written.str(), "#11=FACEMILL($,6,.RIGHT.,.T.,2.7500000000);\n");
  // Text that names no value is refused; a value name or a prefix only one name has is taken.
  EXPECT_FALSE(view_.OnEndLabelEdit(Child(mill, 2), "links or rechts"));
  EXPECT_FALSE(view_.OnEndLabelEdit(Child(mill, 2), "x"));
  EXPECT_STREQ(static_cast<cct_EnumType*>(Instance("11")->Attribute(2))->GetString(), "right");
  EXPECT_EQ(tree_.ItemText(Child(mill, 2)), "hand_of_cut: right");
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 2), "neutral"));
  EXPECT_STREQ(static_cast<cct_EnumType*>(Instance("11")->Attribute(2))->GetString(), "neutral");
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 2), "L"));
  EXPECT_STREQ(static_cast<cct_EnumType*>(Instance("11")->Attribute(2))->GetString(), "left");

  EXPECT_FALSE(view_.OnEndLabelEdit(mill, "#99=x"));     // instance items are not edited
  EXPECT_FALSE(view_.OnEndLabelEdit(Child(mill, 1), nullptr));  // a cancelled edit
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(mill, 3), "no"));
  EXPECT_EQ(tree_.ItemText(Child(mill, 3)), "coolant_through_tool: false");
}

TEST_F(Tree, LabelEditOfStringsAndElements) {
  Open(kProject);
  view_.InsertInstance(Instance("7"), nullptr);
  TreeItem point = Child(nullptr, 0);
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(point, 0), "origin point"));
  TreeItem coordinates = Child(point, 1);
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(coordinates, 1), "-4.5"));
  EXPECT_EQ(tree_.ItemText(Child(coordinates, 1)), "coordinates [2]: -4.500");
  std::ostringstream written;
  Instance("7")->WriteP21Instance(written);
  EXPECT_EQ(written.str(),
            "#7=CARTESIAN_POINT('origin point',(1.0000000000,-4.5000000000,-3.0000000000));\n");
}

TEST_F(Tree, UnicodeLabelShowsDecodedAndIsSavedEncoded) {
  Open(std::string(kProject) + "#14=CARTESIAN_POINT('Fr\\X2\\00E4\\X0\\sen',(5.));\n");
  view_.InsertInstance(Instance("14"), nullptr);
  TreeItem name = Child(Child(nullptr, 0), 0);
  EXPECT_EQ(tree_.ItemText(name), "name: Fr\u00e4sen");
  EXPECT_TRUE(view_.OnEndLabelEdit(name, "Planfl\u00e4che"));
  EXPECT_EQ(tree_.ItemText(name), "name: Planfl\u00e4che");

  TempFile out("", ".stp");
  ASSERT_TRUE(doc_.OnSaveDocument(out.Path()));
  std::ifstream in(out.Path());
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("#14=CARTESIAN_POINT('Planfl\\X2\\00E4\\X0\\che',(5.0000000000));\n"),
            std::string::npos)
      << saved;
  CDoc again;
  ASSERT_TRUE(again.OnOpenDocument(out.Path())) << again.LogText();
  EXPECT_STREQ(again.Scope()->FindEntry("14", 0)->instance->Attribute(0)->GetString(),
               "Planfl\u00e4che");
}

TEST_F(Tree, InsertExistingAndNewInstancesAndSaveThem) {
  setenv("SOURCE_DATE_EPOCH", "0", 1);
  Open(kProject);
  view_.InsertInstance(Instance("6"), nullptr);
  TreeItem placement = Child(nullptr, 0);
  TreeItem refDirection = Child(placement, 3);
  ASSERT_EQ(tree_.ItemText(refDirection), "ref_direction");

  // An existing direction replaces nothing yet shown; the chooser picks #8.
  EXPECT_TRUE(view_.OnDoubleClick(refDirection, [](InsertDialogData& data) {
    EXPECT_EQ(data.attributeText, "ref_direction");
    EXPECT_EQ(data.admissibleId, 3109);
    EXPECT_EQ(data.existing.front(), "");
    EXPECT_NE(std::find(data.existing.begin(), data.existing.end(), "#8 direction"),
              data.existing.end());
    data.existingChoice = "#8 direction";
    return true;
  }));
  EXPECT_EQ(tree_.ItemText(Child(refDirection, 0)), "#8=direction");

  // A new instance gets the next free number; the previous subtree goes.
  EXPECT_TRUE(view_.OnDoubleClick(refDirection, [](InsertDialogData& data) {
    EXPECT_EQ(data.created, std::vector<std::string>{"direction"});
    data.newChoice = "direction";
    return true;
  }));
  ASSERT_EQ(tree_.Children(refDirection).size(), 1u);
  EXPECT_EQ(tree_.ItemText(Child(refDirection, 0)), "#12=direction");

  // Cancelled: nothing changes.
  EXPECT_FALSE(view_.OnDoubleClick(refDirection, [](InsertDialogData&) { return false; }));
  EXPECT_FALSE(view_.OnDoubleClick(placement, [](InsertDialogData&) { return true; }));

  TempFile out("", ".stp");
  ASSERT_TRUE(doc_.OnSaveDocument(out.Path()));
  std::ifstream in(out.Path());
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(saved.find("#6=AXIS2_PLACEMENT_3D('origin',#7,#8,#12);\n"), std::string::npos);
  // A new instance has every attribute unset.
  EXPECT_NE(saved.find("#12=DIRECTION($,$);\n"), std::string::npos) << saved;
  unsetenv("SOURCE_DATE_EPOCH");
}

TEST_F(Tree, AggregateOfRealsGrowsByElementsShownAsSaved) {
  Open(kProject);
  view_.InsertInstance(Instance("7"), nullptr);
  TreeItem coordinates = Child(Child(nullptr, 0), 1);
  auto never = [](InsertDialogData&) { return false; };
  // [1:3] admits 4 elements (upper bound plus one), no more.
  EXPECT_TRUE(view_.OnDoubleClick(coordinates, never));
  EXPECT_EQ(tree_.ItemText(Child(coordinates, 3)), "coordinates [4]: 0.000");
  EXPECT_FALSE(view_.OnDoubleClick(coordinates, never));

  // Two double-clicks add two elements with consecutive numbers.
  view_.InsertInstance(Instance("13"), nullptr);
  TreeItem single = Child(Child(nullptr, 1), 1);
  EXPECT_TRUE(view_.OnDoubleClick(single, never));
  EXPECT_TRUE(view_.OnDoubleClick(single, never));
  ASSERT_EQ(tree_.Children(single).size(), 3u);
  EXPECT_EQ(tree_.ItemText(Child(single, 1)), "coordinates [2]: 0.000");
  EXPECT_EQ(tree_.ItemText(Child(single, 2)), "coordinates [3]: 0.000");

  view_.InsertInstance(Instance("10"), nullptr);
  TreeItem clamping = Child(Child(nullptr, 2), 6);
  ASSERT_EQ(tree_.ItemText(clamping), "clamping_positions");
  EXPECT_TRUE(view_.OnDoubleClick(clamping, [](InsertDialogData& data) {
    EXPECT_EQ(data.admissibleId, 3364);
    data.existingChoice = "#7 cartesian_point";
    return true;
  }));
  std::ostringstream written;
  Instance("10")->WriteP21Instance(written);
  EXPECT_EQ(written.str(), "#10=WORKPIECE('WP',$,$,$,$,$,(#7,#7));\n");
}

TEST_F(Tree, ItemHeightFromTheAppearanceDialog) {
  view_.ApplyItemHeight("35");
  EXPECT_EQ(tree_.ItemHeight(), 35);
  view_.ApplyItemHeight("min");
  EXPECT_EQ(tree_.ItemHeight(), -1);
}

TEST(InsertDialog, ChoiceTextAndInvalidAttribute) {
  InsertDialogData data(nullptr, 0);
  EXPECT_EQ(data.attributeText, "Invalid Attribute");
  data.existingChoice = "#12 direction";
  EXPECT_EQ(data.ChosenName(), "12");
  data.existingChoice = "#12";
  EXPECT_EQ(data.ChosenName(), "");
  data.existingChoice = "";
  EXPECT_EQ(data.ChosenName(), "");
}

TEST_F(Tree, ReplacedSubtreeForgetsItsUnbuiltChildren) {
  Open(kProject);
  view_.SetDeferred(true);
  view_.InsertInstance(Instance("6"), nullptr);
  TreeItem placement = Child(nullptr, 0);
  view_.ExpandItem(placement);
  EXPECT_EQ(view_.DeferredCount(), 2u);  // #7 and #8 wait
  TreeItem axis = Child(placement, 2);
  EXPECT_TRUE(view_.OnDoubleClick(axis, [](InsertDialogData& data) {
    data.newChoice = "direction";
    return true;
  }));
  // #8's item went with its subtree; only #7 and the new direction wait now.
  EXPECT_EQ(view_.DeferredCount(), 2u);
  ASSERT_EQ(tree_.Children(axis).size(), 1u);
  TreeItem direction = Child(axis, 0);
  EXPECT_EQ(tree_.ItemText(direction), "#12=direction");
  view_.ExpandItem(direction);
  EXPECT_EQ(tree_.ItemText(Child(direction, 0)), "name: !!Value not set!!");
}

namespace {

/// "#1 main_workplan #2 its_elements #3": the way as attribute names between the instances.
std::string Way(const std::vector<varnholt::TreeStep>& path) {
  std::string text;
  for (size_t k = 0; k < path.size(); ++k) {
    if (k > 0) text += std::string(" ") + path[k - 1].instance->AttributeName(path[k].attribute) + " ";
    text += std::string("#") + path[k].instance->InstanceName();
  }
  return text;
}

}  // namespace

// The way to an instance is where it first appears: the fewest steps, the first of equals in
// the tree's order; the deferred tree reveals that very item.
TEST_F(Tree, PathToAnInstanceIsWhereItFirstAppears) {
  Open(kProject +
       std::string("#20=WORKPLAN('loop',(#21,#3),$,$,$);\n#21=WORKPLAN('back',(#20),$,$,$);\n"));
  view_.SetDeferred(true);
  view_.FillTree();
  struct Case {
    const char* name;
    const char* way;  // "" when the tree does not show it
  } const cases[] = {
      {"1", "#1"},
      {"7", "#1 its_workpieces #10 clamping_positions #7"},  // not through the workplan
      {"8", "#1 main_workplan #2 its_elements #3 its_secplane #5 position #6 axis #8"},
      {"4", ""},   // a turning workingstep is not shown
      {"11", ""},  // referred to by nothing
      {"20", ""},  // a cycle that the project does not reach
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cct_Instance* target = Instance(c.name);
    const std::vector<varnholt::TreeStep> path = varnholt::TreePathTo(*doc_.Scope(), *target);
    EXPECT_EQ(Way(path), c.way);
    TreeItem item = view_.RevealInstance(*target);
    if (!*c.way) {
      EXPECT_EQ(item, nullptr);
      continue;
    }
    ASSERT_NE(item, nullptr);
    // Up the tree, the instance items are the way's instances in reverse.
    std::vector<TreeItem> shown;
    for (TreeItem at = item; at; at = tree_.Parent(at))
      if (tree_.IsBold(at)) shown.insert(shown.begin(), at);
    ASSERT_EQ(shown.size(), path.size());
    for (size_t k = 0; k < path.size(); ++k)
      EXPECT_EQ(tree_.ItemText(shown[k]), CStpTreeView::InstanceLabel(*path[k].instance));
  }
}

// A select holding an instance is shown like a reference; one holding a simple value, unset or
// set, like a simple attribute. Each attribute still has exactly one item, and instance items
// carry their first string as a tool tip.
TEST_F(Tree, SelectsAreShownByWhatTheyHold) {
  Open("#20=TURNING_TECHNOLOGY($,.TCP.,#21,$,.T.,.F.,.F.);\n#21=CONST_SPINDLE_SPEED(100.);\n"
       "#22=CONNECTOR(.T.,.CONTACT.,POSITIVE_RATIO_MEASURE(0.5),$,$);\n"
       "#23=CONNECTOR(.F.,.LIFT.,.RAPID.,$,$);\n"
       "#24=CONNECTOR(.F.,.LIFT.,$,$,$);\n"
       "#25=CARTESIAN_POINT('',(0.));\n#26=DIRECTION('d',(1.));\n");
  struct Case {
    const char* name;
    long attribute;
    const char* label;
    const char* below;  // the labels under the attribute item
    const char* toolTip;
  } const cases[] = {
      {"20", 2, "spindle_speed", "#21=const_spindle_speed", ""},
      {"22", 2, "its_speed: 0.5000", "", ""},
      {"23", 2, "its_speed: rapid", "", ""},
      {"24", 2, "its_speed: Optional Value not set", "", ""},
      {"25", 0, "name: ", "", ""},
      {"26", 0, "name: d", "", "d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree_.DeleteAllItems();
    cct_Instance* instance = Instance(c.name);
    TreeItem item = view_.InsertInstance(instance, nullptr);
    EXPECT_EQ(tree_.ToolTip(item), c.toolTip);
    ASSERT_EQ(tree_.Children(item).size(), static_cast<size_t>(instance->AttributeCount()));
    TreeItem attribute = Child(item, static_cast<size_t>(c.attribute));
    EXPECT_EQ(tree_.ItemText(attribute), c.label);
    EXPECT_EQ(CStpTreeView::AttributeLabel(*instance, c.attribute), c.label);
    std::string below;
    for (TreeItem child : tree_.Children(attribute)) below += tree_.ItemText(child);
    EXPECT_EQ(below, c.below);
  }
  // An edit after a select still reaches its own attribute.
  tree_.DeleteAllItems();
  TreeItem technology = view_.InsertInstance(Instance("20"), nullptr);
  EXPECT_TRUE(view_.OnEndLabelEdit(Child(technology, 4), "false"));
  EXPECT_EQ(tree_.ItemText(Child(technology, 4)), "sync_spindle_and_z_feed: false");
}
