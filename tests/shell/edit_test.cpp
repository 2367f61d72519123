#include "varnholt/edit.h"

#include <gtest/gtest.h>

#include <string>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "support/cli_run.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"

// An insert that made a new instance, undone, takes the instance out of what a save writes;
// redone, puts it back.
TEST(Edit, UndoneInsertOfANewInstanceLeavesNoRecord) {
  RegisterTypeNames();
  RegisterEntityNames();
  TempFile file(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\n"
      "FILE_NAME('n','t',('a'),('o'),'p','s','x');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\n"
      "DATA;\n#1=PROJECT('P',#2,(),$,$,$);\n#2=WORKPLAN('w',(),$,$,$);\nENDSEC;\n"
      "END-ISO-10303-21;\n");
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  cct_Instance* project = doc.Scope()->FindInstance("1", 1);
  ASSERT_NE(project, nullptr);
  project->Release();
  TempDir dir;
  auto records = [&] {
    EXPECT_TRUE(doc.OnSaveDocument(dir.File("out.stp")));
    const std::string text = ReadAll(dir.File("out.stp"));
    size_t count = 0;
    for (size_t at = text.find("\n#"); at != std::string::npos; at = text.find("\n#", at + 1))
      ++count;
    return count;
  };
  varnholt::InsertResult done =
      varnholt::InsertValue(*doc.Scope(), *project, 4, CreateEntityByName("date_and_time"));
  ASSERT_TRUE(done.done);
  EXPECT_EQ(records(), 3u);
  varnholt::RevertInsert(*project, 4, done);
  EXPECT_EQ(records(), 2u);
  done = varnholt::InsertValue(*doc.Scope(), *project, 4, done.chosen);
  EXPECT_EQ(records(), 3u);
}
