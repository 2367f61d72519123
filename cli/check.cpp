// check [-j N] FILE...: every file opened and checked, its log printed in the order of the files.
#include <cstdio>
#include <iostream>
#include <string>

#include "cct/pool.h"
#include "commands.h"
#include "ordered_runner.h"
#include "varnholt/doc.h"

namespace cli {

namespace {

// What checking one file gives: its log for standard output, what goes to standard error, and
// whether it failed.
struct FileCheck {
  std::string log;
  std::string error;
  int status = 0;
};

// Opens and checks one file in a document of its own; nothing is printed, so that files
// checked at the same time cannot mix their output.
FileCheck CheckFile(const std::string& path, bool last) {
  FileCheck check;
  auto* doc = new CDoc;
  if (!doc->OnOpenDocument(path.c_str())) check.status = 1;
  check.log = doc->LogText();
  CloseDocument(doc, last);
  if (path.empty()) {
    check.error = "varnholt-cli: empty file name\n";
    check.status = 1;
  }
  return check;
}

}  // namespace

// Larger counts than anyone has threads for are kept as they are: the runner starts no more
// threads than there are files.
unsigned ParseThreadCount(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  unsigned long count = 0;
  for (char c : text) {
    count = count * 10 + static_cast<unsigned long>(c - '0');
    if (count > 1000000) count = 1000000;
  }
  return static_cast<unsigned>(count);
}

// Without -j the files are checked on this thread, one after the other, as they always were;
// -j N (even 1) hands them to the runner's threads.
int Check(const Arguments& arguments) {
  const std::vector<std::string>& files = arguments.positional;
  const unsigned threads = arguments.Has("-j") ? ParseThreadCount(arguments.Last("-j")) : 0;
  // The core's storage serves one thread unless it is told before the second one starts.
  if (threads > 0) cct_PoolShareBetweenThreads();
  int status = 0;
  RunInOrder<FileCheck>(
      files.size(), threads,
      [&](std::size_t i) { return CheckFile(files[i], i + 1 == files.size()); },
      [&](std::size_t, FileCheck& check) {
        std::cout << check.log;
        // Standard output is flushed first, as std::cerr (tied to std::cout) always did, so
        // that both streams into one file keep their order.
        if (!check.error.empty()) {
          std::cout.flush();
          std::fwrite(check.error.data(), 1, check.error.size(), stderr);
        }
        if (check.status != 0) status = 1;
      });
  std::cout.flush();
  return status;
}

}  // namespace cli
