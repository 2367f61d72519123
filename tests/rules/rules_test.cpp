// The rule check through what check --rules --format json prints: one small file per case, each
// made to break one rule or to keep it, all checked in one run.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/json_value.h"
#include "varnholt/rules.h"

namespace {

struct Case {
  const char* rule;
  bool breaks;
  const char* data;  // the DATA section's records
  long instance = 1; // the instance a finding is about
};

// Shared records of the resource cases: two points, two 2-D points, a surface of knots, and
// edges #20 (a to b), #21 (a to b again) and #22 (b back to a, an oriented edge reversed).
// A project machining feature #1 of workpiece #13, a block of 100 x 50 x 40; the feature's
// placement at #17, its path #30 along x #31 long, a U profile 10 wide.
#define OPEN_END_PROJECT                                                                                           \
  "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',$,#1,$,$);"     \
  "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#16,100.0,50.0,40.0);#16=AXIS2_PLACEMENT_3D('',#18,$,$);"      \
  "#18=CARTESIAN_POINT('',(0.0,0.0,0.0));#15=AXIS2_PLACEMENT_3D('',#17,$,$);#20=PLANE('depth',#21);"              \
  "#21=AXIS2_PLACEMENT_3D('',#22,$,$);#22=CARTESIAN_POINT('',(0.0,0.0,-5.0));#30=LINEAR_PATH($,#31,#32);"         \
  "#32=DIRECTION('',(1.0,0.0,0.0));#33=SQUARE_U_PROFILE($,#34,$,$,$,$);#34=TOLERANCED_LENGTH_MEASURE(10.0,$);"
#define PTS "#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=CARTESIAN_POINT('',(1.0,0.0,0.0));"
#define PTS2 "#6=CARTESIAN_POINT('',(0.0,0.0));#7=CARTESIAN_POINT('',(1.0,0.0));"
#define SURF(um, vm, uk, vk) \
  "B_SPLINE_SURFACE_WITH_KNOTS('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.," um "," vm "," uk "," vk ",.UNSPECIFIED.);"
#define EDGES                                                                                        \
  "#10=VERTEX_POINT('',#2);#11=VERTEX_POINT('',#3);#12=EDGE_CURVE('',#10,#11,$,.T.);"               \
  "#20=ORIENTED_EDGE('',*,*,#12,.T.);#21=ORIENTED_EDGE('',*,*,#12,.T.);#22=ORIENTED_EDGE('',*,*,#12,.F.);" PTS

const char* const kTool10 =
    "#6=MILLING_CUTTING_TOOL('t',#7,(),$,$,$);#7=MILLING_MACHINE_TOOL_BODY(#8,$,$,$,$);"
    "#8=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);";

// Cases name the rule they are about; a file that keeps its rule may well break others.
const Case kCases[] = {
    {"topological_region.WR1", true, "#1=TOPOLOGICAL_REGION('r',$,(),$,'n',(#2,#3));#2=ADVANCED_FACE('f',(),$,.T.);#3=FACE('g',());"},
    {"topological_region.WR1", false, "#1=TOPOLOGICAL_REGION('r',$,(),$,'n',(#2));#2=ADVANCED_FACE('f',(),$,.T.);"},
    {"general_pocket_bottom_condition.WR1", true,
     "#1=GENERAL_POCKET_BOTTOM_CONDITION(#2);#2=TOPOLOGICAL_REGION('r',$,(#3),$,'n',());"
     "#3=PLANE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,0.5);"},
    {"general_pocket_bottom_condition.WR1", false,
     "#1=GENERAL_POCKET_BOTTOM_CONDITION(#2);#2=TOPOLOGICAL_REGION('r',$,(),$,'n',());"},
    {"slot.WR1", true, "#1=SLOT('s',$,(),$,$,$,$,(#2));#2=WOODRUFF_SLOT_END_TYPE($);"},
    {"slot.WR1", false, "#1=SLOT('s',$,(),$,$,$,$,(#2));#2=LOOP_SLOT_END_TYPE();"},
    {"slot.WR1", false, "#1=SLOT('s',$,(),$,$,$,$,(#2,#2));#2=WOODRUFF_SLOT_END_TYPE($);"},
    {"compound_feature.WR1", true,
     "#1=COMPOUND_FEATURE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('h1',$,(#4),$,$,$,$,$);"
     "#3=ROUND_HOLE('h2',$,(),$,$,$,$,$);#4=DRILLING($,$,'d',$,$,$,$,$,$,$,$,$,$,$);"},
    // Inherited: a counterbore hole is a compound feature.
    {"compound_feature.WR1", true,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('h1',$,(),$,$,$,$,$);"
     "#3=ROUND_HOLE('h2',$,(#4),$,$,$,$,$);#4=DRILLING($,$,'d',$,$,$,$,$,$,$,$,$,$,$);"},
    {"compound_feature.WR1", false,
     "#1=COMPOUND_FEATURE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('h1',$,(),$,$,$,$,$);#3=ROUND_HOLE('h2',$,(),$,$,$,$,$);"},
    {"counterbore_hole.WR1", true,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3,#4));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#4=ROUND_HOLE('c',$,(),$,$,#7,$,$);#5=TOLERANCED_LENGTH_MEASURE(10.0,$);#6=TOLERANCED_LENGTH_MEASURE(6.0,$);"
     "#7=TOLERANCED_LENGTH_MEASURE(4.0,$);"},
    {"counterbore_hole.WR1", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(10.0,$);#6=TOLERANCED_LENGTH_MEASURE(6.0,$);"},
    {"counterbore_hole.WR2", true,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=SLOT('s',$,(),$,$,$,$,());"
     "#5=TOLERANCED_LENGTH_MEASURE(10.0,$);"},
    {"counterbore_hole.WR2", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,$,$,$);#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"},
    {"counterbore_hole.WR3", true,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(10.0,$);#6=TOLERANCED_LENGTH_MEASURE(10.0000000001,$);"},
    {"counterbore_hole.WR3", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(10.0,$);#6=TOLERANCED_LENGTH_MEASURE(6.0,$);"},
    // A comparison with an unset side is UNKNOWN, and UNKNOWN keeps the rule: diameters not
    // given, on one hole or both, or a diameter without its size.
    {"counterbore_hole.WR3", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,$,$,$);#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"},
    {"counterbore_hole.WR3", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(10.0,$);"},
    {"counterbore_hole.WR3", false,
     "#1=COUNTERBORE_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE($,$);#6=TOLERANCED_LENGTH_MEASURE(10.0,$);"},
    {"countersunk_hole.WR1", true, "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2));#2=ROUND_HOLE('a',$,(),$,$,$,$,$);"},
    {"countersunk_hole.WR1", false,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,$,$,$);#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"},
    {"countersunk_hole.WR2", true,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=SLOT('s',$,(),$,$,$,$,());#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"},
    {"countersunk_hole.WR2", false,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,$,$,$);#3=ROUND_HOLE('b',$,(),$,$,$,$,$);"},
    {"countersunk_hole.WR3", true,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#5,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(8.0,$);"},
    {"countersunk_hole.WR3", false,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(8.0,$);#6=TOLERANCED_LENGTH_MEASURE(16.0,$);"},
    {"countersunk_hole.WR4", true,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,#7,$);#3=ROUND_HOLE('b',$,(),$,$,#6,$,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(8.0,$);#6=TOLERANCED_LENGTH_MEASURE(16.0,$);#7=DIAMETER_TAPER(#5);"},
    {"countersunk_hole.WR4", false,
     "#1=COUNTERSUNK_HOLE('c',$,(),$,(#2,#3));#2=ROUND_HOLE('a',$,(),$,$,#5,$,$);#3=ROUND_HOLE('b',$,(),$,$,#6,#7,$);"
     "#5=TOLERANCED_LENGTH_MEASURE(8.0,$);#6=TOLERANCED_LENGTH_MEASURE(16.0,$);#7=DIAMETER_TAPER(#5);"},
    {"rectangular_pattern.WR1", true, "#1=RECTANGULAR_PATTERN('p',$,(),$,$,$,$,3,2,$,$,(),());"},
    {"rectangular_pattern.WR1", true,
     "#1=RECTANGULAR_PATTERN('p',$,(),$,$,$,$,2,2,#2,$,(),());#2=TOLERANCED_LENGTH_MEASURE(8.0,$);"},
    // Read as the implication it is meant to be: one row, or none given, needs neither.
    {"rectangular_pattern.WR1", false, "#1=RECTANGULAR_PATTERN('p',$,(),$,$,$,$,1,2,$,$,(),());"},
    {"rectangular_pattern.WR1", false, "#1=RECTANGULAR_PATTERN('p',$,(),$,$,$,$,$,2,$,$,(),());"},
    {"rectangular_pattern.WR1", false,
     "#1=RECTANGULAR_PATTERN('p',$,(),$,$,$,$,2,2,#2,#3,(),());#2=TOLERANCED_LENGTH_MEASURE(8.0,$);"
     "#3=DIRECTION('',(1.0,0.0,0.0));"},
    {"thread.WR1", true,
     "#1=THREAD('t',$,(),$,$,$,(#2,#3),.T.,$,$,$,6.0,$,$);#2=ROUND_HOLE('a',$,(),$,$,$,$,$);#3=SLOT('s',$,(),$,$,$,$,());"},
    {"thread.WR1", false, "#1=THREAD('t',$,(),$,$,$,(#2),.T.,$,$,$,6.0,$,$);#2=ROUND_HOLE('a',$,(),$,$,$,$,$);"},
    {"in_process_geometry.WR1", true, "#1=IN_PROCESS_GEOMETRY($,$,$);"},
    {"in_process_geometry.WR1", false,
     "#1=IN_PROCESS_GEOMETRY($,#2,$);#2=ADVANCED_BREP_SHAPE_REPRESENTATION('b',(),$);"},
    {"offset_vector.WR1", true,
     "#1=OFFSET_VECTOR((#2,#3,#4),$);#2=NC_VARIABLE('x',0.0);#3=NC_VARIABLE('y',$);#4=NC_VARIABLE('z',1.0);"},
    {"offset_vector.WR1", true,
     "#1=OFFSET_VECTOR((#2,#2,#2),(#2,#3,#2));#2=NC_VARIABLE('x',0.0);#3=NC_VARIABLE('y',$);"},
    {"offset_vector.WR1", false, "#1=OFFSET_VECTOR((#2,#2,#2),(#2,#2,#2));#2=NC_VARIABLE('x',0.0);"},
    {"workplan.WR1", true, "#1=WORKPLAN('w',(#2,#1),$,$,$);#2=WORKPLAN('v',(),$,$,$);"},
    {"workplan.WR1", false, "#1=WORKPLAN('w',(#2),$,$,$);#2=WORKPLAN('v',(),$,$,$);"},
    {"setup_instruction.WR1", true, "#1=SETUP_INSTRUCTION($,$);"},
    {"setup_instruction.WR1", false, "#1=SETUP_INSTRUCTION($,'sheet 4');"},
    {"toolpath_speed.WR1", true,
     "#1=TOOLPATH_SPEED(#2);#2=B_SPLINE_CURVE_WITH_KNOTS('s',1,(#3,#4),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);"
     "#3=CARTESIAN_POINT('',(0.0,1.0));#4=CARTESIAN_POINT('',(1.0,2.0));"},
    {"toolpath_speed.WR1", false,
     "#1=TOOLPATH_SPEED(#2);#2=B_SPLINE_CURVE_WITH_KNOTS('s',1,(#3,#4),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);"
     "#3=CARTESIAN_POINT('',(1.0));#4=CARTESIAN_POINT('',(2.0));"},
    {"axis_trajectory.WR1", true,
     "#1=AXIS_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,('X','Y'),(#2,#5));#2=POLYLINE('p',(#3,#4));"
     "#3=CARTESIAN_POINT('',(0.0));#4=CARTESIAN_POINT('',(1.0));#5=POLYLINE('q',(#3,#6));#6=CARTESIAN_POINT('',(1.0,2.0));"},
    {"axis_trajectory.WR1", false,
     "#1=AXIS_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,('X'),(#2));#2=POLYLINE('p',(#3,#4));"
     "#3=CARTESIAN_POINT('',(0.0));#4=CARTESIAN_POINT('',(1.0));"},
    {"ball_endmill.WR1", true, "#1=BALL_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,4.0,$,$);"},
    {"ball_endmill.WR1", false, "#1=BALL_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,5.0,$,$);"},
    {"ball_endmill.WR1", false, "#1=BALL_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);"},
    {"bullnose_endmill.WR1", true, "#1=BULLNOSE_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,5.0,$,$);"},
    {"bullnose_endmill.WR1", true, "#1=BULLNOSE_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);"},
    {"bullnose_endmill.WR1", false, "#1=BULLNOSE_ENDMILL(#2,2,$,$,$);#2=MILLING_TOOL_DIMENSION(10.0,$,$,$,2.0,$,$);"},
    {"milling_machining_operation.WR1", true,
     "#1=DRILLING($,$,'d',$,$,#2,#5,$,$,$,$,$,$,$);#2=MILLING_CUTTING_TOOL('t',#3,(),$,$,$);"
     "#3=MILLING_MACHINE_TOOL_BODY(#4,$,$,$,$);#4=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);"
     "#5=MILLING_TECHNOLOGY($,.TCP.,$,100.0,0.05,.F.,.F.,.F.,$);"},
    {"milling_machining_operation.WR1", false,
     "#1=DRILLING($,$,'d',$,$,#2,#5,$,$,$,$,$,$,$);#2=MILLING_CUTTING_TOOL('t',#3,(),$,$,$);"
     "#3=MILLING_MACHINE_TOOL_BODY(#4,2,$,$,$);#4=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);"
     "#5=MILLING_TECHNOLOGY($,.TCP.,$,100.0,0.05,.F.,.F.,.F.,$);"},
    {"milling_machining_operation.WR1", false,
     "#1=DRILLING($,$,'d',$,$,#2,#5,$,$,$,$,$,$,$);#2=MILLING_CUTTING_TOOL('t',#3,(),$,$,$);"
     "#3=MILLING_MACHINE_TOOL_BODY(#4,$,$,$,$);#4=MILLING_TOOL_DIMENSION(10.0,$,$,$,$,$,$);"
     "#5=MILLING_TECHNOLOGY(20.0,.TCP.,$,100.0,$,.F.,.F.,.F.,$);"},
    {"milling_technology.WR1", true, "#1=MILLING_TECHNOLOGY(10.0,.TCP.,2.0,100.0,$,.F.,.F.,.F.,$);"},
    {"milling_technology.WR1", true, "#1=MILLING_TECHNOLOGY(10.0,.TCP.,$,$,$,.F.,.F.,.F.,$);"},
    {"milling_technology.WR1", false, "#1=MILLING_TECHNOLOGY(10.0,.TCP.,$,100.0,$,.F.,.F.,.F.,$);"},
    {"milling_technology.WR1", false, "#1=MILLING_TECHNOLOGY(10.0,.TCP.,2.0,100.0,$,.F.,.F.,.F.,#2);#2=ADAPTIVE_CONTROL();"},
    {"milling_technology.WR2", true, "#1=MILLING_TECHNOLOGY(10.0,.TCP.,$,100.0,0.05,.F.,.F.,.F.,$);"},
    {"milling_technology.WR2", false, "#1=MILLING_TECHNOLOGY($,.TCP.,$,100.0,0.05,.F.,.F.,.F.,$);"},
    {"plane_rough_milling.WR1", true, "#1=PLANE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,-0.5);"},
    {"plane_rough_milling.WR1", true, "#1=PLANE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$);"},
    {"plane_rough_milling.WR1", false, "#1=PLANE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,0.0);"},
    {"side_rough_milling.WR1", true, "#1=SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,-0.2);"},
    {"side_rough_milling.WR1", false, "#1=SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,0.2);"},
    {"bottom_and_side_rough_milling.WR1", true, "#1=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,$,0.2);"},
    {"bottom_and_side_rough_milling.WR1", false, "#1=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,0.3,$);"},
    {"bottom_and_side_rough_milling.WR2", true, "#1=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,0.3,-1.0);"},
    {"bottom_and_side_rough_milling.WR2", false, "#1=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',$,$,$,$,$,$,$,$,$,$,$,$,0.2);"},
    {"drilling_type_strategy.WR1", true, "#1=DRILLING_TYPE_STRATEGY($,0.5,$,$,$,$);"},
    {"drilling_type_strategy.WR1", false, "#1=DRILLING_TYPE_STRATEGY(0.5,$,2.0,$,$,$);"},
    {"drilling_type_strategy.WR2", true, "#1=DRILLING_TYPE_STRATEGY($,$,$,0.5,$,$);"},
    {"drilling_type_strategy.WR2", false, "#1=DRILLING_TYPE_STRATEGY($,$,$,$,0.5,3.0);"},
    {"back_boring.WR1", true,
     "#1=BACK_BORING($,$,'b',$,$,$,$,#2,$,$,$,$,$,$);#2=MILLING_MACHINE_FUNCTIONS(.T.,$,.F.,.F.,$,(),.T.,$,$,());"},
    {"back_boring.WR1", false,
     "#1=BACK_BORING($,$,'b',$,$,$,$,#2,$,$,$,$,$,$);#2=MILLING_MACHINE_FUNCTIONS(.T.,$,.F.,.F.,$,(),.T.,#3,$,());"
     "#3=DIRECTION('',(1.0,0.0,0.0));"},
    {"turning_technology.WR1", true, "#1=TURNING_TECHNOLOGY(10.0,.TCP.,#2,0.2,.F.,.F.,.F.);#2=CONST_SPINDLE_SPEED(100.0);"},
    {"turning_technology.WR1", true, "#1=TURNING_TECHNOLOGY($,.TCP.,#2,$,.F.,.F.,.F.);#2=CONST_SPINDLE_SPEED(100.0);"},
    {"turning_technology.WR1", false, "#1=TURNING_TECHNOLOGY($,.TCP.,#2,0.2,.F.,.F.,.F.);#2=CONST_SPINDLE_SPEED(100.0);"},
    {"facing_rough.WR1", true, "#1=FACING_ROUGH($,$,'f',$,$,$,$,$,$,$,$,$,$,-1.0);"},
    {"facing_rough.WR1", false, "#1=FACING_ROUGH($,$,'f',$,$,$,$,$,$,$,$,$,$,1.0);"},
    {"grooving_rough.WR1", true, "#1=GROOVING_ROUGH($,$,'g',$,$,$,$,$,$,$,$,$,$,$);"},
    {"grooving_rough.WR1", false, "#1=GROOVING_ROUGH($,$,'g',$,$,$,$,$,$,$,$,$,$,0.1);"},
    {"contouring_rough.WR1", true, "#1=CONTOURING_ROUGH($,$,'c',$,$,$,$,$,$,$,$,$,$,$,-0.1);"},
    {"contouring_rough.WR1", false, "#1=CONTOURING_ROUGH($,$,'c',$,$,$,$,$,$,$,$,$,$,$,0.1);"},
    {"threading_rough.WR1", true, "#1=THREADING_ROUGH($,$,'t',$,$,$,$,$,$,$,$,$,-0.3);"},
    {"threading_rough.WR1", false, "#1=THREADING_ROUGH($,$,'t',$,$,$,$,$,$,$,$,$,0.3);"},
    {"positive_length_measure.WR1", true, "#1=TOLERANCED_LENGTH_MEASURE(-2.0,$);"},
    {"positive_length_measure.WR1", true, "#1=PLUS_MINUS_VALUE(0.1,0.0,2);"},
    {"positive_length_measure.WR1", false, "#1=TOLERANCED_LENGTH_MEASURE(2.0,#2);#2=PLUS_MINUS_VALUE(0.1,0.1,2);"},
    {"positive_ratio_measure.WR1", true, "#1=DRILLING_TYPE_STRATEGY(0.0,$,1.0,$,$,$);"},
    // A typed value in a select.
    {"positive_ratio_measure.WR1", true,
     "#1=AXIS_TRAJECTORY(.T.,.CONTACT.,POSITIVE_RATIO_MEASURE(-1.0),$,$,$,('X'),(#2));#2=POLYLINE('p',(#3,#3));"
     "#3=CARTESIAN_POINT('',(0.0));"},
    {"positive_ratio_measure.WR1", false, "#1=DRILLING_TYPE_STRATEGY(0.5,$,1.0,$,$,$);"},
    {"dimension_count.WR1", true, "#1=GEOMETRIC_REPRESENTATION_CONTEXT('c','3D',0);"},
    {"dimension_count.WR1", false, "#1=GEOMETRIC_REPRESENTATION_CONTEXT('c','3D',3);"},
    {"day_in_month_number.WR1", true, "#1=CALENDAR_DATE(2024,32,1);"},
    {"day_in_month_number.WR1", false, "#1=CALENDAR_DATE(2024,31,1);"},
    {"day_in_week_number.WR1", true, "#1=WEEK_OF_YEAR_AND_DAY_DATE(2024,10,8);"},
    {"day_in_week_number.WR1", false, "#1=WEEK_OF_YEAR_AND_DAY_DATE(2024,10,7);"},
    {"day_in_year_number.WR1", true, "#1=ORDINAL_DATE(2024,0);"},
    {"day_in_year_number.WR1", false, "#1=ORDINAL_DATE(2024,366);"},
    {"hour_in_day.WR1", true, "#1=LOCAL_TIME(24,$,$,$);"},
    {"hour_in_day.WR1", false, "#1=LOCAL_TIME(0,$,$,$);"},
    {"minute_in_hour.WR1", true, "#1=LOCAL_TIME(12,60,$,$);"},
    {"minute_in_hour.WR1", false, "#1=LOCAL_TIME(12,59,$,$);"},
    {"month_in_year_number.WR1", true, "#1=CALENDAR_DATE(2024,1,13);"},
    {"month_in_year_number.WR1", false, "#1=CALENDAR_DATE(2024,1,12);"},
    {"second_in_minute.WR1", true, "#1=LOCAL_TIME(12,59,60.5,$);"},
    {"second_in_minute.WR1", false, "#1=LOCAL_TIME(12,59,60.0,$);"},
    {"week_in_year_number.WR1", true, "#1=WEEK_OF_YEAR_AND_DAY_DATE(2024,54,1);"},
    {"week_in_year_number.WR1", false, "#1=WEEK_OF_YEAR_AND_DAY_DATE(2024,53,1);"},
    // ---- informal propositions and the preflight (warnings, in C++) ----
    {"project.IP1", true, "#1=PROJECT('p',$,(),$,$,$);#2=PROJECT('p',$,(),$,$,$);", 2},
    {"project.IP1", false, "#1=PROJECT('p',$,(),$,$,$);#2=PROJECT('q',$,(),$,$,$);"},
    {"executable.IP2", true, "#1=WORKPLAN('w',(),$,$,$);#2=RAPID_MOVEMENT('w',$,$,$);", 2},
    {"executable.IP2", false, "#1=WORKPLAN('w',(),$,$,$);#2=RAPID_MOVEMENT('r',$,$,$);"},
    {"planar_face.IP3", true,
     "#1=PLANAR_FACE('f',$,(),$,$,$,$,#2,());#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,1.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"},
    {"planar_face.IP3", false,
     "#1=PLANAR_FACE('f',$,(),$,$,$,$,#2,());#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"},
    {"closed_pocket.IP4", true,
     "#1=CLOSED_POCKET('p',$,(),$,$,(),$,$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"},
    {"closed_pocket.IP4", true,  // a bow tie crosses itself
     "#1=CLOSED_POCKET('p',$,(),$,$,(),$,$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#7,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0));#5=CARTESIAN_POINT('',(10.0,10.0));#6=CARTESIAN_POINT('',(10.0,0.0));"
     "#7=CARTESIAN_POINT('',(0.0,10.0));"},
    {"closed_pocket.IP4", false,
     "#1=CLOSED_POCKET('p',$,(),$,$,(),$,$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#7,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0));"
     "#7=CARTESIAN_POINT('',(0.0,10.0));"},
    {"open_pocket.IP5", true,
     "#1=OPEN_POCKET('p',$,(),$,$,(),$,$,$,$,#2,#8);#2=GENERAL_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"
     "#8=GENERAL_PROFILE($,#9);#9=POLYLINE('w',(#4,#10));#10=CARTESIAN_POINT('',(0.0,5.0,0.0));"},
    {"open_pocket.IP5", false,
     "#1=OPEN_POCKET('p',$,(),$,$,(),$,$,$,$,#2,#8);#2=GENERAL_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"
     "#8=GENERAL_PROFILE($,#9);#9=POLYLINE('w',(#6,#10,#4));#10=CARTESIAN_POINT('',(0.0,10.0,0.0));"},
    {"slot.IP6", true,
     "#1=SLOT('s',$,(),$,$,#2,$,());#2=GENERAL_PATH($,#3);#3=POLYLINE('p',(#4,#5));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,-2.0));"},
    // The path's own placement lifts it out of the feature's plane.
    {"slot.IP6", true,
     "#1=SLOT('s',$,(),$,$,#2,$,());#2=GENERAL_PATH(#6,#3);#3=POLYLINE('p',(#4,#5));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=AXIS2_PLACEMENT_3D('',#7,$,$);"
     "#7=CARTESIAN_POINT('',(0.0,0.0,3.0));"},
    {"slot.IP6", false,
     "#1=SLOT('s',$,(),$,$,#2,$,());#2=GENERAL_PATH($,#3);#3=POLYLINE('p',(#4,#5));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));"},
    {"general_outside_profile.IP8", true,
     "#1=GENERAL_OUTSIDE_PROFILE('g',$,(),$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,1.0));#5=CARTESIAN_POINT('',(10.0,0.0,1.0));#6=CARTESIAN_POINT('',(10.0,10.0,1.0));"},
    {"general_outside_profile.IP8", false,
     "#1=GENERAL_OUTSIDE_PROFILE('g',$,(),$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,0.0));"},
    {"boss.IP9", true,
     "#1=BOSS('b',$,(),$,$,#2,$);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#7,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,5.0));"
     "#7=CARTESIAN_POINT('',(0.0,10.0,0.0));"},
    {"boss.IP9", false,  // one plane, if not the xy plane
     "#1=BOSS('b',$,(),$,$,#2,$);#2=GENERAL_CLOSED_PROFILE($,#3);#3=POLYLINE('p',(#4,#5,#6,#7,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));#5=CARTESIAN_POINT('',(10.0,0.0,0.0));#6=CARTESIAN_POINT('',(10.0,10.0,10.0));"
     "#7=CARTESIAN_POINT('',(0.0,10.0,10.0));"},
    {"general_profile.IP10", true,
     "#1=GENERAL_PROFILE($,#3);#3=POLYLINE('p',(#4,#5));#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"
     "#5=CARTESIAN_POINT('',(10.0,5.0,0.0));"},
    {"general_profile.IP10", false,
     "#1=GENERAL_PROFILE($,#3);#3=POLYLINE('p',(#4,#5));#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"
     "#5=CARTESIAN_POINT('',(0.0,5.0,5.0));"},
    {"toolpath_speed.IP13", true,
     "#1=TOOLPATH_SPEED(#2);#2=B_SPLINE_CURVE_WITH_KNOTS('s',1,(#3,#4),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);"
     "#3=CARTESIAN_POINT('',(2.0));#4=CARTESIAN_POINT('',(0.0));"},
    {"toolpath_speed.IP13", false,
     "#1=TOOLPATH_SPEED(#2);#2=B_SPLINE_CURVE_WITH_KNOTS('s',1,(#3,#4),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);"
     "#3=CARTESIAN_POINT('',(2.0));#4=CARTESIAN_POINT('',(0.5));"},
    {"cutter_location_trajectory.IP14", true,
     "#1=CUTTER_LOCATION_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,#2,#3,$);#2=POLYLINE('p',(#4,#4,#4));"
     "#3=POLYLINE('a',(#4,#4));#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"cutter_location_trajectory.IP14", false,
     "#1=CUTTER_LOCATION_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,#2,#3,$);#2=POLYLINE('p',(#4,#4,#4));"
     "#3=B_SPLINE_CURVE_WITH_KNOTS('a',1,(#4,#4,#4),.UNSPECIFIED.,.F.,.F.,(2,1,2),(0.0,1.0,2.0),.UNSPECIFIED.);"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"cutter_contact_trajectory.IP15", true,
     "#1=CUTTER_CONTACT_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,#5,#3,$);#5=CURVE_WITH_NORMAL_VECTOR(#2,#3);"
     "#2=POLYLINE('p',(#4,#4,#4));#3=POLYLINE('a',(#4,#4));#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"cutter_contact_trajectory.IP15", false,
     "#1=CUTTER_CONTACT_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,#5,#2,$);#5=CURVE_WITH_NORMAL_VECTOR(#2,#3);"
     "#2=POLYLINE('p',(#4,#4,#4));#3=POLYLINE('a',(#4,#4));#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"curve_with_normal_vector.IP16", true,
     "#1=CURVE_WITH_NORMAL_VECTOR(#2,#3);#2=POLYLINE('p',(#4,#4,#4));#3=POLYLINE('a',(#4,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"curve_with_normal_vector.IP16", false,
     "#1=CURVE_WITH_NORMAL_VECTOR(#2,#3);#2=POLYLINE('p',(#4,#4));#3=POLYLINE('a',(#4,#4));"
     "#4=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"preflight.tool_fits_feature", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=SLOT('s',$,(),$,$,$,#3,());#3=SQUARE_U_PROFILE($,#4,$,0.0,$,0.0);"
     "#4=TOLERANCED_LENGTH_MEASURE(8.0,$);#5=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,$,$,$,$,$,$,$,$,0.2);"},
    {"preflight.tool_fits_feature", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=CLOSED_POCKET('p',$,(),$,$,(),$,$,$,$,#3);"
     "#3=RECTANGULAR_CLOSED_PROFILE($,#4,#9);#4=TOLERANCED_LENGTH_MEASURE(9.0,$);#9=TOLERANCED_LENGTH_MEASURE(40.0,$);"
     "#5=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,$,$,$,$,$,$,$,$,0.2);"},
    {"preflight.tool_fits_feature", true,  // a drill of another diameter than its untoleranced hole
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=ROUND_HOLE('h',$,(),$,$,#3,$,$);#3=TOLERANCED_LENGTH_MEASURE(10.1,$);"
     "#5=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.tool_fits_feature", true,  // outside the hole's tolerance
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=ROUND_HOLE('h',$,(),$,$,#3,$,$);#3=TOLERANCED_LENGTH_MEASURE(10.2,#4);"
     "#4=PLUS_MINUS_VALUE(0.1,0.1,2);#5=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.tool_fits_feature", false,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=ROUND_HOLE('h',$,(),$,$,#3,$,$);#3=TOLERANCED_LENGTH_MEASURE(10.05,#4);"
     "#4=PLUS_MINUS_VALUE(0.1,0.1,2);#5=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.tool_fits_feature", false,  // within a tolerance that lies above the size only
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=ROUND_HOLE('h',$,(),$,$,#3,$,$);#3=TOLERANCED_LENGTH_MEASURE(9.9,#4);"
     "#4=PLUS_MINUS_VALUE(0.2,0.0,2);#5=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.tool_fits_feature", false,  // and below it only
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=ROUND_HOLE('h',$,(),$,$,#3,$,$);#3=TOLERANCED_LENGTH_MEASURE(10.1,#4);"
     "#4=PLUS_MINUS_VALUE(0.0,0.2,2);#5=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.tool_fits_feature", false,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,#5,$);#2=SLOT('s',$,(),$,$,$,#3,());#3=SQUARE_U_PROFILE($,#4,$,0.0,$,0.0);"
     "#4=TOLERANCED_LENGTH_MEASURE(12.0,$);#5=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,$,$,$,$,$,$,$,$,0.2);"},
    {"preflight.secplane_above_workpiece", true,
     "#1=MACHINING_WORKINGSTEP('ws',#2,#5,$,$);#2=PLANE('sec',#3);#3=AXIS2_PLACEMENT_3D('',#4,$,$);"
     "#4=CARTESIAN_POINT('',(0.0,0.0,30.0));#5=ROUND_HOLE('h',#6,(),$,$,$,$,$);#6=WORKPIECE('w',$,$,$,$,#7,());"
     "#7=BLOCK('b',#8,100.0,50.0,40.0);#8=AXIS2_PLACEMENT_3D('',#9,$,$);#9=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"preflight.secplane_above_workpiece", false,
     "#1=MACHINING_WORKINGSTEP('ws',#2,#5,$,$);#2=PLANE('sec',#3);#3=AXIS2_PLACEMENT_3D('',#4,$,$);"
     "#4=CARTESIAN_POINT('',(0.0,0.0,45.0));#5=ROUND_HOLE('h',#6,(),$,$,$,$,$);#6=WORKPIECE('w',$,$,$,$,#7,());"
     "#7=BLOCK('b',#8,100.0,50.0,40.0);#8=AXIS2_PLACEMENT_3D('',#9,$,$);#9=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"preflight.secplane_above_workpiece", false,  // the tool comes from +y: above along y
     "#1=MACHINING_WORKINGSTEP('ws',#2,#5,$,$);#2=PLANE('sec',#3);#3=AXIS2_PLACEMENT_3D('',#4,#10,$);"
     "#4=CARTESIAN_POINT('',(0.0,60.0,0.0));#10=DIRECTION('',(0.0,1.0,0.0));#5=ROUND_HOLE('h',#6,(),$,$,$,$,$);"
     "#6=WORKPIECE('w',$,$,$,$,#7,());#7=BLOCK('b',#8,100.0,50.0,40.0);#8=AXIS2_PLACEMENT_3D('',#9,$,$);"
     "#9=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"preflight.retract_plane_positive", true, "#1=DRILLING($,$,'d',-5.0,$,$,$,$,$,$,$,$,$,$);"},
    {"preflight.retract_plane_positive", false, "#1=DRILLING($,$,'d',5.0,$,$,$,$,$,$,$,$,$,$);"},
    {"preflight.toolpath_within_workpiece", true,
     "#1=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.,$,$,$,$,#2,$,$);#2=POLYLINE('p',(#3,#4));"
     "#3=CARTESIAN_POINT('',(0.0,0.0,10.0));#4=CARTESIAN_POINT('',(120.0,0.0,10.0));"
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#30,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#30=PLANAR_FACE('f',#13,(),#15,$,$,$,$,());"
     "#40=PLANE_ROUGH_MILLING(#41,$,'op',$,$,#6,$,$,$,$,$,$,$,0.5);#41=TOOLPATH_LIST((#1));"},
    {"preflight.toolpath_within_workpiece", false,
     "#1=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.,$,$,$,$,#2,$,$);#2=POLYLINE('p',(#3,#4));"
     "#3=CARTESIAN_POINT('',(-5.0,0.0,55.0));#4=CARTESIAN_POINT('',(105.0,0.0,10.0));"
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#30,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#30=PLANAR_FACE('f',#13,(),#15,$,$,$,$,());"
     "#40=PLANE_ROUGH_MILLING(#41,$,'op',$,$,#6,$,$,$,$,$,$,$,0.5);#41=TOOLPATH_LIST((#1));"},
    {"preflight.feature_within_stock", true,  // a hole above the block, the security plane below its top
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#1,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#1=ROUND_HOLE('h',#13,(),#31,#33,#35,$,#36);"
     "#31=AXIS2_PLACEMENT_3D('',#32,$,$);#32=CARTESIAN_POINT('',(20.0,20.0,100.0));#33=PLANE('d',#34);#34=AXIS2_PLACEMENT_3D('',#37,$,$);"
     "#37=CARTESIAN_POINT('',(0.0,0.0,-10.0));#35=TOLERANCED_LENGTH_MEASURE(10.0,$);#36=FLAT_HOLE_BOTTOM();"
     "#40=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.feature_within_stock", true,  // a hole reaching past the block's side
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#1,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#1=ROUND_HOLE('h',#13,(),#31,#33,#35,$,#36);"
     "#31=AXIS2_PLACEMENT_3D('',#32,$,$);#32=CARTESIAN_POINT('',(97.0,20.0,40.0));#33=PLANE('d',#34);#34=AXIS2_PLACEMENT_3D('',#37,$,$);"
     "#37=CARTESIAN_POINT('',(0.0,0.0,-10.0));#35=TOLERANCED_LENGTH_MEASURE(10.0,$);#36=FLAT_HOLE_BOTTOM();"
     "#40=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.feature_within_stock", false,
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#1,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#1=ROUND_HOLE('h',#13,(),#31,#33,#35,$,#36);"
     "#31=AXIS2_PLACEMENT_3D('',#32,$,$);#32=CARTESIAN_POINT('',(20.0,20.0,40.0));#33=PLANE('d',#34);#34=AXIS2_PLACEMENT_3D('',#37,$,$);"
     "#37=CARTESIAN_POINT('',(0.0,0.0,-10.0));#35=TOLERANCED_LENGTH_MEASURE(10.0,$);#36=FLAT_HOLE_BOTTOM();"
     "#40=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.feature_within_stock", false,  // a hole touching two sides of the block from within
     "#10=PROJECT('p',#11,(#13),$,$,$);#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',#20,#1,#40,$);"
     "#13=WORKPIECE('w',$,$,$,$,#14,());#14=BLOCK('b',#15,100.0,50.0,40.0);#15=AXIS2_PLACEMENT_3D('',#16,$,$);"
     "#16=CARTESIAN_POINT('',(0.0,0.0,0.0));#20=PLANE('sec',#21);#21=AXIS2_PLACEMENT_3D('',#22,$,$);"
     "#22=CARTESIAN_POINT('',(0.0,0.0,50.0));#1=ROUND_HOLE('h',#13,(),#31,#33,#35,$,#36);"
     "#31=AXIS2_PLACEMENT_3D('',#32,$,$);#32=CARTESIAN_POINT('',(95.0,45.0,40.0));#33=PLANE('d',#34);#34=AXIS2_PLACEMENT_3D('',#37,$,$);"
     "#37=CARTESIAN_POINT('',(0.0,0.0,-10.0));#35=TOLERANCED_LENGTH_MEASURE(10.0,$);#36=FLAT_HOLE_BOTTOM();"
     "#40=DRILLING($,$,'d',$,$,#6,$,$,$,$,$,$,$,$);"},
    {"preflight.speeds_agree", true,
     "#1=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,#5,$,$,$,$,$,$,$,0.2);#5=MILLING_TECHNOLOGY($,.TCP.,2.0,50.0,$,.F.,.F.,.F.,#2);"
     "#2=ADAPTIVE_CONTROL();"},
    {"preflight.speeds_agree", false,  // m/s with rev/s
     "#1=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,#5,$,$,$,$,$,$,$,0.2);#5=MILLING_TECHNOLOGY($,.TCP.,1.6,50.0,$,.F.,.F.,.F.,#2);"
     "#2=ADAPTIVE_CONTROL();"},
    {"preflight.speeds_agree", false,  // m/min with rpm
     "#1=SIDE_ROUGH_MILLING($,$,'op',$,$,#6,#5,$,$,$,$,$,$,$,0.2);#5=MILLING_TECHNOLOGY($,.TCP.,94.2,3000.0,$,.F.,.F.,.F.,#2);"
     "#2=ADAPTIVE_CONTROL();"},
    // 2000 mm/s is 120 m/min; nothing here says the feeds are per minute.
    {"preflight.feeds_plausible", true,
     "#1=MILLING_TECHNOLOGY(2000.0,.TCP.,$,$,$,.F.,.F.,.F.,$);#10=PROJECT('p',#11,(),$,$,$);"
     "#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',$,$,#40,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,$,#1,$,$,$,$,$,$,0.5);"},
    {"preflight.feeds_plausible", false,
     "#1=MILLING_TECHNOLOGY(10.0,.TCP.,$,$,$,.F.,.F.,.F.,$);#10=PROJECT('p',#11,(),$,$,$);"
     "#11=WORKPLAN('wp',(#12),$,$,$);#12=MACHINING_WORKINGSTEP('ws',$,$,#40,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,$,#1,$,$,$,$,$,$,0.5);"},
    {"preflight.feeds_speeds_positive", true, "#1=MILLING_TECHNOLOGY(-5.0,.TCP.,$,100.0,$,.F.,.F.,.F.,$);"},
    {"preflight.feeds_speeds_positive", true,
     "#1=TURNING_TECHNOLOGY($,.TCP.,#2,0.2,.F.,.F.,.F.);#2=CONST_SPINDLE_SPEED(0.0);"},
    {"preflight.feeds_speeds_positive", false,
     "#1=TURNING_TECHNOLOGY($,.TCP.,#2,0.2,.F.,.F.,.F.);#2=CONST_SPINDLE_SPEED(20.0);"},
    // Counter-clockwise is a negative spindle speed, not a wrong one; no spindle at all is.
    {"preflight.feeds_speeds_positive", false, "#1=MILLING_TECHNOLOGY(5.0,.TCP.,$,-1200.0,$,.F.,.F.,.F.,$);"},
    {"preflight.feeds_speeds_positive", true, "#1=MILLING_TECHNOLOGY(5.0,.TCP.,$,0.0,$,.F.,.F.,.F.,$);"},
    {"preflight.feature_in_project_workpiece", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,$,$);#2=ROUND_HOLE('h',#4,(),$,$,$,$,$);#3=PROJECT('p',$,(#5),$,$,$);"
     "#4=WORKPIECE('a',$,$,$,$,$,());#5=WORKPIECE('b',$,$,$,$,$,());"},
    {"preflight.feature_in_project_workpiece", false,
     "#1=MACHINING_WORKINGSTEP('ws',$,#2,$,$);#2=ROUND_HOLE('h',#4,(),$,$,$,$,$);#3=PROJECT('p',$,(#5,#4),$,$,$);"
     "#4=WORKPIECE('a',$,$,$,$,$,());#5=WORKPIECE('b',$,$,$,$,$,());"},
    {"preflight.executables_reached", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,$,$,$);#2=WORKPLAN('other',(#1),$,$,$);#3=PROJECT('p',#4,(),$,$,$);"
     "#4=WORKPLAN('main',(),$,$,$);"},
    {"preflight.executables_reached", false,
     "#1=MACHINING_WORKINGSTEP('ws',$,$,$,$);#2=WORKPLAN('other',(#1),$,$,$);#3=PROJECT('p',#4,(),$,$,$);"
     "#4=WORKPLAN('main',(#1),$,$,$);"},
    {"preflight.workplan_cycle", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,$,$,$);#2=WORKPLAN('a',(#1,#5),$,$,$);#3=PROJECT('p',#4,(),$,$,$);"
     "#4=WORKPLAN('main',(#2),$,$,$);#5=WORKPLAN('b',(#2),$,$,$);", 2},
    {"preflight.workplan_cycle", false,  // listed twice, within nothing of itself
     "#1=MACHINING_WORKINGSTEP('ws',$,$,$,$);#2=WORKPLAN('a',(#1),$,$,$);#3=PROJECT('p',#4,(),$,$,$);"
     "#4=WORKPLAN('main',(#2,#2),$,$,$);"},
    // A slot of open ends in a 100 x 50 x 40 block: 60 long from x 20 its ends lie inside the
    // block, 100 long from x 0 on its faces; a step's boundary ending half way along the block.
    {"preflight.open_end_inside_stock", true,
     "#1=SLOT('s',#13,(),#15,#20,#30,#33,(#35,#36));" OPEN_END_PROJECT "#17=CARTESIAN_POINT('',(20.0,25.0,40.0));"
     "#31=TOLERANCED_LENGTH_MEASURE(60.0,$);#35=OPEN_SLOT_END_TYPE();#36=OPEN_SLOT_END_TYPE();"},
    {"preflight.open_end_inside_stock", false,
     "#1=SLOT('s',#13,(),#15,#20,#30,#33,(#35,#36));" OPEN_END_PROJECT "#17=CARTESIAN_POINT('',(0.0,25.0,40.0));"
     "#31=TOLERANCED_LENGTH_MEASURE(100.0,$);#35=OPEN_SLOT_END_TYPE();#36=OPEN_SLOT_END_TYPE();"},
    {"preflight.open_end_inside_stock", false,  // closed ends inside the block
     "#1=SLOT('s',#13,(),#15,#20,#30,#33,(#35,#35));" OPEN_END_PROJECT "#17=CARTESIAN_POINT('',(20.0,25.0,40.0));"
     "#31=TOLERANCED_LENGTH_MEASURE(60.0,$);#35=FLAT_SLOT_END_TYPE(#34,#34);"},
    {"preflight.open_end_inside_stock", true,
     "#1=STEP('s',#13,(),#15,#20,#30,$,());" OPEN_END_PROJECT "#17=CARTESIAN_POINT('',(0.0,40.0,40.0));"
     "#31=TOLERANCED_LENGTH_MEASURE(60.0,$);"},
    // A left-hand tool at a negative spindle speed, the sign of the right-hand sense (M3).
    {"preflight.spindle_hand", true,
     "#1=MACHINING_WORKINGSTEP('ws',$,$,#40,$);#10=PROJECT('p',#11,(),$,$,$);#11=WORKPLAN('wp',(#1),$,$,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,#41,#44,$,$,$,$,$,$,0.5);#41=MILLING_CUTTING_TOOL('t',#42,(),$,$,$);"
     "#42=FACEMILL(#43,4,.LEFT.,$,$);#43=MILLING_TOOL_DIMENSION(20.0,$,$,$,$,$,$);"
     "#44=MILLING_TECHNOLOGY(5.0,.TCP.,$,-20.0,$,.F.,.F.,.F.,$);"},
    {"preflight.spindle_hand", false,  // left-hand at a positive speed, as it cuts
     "#1=MACHINING_WORKINGSTEP('ws',$,$,#40,$);#10=PROJECT('p',#11,(),$,$,$);#11=WORKPLAN('wp',(#1),$,$,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,#41,#44,$,$,$,$,$,$,0.5);#41=MILLING_CUTTING_TOOL('t',#42,(),$,$,$);"
     "#42=FACEMILL(#43,4,.LEFT.,$,$);#43=MILLING_TOOL_DIMENSION(20.0,$,$,$,$,$,$);"
     "#44=MILLING_TECHNOLOGY(5.0,.TCP.,$,20.0,$,.F.,.F.,.F.,$);"},
    {"preflight.spindle_hand", false,  // a tool of no hand: the sign says the sense
     "#1=MACHINING_WORKINGSTEP('ws',$,$,#40,$);#10=PROJECT('p',#11,(),$,$,$);#11=WORKPLAN('wp',(#1),$,$,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,#41,#44,$,$,$,$,$,$,0.5);#41=MILLING_CUTTING_TOOL('t',#42,(),$,$,$);"
     "#42=FACEMILL(#43,4,$,$,$);#43=MILLING_TOOL_DIMENSION(20.0,$,$,$,$,$,$);"
     "#44=MILLING_TECHNOLOGY(5.0,.TCP.,$,20.0,$,.F.,.F.,.F.,$);"},
    {"preflight.spindle_hand", true,  // a right-hand tool at a positive speed (M4)
     "#1=MACHINING_WORKINGSTEP('ws',$,$,#40,$);#10=PROJECT('p',#11,(),$,$,$);#11=WORKPLAN('wp',(#1),$,$,$);"
     "#40=PLANE_ROUGH_MILLING($,$,'op',$,$,#41,#44,$,$,$,$,$,$,0.5);#41=MILLING_CUTTING_TOOL('t',#42,(),$,$,$);"
     "#42=FACEMILL(#43,4,.RIGHT.,$,$);#43=MILLING_TOOL_DIMENSION(20.0,$,$,$,$,$,$);"
     "#44=MILLING_TECHNOLOGY(5.0,.TCP.,$,20.0,$,.F.,.F.,.F.,$);"},
    // ---- resource rules ----
    {"axis1_placement.WR1", true, "#1=AXIS1_PLACEMENT('',#2,$);#2=CARTESIAN_POINT('',(0.0,0.0));"},
    {"axis1_placement.WR1", false, "#1=AXIS1_PLACEMENT('',#2,$);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"axis2_placement_3d.WR1", true, "#1=AXIS2_PLACEMENT_3D('',#2,$,$);#2=CARTESIAN_POINT('',(0.0,0.0));"},
    {"axis2_placement_3d.WR1", false, "#1=AXIS2_PLACEMENT_3D('',#2,$,$);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));"},
    {"axis2_placement_3d.WR2", true, "#1=AXIS2_PLACEMENT_3D('',#2,#3,$);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(0.0,1.0));"},
    {"axis2_placement_3d.WR2", false, "#1=AXIS2_PLACEMENT_3D('',#2,#3,$);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(0.0,0.0,1.0));"},
    {"axis2_placement_3d.WR3", true, "#1=AXIS2_PLACEMENT_3D('',#2,$,#3);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(1.0,0.0));"},
    {"axis2_placement_3d.WR3", false, "#1=AXIS2_PLACEMENT_3D('',#2,$,#3);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(1.0,0.0,0.0));"},
    {"axis2_placement_3d.WR4", true,
     "#1=AXIS2_PLACEMENT_3D('',#2,#3,#4);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(0.0,0.0,1.0));#4=DIRECTION('',(0.0,0.0,-2.0));"},
    {"axis2_placement_3d.WR4", false,
     "#1=AXIS2_PLACEMENT_3D('',#2,#3,#4);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=DIRECTION('',(0.0,0.0,1.0));#4=DIRECTION('',(1.0,0.0,0.0));"},
    {"b_spline_curve.WR1", true, "#1=B_SPLINE_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.);" PTS},
    {"b_spline_curve.WR1", false, "#1=UNIFORM_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.);" PTS},
    {"b_spline_curve_with_knots.WR1", true, "#1=B_SPLINE_CURVE_WITH_KNOTS('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(2,1),(0.0,1.0),.UNSPECIFIED.);" PTS},
    {"b_spline_curve_with_knots.WR1", true, "#1=B_SPLINE_CURVE_WITH_KNOTS('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(2,2),(1.0,0.0),.UNSPECIFIED.);" PTS},
    {"b_spline_curve_with_knots.WR1", false, "#1=B_SPLINE_CURVE_WITH_KNOTS('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);" PTS},
    {"b_spline_curve_with_knots.WR2", true, "#1=B_SPLINE_CURVE_WITH_KNOTS('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,0.5,1.0),.UNSPECIFIED.);" PTS},
    {"b_spline_curve_with_knots.WR2", false, "#1=B_SPLINE_CURVE_WITH_KNOTS('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(2,2),(0.0,1.0),.UNSPECIFIED.);" PTS},
    {"b_spline_surface.WR1", true, "#1=B_SPLINE_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.);" PTS},
    {"b_spline_surface.WR1", false, "#1=BEZIER_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.);" PTS},
    {"b_spline_surface_with_knots.WR1", true, "#1=" SURF("(2,1)", "(2,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR1", false, "#1=" SURF("(2,2)", "(2,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR2", true, "#1=" SURF("(2,2)", "(3,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR2", false, "#1=" SURF("(2,2)", "(2,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR3", true, "#1=" SURF("(2,2)", "(2,2)", "(0.0,0.5,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR3", false, "#1=" SURF("(2,2)", "(2,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"b_spline_surface_with_knots.WR4", true, "#1=" SURF("(2,2)", "(2,2)", "(0.0,1.0)", "(0.0,0.5,1.0)") PTS},
    {"b_spline_surface_with_knots.WR4", false, "#1=" SURF("(2,2)", "(2,2)", "(0.0,1.0)", "(0.0,1.0)") PTS},
    {"bounded_pcurve.WR1", true, "#1=BOUNDED_PCURVE($,#4,'');#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=LINE('',#2,$);" PTS},
    {"bounded_pcurve.WR1", false, "#1=BOUNDED_PCURVE($,#4,'');#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=POLYLINE('',(#2,#3));" PTS},
    {"pcurve.WR1", true, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#5,#5),$);#5=POLYLINE('',(#6,#7));" PTS2},
    {"pcurve.WR1", false, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=POLYLINE('',(#6,#7));" PTS2},
    {"pcurve.WR2", true, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#6),$);" PTS2},
    {"pcurve.WR2", false, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=POLYLINE('',(#6,#7));" PTS2},
    {"pcurve.WR3", true, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=POLYLINE('',(#2,#3));" PTS},
    {"pcurve.WR3", false, "#1=PCURVE($,#4);#4=DEFINITIONAL_REPRESENTATION('',(#5),$);#5=POLYLINE('',(#6,#7));" PTS2},
    {"composite_curve.WR1", true, "#1=COMPOSITE_CURVE('',(#4,#4),.F.);#4=COMPOSITE_CURVE_SEGMENT(.DISCONTINUOUS.,.T.,#5);#5=POLYLINE('',(#2,#3));" PTS},
    {"composite_curve.WR1", true,
     "#1=COMPOSITE_CURVE('',(#4,#6),.F.);#4=COMPOSITE_CURVE_SEGMENT(.DISCONTINUOUS.,.T.,#5);#6=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#5);#5=POLYLINE('',(#2,#3));" PTS},
    {"composite_curve.WR1", false,
     "#1=COMPOSITE_CURVE('',(#6,#4),.F.);#4=COMPOSITE_CURVE_SEGMENT(.DISCONTINUOUS.,.T.,#5);#6=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#5);#5=POLYLINE('',(#2,#3));" PTS},
    {"composite_curve.WR1", false, "#1=COMPOSITE_CURVE('',(#6,#6),.F.);#6=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#5);#5=POLYLINE('',(#2,#3));" PTS},
    {"composite_curve_segment.WR1", true, "#1=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#5);#5=LINE('',#2,$);" PTS},
    {"composite_curve_segment.WR1", false, "#1=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#5);#5=POLYLINE('',(#2,#3));" PTS},
    {"direction.WR1", true, "#1=DIRECTION('',(0.0,0.0,0.0));"},
    {"direction.WR1", false, "#1=DIRECTION('',(0.0,0.0,0.5));"},
    {"line.WR1", true, "#1=LINE('',#2,#4);#4=VECTOR('',#5,1.0);#5=DIRECTION('',(1.0,0.0));" PTS},
    {"line.WR1", false, "#1=LINE('',#2,#4);#4=VECTOR('',#5,1.0);#5=DIRECTION('',(1.0,0.0,0.0));" PTS},
    {"parabola.WR1", true, "#1=PARABOLA('',$,0.0);"},
    {"parabola.WR1", false, "#1=PARABOLA('',$,2.5);"},
    {"rational_b_spline_curve.WR1", true, "#1=RATIONAL_B_SPLINE_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(1.0,1.0,1.0));" PTS},
    {"rational_b_spline_curve.WR1", false, "#1=RATIONAL_B_SPLINE_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(1.0,2.0));" PTS},
    {"rational_b_spline_curve.WR2", true, "#1=RATIONAL_B_SPLINE_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(1.0,0.0));" PTS},
    {"rational_b_spline_curve.WR2", false, "#1=RATIONAL_B_SPLINE_CURVE('',1,(#2,#3),.UNSPECIFIED.,.F.,.F.,(1.0,0.5));" PTS},
    {"rational_b_spline_surface.WR1", true, "#1=RATIONAL_B_SPLINE_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.,((1.0,1.0,1.0),(1.0,1.0,1.0)));" PTS},
    {"rational_b_spline_surface.WR1", false, "#1=RATIONAL_B_SPLINE_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.,((1.0,1.0),(1.0,1.0)));" PTS},
    {"rational_b_spline_surface.WR2", true, "#1=RATIONAL_B_SPLINE_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.,((1.0,1.0),(1.0,-1.0)));" PTS},
    {"rational_b_spline_surface.WR2", false, "#1=RATIONAL_B_SPLINE_SURFACE('',1,1,((#2,#3),(#2,#3)),.UNSPECIFIED.,.F.,.F.,.F.,((1.0,1.0),(1.0,2.0)));" PTS},
    {"trimmed_curve.WR1", true, "#1=TRIMMED_CURVE('',#5,(#2,#3),(1.0),.T.,.CARTESIAN.);#5=POLYLINE('',(#2,#3));" PTS},
    {"trimmed_curve.WR1", false, "#1=TRIMMED_CURVE('',#5,(#2,PARAMETER_VALUE(0.0)),(1.0),.T.,.CARTESIAN.);#5=POLYLINE('',(#2,#3));" PTS},
    {"trimmed_curve.WR2", true, "#1=TRIMMED_CURVE('',#5,(0.0),(PARAMETER_VALUE(0.5),PARAMETER_VALUE(1.0)),.T.,.PARAMETER.);#5=POLYLINE('',(#2,#3));" PTS},
    {"trimmed_curve.WR2", false, "#1=TRIMMED_CURVE('',#5,(0.0),(#3),.T.,.CARTESIAN.);#5=POLYLINE('',(#2,#3));" PTS},
    {"vector.WR1", true, "#1=VECTOR('',#5,-1.0);#5=DIRECTION('',(1.0,0.0,0.0));"},
    {"vector.WR1", false, "#1=VECTOR('',#5,0.0);#5=DIRECTION('',(1.0,0.0,0.0));"},
    {"edge_loop.WR1", true, "#1=EDGE_LOOP('',(#20,#21));" EDGES},
    {"edge_loop.WR1", false, "#1=EDGE_LOOP('',(#20,#22));" EDGES},
    {"path.WR1", true, "#1=PATH('',(#20,#20));" EDGES},
    {"path.WR1", false, "#1=PATH('',(#20,#22));" EDGES},
    {"path.UNIQUE_edge_list", true, "#1=PATH('',(#20,#22,#20));" EDGES},
    {"path.UNIQUE_edge_list", false, "#1=PATH('',(#20,#22));" EDGES},
    {"poly_loop.UNIQUE_polygon", true, "#1=POLY_LOOP((#2,#3,#4,#2));#4=CARTESIAN_POINT('',(1.0,1.0,0.0));" PTS},
    {"poly_loop.UNIQUE_polygon", false, "#1=POLY_LOOP((#2,#3,#4));#4=CARTESIAN_POINT('',(1.0,1.0,0.0));" PTS},
    {"face.WR1", true, "#1=FACE('',(#4,#5));#4=FACE_BOUND('',#6,.T.);#5=FACE_BOUND('',#7,.T.);#6=POLY_LOOP((#2,#3,#2));#7=VERTEX_LOOP('',$);" PTS},
    {"face.WR1", false, "#1=FACE('',(#4,#5));#4=FACE_BOUND('',#6,.T.);#5=FACE_BOUND('',#6,.T.);#6=POLY_LOOP((#2,#3,#2));" PTS},
    {"face.WR2", true, "#1=FACE('',(#4,#5));#4=FACE_OUTER_BOUND('',$,.T.);#5=FACE_OUTER_BOUND('',$,.T.);"},
    {"face.WR2", false, "#1=FACE('',(#4,#5));#4=FACE_OUTER_BOUND('',$,.T.);#5=FACE_BOUND('',$,.T.);"},
    {"face_surface.WR1", true, "#1=FACE_SURFACE('',(),#4,.T.);#4=ORIENTED_SURFACE('',.T.);"},
    {"face_surface.WR1", false, "#1=FACE_SURFACE('',(),#4,.T.);#4=PLANE('',$);"},
    {"oriented_closed_shell.WR1", true, "#1=ORIENTED_CLOSED_SHELL('',(),#4,.T.);#4=ORIENTED_CLOSED_SHELL('',(),$,.T.);"},
    {"oriented_closed_shell.WR1", false, "#1=ORIENTED_CLOSED_SHELL('',(),#4,.T.);#4=CLOSED_SHELL('',());"},
    {"oriented_edge.WR1", true, "#1=ORIENTED_EDGE('',*,*,#4,.T.);#4=ORIENTED_EDGE('',*,*,$,.T.);"},
    {"oriented_edge.WR1", false, "#1=ORIENTED_EDGE('',*,*,#4,.T.);#4=EDGE_CURVE('',$,$,$,.T.);"},
    {"oriented_face.WR1", true, "#1=ORIENTED_FACE('',(),#4,.T.);#4=ORIENTED_FACE('',(),$,.T.);"},
    {"oriented_face.WR1", false, "#1=ORIENTED_FACE('',(),#4,.T.);#4=FACE('',());"},
    {"oriented_open_shell.WR1", true, "#1=ORIENTED_OPEN_SHELL('',(),#4,.T.);#4=ORIENTED_OPEN_SHELL('',(),$,.T.);"},
    {"oriented_open_shell.WR1", false, "#1=ORIENTED_OPEN_SHELL('',(),#4,.T.);#4=OPEN_SHELL('',());"},
    {"oriented_path.WR1", true, "#1=ORIENTED_PATH('',(),#4,.T.);#4=ORIENTED_PATH('',(),$,.T.);"},
    {"oriented_path.WR1", false, "#1=ORIENTED_PATH('',(),#4,.T.);#4=PATH('',());"},
    {"calendar_date.WR1", true, "#1=CALENDAR_DATE(2023,29,2);"},
    {"calendar_date.WR1", true, "#1=CALENDAR_DATE(2024,31,4);"},
    {"calendar_date.WR1", false, "#1=CALENDAR_DATE(2024,29,2);"},
    {"coordinated_universal_time_offset.WR1", true, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(24,$,.AHEAD.);"},
    {"coordinated_universal_time_offset.WR1", false, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(1,$,.AHEAD.);"},
    {"coordinated_universal_time_offset.WR2", true, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(1,60,.AHEAD.);"},
    {"coordinated_universal_time_offset.WR2", false, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(1,30,.AHEAD.);"},
    {"coordinated_universal_time_offset.WR3", true, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(1,$,.EXACT.);"},
    {"coordinated_universal_time_offset.WR3", false, "#1=COORDINATED_UNIVERSAL_TIME_OFFSET(0,$,.EXACT.);"},
    {"local_time.WR1", true, "#1=LOCAL_TIME(12,$,30.0,$);"},
    {"local_time.WR1", false, "#1=LOCAL_TIME(12,15,30.0,$);"},
    {"ordinal_date.WR1", true, "#1=ORDINAL_DATE(2023,366);"},
    {"ordinal_date.WR1", false, "#1=ORDINAL_DATE(2024,366);"},
    {"address.WR1", true, "#1=ADDRESS($,$,$,$,$,$,$,$,$,$,$,$);"},
    {"address.WR1", false, "#1=ADDRESS($,$,$,$,$,$,$,$,$,$,'a@b.example',$);"},
    {"person.WR1", true, "#1=PERSON('p',$,$,$,$,$);"},
    {"person.WR1", false, "#1=PERSON('p',$,'Ada',$,$,$);"},
    {"advanced_brep_shape_representation.WR1", true, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=FACETED_BREP('',$);"},
    {"advanced_brep_shape_representation.WR1", false, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MANIFOLD_SOLID_BREP('',$);"},
    {"advanced_brep_shape_representation.WR2", true, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=AXIS2_PLACEMENT_3D('',$,$,$);"},
    {"advanced_brep_shape_representation.WR2", false, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4,#5),$);#4=AXIS2_PLACEMENT_3D('',$,$,$);#5=MANIFOLD_SOLID_BREP('',$);"},
    {"advanced_brep_shape_representation.WR3", true, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MANIFOLD_SOLID_BREP('',#5);#5=CLOSED_SHELL('',(#6));#6=FACE('',());"},
    {"advanced_brep_shape_representation.WR3", false, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MANIFOLD_SOLID_BREP('',#5);#5=CLOSED_SHELL('',(#6));#6=ADVANCED_FACE('',(),$,.T.);"},
    {"advanced_brep_shape_representation.WR4", true, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MANIFOLD_SOLID_BREP('',#5);#5=ORIENTED_CLOSED_SHELL('',(),$,.T.);"},
    {"advanced_brep_shape_representation.WR4", false, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MANIFOLD_SOLID_BREP('',#5);#5=CLOSED_SHELL('',());"},
    {"advanced_brep_shape_representation.WR6", true, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MAPPED_ITEM(#5,$);#5=REPRESENTATION_MAP($,#6);#6=REPRESENTATION('',(),$);"},
    {"advanced_brep_shape_representation.WR6", false, "#1=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#4),$);#4=MAPPED_ITEM(#5,$);#5=REPRESENTATION_MAP($,#6);#6=ADVANCED_BREP_SHAPE_REPRESENTATION('',(),$);"},
    {"advanced_face.WR1", true, "#1=ADVANCED_FACE('',(),#4,.T.);#4=ORIENTED_SURFACE('',.T.);"},
    {"advanced_face.WR1", false, "#1=ADVANCED_FACE('',(),#4,.T.);#4=PLANE('',$);"},
    {"advanced_face.WR2", true, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.T.);#7=EDGE('',$,$);"},
    {"advanced_face.WR2", false, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.T.);#7=EDGE_CURVE('',$,$,$,.T.);"},
    {"advanced_face.WR3", true, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.T.);#7=EDGE_CURVE('',$,$,#8,.T.);#8=COMPOSITE_CURVE('',(),.F.);"},
    {"advanced_face.WR3", false, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.T.);#7=EDGE_CURVE('',$,$,#8,.T.);#8=POLYLINE('',(#2,#3,#2));" PTS},
    {"advanced_face.WR4", true, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.F.);#7=EDGE_CURVE('',#9,#10,$,.T.);#9=VERTEX_POINT('',#2);#10=VERTEX('');" PTS},
    {"advanced_face.WR4", false, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',(#6));#6=ORIENTED_EDGE('',*,*,#7,.F.);#7=EDGE_CURVE('',#9,#10,$,.T.);#9=VERTEX_POINT('',#2);#10=VERTEX_POINT('',#3);" PTS},
    {"advanced_face.WR6", true, "#1=ADVANCED_FACE('',(),#4,.T.);#4=SURFACE_OF_LINEAR_EXTRUSION('',#5,$);#5=COMPOSITE_CURVE('',(),.F.);"},
    {"advanced_face.WR6", false, "#1=ADVANCED_FACE('',(),#4,.T.);#4=SURFACE_OF_LINEAR_EXTRUSION('',#5,$);#5=POLYLINE('',(#2,#3,#2));" PTS},
    {"advanced_face.WR7", true, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=VERTEX_LOOP('',#6);#6=VERTEX('');"},
    {"advanced_face.WR7", false, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=VERTEX_LOOP('',#6);#6=VERTEX_POINT('',#2);" PTS},
    {"advanced_face.WR8", true, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=POLY_LOOP((#2,#3,#2));" PTS},
    {"advanced_face.WR8", false, "#1=ADVANCED_FACE('',(#4),$,.T.);#4=FACE_BOUND('',#5,.T.);#5=EDGE_LOOP('',());"},
    {"advanced_face.WR10", true, "#1=ADVANCED_FACE('',(),#4,.T.);#4=SURFACE_OF_LINEAR_EXTRUSION('',#5,$);#5=POLYLINE('',(#2,#3));" PTS},
    {"advanced_face.WR10", false, "#1=ADVANCED_FACE('',(),#4,.T.);#4=SURFACE_OF_LINEAR_EXTRUSION('',#5,$);#5=POLYLINE('',(#2,#3,#2));" PTS},
    {"geometric_representation_item.WR1", true,
     "#1=CARTESIAN_POINT('',(0.0,0.0,0.0));#2=REPRESENTATION('r',(#1),#3);#3=REPRESENTATION_CONTEXT('c','t');"},
    {"geometric_representation_item.WR1", false,
     "#1=CARTESIAN_POINT('',(0.0,0.0,0.0));#2=REPRESENTATION('r',(#1),#3);#3=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"},
    // Used through a curve of the representation, not among its items.
    {"compatible_dimension.WR1", true,
     "#1=CARTESIAN_POINT('',(0.0,0.0));#2=REPRESENTATION('r',(#4),#3);#3=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"
     "#4=POLYLINE('',(#1,#1));"},
    {"compatible_dimension.WR1", false,
     "#1=CARTESIAN_POINT('',(0.0,0.0,1.0));#2=REPRESENTATION('r',(#4),#3);#3=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"
     "#4=POLYLINE('',(#1,#1));"},
    {"compatible_dimension.WR2", true,
     "#1=DIRECTION('',(0.0,1.0));#2=REPRESENTATION('r',(#1),#3);#3=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"},
    {"compatible_dimension.WR2", false,
     "#1=DIRECTION('',(0.0,1.0));#2=REPRESENTATION('r',(#1),#3);#3=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',2);"},
    {"mapped_item.WR1", true, "#1=MAPPED_ITEM(#2,$);#2=REPRESENTATION_MAP($,#3);#3=REPRESENTATION('r',(#1),$);"},
    {"mapped_item.WR1", false, "#1=MAPPED_ITEM(#2,$);#2=REPRESENTATION_MAP($,#3);#3=REPRESENTATION('r',(),$);"},
    {"representation_map.WR1", true,
     "#1=REPRESENTATION_MAP(#2,#3);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=REPRESENTATION('r',(),#4);"
     "#4=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"},
    {"representation_map.WR1", false,
     "#1=REPRESENTATION_MAP(#2,#3);#2=CARTESIAN_POINT('',(0.0,0.0,0.0));#3=REPRESENTATION('r',(#2),#4);"
     "#4=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);"},
};

std::string FileText(std::string data) {
  // Cases that name tool #6 without writing it get the 10 mm end mill.
  if (data.find("#6") != std::string::npos && data.find("#6=") == std::string::npos) data += kTool10;
  std::string records;
  for (char c : data) {
    records += c;
    if (c == ';') records += '\n';
  }
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
         "FILE_NAME('case.stp','2026-01-01T00:00:00',(''),(''),'','','');\n"
         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n" +
         records + "ENDSEC;\nEND-ISO-10303-21;\n";
}

std::string SeverityOf(const std::string& rule) {
  for (const varnholt::rules::Rule& r : varnholt::rules::Rules())
    if (r.id == rule) return r.severity == varnholt::rules::Severity::Error ? "error" : "warning";
  return "?";
}

double LineOf(const std::string& data, long instance) {
  const size_t at = data.find("#" + std::to_string(instance) + "=");
  double line = 8;
  for (size_t i = 0; i < at && i < data.size(); ++i) line += data[i] == ';';
  return line;
}

}  // namespace

// Every case file in one run: each breaking file has a finding of its rule (with the instance
// of the rule's entity, its line and the rule's severity), each keeping file none.
TEST(RuleTable, EachCaseBreaksOrKeepsItsRule) {
  TempDir dir;
  std::vector<std::string> args = {"check", "--rules", "--format", "json"};
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const std::string path = dir.File("case" + std::to_string(i) + ".stp");
    std::ofstream(path, std::ios::binary) << FileText(kCases[i].data);
    args.push_back(path);
  }
  const CliResult result = RunCli(args);
  ASSERT_EQ(result.status, 0) << result.err;
  bool ok = false;
  const Json document = Json::Parse(result.out, ok);
  ASSERT_TRUE(ok) << result.out.substr(0, 2000);
  const Json& files = document["files"];
  ASSERT_EQ(files.items.size(), std::size(kCases));
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const Case& c = kCases[i];
    SCOPED_TRACE(std::string(c.rule) + (c.breaks ? " broken by " : " kept by ") + c.data);
    const Json& file = files.items[i];
    EXPECT_TRUE(file["opened"].boolean);
    int found = 0;
    for (const Json& m : file["messages"].items) {
      if (m["rule"].text != c.rule) continue;
      ++found;
      EXPECT_EQ(m["category"].number, 0);
      EXPECT_EQ(m["severity"].text, SeverityOf(c.rule));
      // Records stand one a line from line 8 on.
      EXPECT_EQ(m["instance"].number, c.instance) << m["text"].text;
      EXPECT_EQ(m["line"].number, LineOf(c.data, c.instance));
      EXPECT_NE(m["text"].text.find(c.rule), std::string::npos);
      EXPECT_NE(m["text"].text.find("; found "), std::string::npos);
    }
    if (c.breaks)
      EXPECT_GE(found, 1) << result.out.substr(0, 0);
    else
      EXPECT_EQ(found, 0);
  }
}

// A rule of the data file (or a check in C++) without a case that breaks it and one that keeps it is untested.
TEST(RuleTable, EveryDataRuleHasBothKindsOfCase) {
  std::map<std::string, std::set<bool>> kinds;
  for (const Case& c : kCases) kinds[c.rule].insert(c.breaks);
  for (const varnholt::rules::Rule& rule : varnholt::rules::Rules()) {
    // The material-removal rules run only when asked for; tests/cli/check_simulate_test.cpp has them.
    if (rule.kind == "skip" || varnholt::rules::OnRequest(rule)) continue;
    EXPECT_EQ(kinds[rule.id].size(), 2u) << rule.id;
  }
}

namespace {

// A file whose only rule finding is an error, one whose only message is a reader's warning,
// and one with neither.
const char* const kBreaksOne = "#1=MILLING_TECHNOLOGY(10.0,.TCP.,2.0,100.0,$,.F.,.F.,.F.,$);";
const char* const kWarnsOnly = "#1=SETUP_INSTRUCTION('clamp',$);#2=NC_VARIABLE($,1.0);";
const char* const kClean = "#1=SETUP_INSTRUCTION('clamp',$);";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

// --rules adds to the log what the rule check found, after the log check prints without it;
// --fail-on turns messages of a severity into exit status 3.
TEST(CheckRules, TextStatusAndSummaries) {
  TempDir dir;
  const std::string broken = dir.File("broken.stp"), warns = dir.File("warns.stp"), clean = dir.File("clean.stp");
  std::ofstream(broken) << FileText(kBreaksOne);
  std::ofstream(warns) << FileText(kWarnsOnly);
  std::ofstream(clean) << FileText(kClean);

  const CliResult plain = RunCli({"check", broken});
  const CliResult ruled = RunCli({"check", "--rules", broken});
  ASSERT_EQ(ruled.status, 0);
  ASSERT_EQ(ruled.out.compare(0, plain.out.size(), plain.out), 0) << ruled.out;
  const std::string added = ruled.out.substr(plain.out.size());
  EXPECT_EQ(added.rfind("Rule check: 1 error, 0 warnings\nError: milling_technology.WR1 at #1 (line 8): ", 0), 0u)
      << added;
  EXPECT_NE(added.find("; found cutspeed = 2, spindle = 100, its_adaptive_control = unset\n"), std::string::npos) << added;
  const std::string last = added.substr(added.rfind('\n', added.size() - 2) + 1);
  EXPECT_NE(last.find(" rules evaluated; not evaluated: "), std::string::npos) << last;
  EXPECT_NE(last.find("round_hole.WR1 (it reads bottom_at_path_end"), std::string::npos) << last;

  const struct {
    std::vector<std::string> args;
    int status;
  } rows[] = {
      {{"check", "--rules", "--fail-on", "error", broken}, 3},
      {{"check", "--fail-on", "error", broken}, 0},  // without --rules nothing is wrong with it
      {{"check", "--rules", "--fail-on", "error", warns}, 0},
      {{"check", "--fail-on", "warning", warns}, 3},
      {{"check", "--rules", "--fail-on", "warning", clean}, 0},
      {{"check", "--rules", "--fail-on", "warning", clean, dir.File("missing.stp")}, 1},
      {{"check", "--fail-on", "bad", clean}, 2},
      {{"check", "--format", "xml", clean}, 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[1] + " " + row.args[2] + " " + row.args.back());
    EXPECT_EQ(RunCli(row.args).status, row.status);
  }

  // Several files: one summary line each at the end, in argument order, also with -j.
  const CliResult several = RunCli({"check", "--rules", broken, warns, clean});
  EXPECT_TRUE(EndsWith(several.out, broken + ": 1 error, 0 warnings, 1 rule finding\n" + warns +
                                        ": 0 errors, 1 warning, 0 rule findings\n" + clean +
                                        ": 0 errors, 0 warnings, 0 rule findings\n"))
      << several.out;
  EXPECT_EQ(RunCli({"check", "-j", "2", "--rules", broken, warns, clean}).out, several.out);
  // Without --rules the output is what check always printed.
  EXPECT_EQ(RunCli({"check", broken, warns, clean}).out,
            RunCli({"check", broken}).out + RunCli({"check", warns}).out + RunCli({"check", clean}).out);
}

// The reader's messages in the JSON document are the log's, read back: category, line,
// instance and attribute as the text gives them.
TEST(CheckRules, JsonCarriesTheReadersMessages) {
  TempDir dir;
  const std::string warns = dir.File("warns.stp");
  std::ofstream(warns) << FileText(kWarnsOnly);
  bool ok = false;
  const Json document = Json::Parse(RunCli({"check", "--format", "json", warns, dir.File("none.stp")}).out, ok);
  ASSERT_TRUE(ok);
  const Json& files = document["files"];
  ASSERT_EQ(files.items.size(), 2u);
  EXPECT_TRUE(files.items[0]["opened"].boolean);
  EXPECT_FALSE(files.items[1]["opened"].boolean);
  EXPECT_FALSE(files.items[0].Has("rules"));
  ASSERT_EQ(files.items[0]["messages"].items.size(), 1u);
  const Json& m = files.items[0]["messages"].items[0];
  EXPECT_EQ(m["severity"].text, "warning");
  EXPECT_EQ(m["category"].number, 12);
  EXPECT_EQ(m["text"].text, "Warning: Unset non OPTIONAL attribute:  (label)\nnc_variable::its_name in instance 2");
  EXPECT_EQ(m["instance"].number, 2);
  EXPECT_EQ(m["attribute"].text, "its_name");
  EXPECT_EQ(m["rule"].kind, Json::Null);
  EXPECT_EQ(m["line"].kind, Json::Null);
}

// Curves made of themselves, mappings of themselves and lists that repeat: the check ends, and
// soon.
TEST(CheckRules, SelfContainingModelsEnd) {
  TempDir dir;
  const std::string path = dir.File("loops.stp");
  std::ofstream(path) << FileText(
      "#1=CLOSED_POCKET('p',$,(),$,$,(),$,$,$,$,#2);#2=GENERAL_CLOSED_PROFILE($,#3);"
      "#3=COMPOSITE_CURVE('',(#4,#4,#4,#4,#4,#4,#4,#4,#4,#4),.F.);#4=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.T.,#3);"
      "#5=MAPPED_ITEM(#6,#5);#6=REPRESENTATION_MAP(#5,#7);#7=REPRESENTATION('r',(#5,#8),#9);#8=MAPPED_ITEM(#6,#8);"
      "#9=GEOMETRIC_REPRESENTATION_CONTEXT('c','t',3);#10=EDGE_LOOP('',(#11));#11=ORIENTED_EDGE('',*,*,#11,.T.);"
      "#12=WORKPLAN('w',(#12,#12),$,$,$);#13=PROJECT('p',#12,(),$,$,$);");
  const auto start = std::chrono::steady_clock::now();
  const CliResult result = RunCli({"check", "--rules", "--format", "json", path});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(result.status, 0);
  bool ok = false;
  const Json document = Json::Parse(result.out, ok);
  ASSERT_TRUE(ok) << result.out;
  std::set<std::string> rules;
  for (const Json& m : document["files"].items[0]["messages"].items) rules.insert(m["rule"].text);
  EXPECT_TRUE(rules.count("mapped_item.WR1"));
  EXPECT_TRUE(rules.count("workplan.WR1"));
  EXPECT_TRUE(rules.count("oriented_edge.WR1"));
}

// A report over several lines is one message, its category read from its head.
TEST(CheckRules, JsonJoinsAReportsLines) {
  const std::string fixture = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/scene_problems.stp";
  bool ok = false;
  const Json document = Json::Parse(RunCli({"check", "--format", "json", fixture}).out, ok);
  ASSERT_TRUE(ok);
  const Json* bug = nullptr;
  for (const Json& m : document["files"].items[0]["messages"].items)
    if (m["text"].text.rfind("Error: Program bug: ", 0) == 0) bug = &m;
  ASSERT_NE(bug, nullptr);
  EXPECT_EQ((*bug)["category"].number, 257);
  EXPECT_EQ((*bug)["severity"].text, "error");
  EXPECT_EQ((*bug)["line"].number, 23);
  EXPECT_NE((*bug)["text"].text.find("\n   The entity 'helix' is not defined\n   in the underlying EXPRESS schema."),
            std::string::npos)
      << (*bug)["text"].text;
}
