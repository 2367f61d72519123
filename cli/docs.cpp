// varnholt-cli-docs: what the build writes from the command table.
//   varnholt-cli-docs man TEMPLATE OUT   the manual page with its SYNOPSIS section filled in
//   varnholt-cli-docs bash OUT           the bash completion
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "command_table.h"

namespace {

// The line of the template that the synopsis replaces.
const char* const kSynopsisMark = ".\\\" SYNOPSIS: written from the command table";

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (out) return true;
  std::cerr << "varnholt-cli-docs: cannot write " << path << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "bash" && argc == 3) return Write(argv[2], cli::BashCompletion(cli::Commands())) ? 0 : 1;
  if (what == "man" && argc == 4) {
    std::ifstream in(argv[2], std::ios::binary);
    std::ostringstream page;
    bool marked = false;
    for (std::string line; std::getline(in, line);) {
      if (line == kSynopsisMark) {
        page << cli::ManSynopsis(cli::Commands());
        marked = true;
      } else {
        page << line << "\n";
      }
    }
    if (!marked) {
      std::cerr << "varnholt-cli-docs: " << argv[2] << " has no line \"" << kSynopsisMark << "\"\n";
      return 1;
    }
    return Write(argv[3], page.str()) ? 0 : 1;
  }
  std::cerr << "usage: varnholt-cli-docs man TEMPLATE OUT | bash OUT\n";
  return 2;
}
