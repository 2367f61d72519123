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
  CDoc doc;
  if (doc.OnOpenDocument(path.c_str())) {
    CDoc::LogRoute route(doc);
    std::ostringstream out;
    doc.StepFile()->WriteP21(out);
    varnholt::MemoryTreeControl tree;
    varnholt::CStpTreeView view(tree, &doc);
    view.FillTree();
  }
  return 0;
}
