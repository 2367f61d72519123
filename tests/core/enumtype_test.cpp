#include "cct/enumtype.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/capture.h"
#include "support/test_schema.h"

namespace {

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

}  // namespace

TEST(Enumeration, SetByNameIgnoresCaseAndWritesUpperCase) {
  test_schema::Side side;
  EXPECT_EQ(P21(side), "$");
  side.SetByName("RIGHT");
  EXPECT_EQ(side.GetInteger(), 1);
  EXPECT_STREQ(side.GetString(), "right");
  EXPECT_EQ(P21(side), ".RIGHT.");
}

TEST(Enumeration, RefusalsKeepTheOldValue) {
  CerrCapture log;
  test_schema::Side side;
  side.SetByIndex(2);
  side.SetByIndex(3);
  EXPECT_EQ(log.Take(), "\nWarning: Invalid assignment to EnumType: side");
  EXPECT_EQ(side.GetInteger(), 2);
  side.SetByIndex(-1);
  EXPECT_EQ(log.Take(), "\nWarning: Invalid assignment to EnumType: side");
  side.SetByName("Middle");
  EXPECT_EQ(log.Take(),
            "\nWarning: Invalid assignment to EnumType: 'side'.\n  Value \"Middle\" is not in the "
            "Set of allowed entries.");
  EXPECT_EQ(P21(side), ".NEUTRAL.");
}

TEST(Enumeration, RefusedValueLeavesAnUnsetEnumerationUnset) {
  CerrCapture log;
  test_schema::Side side;
  side.SetByName("middle");
  EXPECT_FALSE(side.IsSet());
  EXPECT_EQ(side.GetInteger(), -1);
  EXPECT_EQ(side.GetString(), nullptr);
}

TEST(Enumeration, FreeEnumerationKeepsLowerCaseText) {
  cct_EnumType free;
  free.SetByName("Fast");
  EXPECT_STREQ(free.GetString(), "fast");
  EXPECT_EQ(free.GetInteger(), -1);
  EXPECT_EQ(P21(free), ".FAST.");
  free.SetByName("slow");
  EXPECT_STREQ(free.GetString(), "slow");
  free.SetByName(nullptr);
  EXPECT_FALSE(free.IsSet());
  EXPECT_EQ(P21(free), "$");
}

TEST(Enumeration, CopyByIndexOrByName) {
  test_schema::Side source, target;
  source.SetByName("left");
  target.Copy(&source);
  EXPECT_EQ(target.GetInteger(), 0);
  cct_EnumType literal;
  literal.SetByName("NEUTRAL");
  target.ProcessParameter(&literal);
  EXPECT_EQ(P21(target), ".NEUTRAL.");
  EXPECT_TRUE(target.IsModified());
}

TEST(Enumeration, NullParameterIsReported) {
  CerrCapture log;
  test_schema::Side side;
  side.ProcessParameter(nullptr);
  EXPECT_EQ(log.Text(),
            "\nError: Function called with NULL in parameter: (cctype) "
            "cct_EnumType::ProcessParameter (const cct_Type *)");
}
