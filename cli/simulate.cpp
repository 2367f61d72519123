// simulate FILE: the program run on the workpiece's stock, what it meets and what it leaves.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/save_io.h"
#include "varnholt/simulate.h"

namespace cli {

Verdict Resolution(const std::string& value) {
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (!value.empty() && *end == 0 && std::isfinite(v) && v >= 0.001 && v <= 100) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no resolution: a length in mm from 0.001 to 100");
}

int Simulate(const Arguments& arguments) {
  const char* in = arguments.positional[0].c_str();
  const bool json = arguments.Last("--format") == "json";
  varnholt::SimulateOptions options;
  if (arguments.Has("--resolution")) options.resolution = std::strtod(arguments.Last("--resolution").c_str(), nullptr);
  options.until = arguments.Last("--until");
  options.volumes = [](const varnholt::Model& model, int index, std::string& why) {
    return varnholt::MakeFeatureVolume(model, index, why);
  };
  auto* doc = new CDoc;
  const bool opened = doc->OnOpenDocument(in);
  varnholt::SimulateResult result;
  bool project = false;
  varnholt::UnitSystem units = varnholt::UnitSystem::Shop;
  if (opened) {
    CDoc::LogRoute route(*doc);
    const varnholt::Model model = varnholt::ReadModel(*doc->Scope());
    varnholt::ProgramOptions programOptions;
    if (arguments.Has("--units"))
      programOptions.unitsGiven = varnholt::ParseUnits(arguments.Last("--units"), programOptions.units);
    const varnholt::Program program = varnholt::BuildProgram(model, programOptions);
    varnholt::LogProgram(program, doc->Log());
    project = program.hasProject;
    units = program.units.system;
    if (project) {
      const varnholt::GcodeResult gcode = varnholt::WriteGcode(program, varnholt::SimulationGcodeOptions());
      result = varnholt::Simulate(model, program, gcode, options);
    }
  }
  // The report alone goes to standard output in JSON, so that it can be piped.
  (json ? std::cerr : std::cout) << doc->LogText();
  std::cout.flush();
  CloseDocument(doc, true);
  if (!opened) return Refuse(std::string("\"") + in + "\" could not be opened");
  if (!project) return Refuse(std::string("\"") + in + "\" has no project: nothing is machined");
  if (!result.ok) return Refuse(std::string("\"") + in + "\": " + result.error);
  if (!options.until.empty())
    for (const std::string& note : result.notes)
      if (note.rfind("no workingstep ", 0) == 0) return Refuse(note);
  if (json) {
    varnholt::WriteSimulateJson(result, std::cout);
  } else {
    varnholt::WriteSimulateText(result, std::cout, units == varnholt::UnitSystem::Shop);
  }
  std::cout.flush();
  if (arguments.Has("--stl")) {
    const std::string out = arguments.Last("--stl");
    std::string why;
    double volume = 0;
    if (!varnholt::ReplaceFile(out, [&](std::ostream& stream) {
          std::string problem;
          if (!varnholt::WriteStockStl(result, stream, volume, problem)) return problem.empty() ? std::string("failed") : problem;
          return std::string();
        }, why))
      return Refuse("cannot write \"" + out + "\": " + why);
    std::cerr << "varnholt-cli: the stock's mesh in \"" << out << "\" encloses " << volume << " mm3\n";
  }
  const std::string failOn = arguments.Last("--fail-on");
  if ((failOn == "error" && result.Errors() > 0) || (failOn == "warning" && result.Errors() + result.Warnings() > 0))
    return 3;
  return 0;
}

}  // namespace cli
