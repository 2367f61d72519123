#include "cct/selecttype.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cct/instance.h"
#include "support/capture.h"
#include "support/test_schema.h"

namespace {

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

/// A select that admits "on" through two enumerations: switch_state first, then power.
class Ambiguous : public cct_SelectType {
 public:
  const char* TypeName() const override { return "ambiguous"; }
  const long* AllowedTypes() const override {
    static const long ids[] = {8, test_schema::kSwitchState, test_schema::kPower, 0};
    return ids;
  }
};

}  // namespace

TEST(Select, HoldsSimpleValuesAndWritesDefinedTypesWithTheirType) {
  test_schema::Use();
  test_schema::Shape shape;
  EXPECT_EQ(P21(shape), "$");
  test_schema::Length length;
  length.Set(2.5);
  ASSERT_NE(shape.TestCompatibility(&length), 0);
  shape.Set(&length);
  EXPECT_EQ(shape.HeldTypeId(), test_schema::kLength);
  // Bare, it would read back as a plain REAL, which this select does not take.
  EXPECT_EQ(P21(shape), "LENGTH_MEASURE(2.5000000000)");
  cct_Type* got = shape.Get(0, 1);
  ASSERT_NE(got, nullptr);
  EXPECT_TRUE(got->IsTemporary());
  EXPECT_STREQ(got->TypeName(), "length_measure");
  cct_DisposeGot(got);

  test_schema::Label label;
  label.Set("it's");
  shape.Set(&label);
  EXPECT_EQ(P21(shape), "LABEL('it''s')");
  shape.Unset();
  EXPECT_EQ(P21(shape), "$");
}

TEST(Select, RefusesTypesNotListed) {
  test_schema::Use();
  CerrCapture log;
  test_schema::Shape shape;
  cct_IntegerType i;
  i.Set(3);
  EXPECT_EQ(shape.TestCompatibility(&i), 0);
  shape.Set(&i);
  EXPECT_FALSE(shape.IsSet());
  EXPECT_EQ(log.Text(), "\nError: TestCompatibility() failed: cctype : cct_SelectType::Set().");
  cct_SelectType any;  // no list: anything goes
  any.Set(&i);
  EXPECT_EQ(P21(any), "3");
}

TEST(Select, WholeNumberIsARealWhereTheSelectHasARealChoiceOnly) {
  struct RealOnly : cct_SelectType {
    const long* AllowedTypes() const override {
      static const long ids[] = {3, 0};
      return ids;
    }
  } realOnly;
  struct Both : cct_SelectType {
    const long* AllowedTypes() const override {
      static const long ids[] = {3, 2, 0};
      return ids;
    }
  } both;
  cct_IntegerType i;
  i.Set(3);
  CerrCapture log;
  realOnly.Set(&i);
  EXPECT_EQ(P21(realOnly), "3.0000000000");
  both.Set(&i);
  EXPECT_EQ(P21(both), "3");
  EXPECT_EQ(log.Text(), "");
}

TEST(Select, UntypedEnumerationLiteralIsResolved) {
  test_schema::Use();
  test_schema::Shape shape;
  cct_EnumType literal;
  literal.SetByName("LEFT");
  shape.Set(&literal);
  EXPECT_EQ(shape.HeldTypeId(), test_schema::kSide);
  EXPECT_EQ(P21(shape), ".LEFT.");

  cct_EnumType unknown;
  unknown.SetByName("sideways");
  shape.Set(&unknown);
  EXPECT_EQ(shape.HeldTypeId(), 8);
  EXPECT_EQ(P21(shape), ".SIDEWAYS.");
}

TEST(Select, AmbiguousLiteralTakesTheFirstListedEnumeration) {
  test_schema::Use();
  CerrCapture log;
  Ambiguous select;
  cct_EnumType literal;
  literal.SetByName("on");
  select.Set(&literal);
  EXPECT_EQ(select.HeldTypeId(), test_schema::kSwitchState);
  EXPECT_EQ(log.Text(),
            "\nWarning: Program bug:  : Ambiguous enumeration entry for select type ambiguous '.on.'. "
            "Taking enumeration type 'switch_state' as select entry.");
  EXPECT_EQ(P21(select), ".ON.");
}

TEST(Select, ReferenceBeforeTheInstanceIsRead) {
  test_schema::Use();
  cct_Scope scope;
  test_schema::Shape shape;
  cct_NamedReference placeholder(&scope, "12");
  EXPECT_EQ(shape.TestCompatibility(&placeholder), 1);
  shape.Set(&placeholder);
  ASSERT_NE(shape.GetEntry(), nullptr);
  EXPECT_EQ(P21(shape), "#12");  // never read: written back as it was

  cct_Type* made = shape.Get(1, 0);  // a temporary placeholder bound to the entry
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Kind(), cct_KIND_PLACEHOLDER);
  EXPECT_STREQ(static_cast<cct_Instance*>(made)->InstanceName(), "12");
  cct_DisposeGot(made);

  auto* twelve = new TestPoint;
  scope.RegisterName("12", twelve);
  EXPECT_EQ(shape.Get(0, 1), twelve);
  EXPECT_EQ(twelve->ReferenceCount(), 1);
  twelve->Release();
  scope.UpdateTranslationTable();
  EXPECT_EQ(P21(shape), "#12");
}

TEST(Select, NestedSelectIsFlattened) {
  test_schema::Use();
  test_schema::Shape inner, outer;
  test_schema::Side side;
  side.SetByName("neutral");
  inner.Set(&side);
  outer.Set(&inner);
  EXPECT_EQ(outer.HeldKind(), cct_KIND_ENUMERATION);
  EXPECT_EQ(outer.HeldTypeId(), test_schema::kSide);
  EXPECT_EQ(P21(outer), "SIDE(.NEUTRAL.)");
}

TEST(Select, DirectInstanceIsCountedAndReleased) {
  test_schema::Use();
  auto* point = new TestPoint;
  point->AddReference();
  {
    test_schema::Shape shape;
    shape.Set(point);
    EXPECT_EQ(point->ReferenceCount(), 2);
    shape.Set(point);  // the same instance again keeps one count
    EXPECT_EQ(point->ReferenceCount(), 2);
  }
  EXPECT_EQ(point->ReferenceCount(), 1);
  point->Release();
}

TEST(Select, CorrectnessOfAMissingReference) {
  test_schema::Use();
  CerrCapture log;
  cct_Scope scope;
  test_schema::Shape shape;
  cct_NamedReference placeholder(&scope, "4");
  shape.Set(&placeholder);
  EXPECT_EQ(shape.TestCorrectness(1), 0);
  EXPECT_EQ(log.Text(), "\nError: Correctness test failed : for SelectType shape. Instance 4 not found.");
  shape.TestCorrectness(0);
  EXPECT_FALSE(shape.Flags() & cct_FLAG_VISITED);
}

TEST(Select, IncompleteForwardReferenceIsReported) {
  CerrCapture log;
  cct_SelectType select;
  cct_Instance placeholder;
  placeholder.SetFlags(cct_FLAG_PLACEHOLDER);
  select.Set(&placeholder);
  EXPECT_FALSE(select.IsSet());
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: cctype : cct_SelectType::Set().\n   Incomplete forwardref.");
}

TEST(Select, LogicalAndBooleanValues) {
  cct_SelectType select;
  cct_LogicalType unknown;
  select.Set(&unknown);
  EXPECT_EQ(P21(select), ".U.");
  cct_BooleanType yes;
  yes.Set(1);
  select.Set(&yes);
  EXPECT_EQ(P21(select), ".T.");
}
