// Fuzz target: bytes taken as an exchange file are opened the way the document opens them (every
// instance read), written back to memory, and shown as the tree the view builds; with plain
// records read directly and with the parser reading everything, which must agree. A file that
// opens is then saved, the save opened and saved again: the two saves must be the same bytes
// (a save is a fixed point), and a save of a file that opened must itself open. The rule check,
// the program, its G-code and its time run on everything that opens, and so does the material
// removal at a coarse resolution, and the tables of every entity. A file compared with its own
// save has no differences.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cct/schema.h"
#include "fuzz_support.h"
#include "cct/stepfile.h"
#include "support/cli_run.h"
#include "support/document_text.h"
#include "varnholt/diff.h"
#include "varnholt/doc.h"
#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/simulate.h"
#include "varnholt/rules.h"
#include "varnholt/table.h"

namespace {

[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

// The program run on the stock of what opened, as the simulate command runs it, but coarse
// (2 mm) and with a few hundred MB for the stock: its time and memory stay bounded by the
// input's size, whatever stock and moves the file gives. What it gives back must add up.
void Simulate(CDoc& doc) {
  const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
  const varnholt::Program program = varnholt::BuildProgram(model);
  if (!program.hasProject) return;
  varnholt::SimulateOptions options;
  options.resolution = 2;
  options.memoryLimit = size_t(256) << 20;
  options.volumes = [](const varnholt::Model& m, int index, std::string& why) {
    return varnholt::MakeFeatureVolume(m, index, why);
  };
  // The G-code of this program, whose lines the findings name.
  const varnholt::SimulateResult result =
      varnholt::Simulate(model, program, varnholt::WriteGcode(program, varnholt::SimulationGcodeOptions()), options);
  if (!result.ok) {
    if (result.error.empty()) Finding("a simulation that failed without saying why");
    return;
  }
  if (!(result.stockVolume >= 0) || !(result.stockVolumeAfter >= 0) ||
      result.stockVolumeAfter > result.stockVolume * (1 + 1e-9) + 1e-6)
    Finding("a stock whose volume grew, or is no number");
  for (const varnholt::SimFinding& f : result.findings) {
    if (f.kind != "rapid_into_material" && f.kind != "shank_in_material" && f.kind != "gouge" &&
        f.kind != "material_left")
      Finding("a simulation finding of no known kind: " + f.kind);
    if (!(f.depth >= 0) || f.text.empty()) Finding("a simulation finding without its depth or text");
  }
  varnholt::StockTriangles mesh;
  std::string why;
  if (varnholt::StockMesh(result, mesh, why)) {
    for (const std::array<int, 3>& t : mesh.triangles)
      for (int k : t)
        if (k < 0 || static_cast<size_t>(k) >= mesh.vertices.size()) Finding("a stock mesh's triangle outside its vertices");
  } else if (why.empty()) {
    Finding("a stock without a mesh, and no reason");
  }
}

// The rule check and the program's moves (generated ones included) only read the model: they
// run on what opened, and must neither crash nor hang.
void CheckRules(CDoc& doc) {
  if (!doc.Scope()) return;
  varnholt::rules::Check(*doc.Scope());
  const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
  for (const varnholt::ProgramStep& step : program.steps)
    if (step.moves.empty() && step.reason.empty()) Finding("a workingstep without moves says why");
  // The G-code and the time of what the program holds: all or nothing, a map line per line,
  // and time that is a number.
  varnholt::GcodeOptions options;
  options.allowPartial = true;
  options.acceptImplausible = true;
  const varnholt::GcodeResult gcode = varnholt::WriteGcode(program, options);
  if (!gcode.ok) Finding("G-code with --allow-partial was refused");
  size_t lines = 0;
  for (char c : gcode.text) lines += c == '\n';
  if (lines != gcode.lines.size()) Finding("the G-code's map has not one entry per line");
  for (size_t at = 0, end; at < gcode.text.size(); at = end + 1) {
    end = gcode.text.find('\n', at);
    if (end - at > 255) Finding("a G-code line longer than a controller reads");
  }
  const varnholt::ProgramTime time = varnholt::MachiningTime(program);
  if (!(time.total.Total() >= 0)) Finding("a machining time that is no number");
  Simulate(doc);
  // Every entity's table, with a row per instance of it.
  std::ostringstream csv;
  for (const varnholt::EntityTable& table : varnholt::EntityTable::AllEntities(*doc.Scope())) {
    varnholt::WriteCsv(table, csv);
    if (table.Header().size() < 2) Finding("a table without its instance and type columns");
  }
}

// The input and its save hold the same population: the comparison finds no difference.
void CompareWithSave(const std::string& input, const std::string& saved) {
  CDoc a, b;
  if (!a.OnOpenDocument(input.c_str()) || !b.OnOpenDocument(saved.c_str()) || !a.Scope() || !b.Scope()) return;
  const std::vector<varnholt::Difference> differences = varnholt::Compare(*a.Scope(), *b.Scope());
  if (!differences.empty())
    Finding("a file differs from its own save:\n" + varnholt::DifferencesText(differences));
}

// Opens `from` and saves it to `to`; the saved bytes, or why there are none.
bool OpenAndSave(const std::string& from, const std::string& to, std::string& saved,
                 std::string& log) {
  CDoc doc;
  const bool opened = doc.OnOpenDocument(from.c_str());
  if (opened) CheckRules(doc);
  const bool ok = opened && doc.OnSaveDocument(to);
  log = doc.LogText();
  if (ok) saved = ReadAll(to);
  return ok || !opened;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::Initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = fuzz::OwnFolder("varnholt-fuzz");
  const std::string path = folder + "/input.stp";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  // Log, written file and tree must be the same either way; a difference is a finding.
  const std::string direct = DocumentText(path, true);
  const std::string parsed = DocumentText(path, false);
  if (direct != parsed)
    Finding("direct reading differs from the parser:\n" + direct + "\n====\n" + parsed);

  // Both saves go to files of the same name, so FILE_NAME's name agrees as well.
  const std::string first = folder + "/1/saved.stp", second = folder + "/2/saved.stp";
  static const bool folders =
      mkdir((folder + "/1").c_str(), 0700) == 0 && mkdir((folder + "/2").c_str(), 0700) == 0;
  if (!folders) std::abort();
  std::string once, twice, log;
  if (!OpenAndSave(path, first, once, log)) Finding("a file that opened does not save:\n" + log);
  if (once.empty()) return 0;  // not opened
  if (!OpenAndSave(first, second, twice, log) || twice.empty())
    Finding("the save of a file that opened does not open:\n" + log + "\n====\n" + once);
  if (once != twice) Finding("a save saved again differs:\n" + once + "\n====\n" + twice);
  CompareWithSave(path, first);
  return 0;
}
