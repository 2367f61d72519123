// Plain records are read straight from the read buffer; everything else by the parser. Both
// must give the same document: the same log, the same written file and the same tree. Each
// file here is opened both ways and compared: our samples, the corpus when present, and many
// damaged copies of the samples (cut, spliced, bytes changed, tokens put in), since damage is
// where the direct reader must step aside exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cct/schema.h"
#include "cct/stepfile.h"
#include "support/document_text.h"
#include "support/temp_file.h"
#include "support/real_files.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class DirectReading : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void ExpectSame(const std::string& content, const std::string& what) {
    TempFile file(content);
    EXPECT_EQ(DocumentText(file.Path(), true), DocumentText(file.Path(), false)) << what;
  }
};

TEST_F(DirectReading, SamplesAndCorpusReadTheSameEitherWay) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(VARNHOLT_SOURCE_DIR) / "samples"))
    files.push_back(e.path());
  for (const fs::path& path : RealFiles({VARNHOLT_CORPUS_DIR})) files.push_back(path);
  ASSERT_GE(files.size(), 2u);
  for (const fs::path& f : files) ExpectSame(ReadAll(f), f.string());
}

TEST_F(DirectReading, NulAfterADefinitionIsSwallowedEitherWay) {
  std::string d = ReadAll(fs::path(VARNHOLT_SOURCE_DIR) / "samples/milling_project.stp");
  const size_t data = d.find("DATA;");
  ASSERT_NE(data, std::string::npos);
  for (size_t at = d.find(");\n", data), k = 0; at != std::string::npos && k < 3;
       at = d.find(");\n", at + 4), ++k)
    d.insert(at + 2, std::string(1, '\0') + (k == 1 ? "\x17" : ""));
  ExpectSame(d, "NUL after a semicolon");
}

// A NUL inside a string ends the input there: the open fails with a syntax error at the line
// where the NUL stands, whichever way the records are read.
TEST_F(DirectReading, NulInsideAStringIsASyntaxErrorAtItsLine) {
  const std::string head =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\n"
      "FILE_NAME('n','t',('a'),('o'),'p','s','z');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\n"
      "ENDSEC;\nDATA;\n";
  const std::string tail = "#3=PROGRAM_STOP('end');\nENDSEC;\nEND-ISO-10303-21;\n";
  const std::string nul(1, '\0');
  const struct {
    std::string content;
    int line;
  } cases[] = {
      {head + "#1=PROGRAM_STOP('a" + nul + "b');\n#2=PROGRAM_STOP('c');\n" + tail, 8},
      {head + "#1=PROGRAM_STOP('c');\n#2=PROGRAM_STOP('a''b" + nul + "c''d');\n" + tail, 9},
      {head + "#1=PROGRAM_STOP('a''" + nul + "');\n" + tail, 8},
      {"ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d" + nul + "'),'2;1');\n" + tail, 3},
  };
  for (const auto& c : cases) {
    TempFile file(c.content);
    const std::string direct = DocumentText(file.Path(), true);
    EXPECT_EQ(direct, DocumentText(file.Path(), false));
    const std::string error = "\nError: While reading STEP file: \"" + std::string(file.Path()) +
                              "\", line " + std::to_string(c.line) + ":  Syntax error.";
    EXPECT_NE(direct.find(error), std::string::npos) << error << "\n" << direct;
    EXPECT_NE(direct.find("\" could not be opened"), std::string::npos) << direct;
  }
}

TEST_F(DirectReading, DamagedFilesReadTheSameEitherWay) {
  const std::vector<std::string> samples = {
      ReadAll(fs::path(VARNHOLT_SOURCE_DIR) / "samples/milling_project.stp"),
      ReadAll(fs::path(VARNHOLT_SOURCE_DIR) / "samples/mill_turn_project.stp")};
  const char* const pieces[] = {"(", ")", "'", "''", "/*", "*/", ";", "#", "=", "\n", "\r\n",
                                " ", "$", "*", ".T.", ".X", "1E400", "1.5E", "99999999999",
                                "\\X2\\00E4", "\\", "&SCOPE", "ENDSEC;", "" /* a NUL */,
                                "#12 = ", "DATA", "(A(1)B(2))", "!USER(1)", "-", "+.", "1.",
                                "1.E-3", "0.000000000000000000000001", "12345678901234567.5",
                                "LENGTH_MEASURE(", "()", ",,", "#0", "#007", "#99999999999"};
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state](uint64_t n) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return n ? state % n : 0;
  };
  for (int i = 0; i < 150; ++i) {
    std::string d = samples[static_cast<size_t>(i) % samples.size()];
    for (uint64_t k = 0, changes = 1 + next(5); k < changes; ++k) {
      const size_t at = static_cast<size_t>(next(d.size() + 1));
      switch (next(5)) {
        case 0: {
          const char* piece = pieces[next(sizeof pieces / sizeof pieces[0])];
          d.insert(at, piece[0] ? std::string(piece) : std::string(1, '\0'));
          break;
        }
        case 1: d.erase(at, static_cast<size_t>(1 + next(20))); break;
        case 2:
          if (at < d.size()) d[at] = static_cast<char>(next(256));
          break;
        case 3: d.resize(at); break;
        default: {
          const size_t from = static_cast<size_t>(next(d.size() + 1));
          d.insert(at, d.substr(from, static_cast<size_t>(1 + next(80))));
        }
      }
    }
    ExpectSame(d, "damaged copy " + std::to_string(i));
  }
}

// A list is written back with exactly the elements the file gives, whatever its bounds allow;
// a count outside them is a warning naming the file and the line. The direct reader stores some
// lists straight into their attribute, so each case is read both ways.
TEST_F(DirectReading, ListsAreWrittenBackAsTheyAreRead) {
  struct Case {
    const char* record;   // on line 10, after a point #6 and a polyline #7
    const char* written;  // as saved
    const char* warning;  // the one expected, or none
  };
  const Case cases[] = {
      // direction_ratios: [2:3] OF REAL
      {"#1=DIRECTION('d',(1.));", "#1=DIRECTION('d',(1.0000000000));",
       "The list direction_ratios of instance #1 has 1 element; 2 to 3 are expected."},
      {"#1=DIRECTION('d',());", "#1=DIRECTION('d',());",
       "The list direction_ratios of instance #1 has 0 elements; 2 to 3 are expected."},
      {"#1=DIRECTION('d',(1.,0.));", "#1=DIRECTION('d',(1.0000000000,0.0000000000));", nullptr},
      {"#1=DIRECTION('d',(1.,0.,0.));",
       "#1=DIRECTION('d',(1.0000000000,0.0000000000,0.0000000000));", nullptr},
      {"#1=DIRECTION('d',(1.,2.,3.,4.));",
       "#1=DIRECTION('d',(1.0000000000,2.0000000000,3.0000000000,4.0000000000));",
       "The list direction_ratios of instance #1 has 4 elements; 2 to 3 are expected."},
      {"#1=DIRECTION('d',(1.,2.,3.,4.,5.,6.));",
       "#1=DIRECTION('d',(1.0000000000,2.0000000000,3.0000000000,4.0000000000,5.0000000000,"
       "6.0000000000));",
       "The list direction_ratios of instance #1 has 6 elements; 2 to 3 are expected."},
      // control_points_list and weights_data: [2:?] OF [2:?] OF ...; rows of their own lengths
      {"#1=RATIONAL_B_SPLINE_SURFACE('s',1,1,((#6,#6,#6),(#6,#6)),.UNSPECIFIED.,.F.,.F.,.F.,"
       "((1.,2.),(3.)));",
       "#1=RATIONAL_B_SPLINE_SURFACE('s',1,1,((#6,#6,#6),(#6,#6)),.UNSPECIFIED.,.F.,.F.,.F.,"
       "((1.0000000000,2.0000000000),(3.0000000000)));",
       "Row 2 of the list weights_data of instance #1 has 1 element; at least 2 are expected."},
      {"#1=RATIONAL_B_SPLINE_SURFACE('s',1,1,((#6,#6),(#6,#6)),.UNSPECIFIED.,.F.,.F.,.F.,"
       "((2.,2.)));",
       "#1=RATIONAL_B_SPLINE_SURFACE('s',1,1,((#6,#6),(#6,#6)),.UNSPECIFIED.,.F.,.F.,.F.,"
       "((2.0000000000,2.0000000000)));",
       "The list weights_data of instance #1 has 1 row; at least 2 are expected."},
      // points: [2:?] OF cartesian_point
      {"#1=POLYLINE('l',(#6));", "#1=POLYLINE('l',(#6));",
       "The list points of instance #1 has 1 element; at least 2 are expected."},
      {"#1=POLYLINE('l',(#6,#7,#6));", "#1=POLYLINE('l',(#6,#7,#6));", nullptr},
      // middle_names: OPTIONAL [1:?] OF label
      {"#1=PERSON('id',$,$,(),$,$);", "#1=PERSON('id',$,$,(),$,$);",
       "The list middle_names of instance #1 has 0 elements; at least 1 is expected."},
      {"#1=PERSON('id',$,$,('a','b'),$,$);", "#1=PERSON('id',$,$,('a','b'),$,$);", nullptr},
      // trim_1: [1:2] OF trimming_select
      {"#1=TRIMMED_CURVE('t',#7,(#6,#6,#6),(#6),.T.,.UNSPECIFIED.);",
       "#1=TRIMMED_CURVE('t',#7,(#6,#6,#6),(#6),.T.,.UNSPECIFIED.);",
       "The list trim_1 of instance #1 has 3 elements; 1 to 2 are expected."},
  };
  for (const Case& c : cases) {
    TempFile file(
        "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('lists'),'2;1');\n"
        "FILE_NAME('lists.stp','2024-01-01T00:00:00',('a'),('b'),'c','d','e');\n"
        "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
        "#6=CARTESIAN_POINT('p',(1.,2.,3.));\n#7=POLYLINE('l',(#6,#6));\n" +
        std::string(c.record) + "\nENDSEC;\nEND-ISO-10303-21;\n");
    const std::string text = DocumentText(file.Path(), true);
    EXPECT_EQ(text, DocumentText(file.Path(), false)) << c.record;
    EXPECT_NE(text.find(std::string("\n") + c.written + "\n"), std::string::npos)
        << c.record << "\n" << text;
    // Every warning of the open, which must be the expected one or none.
    const std::string log = text.substr(0, text.find("is open"));
    std::string warnings;
    for (size_t at = log.find("\nWarning: "); at != std::string::npos;
         at = log.find("\nWarning: ", at + 1))
      warnings += log.substr(at, log.find('\n', at + 1) - at);
    EXPECT_EQ(warnings, c.warning ? "\nWarning: While reading STEP file: \"" +
                                        std::string(file.Path()) + "\", line 10:  " + c.warning
                                  : std::string())
        << c.record;
  }
}

// A file large enough that the records prepared ahead wrap around their ring several times,
// with the unusual among the plain: records too long to be prepared, spread over lines, of
// unknown entities, with too many coordinates or values of the wrong kinds, defined twice or
// referring to names never defined, points read after the lists that refer to them, and
// comments between definitions.
TEST_F(DirectReading, LargeFilesReadTheSameEitherWay) {
  std::string d =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('large'),'2;1');\n"
      "FILE_NAME('large.stp','2024-01-01T00:00:00',('a'),('b'),'c','d','e');\n"
      "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n";
  const int kPoints = 6000;
  for (int i = 1; i <= kPoints; ++i) {
    const std::string n = std::to_string(i);
    // The unusual ones come in the first and the last part; between them is a long stretch of
    // plain ones with one unknown entity, whose message tells its line.
    switch (i < 2000 || i > 5900 || i == 4000 ? i % 97 : 0) {
      case 5: d += "#" + n + "=CARTESIAN_POINT('',(1.0,2.0,3.0,4.0));\n"; break;
      case 11: d += "#" + n + "=CARTESIAN_POINT('split',\n(1.5,\n2.5,3.5));\n"; break;
      case 23: d += "#" + n + "=NO_SUCH_ENTITY('x',(1.0));\n"; break;
      case 31: d += "#" + n + "=CARTESIAN_POINT('',(1.0,'two',.THREE.));\n"; break;
      case 47: d += "#" + n + "=CARTESIAN_POINT('" + std::string(90, 'p') + "',(0.5,0.25,1.0E3));\n"; break;
      case 59: d += "#" + n + "=CARTESIAN_POINT('twice',(1.0,2.0,3.0));\n#" + n +
                    "=DIRECTION('',(0.0,0.0,1.0));\n"; break;
      default:
        d += "#" + n + "=CARTESIAN_POINT(''," + "(" + std::to_string(i * 0.125) + "," +
             std::to_string(-i * 0.5) + ",1.000001));\n";
    }
    if (i % 1000 == 0) d += "/* part " + n + "\n   of the path */\n";
    if (i % 500 == 0) {
      // A polyline over the last points, with a name that was never defined among them.
      d += "#" + std::to_string(100000 + i) + "=POLYLINE('path',(";
      for (int k = i - 150; k < i; ++k) d += "#" + std::to_string(k) + ",";
      d += "#999999));\n";
    }
  }
  d += "ENDSEC;\nEND-ISO-10303-21;\n";
  const std::string text = DocumentText(TempFile(d).Path(), true);
  ASSERT_NE(text.find("is open"), std::string::npos) << text.substr(0, 2000);
  ExpectSame(d, "large file");
}

}  // namespace
