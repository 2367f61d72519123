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
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(VARNHOLT_CORPUS_DIR, ec))
    if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path());
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

}  // namespace
