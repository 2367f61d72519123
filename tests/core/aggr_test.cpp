#include "cct/aggr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "cct/selecttype.h"
#include "support/capture.h"
#include "support/test_entities.h"
#include "support/test_schema.h"

namespace {

constexpr int32_t kUnbounded = cct_BaseTypeDescriptor::kUnbounded;

// Descriptors as the schema binding supplies them.
const cct_BaseTypeDescriptor kLengthList23 = {cct_KIND_REAL, 2, 3, "length_measure",
                                              test_schema::kLength};
const cct_BaseTypeDescriptor kPlainReals = {cct_KIND_REAL, 0, kUnbounded, nullptr, 0};
const cct_BaseTypeDescriptor kIntegers = {cct_KIND_INTEGER, 0, kUnbounded, nullptr, 0};
const cct_BaseTypeDescriptor kLabels = {cct_KIND_STRING, 1, kUnbounded, "label",
                                        test_schema::kLabel};
const cct_BaseTypeDescriptor kBinaries = {cct_KIND_BINARY, 0, kUnbounded, nullptr, 0};
const cct_BaseTypeDescriptor kSides = {cct_KIND_ENUMERATION, 0, kUnbounded, "side",
                                       test_schema::kSide};
const cct_BaseTypeDescriptor kShapes = {cct_KIND_SELECT, 0, kUnbounded, "shape",
                                        test_schema::kShape};
const cct_BaseTypeDescriptor kBooleans = {cct_KIND_BOOLEAN, 0, kUnbounded, nullptr, 0};
const cct_BaseTypeDescriptor kLogicals = {cct_KIND_LOGICAL, 0, kUnbounded, nullptr, 0};
const cct_BaseTypeDescriptor kPoints = {cct_KIND_ENTITY_REFERENCE, 0, kUnbounded, "test_point",
                                        test_schema::kPoint};
const cct_BaseTypeDescriptor kRealMatrix[2] = {{14, 0, kUnbounded, nullptr, 0},
                                               {cct_KIND_REAL, 0, kUnbounded, nullptr, 0}};
const cct_BaseTypeDescriptor kSmallMatrix[2] = {{14, 2, 3, nullptr, 0},
                                                {cct_KIND_INTEGER, 1, 4, nullptr, 0}};
const cct_BaseTypeDescriptor kLabelMatrix[2] = {{14, 0, kUnbounded, nullptr, 0},
                                                {cct_KIND_STRING, 0, kUnbounded, nullptr, 0}};
const cct_BaseTypeDescriptor kPointMatrix[2] = {
    {14, 0, kUnbounded, nullptr, 0},
    {cct_KIND_ENTITY_REFERENCE, 0, kUnbounded, "test_point", test_schema::kPoint}};

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

/// A parameter list as the reader builds it: an aggregate with the default descriptor whose
/// elements are the parsed value objects themselves, owned by the list.
class Parsed {
 public:
  Parsed() : list_(new cct_AggregateType_1d) {}

  Parsed& Add(cct_Type* v) {
    const unsigned long n = list_->Count();
    list_->SetDimensions(n + 1);
    list_->SetType(v, n);
    return *this;
  }
  Parsed& Real(double d) {
    auto* v = new cct_RealType;
    v->Set(d);
    return Add(v);
  }
  Parsed& Int(long i) {
    auto* v = new cct_IntegerType;
    v->Set(i);
    return Add(v);
  }
  Parsed& Str(const char* s) {
    auto* v = new cct_StringType;
    v->Set(s);
    return Add(v);
  }
  Parsed& Logical(long l) {
    auto* v = new cct_LogicalType;
    v->Set(l);
    return Add(v);
  }
  Parsed& Bool(long b) {
    auto* v = new cct_BooleanType;
    v->Set(b);
    return Add(v);
  }
  /// An untyped enumeration literal such as .RIGHT.
  Parsed& Enum(const char* text) {
    auto* v = new cct_EnumType;
    v->SetByName(text);
    return Add(v);
  }
  /// A reference #name met before the instance is read.
  Parsed& Ref(const char* name, cct_Scope& scope) {
    return Add(new cct_NamedReference(&scope, name));
  }
  Parsed& List(Parsed& inner) { return Add(inner.list_.release()); }

  cct_AggregateType_1d& operator*() { return *list_; }
  cct_AggregateType_1d* operator->() { return list_.get(); }
  cct_AggregateType_1d* get() { return list_.get(); }

 private:
  std::unique_ptr<cct_AggregateType_1d> list_;
};

/// A test_point with its mandatory attributes filled, so that checking it reports nothing.
TestPoint* NewPoint() {
  auto* p = new TestPoint;
  p->name.Set("p");
  p->x.Set(0.0);
  p->y.Set(0.0);
  return p;
}

TestCount* NewCount() {
  auto* c = new TestCount;
  c->name.Set("c");
  c->count.Set(1);
  return c;
}

/// Restores the process-wide compatibility mode.
class ModeGuard {
 public:
  explicit ModeGuard(int mode) : saved_(CompatibilityMode) { CompatibilityMode = mode; }
  ~ModeGuard() { CompatibilityMode = saved_; }

 private:
  int saved_;
};

}  // namespace

// ---- construction and sizing ------------------------------------------------------------------

TEST(Aggregate, ConstructionSizesToTheLowerBoundAndStaysUnset) {
  cct_AggregateType_1d bounded(&kLengthList23);
  EXPECT_EQ(bounded.Count(), 2u);
  EXPECT_EQ(bounded.SizeOfElement(), sizeof(double));
  EXPECT_FALSE(bounded.IsSet());
  EXPECT_EQ(bounded.BaseType(), &kLengthList23);

  cct_AggregateType_1d unbounded(&kLabels);  // lower bound 1 but no upper bound
  EXPECT_EQ(unbounded.Count(), 0u);

  cct_AggregateType_1d parsed;
  EXPECT_EQ(parsed.BaseType(), &cct_DefaultDescriptor1d);
  EXPECT_STREQ(parsed.TypeName(), "AGGREGATE");
  EXPECT_EQ(parsed.TypeID(), 100);
  EXPECT_EQ(parsed.Kind(), cct_KIND_AGGREGATE);
  EXPECT_EQ(parsed.Dimensions(), 1);

  cct_AggregateType_2d matrix(kSmallMatrix);
  EXPECT_EQ(matrix.Dimensions(), 2);
  EXPECT_EQ(matrix.Rows(), 2u);
  EXPECT_EQ(matrix.Columns(), 1u);
  EXPECT_EQ(matrix.SizeOfElement(), 4u);
  EXPECT_FALSE(matrix.IsSet());
  cct_AggregateType_2d open;
  EXPECT_EQ(open.BaseType(), cct_DefaultDescriptor2d);
  EXPECT_EQ(open.Rows(), 0u);
}

TEST(Aggregate, TheDescriptorOutlivesEveryChangeOfTheValue) {
  // The descriptor shares its slot with nothing an aggregate stores: setting, resizing,
  // copying and unsetting leave it as constructed.
  cct_AggregateType_1d list(&kLengthList23);
  list.SetDimensions(3);
  cct_RealType real;
  real.Set(1.5);
  list.SetElement(&real, 0);
  cct_AggregateType_1d other(&kLengthList23);
  other.Copy(&list);
  list.Unset();
  EXPECT_EQ(list.BaseType(), &kLengthList23);
  EXPECT_EQ(other.BaseType(), &kLengthList23);
  cct_AggregateType_2d matrix(kSmallMatrix);
  matrix.SetDimensions(2, 1);
  matrix.Unset();
  EXPECT_EQ(matrix.BaseType(), kSmallMatrix);
  EXPECT_EQ(matrix.ElementDescriptor(), kSmallMatrix + 1);
}

TEST(Aggregate, BaseTypeWithNullIsReported) {
  CerrCapture log;
  cct_AggregateType_1d list(&kIntegers);
  list.BaseType(nullptr);
  EXPECT_EQ(list.BaseType(), &kIntegers);
  cct_AggregateType_2d matrix(kRealMatrix);
  matrix.BaseType(nullptr);
  EXPECT_EQ(matrix.BaseType(), kRealMatrix);
  EXPECT_EQ(log.Text(),
            "\nError: Function called with NULL in parameter: aggr : "
            "cct_AggregateType_1d::BaseType()."
            "\nError: Function called with NULL in parameter: aggr : "
            "cct_AggregateType_2d::BaseType().");
}

TEST(Aggregate, SetDimensionsAdmitsOneMoreThanTheUpperBound) {
  const cct_BaseTypeDescriptor oneToTwo = {cct_KIND_INTEGER, 1, 2, nullptr, 0};
  cct_AggregateType_1d list(&oneToTwo);
  EXPECT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.SetDimensions(3), 1);
  EXPECT_EQ(list.Count(), 3u);
  CerrCapture log;
  EXPECT_EQ(list.SetDimensions(4), 0);
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: aggr\n--- : "
            "cct_AggregateType_1d::SetDimensions().");
  EXPECT_EQ(list.SetDimensions(3), 1);  // the current count: nothing happens
  EXPECT_EQ(log.Text(), "");
}

TEST(Aggregate, ResizingKeepsTheLeadingElements) {
  cct_AggregateType_1d list(&kIntegers);
  list.SetDimensions(3);
  for (unsigned long i = 0; i < 3; ++i) {
    cct_IntegerType v;
    v.Set(static_cast<long>(10 * (i + 1)));
    list.SetType(&v, i);
  }
  list.SetDimensions(5);
  EXPECT_EQ(P21(list), "(10,20,30,0,0)");
  {
    CerrCapture log;
    list.SetDimensions(2);
    EXPECT_EQ(log.Text(),
              "\nWarning: Aggregate bounds are violated: at\n   : "
              "cct_NativeAggregate_1d::CopyAggregate()\n   The source aggregate is larger than the "
              "destination aggregate.\n   Clipping the source.");
  }
  EXPECT_EQ(P21(list), "(10,20)");
  // A zero count keeps the array as it is; re-applying an unbounded descriptor must not wipe it.
  EXPECT_EQ(list.SetDimensions(0), 1);
  EXPECT_EQ(P21(list), "(10,20)");
  list.BaseType(&kIntegers);
  EXPECT_EQ(P21(list), "(10,20)");
}

TEST(Aggregate, StoringPastTheCountIsFatal) {
  CerrCapture log;
  cct_AggregateType_1d list(&kIntegers);
  cct_IntegerType v;
  v.Set(1);
  EXPECT_THROW(list.SetType(&v, 0), cct_GenericException);
  EXPECT_NE(log.Text().find("access error with index <0>."), std::string::npos);
  EXPECT_FALSE(list.IsSet());
}

// ---- reading parameter lists -------------------------------------------------------------------

TEST(Aggregate, BoundedRealListReadAndWritten) {
  test_schema::Use();
  CerrCapture log;
  Parsed p;
  p.Real(1).Real(2).Real(3);
  cct_AggregateType_1d list(&kLengthList23);
  EXPECT_EQ(list.TestCompatibility(p.get()), 1);
  list.ProcessParameter(p.get());
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_TRUE(list.IsSet());
  EXPECT_TRUE(list.IsModified());
  EXPECT_EQ(P21(list), "(1.0000000000,2.0000000000,3.0000000000)");

  cct_Type* e = list.ElementObject(2);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->TypeID(), test_schema::kLength);
  EXPECT_TRUE(e->IsTemporary());
  EXPECT_DOUBLE_EQ(e->GetReal(), 3.0);
  delete e;
  EXPECT_EQ(log.Text(), "");
}

TEST(Aggregate, ListsPastTheUpperBoundAreKeptWithAWarning) {
  test_schema::Use();
  CerrCapture log;
  Parsed four;
  four.Real(1).Real(2).Real(3).Real(4);
  cct_AggregateType_1d list(&kLengthList23);
  list.ProcessParameter(four.get());
  EXPECT_EQ(list.Count(), 4u);
  EXPECT_EQ(P21(list), "(1.0000000000,2.0000000000,3.0000000000,4.0000000000)");
  // Outside a file read the warning has no line to name.
  EXPECT_EQ(log.Take(),
            "\nWarning: Aggregate bounds are violated: aggr : "
            "The list has 4 elements; 2 to 3 are expected.");

  Parsed five;
  five.Real(5).Real(6).Real(7).Real(8).Real(9);
  cct_AggregateType_1d fresh(&kLengthList23);
  fresh.ProcessParameter(five.get());
  EXPECT_EQ(log.Take(),
            "\nWarning: Aggregate bounds are violated: aggr : "
            "The list has 5 elements; 2 to 3 are expected.");
  EXPECT_TRUE(fresh.IsSet());
  EXPECT_EQ(P21(fresh), "(5.0000000000,6.0000000000,7.0000000000,8.0000000000,9.0000000000)");

  // Growth by the program is still bounded by the upper bound plus one.
  EXPECT_EQ(fresh.SetDimensions(6), 0);
  EXPECT_EQ(fresh.Count(), 5u);
}

TEST(Aggregate, AListReadAgainReplacesTheWholeValue) {
  Parsed three;
  three.Int(1).Int(2).Int(3);
  Parsed one;
  one.Int(9);
  cct_AggregateType_1d list(&kIntegers);
  list.ProcessParameter(three.get());
  list.ProcessParameter(one.get());
  EXPECT_EQ(P21(list), "(9)");
}

TEST(Aggregate, IncompatibleElementIsRefusedAndZeroedWholeNumbersAreReals) {
  test_schema::Use();
  cct_AggregateType_1d list(&kLengthList23);
  cct_RealType r;
  r.Set(7.5);
  list.SetType(&r, 0);
  CerrCapture log;
  cct_StringType text;
  text.Set("x");
  list.SetType(&text, 0);
  EXPECT_EQ(log.Take(),
            "\nError: TestCompatibility() failed: (aggr) cct_AggregateType_1d::SetType() --- "
            "Can not insert a STRING into an aggregate that expects length_measure.");
  EXPECT_EQ(P21(list), "(0.0000000000,0.0000000000)");

  // Writers put whole numbers into lists of reals: they are reals, without a word.
  Parsed mixed;
  mixed.Int(1).Real(2);
  list.ProcessParameter(mixed.get());
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(P21(list), "(1.0000000000,2.0000000000)");

  // Without an element type name the report names nothing.
  cct_AggregateType_1d plain(&kPlainReals);
  plain.SetDimensions(1);
  plain.SetType(&text, 0);
  EXPECT_EQ(log.Text(),
            "\nError: TestCompatibility() failed: (aggr) cct_AggregateType_1d::SetType() --- "
            "Can not insert a STRING into an aggregate that expects .");
}

TEST(Aggregate, ProcessParameterRefusesWrongShapes) {
  cct_AggregateType_1d list(&kIntegers);
  Parsed p;
  p.Int(3);
  list.ProcessParameter(p.get());

  CerrCapture log;
  cct_RealType r;
  r.Set(1);
  list.ProcessParameter(&r);
  EXPECT_EQ(log.Take(), "\nError: AggregateType can not handle: REAL.");
  cct_AggregateType_2d matrix(kRealMatrix);
  list.ProcessParameter(&matrix);
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: aggr\n--- : cct_AggregateType_1d::ProcessParameter()"
            "\n    The parameter must be an 1-dimensional AggregateType.");
  EXPECT_EQ(P21(list), "(3)");
}

TEST(Aggregate, EmptyAggregatesWriteEmptyParenthesesUnsetOnesADollar) {
  // "()" and "$" in a file are different values, and each is written back as it was read.
  cct_AggregateType_1d list(&kIntegers);
  EXPECT_EQ(P21(list), "$");
  EXPECT_FALSE(list.IsSet());
  Parsed empty;
  list.ProcessParameter(empty.get());
  EXPECT_TRUE(list.IsSet());  // "()" in a file is a value
  EXPECT_EQ(P21(list), "()");
  cct_AggregateType_2d matrix(kRealMatrix);
  EXPECT_EQ(P21(matrix), "$");
  Parsed noRows;
  matrix.ProcessParameter(noRows.get());
  EXPECT_EQ(P21(matrix), "()");
}

// A list read as a whole keeps exactly its elements whatever its bounds say, and a count they do
// not allow is told once. (Read from a file the warning names the file and line instead.)
TEST(Aggregate, ListsKeepTheirCountAndReportOneOutsideTheBounds) {
  test_schema::Use();
  const cct_BaseTypeDescriptor sides12 = {cct_KIND_ENUMERATION, 1, 2, "side", test_schema::kSide};
  const cct_BaseTypeDescriptor exactlyThree = {cct_KIND_INTEGER, 3, 3, nullptr, 0};
  const cct_BaseTypeDescriptor atMostOne = {cct_KIND_INTEGER, 0, 1, nullptr, 0};
  const std::string warn = "\nWarning: Aggregate bounds are violated: aggr : ";
  struct Case {
    const char* what;
    const cct_BaseTypeDescriptor* d;
    std::function<void(Parsed&)> fill;
    const char* written;
    std::string log;
  };
  const Case cases[] = {
      {"one REAL of [2:3]", &kLengthList23, [](Parsed& p) { p.Real(1); }, "(1.0000000000)",
       warn + "The list has 1 element; 2 to 3 are expected."},
      {"no REAL of [2:3]", &kLengthList23, [](Parsed&) {}, "()",
       warn + "The list has 0 elements; 2 to 3 are expected."},
      {"two REALs of [2:3]", &kLengthList23, [](Parsed& p) { p.Real(1).Real(0); },
       "(1.0000000000,0.0000000000)", ""},
      {"three REALs of [2:3]", &kLengthList23, [](Parsed& p) { p.Real(1).Real(2).Real(3); },
       "(1.0000000000,2.0000000000,3.0000000000)", ""},
      {"four REALs of [2:3]", &kLengthList23,
       [](Parsed& p) { p.Real(1).Real(2).Real(3).Real(4); },
       "(1.0000000000,2.0000000000,3.0000000000,4.0000000000)",
       warn + "The list has 4 elements; 2 to 3 are expected."},
      {"seven REALs of [2:3]", &kLengthList23,
       [](Parsed& p) {
         for (int i = 1; i <= 7; ++i) p.Real(i);
       },
       "(1.0000000000,2.0000000000,3.0000000000,4.0000000000,5.0000000000,6.0000000000,"
       "7.0000000000)",
       warn + "The list has 7 elements; 2 to 3 are expected."},
      {"three enumerations of [1:2]", &sides12,
       [](Parsed& p) { p.Enum("left").Enum("right").Enum("neutral"); },
       "(.LEFT.,.RIGHT.,.NEUTRAL.)", warn + "The list has 3 elements; 1 to 2 are expected."},
      {"no label of [1:?]", &kLabels, [](Parsed&) {}, "()",
       warn + "The list has 0 elements; at least 1 is expected."},
      {"two labels of [1:?]", &kLabels, [](Parsed& p) { p.Str("a").Str("b"); }, "('a','b')", ""},
      {"two INTEGERs of [3:3]", &exactlyThree, [](Parsed& p) { p.Int(1).Int(2); }, "(1,2)",
       warn + "The list has 2 elements; 3 are expected."},
      {"two INTEGERs of [0:1]", &atMostOne, [](Parsed& p) { p.Int(1).Int(2); }, "(1,2)",
       warn + "The list has 2 elements; at most 1 is expected."},
  };
  for (const Case& c : cases) {
    CerrCapture log;
    Parsed p;
    c.fill(p);
    cct_AggregateType_1d list(c.d);
    list.ProcessParameter(p.get());
    EXPECT_EQ(list.Count(), p->Count()) << c.what;
    EXPECT_TRUE(list.IsSet()) << c.what;
    EXPECT_EQ(P21(list), c.written) << c.what;
    EXPECT_EQ(log.Text(), c.log) << c.what;
  }
}

TEST(Aggregate, UnsetClearsAndMarksUnset) {
  Parsed p;
  p.Int(1).Int(2);
  cct_AggregateType_1d list(&kIntegers);
  list.ProcessParameter(p.get());
  list.Unset();
  EXPECT_FALSE(list.IsSet());
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(P21(list), "$");
  list.ProcessParameter(p.get());
  EXPECT_EQ(P21(list), "(1,2)");
}

// ---- element kinds -----------------------------------------------------------------------------

TEST(Aggregate, StringsAreCopiedOwnedAndEscaped) {
  test_schema::Use();
  cct_AggregateType_1d list(&kLabels);
  {
    Parsed p;
    p.Str("a").Str("it's");
    list.ProcessParameter(p.get());
  }  // the parsed strings are gone; the aggregate keeps its own copies
  EXPECT_EQ(P21(list), "('a','it''s')");
  cct_Type* e = list.ElementObject(1);
  EXPECT_EQ(e->TypeID(), test_schema::kLabel);
  delete e;

  cct_StringType replacement;
  replacement.Set("b");
  list.SetType(&replacement, 0);  // gives back the old text
  list.SetTextElement(cct_CopyText("c"), 1);
  EXPECT_EQ(P21(list), "('b','c')");
  {
    CerrCapture log;
    list.SetDimensions(1);  // shrinking frees the dropped text
  }
  EXPECT_EQ(P21(list), "('b')");
  list.SetDimensions(2);  // a text never stored is an unset value
  EXPECT_EQ(P21(list), "('b',$)");

  cct_AggregateType_1d binaries(&kBinaries);
  binaries.SetDimensions(1);
  cct_BinaryType bits;
  bits.Set("0F");
  binaries.SetType(&bits, 0);
  EXPECT_EQ(P21(binaries), "(\"0F\")");
}

TEST(Aggregate, EnumerationsStoreTheIndex) {
  test_schema::Use();
  cct_AggregateType_1d list(&kSides);
  list.SetDimensions(3);
  test_schema::Side right;
  right.SetByName("right");
  list.SetType(&right, 0);
  EXPECT_EQ(*static_cast<const int32_t*>(list.Element(0)), 1);

  // Untyped literals, as the parser hands them, are resolved against the element's enumeration.
  Parsed p;
  p.Enum("left").Enum("NEUTRAL").Enum("right");
  list.ProcessParameter(p.get());
  EXPECT_EQ(*static_cast<const int32_t*>(list.Element(0)), 0);
  EXPECT_EQ(*static_cast<const int32_t*>(list.Element(1)), 2);
  EXPECT_EQ(P21(list), "(.LEFT.,.NEUTRAL.,.RIGHT.)");
  cct_Type* e = list.ElementObject(2);
  EXPECT_EQ(e->TypeID(), test_schema::kSide);
  EXPECT_TRUE(e->IsTemporary());
  delete e;

  // A literal the enumeration does not know is reported and stored as no value.
  CerrCapture log;
  Parsed wrong;
  wrong.Enum("middle");
  list.ProcessParameter(wrong.get());
  EXPECT_NE(log.Take().find("Warning: Invalid assignment to EnumType"), std::string::npos);
  EXPECT_EQ(*static_cast<const int32_t*>(list.Element(0)), -1);
  EXPECT_EQ(P21(list), "($)");
}

TEST(Aggregate, SelectsAreOwnedValueObjects) {
  test_schema::Use();
  cct_Scope scope;
  TestPoint* three = NewPoint();
  scope.RegisterName("3", three);

  cct_AggregateType_1d list(&kShapes);
  list.SetDimensions(4);
  test_schema::Length length;
  length.Set(2.5);
  test_schema::Side left;
  left.SetByName("left");
  list.SetType(&length, 0);
  list.SetType(&left, 1);
  list.SetSelectElement(three, 3);
  EXPECT_EQ(P21(list), "(LENGTH_MEASURE(2.5000000000),SIDE(.LEFT.),$,#3)");

  cct_Type* e = list.ElementObject(0);  // the stored select itself
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->TypeID(), test_schema::kShape);
  EXPECT_FALSE(e->IsTemporary());
  EXPECT_EQ(static_cast<cct_SelectType*>(e)->HeldTypeId(), test_schema::kLength);
  EXPECT_EQ(list.ElementObject(2), nullptr);

  list.SetType(&left, 0);  // replacing destroys the old select (checked by the sanitizers)
  EXPECT_EQ(P21(list), "(SIDE(.LEFT.),SIDE(.LEFT.),$,#3)");

  // Copying builds new selects from the source's: both aggregates own their own.
  cct_AggregateType_1d copy(&kShapes);
  copy.Copy(&list);
  list.Unset();
  EXPECT_EQ(P21(copy), "(SIDE(.LEFT.),SIDE(.LEFT.),$,#3)");
}

TEST(Aggregate, BooleansAndLogicalsTakeOneByte) {
  Parsed p;
  p.Bool(1).Bool(0);
  cct_AggregateType_1d booleans(&kBooleans);
  booleans.ProcessParameter(p.get());
  EXPECT_EQ(P21(booleans), "(.T.,.F.)");
  EXPECT_EQ(booleans.SizeOfElement(), 1u);

  Parsed q;
  q.Logical(-1).Logical(1).Logical(0);
  cct_AggregateType_1d logicals(&kLogicals);
  logicals.ProcessParameter(q.get());
  EXPECT_EQ(P21(logicals), "(.U.,.T.,.F.)");
  EXPECT_EQ(*static_cast<const int8_t*>(logicals.Element(0)), -1);

  CerrCapture log;
  cct_LogicalType unknown;
  booleans.SetType(&unknown, 1);
  EXPECT_EQ(log.Text(),
            "\nError: TestCompatibility() failed: (aggr) cct_AggregateType_1d::SetType() --- "
            "Can not insert a LOGICAL into an aggregate that expects .");
  EXPECT_EQ(P21(booleans), "(.T.,.F.)");  // the zeroed byte reads as false
}

TEST(Aggregate, NullStoreZeroesTheElement) {
  cct_AggregateType_1d list(&kLabels);
  list.SetDimensions(2);
  cct_StringType s;
  s.Set("x");
  list.SetType(&s, 0);
  list.SetType(&s, 1);
  list.SetType(nullptr, 0);
  list.SetElement(nullptr, 1);
  EXPECT_EQ(P21(list), "($,$)");
  EXPECT_TRUE(list.IsSet());
}

// ---- compatibility -----------------------------------------------------------------------------

TEST(Aggregate, CompatibilityByElementKindAndMode) {
  test_schema::Use();
  cct_AggregateType_1d lengths(&kLengthList23);
  test_schema::Length length;
  cct_RealType real;
  cct_IntegerType integer;
  cct_AggregateType_1d other;
  EXPECT_EQ(lengths.TestCompatibility(&other), 1);
  EXPECT_EQ(lengths.TestCompatibility(&real), 1);
  EXPECT_EQ(lengths.TestCompatibility(&integer), 1);  // a whole number is a real too
  {
    ModeGuard strict(0);
    EXPECT_EQ(lengths.TestCompatibility(&length), 1);
    EXPECT_EQ(lengths.TestCompatibility(&real), 0);  // a plain REAL is not a length_measure
    EXPECT_EQ(lengths.TestCompatibility(&other), 0);
  }
  {
    ModeGuard loose(1);
    EXPECT_EQ(lengths.TestCompatibility(&length), 1);
    EXPECT_EQ(lengths.TestCompatibility(&real), -1);
    EXPECT_EQ(lengths.TestCompatibility(&integer), -1);
  }

  cct_AggregateType_1d parsed;  // anything goes, but never by name
  EXPECT_EQ(parsed.TestCompatibility(&integer), 1);
  {
    ModeGuard strict(0);
    EXPECT_EQ(parsed.TestCompatibility(&integer), 0);
  }
  cct_AggregateType_1d shapes(&kShapes);
  EXPECT_EQ(shapes.TestCompatibility(&integer), 1);
}

TEST(Aggregate, CompatibilityOfReferenceElements) {
  test_schema::Use();
  cct_AggregateType_1d points(&kPoints);
  TestPoint point;
  TestCount count;
  cct_Instance placeholder;
  placeholder.SetFlags(cct_FLAG_PLACEHOLDER);
  cct_IntegerType integer;
  EXPECT_EQ(points.TestCompatibility(&point), 1);
  EXPECT_EQ(points.TestCompatibility(&count), 0);
  EXPECT_EQ(points.TestCompatibility(&placeholder), 1);
  EXPECT_EQ(points.TestCompatibility(&integer), 0);
  {
    ModeGuard strict(0);
    EXPECT_EQ(points.TestCompatibility(&placeholder), 0);
    EXPECT_EQ(points.TestCompatibility(&point), 1);
  }
  {
    ModeGuard loose(1);
    EXPECT_EQ(points.TestCompatibility(&placeholder), -1);
  }

  CerrCapture log;
  test_schema::PointReference reference;
  EXPECT_EQ(points.TestCompatibility(&reference), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Message: (aggr) cct_AggregateType::TestCompatibility() called whith "
            "EntityType.");
  EXPECT_EQ(points.TestCompatibility(nullptr), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: aggr\n   : "
            "cct_AggregateType::TestCompatibility(const cct_Type *).");
}

// ---- references --------------------------------------------------------------------------------

TEST(AggregateReferences, ForwardReferencesResolveOnceRead) {
  test_schema::Use();
  CerrCapture log;
  cct_Scope scope;
  cct_AggregateType_1d points(&kPoints);
  {
    Parsed p;
    p.Ref("3", scope).Ref("4", scope);
    points.ProcessParameter(p.get());
  }
  EXPECT_EQ(points.Count(), 2u);
  EXPECT_TRUE(points.HasFlags(cct_FLAG_VIA_ENTRY));
  EXPECT_EQ(*static_cast<cct_Scope::Entry* const*>(points.Element(0)), scope.FindEntry("3", 0));
  EXPECT_EQ(P21(points), "(#3,#4)");  // written back as read

  cct_Type* e = points.ElementObject(1);  // a temporary placeholder bound to the entry
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Kind(), cct_KIND_PLACEHOLDER);
  EXPECT_TRUE(e->IsTemporary());
  EXPECT_STREQ(static_cast<cct_Instance*>(e)->InstanceName(), "4");
  delete e;

  TestPoint* three = NewPoint();
  TestPoint* four = NewPoint();
  scope.RegisterName("3", three);
  scope.RegisterName("4", four);
  EXPECT_EQ(points.ElementObject(0), three);
  EXPECT_EQ(points.TestCorrectness(1), 1);
  EXPECT_TRUE(three->Flags() & cct_FLAG_VISITED);
  EXPECT_EQ(points.TestCorrectness(0), 1);
  EXPECT_FALSE(three->Flags() & cct_FLAG_VISITED);
  EXPECT_FALSE(points.Flags() & cct_FLAG_VISITED);
  EXPECT_EQ(three->ReferenceCount(), 0);
  EXPECT_EQ(four->ReferenceCount(), 0);
  EXPECT_EQ(P21(points), "(#3,#4)");
  EXPECT_EQ(log.Text(), "");
}

TEST(AggregateReferences, MissingAndWrongEntriesAreReported) {
  test_schema::Use();
  cct_Scope scope;
  cct_AggregateType_1d points(&kPoints);
  Parsed p;
  p.Ref("3", scope).Ref("4", scope);
  points.ProcessParameter(p.get());
  scope.RegisterName("3", NewPoint());

  CerrCapture log;
  EXPECT_EQ(points.TestCorrectness(1), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Correctness test failed : No entry in 1d-Aggregate AGGREGATE on index [1].");
  points.TestCorrectness(0);

  scope.RegisterName("4", NewCount());
  EXPECT_EQ(points.TestCorrectness(1), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Correctness test failed : Wrong entry in 1d-Aggregate AGGREGATE on index [ "
            "1].");
  points.TestCorrectness(0);
  EXPECT_EQ(scope.FindEntry("4", 0)->instance->ReferenceCount(), 0);
}

TEST(AggregateReferences, NonReferenceAggregatesAreAlwaysCorrect) {
  cct_AggregateType_1d list(&kIntegers);
  EXPECT_EQ(list.TestCorrectness(1), 1);
  cct_AggregateType_1d points(&kPoints);
  points.SetDimensions(1);  // unset: not checked
  EXPECT_EQ(points.TestCorrectness(1), 1);
}

TEST(AggregateReferences, MixingDirectAndRegisteredIsRefused) {
  test_schema::Use();
  cct_Scope scope;
  TestPoint* three = NewPoint();
  scope.RegisterName("3", three);
  TestPoint loose;
  loose.AddReference();  // held by this test

  cct_AggregateType_1d points(&kPoints);
  points.SetDimensions(3);
  points._SetEntity(three, 0);
  CerrCapture log;
  points.SetType(&loose, 1);
  EXPECT_EQ(log.Take(), "\nError: Program bug: aggr   : cct_AggregateType_1d::_SetEntity().");
  EXPECT_EQ(*static_cast<void* const*>(points.Element(1)), nullptr);
  EXPECT_EQ(loose.ReferenceCount(), 1);
  points._SetEntity(three, 2);
  EXPECT_EQ(P21(points), "(#3,$,#3)");

  // The other way round: the first direct instance fixes the form.
  cct_AggregateType_1d direct(&kPoints);
  direct.SetDimensions(2);
  direct.SetType(&loose, 0);
  EXPECT_EQ(loose.ReferenceCount(), 2);
  direct.SetType(three, 1);
  EXPECT_EQ(log.Take(), "\nError: Program bug: aggr   : cct_AggregateType_1d::_SetEntity().");
  direct.Unset();
  EXPECT_EQ(loose.ReferenceCount(), 1);
}

TEST(AggregateReferences, DirectInstancesAreCountedPerElement) {
  test_schema::Use();
  TestPoint* a = NewPoint();
  TestPoint* b = NewPoint();
  a->AddReference();
  b->AddReference();
  {
    cct_AggregateType_1d points(&kPoints);
    points.SetDimensions(2);
    points.SetType(a, 0);
    points.SetType(a, 1);
    EXPECT_EQ(a->ReferenceCount(), 3);
    EXPECT_FALSE(points.HasFlags(cct_FLAG_VIA_ENTRY));
    EXPECT_EQ(points.ElementObject(0), a);

    cct_Instance* got = points.ElementInstance(points.Element(0));
    EXPECT_EQ(got, a);
    EXPECT_EQ(a->ReferenceCount(), 4);
    got->Release();

    points.SetType(b, 1);  // the overwritten element gives its count back
    EXPECT_EQ(a->ReferenceCount(), 2);
    EXPECT_EQ(b->ReferenceCount(), 2);
    points.SetType(a, 1);
    EXPECT_EQ(points.TestCorrectness(1), 1);
    points.TestCorrectness(0);
    EXPECT_EQ(a->ReferenceCount(), 3);
    EXPECT_EQ(b->ReferenceCount(), 1);

    cct_AggregateType_1d copy(&kPoints);
    copy.Copy(&points);
    EXPECT_EQ(a->ReferenceCount(), 5);
    CerrCapture log;
    points.SetDimensions(1);  // shrinking gives back the dropped element's count
    EXPECT_EQ(a->ReferenceCount(), 4);
  }
  EXPECT_EQ(a->ReferenceCount(), 1);
  a->Release();  // the last count: the instance goes
  b->Release();
}

TEST(AggregateReferences, EntityReferencesAreStoredByTheirTarget) {
  test_schema::Use();
  cct_Scope scope;
  TestPoint* three = NewPoint();
  scope.RegisterName("3", three);
  test_schema::PointReference registered;
  registered.Set(three);

  CerrCapture log;
  cct_AggregateType_1d points(&kPoints);
  points.SetDimensions(2);
  points._SetEntity(&registered, 0);
  EXPECT_EQ(log.Take(), "");
  EXPECT_TRUE(points.HasFlags(cct_FLAG_VIA_ENTRY));
  EXPECT_EQ(*static_cast<cct_Scope::Entry* const*>(points.Element(0)), scope.FindEntry("3", 0));

  test_schema::PointReference unset;
  points._SetEntity(&unset, 1);
  EXPECT_EQ(log.Take(), "\nError: Program bug: aggr   : cct_AggregateType_1d::_SetEntity().");
  EXPECT_EQ(P21(points), "(#3,$)");

  // A reference holding an unregistered instance hands over the instance itself.
  TestPoint loose;
  loose.AddReference();
  test_schema::PointReference direct;
  direct.Set(&loose);
  EXPECT_EQ(loose.ReferenceCount(), 2);
  cct_AggregateType_1d held(&kPoints);
  held.SetDimensions(1);
  held._SetEntity(&direct, 0);
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(held.ElementObject(0), &loose);
  EXPECT_EQ(loose.ReferenceCount(), 3);
  held.Unset();
  direct.Set(nullptr);
  EXPECT_EQ(loose.ReferenceCount(), 1);

  points._SetEntity(nullptr, 1);
  EXPECT_EQ(log.Text(),
            "\nError: Function called with NULL in parameter: aggr\n   : "
            "cct_AggregateType::PreProcessEntity()."
            "\nError: Program bug: aggr   : cct_AggregateType_1d::_SetEntity().");
}

TEST(AggregateReferences, CopySharesEntries) {
  test_schema::Use();
  cct_Scope scope;
  cct_AggregateType_1d points(&kPoints);
  Parsed p;
  p.Ref("7", scope).Ref("8", scope);
  points.ProcessParameter(p.get());
  scope.RegisterName("7", NewPoint());

  cct_AggregateType_1d copy(&kPoints);
  copy.Copy(&points);  // #8 is copied through a temporary placeholder
  EXPECT_TRUE(copy.HasFlags(cct_FLAG_VIA_ENTRY));
  EXPECT_EQ(*static_cast<cct_Scope::Entry* const*>(copy.Element(1)), scope.FindEntry("8", 0));
  EXPECT_EQ(P21(copy), "(#7,#8)");
}

TEST(AggregateReferences, ListReadAsEmptyStillTakesEitherForm) {
  test_schema::Use();
  cct_Scope scope;
  TestPoint* three = NewPoint();
  scope.RegisterName("3", three);
  Parsed empty;

  // "()" makes the attribute set, but no reference has fixed the form yet.
  cct_AggregateType_1d registered(&kPoints);
  registered.ProcessParameter(empty.get());
  ASSERT_TRUE(registered.IsSet());
  registered.SetDimensions(1);
  CerrCapture log;
  registered._SetEntity(three, 0);
  EXPECT_EQ(P21(registered), "(#3)");

  TestPoint loose;
  loose.AddReference();
  cct_AggregateType_1d direct(&kPoints);
  direct.ProcessParameter(empty.get());
  direct.SetDimensions(1);
  direct.SetType(three, 0);
  direct.Unset();  // back to no form at all
  direct.SetDimensions(1);
  direct.SetType(&loose, 0);
  EXPECT_EQ(direct.ElementObject(0), &loose);
  EXPECT_EQ(log.Text(), "");
  direct.Unset();
  EXPECT_EQ(loose.ReferenceCount(), 1);
}

// ---- parser lists ------------------------------------------------------------------------------

TEST(ParserList, OwnsItsParametersButNotInstances) {
  test_schema::Use();
  cct_Scope scope;
  TestPoint* nine = NewPoint();
  scope.RegisterName("9", nine);
  {
    Parsed inner;
    inner.Int(2).Int(3);
    Parsed p;
    p.Int(1).Str("a").List(inner).Add(nine).Real(0.5).Enum("on");
    EXPECT_EQ(P21(*p), "(1,'a',(2,3),#9,0.5000000000,.ON.)");
    p.Ref("7", scope);  // a placeholder made by the parser belongs to the list as well
    cct_Type* e = p->ElementObject(1);
    EXPECT_FALSE(e->IsTemporary());  // the stored parameter itself
    EXPECT_STREQ(e->GetString(), "a");
  }  // the list deletes everything but #9
  EXPECT_EQ(scope.FindEntry("9", 0)->instance, nine);
  EXPECT_STREQ(nine->InstanceName(), "9");

  Parsed q;
  q.Str("b").Add(nine);
  q->Unset();  // also lets go of the parameters
  EXPECT_EQ(q->Count(), 0u);
  EXPECT_EQ(scope.FindEntry("9", 0)->instance, nine);
}

// ---- two dimensions ----------------------------------------------------------------------------

TEST(Aggregate2d, ReadFromNestedListsAndWritten) {
  CerrCapture log;
  Parsed row1;
  row1.Real(1).Real(2);
  Parsed row2;
  row2.Real(3).Real(4);
  Parsed p;
  p.List(row1).List(row2);
  cct_AggregateType_2d matrix(kRealMatrix);
  EXPECT_EQ(matrix.TestCompatibility(p.get()), 1);
  matrix.ProcessParameter(p.get());
  EXPECT_EQ(matrix.Rows(), 2u);
  EXPECT_EQ(matrix.Columns(), 2u);
  EXPECT_TRUE(matrix.IsSet());
  EXPECT_EQ(P21(matrix), "((1.0000000000,2.0000000000),(3.0000000000,4.0000000000))");
  cct_Type* e = matrix.ElementObject(1, 0);
  EXPECT_DOUBLE_EQ(e->GetReal(), 3.0);
  delete e;
  EXPECT_EQ(log.Text(), "");
}

TEST(Aggregate2d, RaggedRowsKeepTheirLengths) {
  Parsed row1;
  row1.Int(1);
  Parsed row2;
  row2.Int(2).Int(3).Int(4);
  Parsed p;
  p.List(row1).List(row2);
  const cct_BaseTypeDescriptor ints[2] = {{14, 0, kUnbounded, nullptr, 0},
                                          {cct_KIND_INTEGER, 0, kUnbounded, nullptr, 0}};
  cct_AggregateType_2d matrix(ints);
  matrix.ProcessParameter(p.get());
  EXPECT_EQ(matrix.Columns(), 3u);  // the array is as wide as the longest row
  EXPECT_EQ(matrix.RowLength(0), 1u);
  EXPECT_EQ(P21(matrix), "((1),(2,3,4))");

  // A copy of the same shape keeps the rows as they are.
  cct_AggregateType_2d copy(ints);
  copy.Copy(&matrix);
  EXPECT_EQ(P21(copy), "((1),(2,3,4))");

  // Rows added by the program are full, the short rows stay short; an element the program
  // stores past a short row's end lengthens that row.
  matrix.SetDimensions(3, 3);
  EXPECT_EQ(P21(matrix), "((1),(2,3,4),(0,0,0))");
  cct_IntegerType seven;
  seven.Set(7);
  matrix.SetType(&seven, 0, 2);
  EXPECT_EQ(P21(matrix), "((1,0,7),(2,3,4),(0,0,0))");
}

TEST(Aggregate2d, WrongShapesAreReported) {
  cct_AggregateType_2d matrix(kRealMatrix);
  CerrCapture log;
  cct_IntegerType integer;
  matrix.ProcessParameter(&integer);
  EXPECT_EQ(log.Take(), "\nError: AggregateType can not handle: INTEGER.");
  cct_AggregateType_2d other(kRealMatrix);
  matrix.ProcessParameter(&other);
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: aggr\n--- : cct_AggregateType_2d::ProcessParameter()"
            "\n    The parameter must be an 1-dimensional AggregateType.");

  Parsed row;
  row.Real(5);
  Parsed p;
  p.Real(1).Add(new cct_AggregateType_2d).List(row);
  matrix.ProcessParameter(p.get());
  EXPECT_EQ(log.Take(),
            "\nError: AggregateType can not handle: REAL."
            "\nError: Program bug: aggr\n--- : cct_AggregateType_2d::ProcessParameter()"
            "\n    The contents of the first aggregate must be\n    1-dim aggregates too.");
  EXPECT_EQ(P21(matrix), "((0.0000000000),(0.0000000000),(5.0000000000))");
}

TEST(Aggregate2d, BoundsAreCheckedPerDimension) {
  cct_AggregateType_2d matrix(kSmallMatrix);  // rows [2:3], columns [1:4] of INTEGER
  EXPECT_EQ(matrix.SetDimensions(4, 5), 1);
  CerrCapture log;
  EXPECT_EQ(matrix.SetDimensions(5, 1), 0);
  EXPECT_EQ(matrix.SetDimensions(1, 6), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: aggr\n--- : "
            "cct_AggregateType_2d::SetDimensions()."
            "\nError: Aggregate bounds are violated: aggr\n--- : "
            "cct_AggregateType_2d::SetDimensions().");
  EXPECT_EQ(matrix.Rows(), 4u);
  EXPECT_EQ(matrix.Columns(), 5u);

  // Read from a list, rows and row lengths past the bounds are kept, with a warning each.
  cct_AggregateType_2d fresh(kSmallMatrix);
  Parsed five;
  for (int i = 0; i < 5; ++i) {
    Parsed row;
    row.Int(1);
    five.List(row);
  }
  fresh.ProcessParameter(five.get());
  EXPECT_EQ(log.Take(),
            "\nWarning: Aggregate bounds are violated: aggr : "
            "The list has 5 rows; 2 to 3 are expected.");
  EXPECT_TRUE(fresh.IsSet());
  EXPECT_EQ(P21(fresh), "((1),(1),(1),(1),(1))");

  Parsed wide;
  wide.Int(1).Int(2).Int(3).Int(4).Int(5).Int(6);
  Parsed none;
  Parsed one;
  one.List(wide).List(none);
  fresh.ProcessParameter(one.get());
  EXPECT_EQ(log.Take(),
            "\nWarning: Aggregate bounds are violated: aggr : "
            "Row 1 of the list has 6 elements; 1 to 4 are expected."
            "\nWarning: Aggregate bounds are violated: aggr : "
            "Row 2 of the list has 0 elements; 1 to 4 are expected.");
  EXPECT_EQ(P21(fresh), "((1,2,3,4,5,6),())");
}

TEST(Aggregate2d, UnsuitableDescriptorIsRefused) {
  CerrCapture log;
  cct_AggregateType_2d matrix(kRealMatrix);
  matrix.BaseType(&kPlainReals);
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: (aggr) cct_AggregateType_2d::BaseType(cct_BaseTypeDescriptor *) "
            "--- The BaseTypeDescriptor is not suitable for 2-dim aggregates.");
  EXPECT_EQ(matrix.BaseType(), kRealMatrix);
  const cct_BaseTypeDescriptor* element = matrix.ElementDescriptor();
  EXPECT_EQ(element, &kRealMatrix[1]);
}

TEST(Aggregate2d, IncompatibleElementReport) {
  cct_AggregateType_2d matrix(kRealMatrix);
  matrix.SetDimensions(1, 1);
  cct_StringType s;
  s.Set("x");
  CerrCapture log;
  matrix.SetType(&s, 0, 0);
  EXPECT_EQ(log.Text(),
            "\nError: TestCompatibility() failed: (aggr)  Can not insert a STRING into an "
            "aggregate that expects .");
}

TEST(Aggregate2d, CopyAndOwnedTexts) {
  Parsed r1;
  r1.Str("a").Str("b");
  Parsed r2;
  r2.Str("c").Str("d");
  Parsed p;
  p.List(r1).List(r2);
  auto source = std::make_unique<cct_AggregateType_2d>(kLabelMatrix);
  source->ProcessParameter(p.get());

  cct_AggregateType_2d copy(kLabelMatrix);
  copy.Copy(source.get());
  source.reset();  // the copy owns its own texts
  EXPECT_EQ(P21(copy), "(('a','b'),('c','d'))");
  EXPECT_TRUE(copy.IsSet());

  {
    CerrCapture log;
    copy.SetDimensions(1, 1);  // shrinking frees the texts that fall off
    EXPECT_NE(log.Text().find("Clipping the source."), std::string::npos);
  }
  EXPECT_EQ(P21(copy), "(('a'))");
  copy.SetDimensions(2, 2);
  EXPECT_EQ(P21(copy), "(('a',$),($,$))");

  // Copy of a one-dimensional list reads it as rows, as the whole value.
  Parsed r3;
  r3.Str("e");
  Parsed q;
  q.List(r3);
  copy.Copy(q.get());
  EXPECT_EQ(P21(copy), "(('e'))");
  copy.Unset();
  EXPECT_EQ(P21(copy), "$");
}

TEST(Aggregate2d, ReferencesCheckedPerElement) {
  test_schema::Use();
  cct_Scope scope;
  Parsed r1;
  r1.Ref("1", scope).Ref("2", scope);
  Parsed p;
  p.List(r1);
  cct_AggregateType_2d matrix(kPointMatrix);
  matrix.ProcessParameter(p.get());
  EXPECT_EQ(P21(matrix), "((#1,#2))");
  scope.RegisterName("1", NewPoint());
  scope.RegisterName("2", NewCount());
  CerrCapture log;
  EXPECT_EQ(matrix.TestCorrectness(1), 0);
  EXPECT_EQ(log.Text(),
            "\nError: Correctness test failed : Wrong entry in 2d-Aggregate AGGREGATE on index "
            "[0][ 1].");
  matrix.TestCorrectness(0);

  cct_AggregateType_2d gap(kPointMatrix);
  gap.SetDimensions(1, 2);
  gap._SetEntity(scope.FindEntry("1", 0)->instance, 0, 1);
  log.Take();
  EXPECT_EQ(gap.TestCorrectness(1), 0);
  EXPECT_EQ(log.Text(),
            "\nError: Correctness test failed : No entry in 2d-Aggregate AGGREGATE on index [0] "
            "[0].");
  gap.TestCorrectness(0);
}

TEST(Aggregate2d, DirectInstancesReleasedOnDestruction) {
  test_schema::Use();
  TestPoint* a = NewPoint();
  a->AddReference();
  {
    cct_AggregateType_2d matrix(kPointMatrix);
    matrix.SetDimensions(2, 2);
    matrix.SetType(a, 0, 0);
    matrix._SetEntity(a, 1, 1);
    EXPECT_EQ(a->ReferenceCount(), 3);
    EXPECT_EQ(matrix.ElementObject(1, 1), a);
    CerrCapture log;
    matrix.SetDimensions(1, 1);  // (1,1) falls off
    EXPECT_EQ(a->ReferenceCount(), 2);
  }
  EXPECT_EQ(a->ReferenceCount(), 1);
  a->Release();
}

namespace {

// A REAL source answering whatever it is given, as a value from outside the core might.
template <class Base>
class Any : public Base {
 public:
  explicit Any(double v) : v_(v) {}
  double GetReal() const override { return v_; }

 private:
  double v_;
};
using AnyReal = Any<cct_RealType>;

}  // namespace

// An infinity or NaN is never stored where a REAL is kept: each store reports it and leaves
// the old value, so that no "inf." or "nan." is ever written.
TEST(NonFiniteReals, EveryStoreRefusesThemAndKeepsTheOldValue) {
  test_schema::Use();
  cct_RealType old;
  old.Set(1.5);
  const struct {
    const char* name;
    std::string (*store)(const cct_RealType& old, double bad);
    const char* kept;
  } stores[] = {
      {"REAL Set",
       [](const cct_RealType& old, double bad) {
         cct_RealType v;
         v.Copy(&old);
         v.Set(bad);
         return P21(v);
       },
       "1.5000000000"},
      {"REAL Copy",
       [](const cct_RealType& old, double bad) {
         cct_RealType v;
         v.Copy(&old);
         AnyReal source(bad);
         v.Copy(&source);
         return P21(v);
       },
       "1.5000000000"},
      {"REAL ProcessParameter",
       [](const cct_RealType& old, double bad) {
         cct_RealType v;
         v.Copy(&old);
         AnyReal source(bad);
         v.ProcessParameter(&source);
         return P21(v);
       },
       "1.5000000000"},
      {"select Set",
       [](const cct_RealType& old, double bad) {
         test_schema::Length length;
         length.Copy(&old);
         test_schema::Shape shape;
         shape.Set(&length);
         Any<test_schema::Length> source(bad);
         shape.Set(&source);
         return P21(shape);
       },
       "LENGTH_MEASURE(1.5000000000)"},
      {"list SetType",
       [](const cct_RealType& old, double bad) {
         cct_AggregateType_1d list(&kPlainReals);
         list.SetDimensions(2);
         list.SetType(&old, 0);
         list.SetType(&old, 1);
         AnyReal source(bad);
         list.SetType(&source, 1);
         return P21(list);
       },
       "(1.5000000000,1.5000000000)"},
      {"list SetElement",
       [](const cct_RealType& old, double bad) {
         cct_AggregateType_1d list(&kPlainReals);
         list.SetDimensions(1);
         list.SetType(&old, 0);
         list.SetElement(&bad, 0);
         return P21(list);
       },
       "(1.5000000000)"},
      {"matrix SetType",
       [](const cct_RealType& old, double bad) {
         cct_AggregateType_2d matrix(kRealMatrix);
         matrix.SetDimensions(1, 1);
         matrix.SetType(&old, 0, 0);
         AnyReal source(bad);
         matrix.SetType(&source, 0, 0);
         return P21(matrix);
       },
       "((1.5000000000))"},
      {"matrix SetElement",
       [](const cct_RealType& old, double bad) {
         cct_AggregateType_2d matrix(kRealMatrix);
         matrix.SetDimensions(1, 1);
         matrix.SetType(&old, 0, 0);
         matrix.SetElement(&bad, 0, 0);
         return P21(matrix);
       },
       "((1.5000000000))"},
  };
  const struct {
    double value;
    const char* text;
  } bad[] = {{std::numeric_limits<double>::infinity(), "inf"},
             {-std::numeric_limits<double>::infinity(), "-inf"},
             {std::numeric_limits<double>::quiet_NaN(), "nan"}};
  for (const auto& store : stores) {
    for (const auto& b : bad) {
      SCOPED_TRACE(std::string(store.name) + " " + b.text);
      CerrCapture log;
      EXPECT_EQ(store.store(old, b.value), store.kept);
      EXPECT_EQ(log.Text(), std::string("\nWarning: Wrong data format. : The real value ") + b.text +
                                " is not finite and is not stored.");
    }
  }
  // The largest finite values are still taken.
  cct_RealType largest;
  largest.Set(-std::numeric_limits<double>::max());
  EXPECT_EQ(largest.Get(), -std::numeric_limits<double>::max());
}
