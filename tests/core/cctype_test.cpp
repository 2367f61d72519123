#include "cct/cctype.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <vector>
#include <limits>
#include <sstream>
#include <string>

#include "cct/errlog.h"
#include "support/capture.h"

namespace {

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

std::string RealText(double v) {
  cct_RealType r;
  r.Set(v);
  return P21(r);
}

}  // namespace

TEST(SimpleTypes, UnsetValuesWriteDollarAndNewLogicalIsUnknown) {
  cct_IntegerType i;
  cct_RealType r;
  cct_BooleanType b;
  cct_StringType s;
  cct_BinaryType bin;
  EXPECT_EQ(P21(i), "$");
  EXPECT_EQ(P21(r), "$");
  EXPECT_EQ(P21(b), "$");
  EXPECT_EQ(P21(s), "$");
  EXPECT_EQ(P21(bin), "$");
  cct_LogicalType l;
  EXPECT_TRUE(l.IsSet());
  EXPECT_EQ(l.Get(), -1);
  EXPECT_EQ(P21(l), ".U.");
  l.Unset();
  EXPECT_EQ(P21(l), "$");
  EXPECT_EQ(l.Get(), -1);
}

TEST(SimpleTypes, RealFormatting) {
  EXPECT_EQ(RealText(2), "2.0000000000");
  EXPECT_EQ(RealText(-0.5), "-0.5000000000");
  EXPECT_EQ(RealText(1e20), "100000000000000000000.0000000000");
  EXPECT_EQ(RealText(0), "0.0000000000");
  std::string largest = RealText(DBL_MAX);
  EXPECT_EQ(largest.size(), 320u);  // 309 digits, point, 10 decimals
  EXPECT_EQ(RealText(-DBL_MAX).size(), 321u);
  EXPECT_EQ(largest.substr(0, 6), "179769");
  EXPECT_EQ(largest.substr(largest.size() - 11), ".0000000000");
}

TEST(SimpleTypes, RealFormattingIsTenDecimalsWhenTheyReadBackElseTheShortestExactForm) {
  const struct {
    double v;
    const char* text;
  } exact[] = {{-2.040035E-13, "-2.040035E-13"}, {4.9E-11, "4.9E-11"},
               {1.23456789E-5, "1.23456789E-05"}, {3524.1451684633967, "3524.1451684633967"},
               {5e-324, "5.E-324"}, {-0.0, "-0.0000000000"}, {0.1, "0.1000000000"},
               {1.4000000000000001, "1.4000000000000001"}};
  for (const auto& c : exact) EXPECT_EQ(RealText(c.v), c.text);
  // The writer takes a short road for most values; where ten decimals read back it must never
  // differ from "%.10f", and what it writes always reads back bit for bit.
  std::vector<double> values = {-0.0, 1e-11, 5e-11, -4.9999999999e-11, 0.1, 0.00000000005,
                                262143.99999999997, 262144.0, -262144.00000000003,
                                131071.12345678901, 1.00000000005, 2.675, 1e-300,
                                0.00048828125, 0.00146484375, -0.00048828125, 999999999.99999999,
                                -999999999.9999999, 1e9, 5e-324, 123456789.00000000005};
  uint64_t state = 88172645463325252ull;
  for (int i = 0; i < 200000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const int digits = static_cast<int>(state % 13);
    const double scale = std::pow(10.0, static_cast<int>((state >> 8) % 16) - 6);
    double v = static_cast<double>(state >> 11) / 9007199254740992.0 * scale;
    if (digits < 11) v = std::round(v * std::pow(10.0, digits)) / std::pow(10.0, digits);
    values.push_back(state & 1 ? -v : v);
  }
  for (double v : values) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.10f", v);
    const std::string text = RealText(v);
    const double back = std::strtod(text.c_str(), nullptr);
    ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
    if (std::strtod(expected, nullptr) == v) {
      ASSERT_EQ(text, expected) << v;
    }
    ASSERT_NE(text.find('.'), std::string::npos) << text;
  }
}

TEST(SimpleTypes, RealWithoutPointGetsOne) {
  // The formatter alone: a REAL value never holds an infinity (see NonFiniteReals).
  std::ostringstream out;
  cct_WriteReal(out, std::numeric_limits<double>::infinity());
  EXPECT_EQ(out.str(), "inf.");
  out.str({});
  cct_WriteReal(out, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(out.str(), "-inf.");
}

TEST(SimpleTypes, IntegerLogicalBooleanEncodings) {
  cct_IntegerType i;
  i.Set(-42);
  EXPECT_EQ(P21(i), "-42");
  i.Set(7);
  EXPECT_EQ(P21(i), "7");
  cct_LogicalType l;
  l.SetFromLong(5);
  EXPECT_EQ(P21(l), ".T.");
  l.SetFromLong(0);
  EXPECT_EQ(P21(l), ".F.");
  l.SetFromLong(-9);
  EXPECT_EQ(P21(l), ".U.");
  cct_BooleanType b;
  b.SetFromLong(1);
  EXPECT_EQ(P21(b), ".T.");
  b.SetFromLong(0);
  EXPECT_EQ(P21(b), ".F.");
}

TEST(SimpleTypes, StringDoublesApostrophesAndBackslashes) {
  cct_StringType s;
  s.Set("it's");
  EXPECT_EQ(P21(s), "'it''s'");
  s.Set("a\\b");
  EXPECT_EQ(P21(s), "'a\\\\b'");
  s.Set("");
  EXPECT_EQ(P21(s), "''");
  cct_BinaryType b;
  b.Set("0FF");
  EXPECT_EQ(P21(b), "\"0FF\"");
}

TEST(SimpleTypes, StringSetNullAndUnsetLeaveEmptyText) {
  cct_StringType s;
  EXPECT_EQ(s.GetString(), nullptr);
  s.Set("x");
  s.Set(static_cast<const char*>(nullptr));
  EXPECT_FALSE(s.IsSet());
  ASSERT_NE(s.GetString(), nullptr);
  EXPECT_STREQ(s.GetString(), "");
  s.Set(cct_CopyText("adopted"), cct_AdoptText{});
  EXPECT_STREQ(s.GetString(), "adopted");
  s.Copy(&s);  // copying from itself keeps the text
  EXPECT_STREQ(s.GetString(), "adopted");
}

TEST(SimpleTypes, LongToBoolean) {
  CerrCapture log;
  EXPECT_EQ(cct_BooleanType::LongToBoolean(7), 1);
  EXPECT_EQ(cct_BooleanType::LongToBoolean(0), 0);
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(cct_BooleanType::LongToBoolean(-3), 0);
  EXPECT_EQ(log.Text(),
            "\nWarning: Program bug: (ccType)cct_BooleanType::LongToBoolean ---"
            "\n   Illegal negative value for boolean type, returning 'false'");
}

TEST(Compatibility, KindRulesInModeTwo) {
  ASSERT_EQ(CompatibilityMode, 2);
  cct_IntegerType i;
  cct_RealType r;
  cct_LogicalType l;
  cct_BooleanType b;
  cct_StringType s;
  cct_BinaryType bin;
  EXPECT_EQ(r.TestCompatibility(&i), -1);  // INTEGER into REAL
  EXPECT_EQ(r.TestCompatibility(&r), -1);
  EXPECT_EQ(i.TestCompatibility(&r), 0);  // REAL into INTEGER refused
  EXPECT_EQ(i.TestCompatibility(&i), -1);
  EXPECT_EQ(l.TestCompatibility(&l), -1);
  EXPECT_EQ(l.TestCompatibility(&b), 0);
  EXPECT_EQ(b.TestCompatibility(&b), -1);
  l.Set(1);
  EXPECT_EQ(b.TestCompatibility(&l), -1);  // a true/false LOGICAL fits a BOOLEAN
  l.Set(-1);
  EXPECT_EQ(b.TestCompatibility(&l), 0);  // unknown does not
  EXPECT_EQ(s.TestCompatibility(&s), -1);
  EXPECT_EQ(s.TestCompatibility(&i), 0);
  EXPECT_EQ(s.TestCompatibility(&bin), 0);
}

TEST(Compatibility, NullArgumentIsReportedAndIncompatible) {
  CerrCapture log;
  cct_IntegerType i;
  EXPECT_EQ(i.TestCompatibility(nullptr), 0);
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: (cctype) __cct_Type::TestNameCompatibilty() --- "
            "Unallowed NULL argument");
  cct_RealType r;
  log.Take();
  EXPECT_EQ(r.TestCompatibility(nullptr), 0);
  EXPECT_NE(log.Text().find("Unallowed NULL argument"), std::string::npos);
}

TEST(Compatibility, NameTestAndCombination) {
  cct_IntegerType a, b;
  cct_RealType r;
  EXPECT_EQ(a.TestNameCompatibilty(&b), 1);
  EXPECT_EQ(a.TestNameCompatibilty(&r), 0);
  cct_IntegerType star;
  star.SetFlags(cct_FLAG_NO_VALUE);
  EXPECT_EQ(r.TestNameCompatibilty(&star), 1);

  const int saved = CompatibilityMode;
  CompatibilityMode = 0;
  EXPECT_EQ(CombineCompatibility(1, 1), 1);
  EXPECT_EQ(CombineCompatibility(0, 1), 0);
  EXPECT_EQ(CombineCompatibility(1, 2), 0);
  EXPECT_EQ(r.TestCompatibility(&a), 0);  // INTEGER into REAL needs mode 2
  CompatibilityMode = 1;
  EXPECT_EQ(CombineCompatibility(1, 1), 1);
  EXPECT_EQ(CombineCompatibility(0, 1), -1);
  EXPECT_EQ(CombineCompatibility(1, 2), 0);
  CompatibilityMode = 2;
  EXPECT_EQ(CombineCompatibility(0, 2), -1);
  EXPECT_EQ(CombineCompatibility(1, 0), 0);
  CompatibilityMode = 7;
  EXPECT_EQ(CombineCompatibility(1, 1), 0);
  CompatibilityMode = saved;
}

TEST(Conversion, WrongFormatsAreReportedWithDefaults) {
  CerrCapture log;
  cct_StringType s;
  s.Set("x");
  EXPECT_EQ(s.GetReal(), 0.0);
  EXPECT_EQ(log.Take(), "\nError: Wrong data format. : double requested from type STRING.");
  EXPECT_EQ(s.GetInteger(), 0);
  EXPECT_EQ(log.Take(), "\nError: Wrong data format. : integer requested from type STRING.");
  cct_IntegerType i;
  EXPECT_EQ(i.GetString(), nullptr);
  EXPECT_EQ(log.Take(), "\nError: Wrong data format. : string requested from type INTEGER.");
  EXPECT_EQ(i.GetEntity(), nullptr);
  EXPECT_EQ(log.Take(), "\nError: Wrong data format. : cct_Type * requested from type INTEGER.");
  cct_RealType r;
  r.Set(2.5);
  EXPECT_EQ(r.GetInteger(), 0);
  EXPECT_NE(log.Take().find("integer requested from type REAL."), std::string::npos);
}

TEST(Parameters, IntegerIntoRealAndCopies) {
  cct_IntegerType five;
  five.Set(5);
  cct_RealType r;
  ASSERT_NE(r.TestCompatibility(&five), 0);
  r.ProcessParameter(&five);
  EXPECT_EQ(P21(r), "5.0000000000");

  cct_StringType source, target;
  source.Set("abc");
  target.ProcessParameter(&source);
  EXPECT_STREQ(target.GetString(), "abc");
  EXPECT_NE(target.GetString(), source.GetString());  // texts are copied on every store

  cct_LogicalType t;
  t.Set(1);
  cct_BooleanType b;
  b.ProcessParameter(&t);
  EXPECT_EQ(P21(b), ".T.");
}

TEST(Parameters, NullParameterIsReportedAndChangesNothing) {
  CerrCapture log;
  cct_RealType r;
  r.Set(1.5);
  r.ProcessParameter(nullptr);
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: (cctype) "
            "cct_RealType::ProcessParameter()");
  EXPECT_EQ(r.Get(), 1.5);
  cct_StringType s;
  s.ProcessParameter(nullptr);
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: (cctype) "
            "cct_StringType::ProcessParameter (const cct_Type *)");
  cct_IntegerType i;
  i.ProcessParameter(nullptr);
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: (cctype) "
            "__cct_Type::ProcessParameter (const cct_Type *)");
}

TEST(ChangeTracking, EverySetterMarksModifiedEvenWithTheSameValue) {
  cct_IntegerType i;
  EXPECT_FALSE(i.IsModified());
  i.Set(0);
  EXPECT_TRUE(i.IsModified());
  cct_RealType r;
  r.Set(0.0);
  EXPECT_TRUE(r.IsModified());
  cct_StringType s;
  s.Set(static_cast<const char*>(nullptr));
  EXPECT_TRUE(s.IsModified());
  cct_LogicalType l;
  EXPECT_FALSE(l.IsModified());  // the constructor's unknown is not a change
  l.Set(-1);
  EXPECT_TRUE(l.IsModified());

  ChangeTracking.flag = 0;
  cct_IntegerType quiet;
  quiet.Set(3);
  EXPECT_FALSE(quiet.IsModified());
  ChangeTracking.flag = 1;
}

TEST(TypeTable, NamesIdsAndKinds) {
  struct Row {
    const cct_Type& value;
    const char* name;
    long id;
    long kind;
  };
  cct_IntegerType i;
  cct_RealType r;
  cct_LogicalType l;
  cct_BooleanType b;
  cct_StringType s;
  cct_BinaryType bin;
  const Row rows[] = {{i, "INTEGER", 2, 5}, {r, "REAL", 3, 6},   {l, "LOGICAL", 4, 7},
                      {b, "BOOLEAN", 5, 17}, {s, "STRING", 6, 9}, {bin, "BINARY", 7, 10}};
  for (const Row& row : rows) {
    EXPECT_STREQ(row.value.TypeName(), row.name);
    EXPECT_EQ(row.value.TypeID(), row.id);
    EXPECT_EQ(row.value.Kind(), row.kind);
  }
}
