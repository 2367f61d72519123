// varnholt-cli: checks exchange files and converts them, the way the desktop program opens and
// saves them. What it does is the command table's (commands.cpp).
#include <iostream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "command_table.h"

int main(int argc, char** argv) {
  RegisterTypeNames();
  RegisterEntityNames();
  const std::vector<std::string> words(argv + 1, argv + argc);
  return cli::Run(cli::Commands(), words, std::cerr);
}
