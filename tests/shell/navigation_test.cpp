#include "varnholt/navigation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "support/cli_run.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"

namespace fs = std::filesystem;

namespace {

// Counts "#N" references in the data section of a file's text, a plain scan of the text that
// knows nothing of the reader: definitions ("#N=") and strings and comments are passed over.
std::map<std::string, size_t> CountReferences(const std::string& text) {
  std::map<std::string, size_t> counts;
  size_t i = text.find("DATA;");
  for (; i < text.size(); ++i) {
    if (text[i] == '\'') {
      for (++i; i < text.size(); ++i) {
        if (text.compare(i, 3, "\\S\\") == 0) i += 3;
        else if (text.compare(i, 2, "''") == 0) ++i;
        else if (text[i] == '\'') break;
      }
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
    } else if (text[i] == '#') {
      size_t end = text.find_first_not_of("0123456789", i + 1);
      if (end == std::string::npos || end == i + 1) continue;
      size_t next = text.find_first_not_of(" \r\n\t", end);
      if (next != std::string::npos && text[next] != '=') ++counts[text.substr(i + 1, end - i - 1)];
      i = end - 1;
    }
  }
  return counts;
}

class Navigation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
};

}  // namespace

// Every reference a file holds is found, on the samples and the corpus of real files: the index
// agrees with a count over the text for every name the file defines.
TEST_F(Navigation, ReferencesAgreeWithACountOverTheText) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(std::string(VARNHOLT_SOURCE_DIR) + "/samples"))
    files.push_back(e.path());
  if (fs::is_directory(VARNHOLT_CORPUS_DIR))
    for (const auto& e : fs::directory_iterator(VARNHOLT_CORPUS_DIR))
      if (e.path().filename() != "README.md") files.push_back(e.path());
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path.c_str()));
    varnholt::Navigator navigator(*doc.Scope());
    const std::map<std::string, size_t> expected = CountReferences(ReadAll(path.string()));
    size_t total = 0;
    for (cct_Scope::Entry* entry : doc.Scope()->EntriesInNameOrder()) {
      if (!entry->instance) continue;
      auto it = expected.find(entry->name);
      const size_t want = it == expected.end() ? 0 : it->second;
      EXPECT_EQ(navigator.ReferencesTo(entry->name).size(), want) << "#" << entry->name;
      total += want;
    }
    EXPECT_GT(total, 0u);
  }
}
