// varnholt_bindgen: reads the schema data file and writes the generated binding sources.
//
//   varnholt_bindgen <data file> <output directory> <chunks>
//
// Files whose text is unchanged are left alone, so that editing the generator does not force a
// rebuild of everything generated.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "emit.h"
#include "schema_model.h"

namespace {

bool WriteIfChanged(const std::filesystem::path& path, const std::string& text) {
  {
    std::ifstream old(path, std::ios::binary);
    if (old) {
      std::ostringstream current;
      current << old.rdbuf();
      if (current.str() == text) return true;
    }
  }
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: varnholt_bindgen <data file> <output directory> <chunks>\n";
    return 2;
  }
  const std::filesystem::path dataFile = argv[1];
  const std::filesystem::path outDir = argv[2];
  const int chunks = std::atoi(argv[3]);
  std::ifstream in(dataFile);
  if (!in || chunks < 1) {
    std::cerr << "varnholt_bindgen: cannot read " << dataFile << " or bad chunk count\n";
    return 1;
  }
  bindgen::Schema schema;
  std::vector<std::string> errors;
  if (!schema.Read(in, errors) || !schema.Resolve(errors)) {
    for (const std::string& e : errors) std::cerr << dataFile.string() << ": " << e << "\n";
    return 1;
  }
  const std::string banner = "schema/" + dataFile.filename().string();
  for (const auto& [name, text] : bindgen::Emit(schema, chunks, banner)) {
    if (!WriteIfChanged(outDir / name, text)) {
      std::cerr << "varnholt_bindgen: cannot write " << (outDir / name) << "\n";
      return 1;
    }
  }
  return 0;
}
