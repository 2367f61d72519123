// gcode FILE OUT.ngc and time FILE: the program for a controller, and how long it runs.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/gcode.h"
#include "varnholt/program.h"
#include "varnholt/save_io.h"

namespace cli {

namespace {

bool PositiveNumber(const std::string& value, double& out) {
  char* end = nullptr;
  out = std::strtod(value.c_str(), &end);
  return !value.empty() && end && *end == 0 && std::isfinite(out) && out > 0;
}

// The program of the file's first project, its workingsteps without moves named in the log.
bool OpenProgram(CDoc& doc, const char* in, const Arguments& arguments, varnholt::Program& program) {
  if (!doc.OnOpenDocument(in)) return false;
  varnholt::ProgramOptions options;
  if (arguments.Has("--units")) options.unitsGiven = varnholt::ParseUnits(arguments.Last("--units"), options.units);
  double tolerance = 0;
  if (arguments.Has("--tolerance") && PositiveNumber(arguments.Last("--tolerance"), tolerance))
    options.tolerance = tolerance;
  CDoc::LogRoute route(doc);
  program = varnholt::BuildProgram(*doc.Scope(), options);
  varnholt::LogProgram(program, doc.Log());
  return true;
}

}  // namespace

Verdict UnitsName(const std::string& value) {
  varnholt::UnitSystem system;
  if (varnholt::ParseUnits(value, system)) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no system of units: si (mm/s, m/s, rev/s) or shop (mm/min, m/min, rpm)");
}

Verdict DialectName(const std::string& value) {
  if (value == "linuxcnc" || value == "fanuc") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no dialect: linuxcnc or fanuc");
}

Verdict Tolerance(const std::string& value) {
  double v = 0;
  if (PositiveNumber(value, v) && v <= 10) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no tolerance: a length in mm above 0, at most 10");
}

Verdict Rate(const std::string& value) {
  double v = 0;
  if (PositiveNumber(value, v)) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no rapid rate: mm/min above 0");
}

Verdict Seconds(const std::string& value) {
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (!value.empty() && *end == 0 && std::isfinite(v) && v >= 0) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no time: seconds, 0 or more");
}

int Gcode(const Arguments& arguments) {
  const char* in = arguments.positional[0].c_str();
  const std::string& out = arguments.positional[1];
  varnholt::GcodeOptions options;
  options.dialect = arguments.Last("--dialect") == "fanuc" ? varnholt::Dialect::Fanuc : varnholt::Dialect::LinuxCnc;
  options.allowPartial = arguments.Has("--allow-partial");
  options.acceptImplausible = arguments.Has("--accept-implausible");
  if (arguments.Has("--tolerance")) PositiveNumber(arguments.Last("--tolerance"), options.tolerance);
  options.source = in;
  if (arguments.Has("--tool-table")) {
    const std::string table = arguments.Last("--tool-table");
    std::ifstream stream(table);
    std::string why;
    if (!stream) return Refuse("cannot read the tool table \"" + table + "\"");
    if (!varnholt::ReadToolTable(stream, options.toolNumbers, why))
      return Refuse("the tool table \"" + table + "\": " + why);
  }
  auto* doc = new CDoc;
  varnholt::Program program;
  const bool opened = OpenProgram(*doc, in, arguments, program);
  std::cout << doc->LogText();
  std::cout.flush();
  CloseDocument(doc, true);
  if (!opened) return Refuse(std::string("\"") + in + "\" could not be opened");
  if (!program.hasProject) return Refuse(std::string("\"") + in + "\" has no project: nothing is machined");

  const varnholt::GcodeResult result = varnholt::WriteGcode(program, options);
  for (const std::string& note : result.notes) std::cerr << "varnholt-cli: " << note << "\n";
  const bool partial = result.ok || options.allowPartial;
  for (const std::string& problem : result.problems)
    std::cerr << "varnholt-cli: " << (partial ? "left out " : "cannot write ") << problem << "\n";
  for (const std::string& step : result.implausible)
    std::cerr << "varnholt-cli: " << (result.ok ? "implausible, written as given: " : "implausible: ") << step << "\n";
  if (!result.ok) {
    std::string why;
    if (!partial)
      why = std::to_string(result.problems.size()) +
            (result.problems.size() == 1 ? " workingstep cannot" : " workingsteps cannot") +
            " be written (--allow-partial writes the rest)";
    if (!result.implausible.empty() && !options.acceptImplausible)
      why += (why.empty() ? "" : "; ") + std::to_string(result.implausible.size()) +
             (result.implausible.size() == 1 ? " workingstep has" : " workingsteps have") +
             " implausible feeds or speeds (--accept-implausible writes them as given)";
    return Refuse("nothing written to \"" + out + "\": " + why);
  }
  std::string why;
  if (!varnholt::ReplaceFile(out, [&](std::ostream& stream) {
        stream << result.text;
        return std::string();
      }, why))
    return Refuse("cannot write \"" + out + "\": " + why);
  if (arguments.Has("--map")) {
    const std::string map = arguments.Last("--map");
    if (!varnholt::ReplaceFile(map, [&](std::ostream& stream) {
          varnholt::WriteGcodeMap(result, stream);
          return std::string();
        }, why))
      return Refuse("cannot write \"" + map + "\": " + why);
  }
  return 0;
}

int Time(const Arguments& arguments) {
  const char* in = arguments.positional[0].c_str();
  const bool json = arguments.Last("--format") == "json";
  double rapid = 5000, change = 5;
  if (arguments.Has("--rapid")) PositiveNumber(arguments.Last("--rapid"), rapid);
  if (arguments.Has("--tool-change")) change = std::strtod(arguments.Last("--tool-change").c_str(), nullptr);
  auto* doc = new CDoc;
  varnholt::Program program;
  const bool opened = OpenProgram(*doc, in, arguments, program);
  std::ostringstream body;
  if (opened) {
    const varnholt::ProgramTime time = varnholt::MachiningTime(program, rapid, change);
    if (json) varnholt::WriteTimeJson(time, body);
    else varnholt::WriteTimeText(time, body);
    for (const varnholt::Program::Implausible& feed : program.implausible)
      doc->Log() << "implausible feed: " << feed.text << "\n";
  }
  // The JSON alone goes to standard output, so that it can be piped; the log then goes to
  // standard error.
  (json ? std::cerr : std::cout) << doc->LogText();
  std::cout << body.str();
  std::cout.flush();
  CloseDocument(doc, true);
  if (!opened) return Refuse(std::string("\"") + in + "\" could not be opened");
  return 0;
}

}  // namespace cli
