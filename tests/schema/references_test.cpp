// Typed references and typed aggregates of the binding.
#include "cct/schema.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "support/capture.h"

namespace cs = combined_schema;

TEST(TypedReferences, AnswerTheTargetsNameIdentifierAndSubtypes) {
  cs::curve_Reference curve;
  EXPECT_STREQ(curve.TypeName(), "curve");
  EXPECT_STREQ(curve.DeclaredName(), "curve");
  EXPECT_EQ(curve.TypeID(), cs::curve::EntityId());
  EXPECT_EQ(curve.Kind(), cct_KIND_ENTITY_REFERENCE);
  EXPECT_EQ(curve.AllowedTypes(), cs::curve::AllowedEntityIds());
  EXPECT_FALSE(curve.IsSet());
  static_assert(std::is_base_of_v<cct_EntityType, cs::cartesian_point_Reference>);
}

TEST(TypedReferences, AcceptSubtypeInstancesOnly) {
  cs::curve_Reference curve;
  cs::line line;           // a subtype of curve
  cs::cartesian_point point;  // not a curve
  EXPECT_NE(curve.TestCompatibility(&line), 0);
  EXPECT_EQ(curve.TestCompatibility(&point), 0);
}

TEST(TypedReferences, CountedAccessorTakesAReferenceAndArrowDoesNot) {
  auto* point = new cs::cartesian_point;
  cs::cartesian_point_Reference ref;
  ref.Set(point);  // unregistered: held directly, counted once
  ASSERT_EQ(point->ReferenceCount(), 1);

  cct_Instance* got = ref.Get();
  EXPECT_EQ(got, point);
  EXPECT_EQ(point->ReferenceCount(), 2);
  got->Release();

  EXPECT_EQ(ref->TypeID(), 3364);
  EXPECT_EQ(point->ReferenceCount(), 1);
  ref.Unset();  // gives the last count back, which deletes the unregistered instance
}

TEST(TypedReferences, ArrowOnAnUnsetReferenceLogsAndThrows) {
  cs::cartesian_point_Reference ref;
  CerrCapture log;
  EXPECT_THROW(ref.operator->(), cct_NullPointerDereferenceException);
  EXPECT_NE(log.Text().find("(ccType)cct_EntityType::operator ->\n--- cct_EntityType is unset"),
            std::string::npos);
  EXPECT_EQ(ref.Get(), nullptr);
}

TEST(TypedAggregates, ClassesFollowTheElementType) {
  static_assert(std::is_base_of_v<cct_AggregateType_1d, cs::cartesian_point_Aggregate>);
  static_assert(std::is_base_of_v<cct_AggregateType_2d, cs::b_spline_surface_control_points_list_Aggregate>);
  static_assert(std::is_base_of_v<cct_AggregateType_2d, cs::rational_b_spline_surface_weights_data_Aggregate>);
  cs::poly_loop loop;
  cs::cartesian_point point;
  cs::trimmed_curve trimmed;
  cs::b_spline_curve_with_knots curve;
  EXPECT_NE(dynamic_cast<cs::cartesian_point_Aggregate*>(&loop.polygon), nullptr);
  EXPECT_NE(dynamic_cast<cs::RealAggregate*>(&point.coordinates), nullptr);
  EXPECT_NE(dynamic_cast<cs::SelectAggregate*>(&trimmed.trim_1), nullptr);
  EXPECT_NE(dynamic_cast<cs::IntegerAggregate*>(&curve.knot_multiplicities), nullptr);
  EXPECT_NE(dynamic_cast<cs::RealAggregate*>(&curve.knots), nullptr);
}

TEST(TypedAggregates, BoundsComeFromTheDescriptor) {
  cs::cartesian_point point;  // coordinates: [1:3] OF length_measure
  EXPECT_EQ(point.coordinates.Count(), 1u);
  CerrCapture log;
  EXPECT_EQ(point.coordinates.SetDimensions(4), 1);  // upper bound plus one is admitted
  EXPECT_EQ(point.coordinates.SetDimensions(5), 0);
  EXPECT_NE(log.Text().find("Aggregate bounds are violated"), std::string::npos);
  cs::length_measure x;
  x.Set(2.5);
  point.coordinates.SetType(&x, 0);
  EXPECT_EQ(point.coordinates.ElementDescriptor()->elementTypeId, 1064);
}
