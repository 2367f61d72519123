#include "varnholt/valuetext.h"

#include <gtest/gtest.h>

#include <string>

#include "cct/factory.h"
#include "cct/schema.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"

namespace {

// The tree's two ways of showing a real.
TEST(ValueText, RealsInBothDisplays) {
  struct Case {
    double value;
    const char* fourDigits;
    const char* exact;
  } const cases[] = {
      {1234.5678, "1235.", "1234.5678"},
      {0.5, "0.5000", "0.5"},
      {-3.0, "-3.000", "-3"},
      {0.0, "0.000", "0"},
      {15006.0374915216, "1.501e+04", "15006.0374915216"},
      {1.23456789e-05, "1.235e-05", "1.23456789e-05"},
      {0.1 + 0.2, "0.3000", "0.30000000000000004"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(varnholt::ShownReal(c.value, varnholt::RealDisplay::FourDigits), c.fourDigits);
    EXPECT_EQ(varnholt::ShownReal(c.value, varnholt::RealDisplay::Exact), c.exact);
  }
  EXPECT_EQ(varnholt::CurrentRealDisplay(), varnholt::RealDisplay::FourDigits);
}

// What copying a row gives: a text as stored, every other value as a save writes it.
TEST(ValueText, CopiesTheStoredValue) {
  RegisterTypeNames();
  RegisterEntityNames();
  TempFile file(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\n"
      "FILE_NAME('n','t',('a'),('o'),'p','s','x');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\n"
      "DATA;\n#1=PROJECT('P',#2,(#10),$,$,$);\n#2=WORKPLAN('w',(),$,$,$);\n"
      "#10=WORKPIECE('W\\X2\\00E4\\X0\\rk ''A''',$,1234.5678,$,$,$,());\n"
      "#31=ENDMILL(#32,3,.RIGHT.,.F.,$);\n#32=MILLING_TOOL_DIMENSION(10.,0.,$,22.,0.,$,$);\n"
      "#40=CARTESIAN_POINT('p',(1.,2.5,-3.));\n"
      "#50=TRIMMED_CURVE('t',$,(PARAMETER_VALUE(270.)),(#40),.T.,.PARAMETER.);\n"
      "ENDSEC;\nEND-ISO-10303-21;\n");
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  struct Case {
    const char* slot;
    const char* copied;
  } const cases[] = {
      {"#10.global_tolerance", "1234.5678000000"},
      {"#10.its_id", "W\xc3\xa4rk 'A'"},
      {"#10.its_material", "$"},
      {"#31.number_of_teeth", "3"},
      {"#31.hand_of_cut", ".RIGHT."},
      {"#31.coolant_through_tool", ".F."},
      {"#40.coordinates[2]", "2.5000000000"},
      {"#50.trim_1[1]", "PARAMETER_VALUE(270.0000000000)"},
  };
  for (const Case& c : cases) {
    varnholt::ValueSlot slot;
    std::string error;
    ASSERT_TRUE(varnholt::FindSlot(*doc.Scope(), c.slot, slot, error)) << error;
    EXPECT_EQ(varnholt::CopyText(slot), c.copied) << c.slot;
  }
  EXPECT_EQ(varnholt::CopyText(varnholt::ValueSlot{}), "");
}

}  // namespace
