// Documents opened at the same time on two threads each read their own file and get exactly
// their own log: the reader's state belongs to the file, reports go to the log of the thread's
// document, and the pool is shared safely. Run under the ThreadSanitizer build as well.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cct/pool.h"
#include "cct/schema.h"
#include "cct/stepfile.h"
#include "support/cli_run.h"
#include "support/document_text.h"
#include "varnholt/doc.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treeview.h"

namespace {

namespace fs = std::filesystem;

std::string Seen(const std::string& path) { return OpenedText(path); }

TEST(DocThreads, TwoDocumentsOnTwoThreadsEachGetTheirOwnLog) {
  RegisterTypeNames();
  RegisterEntityNames();
  // Two different files, one of them with reports of every kind: kept parameters, missing
  // names, a short record, a complex instance.
  TempDir dir;
  const std::string damaged = dir.File("damaged.stp");
  {
    std::ofstream(damaged)
        << "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('t'),'2;1');\n"
           "FILE_NAME('t.stp','2024-01-01T00:00:00',('a'),('b'),'c','d','e');\n"
           "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
           "#1=CARTESIAN_POINT('p',(1.,2.,'x'));\n#2=APPROVAL_STATUS(5,#99);\n"
           "#3=MILLING_TECHNOLOGY(100.,.XYZ.,$,$,0.1,.F.,.F.);\n#4=DIRECTION('d',(1.));\n"
           "#5=(NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n#6=POLYLINE('l',(#1,#4));\n"
           "ENDSEC;\nEND-ISO-10303-21;\n";
  }
  const std::string paths[2] = {
      (fs::path(VARNHOLT_SOURCE_DIR) / "samples/toolpath_project.stp").string(), damaged};
  const std::string expected[2] = {Seen(paths[0]), Seen(paths[1])};
  ASSERT_NE(expected[1].find("can not find instance '99'"), std::string::npos) << expected[1];

  cct_PoolShareBetweenThreads();
  std::atomic<int> differing{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 12; ++round)
        if (Seen(paths[t]) != expected[t]) ++differing;
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(differing.load(), 0);
}

}  // namespace
