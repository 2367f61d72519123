// scene FILE [--format text|json]: the program as motion, per workingstep in machining order.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/program.h"

namespace cli {

namespace {

std::string Millimetres(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f mm", v);
  return buffer;
}

void WriteText(const varnholt::Program& program, std::ostream& out) {
  if (!program.hasProject) {
    out << "no project: nothing is machined\n";
    return;
  }
  for (const varnholt::ProgramStep& step : program.steps) {
    out << step.name << " '" << step.label << "'";
    if (!step.feature.empty()) out << " " << step.featureType << " " << step.feature;
    if (!step.operation.empty()) out << ", " << step.operationType << " " << step.operation;
    if (step.moves.empty()) {
      out << ": no moves (" << step.reason << ")\n";
      continue;
    }
    const varnholt::MoveLengths lengths = varnholt::Lengths(step.start, step.moves);
    out << ": " << step.moves.size() << (step.explicitMoves ? " moves from the file" : " generated moves")
        << ", cutting " << Millimetres(lengths.cutting) << ", rapid " << Millimetres(lengths.rapid) << "\n";
  }
}

}  // namespace

Verdict SceneFormat(const std::string& value) {
  if (value == "text" || value == "json") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no format: text or json");
}

int Scene(const Arguments& arguments) {
  const char* in = arguments.positional[0].c_str();
  const bool json = arguments.Has("--format") && arguments.Last("--format") == "json";
  auto* doc = new CDoc;
  const bool opened = doc->OnOpenDocument(in);
  varnholt::Program program;
  if (opened) {
    CDoc::LogRoute route(*doc);
    varnholt::ProgramOptions options;
    if (arguments.Has("--units")) options.unitsGiven = varnholt::ParseUnits(arguments.Last("--units"), options.units);
    if (arguments.Has("--tolerance")) options.tolerance = std::strtod(arguments.Last("--tolerance").c_str(), nullptr);
    program = varnholt::BuildProgram(*doc->Scope(), options);
    varnholt::LogProgram(program, doc->Log());
  }
  // The JSON alone goes to standard output, so that it can be piped; the log then goes to
  // standard error.
  std::ostringstream body;
  if (opened) (json ? varnholt::WriteProgramJson(program, body) : WriteText(program, body));
  (json ? std::cerr : std::cout) << doc->LogText();
  std::cout << body.str();
  std::cout.flush();
  CloseDocument(doc, true);
  if (!opened) {
    std::cerr << "varnholt-cli: \"" << in << "\" could not be opened\n";
    return 1;
  }
  return 0;
}

}  // namespace cli
