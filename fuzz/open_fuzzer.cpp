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
#include "support/document_text.h"

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
  const std::string direct = DocumentText(path, true);
  const std::string parsed = DocumentText(path, false);
  if (direct != parsed) {
    std::fprintf(stderr, "direct reading differs from the parser:\n%s\n====\n%s\n", direct.c_str(),
                 parsed.c_str());
    std::abort();
  }
  return 0;
}
