// The schema's named types: identifiers, classes, enumeration values and select lists.
#include "cct/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/capture.h"

namespace cs = combined_schema;

namespace {

struct Admissible {
  const char* name;
  long id;
};

struct PrintedSelect {
  long id;
  const char* name;
  std::vector<Admissible> allowed;
};

// Every select's admissible list as published with the schema, entry for entry. The
// binding computes these lists from the selects' alternatives and the subtype graph, so a
// difference points at a wrong supertype, subtype order or alternative in the data file.
const std::vector<PrintedSelect> kPrintedSelects = {
    {1006, "reversible_topology_item",
     {{"oriented_edge", 3120}, {"edge_curve", 3288}, {"edge", 3119}, {"edge_loop", 3200},
      {"oriented_path", 3359}, {"path", 3151}, {"advanced_face", 3382}, {"face_surface", 3280},
      {"oriented_face", 3281}, {"face", 3279}, {"face_outer_bound", 3264}, {"face_bound", 3107},
      {"oriented_closed_shell", 3399}, {"closed_shell", 3320}, {"oriented_open_shell", 3155},
      {"topological_region", 3265}, {"open_shell", 3154}}},
    {1007, "set_of_reversible_topology_item",
     {{"oriented_edge", 3120}, {"edge_curve", 3288}, {"edge", 3119}, {"edge_loop", 3200},
      {"oriented_path", 3359}, {"path", 3151}, {"advanced_face", 3382}, {"face_surface", 3280},
      {"oriented_face", 3281}, {"face", 3279}, {"face_outer_bound", 3264}, {"face_bound", 3107},
      {"oriented_closed_shell", 3399}, {"closed_shell", 3320}, {"oriented_open_shell", 3155},
      {"topological_region", 3265}, {"open_shell", 3154}}},
    {1013, "dwell_select",
     {{"dwell_time", 3063}, {"dwell_revolution", 3334}}},
    {1018, "toolpath_speedprofile",
     {{"toolpath_speed", 3103}, {"positive_ratio_measure", 1049}, {"REAL", 3}, {"speed_name", 1023},
      {"ENUMERATION", 8}}},
    {1019, "pcurve_or_surface",
     {{"bounded_pcurve", 3225}, {"pcurve", 3224}, {"oriented_surface", 3065},
      {"surface_of_linear_extrusion", 3191}, {"surface_of_revolution", 3278},
      {"swept_surface", 3173}, {"spherical_surface", 3145}, {"plane", 3292},
      {"elementary_surface", 3144}, {"uniform_surface", 3082}, {"quasi_uniform_surface", 3161},
      {"b_spline_surface_with_knots", 3357}, {"bezier_surface", 3335},
      {"rational_b_spline_surface", 3347}, {"b_spline_surface", 3081}, {"bounded_surface", 3080},
      {"surface", 3064}}},
    {1022, "profile_select",
     {{"through_profile_floor", 3383}, {"general_profile_floor", 3218},
      {"planar_profile_floor", 3249}, {"profile_floor", 3217}}},
    {1024, "curve_with_surface_normal",
     {{"bounded_pcurve", 3225}, {"curve_with_normal_vector", 3259}}},
    {1032, "founded_item_select",
     {{"founded_item", 3420}, {"direction", 3109}, {"right_circular_cylinder", 3157},
      {"vector", 3214}, {"faceted_brep", 3042}, {"manifold_solid_brep", 3041},
      {"solid_model", 3040}, {"axis1_placement", 3095}, {"axis2_placement_3d", 3346},
      {"placement", 3094}, {"advanced_face", 3382}, {"face_surface", 3280}, {"edge_curve", 3288},
      {"polyline", 3384}, {"rational_b_spline_curve", 3099}, {"quasi_uniform_curve", 3172},
      {"uniform_curve", 3195}, {"bezier_curve", 3198}, {"b_spline_curve_with_knots", 3341},
      {"b_spline_curve", 3098}, {"trimmed_curve", 3223}, {"bounded_pcurve", 3225},
      {"composite_curve", 3251}, {"bounded_curve", 3097}, {"hyperbola", 3075}, {"parabola", 3184},
      {"ellipse", 3238}, {"circle", 3294}, {"conic", 3074}, {"line", 3295}, {"pcurve", 3224},
      {"curve", 3073}, {"oriented_surface", 3065}, {"surface_of_linear_extrusion", 3191},
      {"surface_of_revolution", 3278}, {"swept_surface", 3173}, {"spherical_surface", 3145},
      {"plane", 3292}, {"elementary_surface", 3144}, {"uniform_surface", 3082},
      {"quasi_uniform_surface", 3161}, {"b_spline_surface_with_knots", 3357},
      {"bezier_surface", 3335}, {"rational_b_spline_surface", 3347}, {"b_spline_surface", 3081},
      {"bounded_surface", 3080}, {"surface", 3064}, {"cartesian_point", 3364}, {"point", 3363},
      {"vertex_point", 3393}, {"poly_loop", 3410}, {"block", 3419},
      {"geometric_representation_item", 3039}, {"face_outer_bound", 3264}, {"face_bound", 3107},
      {"edge_loop", 3200}, {"oriented_path", 3359}, {"path", 3151}, {"oriented_open_shell", 3155},
      {"topological_region", 3265}}},
    {1035, "vector_or_direction",
     {{"vector", 3214}, {"direction", 3109}}},
    {1038, "shell",
     {{"oriented_open_shell", 3155}, {"topological_region", 3265}, {"open_shell", 3154},
      {"oriented_closed_shell", 3399}, {"closed_shell", 3320}}},
    {1040, "speed_select",
     {{"const_spindle_speed", 3290}, {"const_cutting_speed", 3277}}},
    {1041, "bounding_geometry_select",
     {{"block", 3419}, {"right_circular_cylinder", 3157},
      {"advanced_brep_shape_representation", 3284}}},
    {1044, "trimming_select",
     {{"cartesian_point", 3364}, {"parameter_value", 1001}, {"REAL", 3}}},
    {1047, "compound_feature_select",
     {{"general_outside_profile", 3196}, {"rectangular_closed_shape_profile", 3093},
      {"rectangular_open_shape_profile", 3108}, {"general_shape_profile", 3408},
      {"partial_circular_shape_profile", 3376}, {"circular_closed_shape_profile", 3159},
      {"shape_profile", 3092}, {"profile_feature", 3091}, {"toolpath_feature", 3114},
      {"boss", 3137}, {"spherical_cap", 3179}, {"planar_face", 3371}, {"closed_pocket", 3216},
      {"open_pocket", 3272}, {"pocket", 3215}, {"slot", 3248}, {"step", 3299}, {"round_hole", 3323},
      {"rounded_end", 3349}, {"defined_thread", 3148}, {"catalogue_thread", 3315}, {"thread", 3147},
      {"machining_feature", 3090}, {"edge_round", 3171}, {"chamfer", 3385},
      {"transition_feature", 3170}}},
    {1050, "restricted_area_select",
     {{"uniform_surface", 3082}, {"quasi_uniform_surface", 3161},
      {"b_spline_surface_with_knots", 3357}, {"bezier_surface", 3335},
      {"rational_b_spline_surface", 3347}, {"b_spline_surface", 3081}, {"bounded_surface", 3080},
      {"bounding_geometry_select", 1041}, {"block", 3419}, {"right_circular_cylinder", 3157},
      {"advanced_brep_shape_representation", 3284}, {"SELECT", 9}}},
    {1053, "reversible_topology",
     {{"reversible_topology_item", 1006}, {"oriented_edge", 3120}, {"edge_curve", 3288},
      {"edge", 3119}, {"edge_loop", 3200}, {"oriented_path", 3359}, {"path", 3151},
      {"advanced_face", 3382}, {"face_surface", 3280}, {"oriented_face", 3281}, {"face", 3279},
      {"face_outer_bound", 3264}, {"face_bound", 3107}, {"oriented_closed_shell", 3399},
      {"closed_shell", 3320}, {"oriented_open_shell", 3155}, {"topological_region", 3265},
      {"open_shell", 3154}, {"SELECT", 9}}},
    {1059, "tolerance_select",
     {{"plus_minus_value", 3258}, {"limits_and_fits", 3369}}},
    {1063, "rvalue",
     {{"nc_constant", 3037}, {"nc_variable", 3060}}},
    {1066, "taper_select",
     {{"diameter_taper", 3348}, {"angle_taper", 3246}}},
    {1067, "list_of_reversible_topology_item",
     {{"oriented_edge", 3120}, {"edge_curve", 3288}, {"edge", 3119}, {"edge_loop", 3200},
      {"oriented_path", 3359}, {"path", 3151}, {"advanced_face", 3382}, {"face_surface", 3280},
      {"oriented_face", 3281}, {"face", 3279}, {"face_outer_bound", 3264}, {"face_bound", 3107},
      {"oriented_closed_shell", 3399}, {"closed_shell", 3320}, {"oriented_open_shell", 3155},
      {"topological_region", 3265}, {"open_shell", 3154}}},
};

/// The name a list entry stands for: a base type, a named type or an entity.
std::string NameOf(long id) {
  switch (id) {
    case 3: return "REAL";
    case 8: return "ENUMERATION";
    case 9: return "SELECT";
    default: break;
  }
  if (id > 1000 && id <= 1000 + cs::kTypeCount) return cs::TypeIdTable[id - 1001].name;
  if (id >= cs::kFirstEntityId && id < cs::kFirstEntityId + cs::kEntityCount)
    return cs::EntityIdTable[id - cs::kFirstEntityId].name;
  return "?";
}

std::vector<long> ListOf(const long* ids) {
  std::vector<long> out;
  for (; ids && *ids; ++ids) out.push_back(*ids);
  return out;
}

}  // namespace

TEST(SchemaTypes, IdentifiersAreDenseAndEachClassAnswersItsOwn) {
  int defined = 0;
  int enumerations = 0;
  int selects = 0;
  for (long i = 0; i < cs::kTypeCount; ++i) {
    const TypeIdEntry& entry = cs::TypeIdTable[i];
    ASSERT_EQ(entry.id, 1001 + i);
    std::unique_ptr<cct_Type> value(CreateType(entry.id));
    ASSERT_NE(value, nullptr) << entry.name;
    EXPECT_STREQ(value->TypeName(), entry.name);
    EXPECT_EQ(value->TypeID(), entry.id);
    EXPECT_FALSE(value->IsSet()) << entry.name;
    switch (value->Kind()) {
      case cct_KIND_INTEGER:
      case cct_KIND_REAL:
      case cct_KIND_STRING: ++defined; break;
      case cct_KIND_ENUMERATION: ++enumerations; break;
      case cct_KIND_SELECT: ++selects; break;
      default: ADD_FAILURE() << entry.name << " has kind " << value->Kind();
    }
  }
  EXPECT_STREQ(cs::TypeIdTable[cs::kTypeCount].name, "NULLTYPE");
  EXPECT_EQ(cs::TypeIdTable[cs::kTypeCount].id, 0);
  EXPECT_EQ(defined, 24);
  EXPECT_EQ(enumerations, 23);
  EXPECT_EQ(selects, 20);
  EXPECT_EQ(cs::CreateSchemaType(1000), nullptr);
  EXPECT_EQ(cs::CreateSchemaType(1068), nullptr);
}

TEST(SchemaTypes, DefinedTypesAreTheirBaseTypeAndCheckNoRange) {
  std::unique_ptr<cct_Type> real(CreateType(1020));
  auto* length = dynamic_cast<cct_RealType*>(real.get());
  ASSERT_NE(length, nullptr);
  CerrCapture log;
  length->Set(-1.0);  // positive_length_measure: the schema's rule is not tested
  EXPECT_TRUE(length->IsSet());
  EXPECT_EQ(log.Text(), "");
  EXPECT_NE(dynamic_cast<cct_IntegerType*>(std::unique_ptr<cct_Type>(CreateType(1005)).get()), nullptr);
  EXPECT_NE(dynamic_cast<cct_StringType*>(std::unique_ptr<cct_Type>(CreateType(1056)).get()), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(1004))->Kind(), cct_KIND_STRING);
}

TEST(SchemaTypes, EnumerationValuesKeepTheSchemaSpellingAndOrder) {
  cs::coolant_select coolant;
  EXPECT_EQ(coolant.ValueCount(), 3);
  EXPECT_STREQ(coolant.ValueName(0), "flood");
  EXPECT_STREQ(coolant.ValueName(2), "through_tool");
  EXPECT_EQ(coolant.ValueName(3), nullptr);
  EXPECT_EQ(coolant.ValueName(-1), nullptr);

  cs::speed_name speed;
  ASSERT_EQ(speed.ValueCount(), 1);
  EXPECT_STREQ(speed.ValueName(0), "rapid");

  cs::stroke_connection_strategy stroke;
  stroke.SetByName("STRAGHTLINE");
  EXPECT_EQ(stroke.GetInteger(), 0);

  cs::b_spline_surface_form form;
  ASSERT_EQ(form.ValueCount(), 11);
  EXPECT_STREQ(form.ValueName(10), "unspecified");
}

TEST(SchemaTypes, EverySelectListMatchesThePrintedList) {
  ASSERT_EQ(kPrintedSelects.size(), 20u);
  for (const PrintedSelect& printed : kPrintedSelects) {
    std::unique_ptr<cct_Type> value(CreateType(printed.id));
    auto* select = dynamic_cast<cct_SelectType*>(value.get());
    ASSERT_NE(select, nullptr) << printed.name;
    EXPECT_STREQ(select->TypeName(), printed.name);
    const std::vector<long> computed = ListOf(select->AllowedTypes());
    ASSERT_EQ(computed.size(), printed.allowed.size()) << printed.name;
    for (size_t i = 0; i < computed.size(); ++i) {
      EXPECT_EQ(computed[i], printed.allowed[i].id) << printed.name << " entry " << i;
      EXPECT_EQ(NameOf(computed[i]), printed.allowed[i].name) << printed.name << " entry " << i;
    }
  }
}

TEST(SchemaTypes, TopologyItemCollectionsAreSelectsSharingTheItemList) {
  cs::reversible_topology_item item;
  for (long id : {1007L, 1067L}) {
    std::unique_ptr<cct_Type> value(CreateType(id));
    auto* derived = dynamic_cast<cs::reversible_topology_item*>(value.get());
    ASSERT_NE(derived, nullptr) << id;
    EXPECT_EQ(derived->Kind(), cct_KIND_SELECT);
    EXPECT_EQ(derived->TypeID(), id);
    EXPECT_EQ(derived->AllowedTypes(), item.AllowedTypes());
  }
  // A reversible_topology admits nested select values (9) but not the collection's identifier.
  const std::vector<long> outer = ListOf(cs::reversible_topology().AllowedTypes());
  EXPECT_EQ(outer.front(), 1006);
  EXPECT_EQ(outer.back(), 9);
  EXPECT_EQ(std::count(outer.begin(), outer.end(), 1007), 0);
}

TEST(SchemaTypes, TrimmingSelectAdmitsPointParameterAndUntypedReal) {
  cs::trimming_select trim;
  cs::cartesian_point point;
  cs::parameter_value parameter;
  cct_RealType untyped;
  cs::line notAPoint;
  parameter.Set(0.5);
  untyped.Set(0.5);
  EXPECT_EQ(trim.TestCompatibility(&point), 1);
  EXPECT_EQ(trim.TestCompatibility(&parameter), 1);
  EXPECT_EQ(trim.TestCompatibility(&untyped), 1);
  EXPECT_EQ(trim.TestCompatibility(&notAPoint), 0);
}
