// Fuzz target: bytes taken as an exchange file are opened the way the document opens them (every
// instance read), written back to memory, and shown as the tree the view builds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cct/schema.h"
#include "cct/stepfile.h"
#include "varnholt/doc.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treeview.h"

namespace {

std::string TempPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/varnholt-fuzz-" + std::to_string(getpid()) + ".stp";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterTypeNames();
  RegisterEntityNames();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  // Opened twice: with plain records read directly and with the parser reading everything.
  // Log, written file and tree must be the same; a difference is a finding.
  std::string seen[2];
  for (int pass = 0; pass < 2; ++pass) {
    cct_StepFile::SetDirectReading(pass == 0);
    CDoc doc;
    std::ostringstream out;
    if (doc.OnOpenDocument(path.c_str())) {
      CDoc::LogRoute route(doc);
      doc.StepFile()->WriteP21(out);
      varnholt::MemoryTreeControl tree;
      varnholt::CStpTreeView view(tree, &doc);
      view.FillTree();
      out << tree.Dump();
    }
    seen[pass] = doc.LogText() + "\n----\n" + out.str();
  }
  cct_StepFile::SetDirectReading(true);
  if (seen[0] != seen[1]) {
    std::fprintf(stderr, "direct reading differs from the parser:\n%s\n====\n%s\n", seen[0].c_str(),
                 seen[1].c_str());
    std::abort();
  }
  return 0;
}
