// The program as G-code for a controller, with a map from every line back to the instances it
// came from, and the machining time of the program. Plain text of our own: the moves are
// written as they are (straight lines, arcs in a principal plane, dwells), no canned cycles,
// so every controller executes exactly the moves of the scene.
#ifndef VARNHOLT_GCODE_H
#define VARNHOLT_GCODE_H

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "varnholt/program.h"

namespace varnholt {

enum class Dialect { LinuxCnc, Fanuc };

struct GcodeOptions {
  Dialect dialect = Dialect::LinuxCnc;
  /// How far chords of arcs outside a principal plane may lie from them, mm.
  double tolerance = 0.001;
  /// Tool numbers by the tool's its_id, from a tool table; tools not in it are numbered after
  /// the highest number given, in order of first use.
  std::map<std::string, int> toolNumbers;
  /// Write what can be written and list the rest instead of refusing the whole program.
  bool allowPartial = false;
  /// Write workingsteps whose feeds or speeds are implausible (see Implausibility) as they are,
  /// with a comment, instead of refusing the whole program.
  bool acceptImplausible = false;
  /// The file the program came from, named in the opening comments.
  std::string source;
};

/// Where one line of G-code came from; empty names for lines of no workingstep.
struct GcodeSource {
  std::string workingstep, operation, toolpath;  // "#300", "#310", "#420"
};

struct GcodeResult {
  /// False when a workingstep cannot be written (and partial output was not asked for); the
  /// text is then not to be written anywhere.
  bool ok = false;
  std::string text;
  /// One entry per line of `text`.
  std::vector<GcodeSource> lines;
  /// What was left out or refused, one sentence each naming the workingstep.
  std::vector<std::string> problems;
  /// The workingsteps written (or to be written) with implausible feeds or speeds, one each:
  /// "workingstep #300 'rough': feed 0.073 mm/min, below 1 mm/min". Without
  /// `acceptImplausible` any of them refuses the whole program (`ok` false).
  std::vector<std::string> implausible;
  /// The units chosen and feeds found implausible, for standard error.
  std::vector<std::string> notes;
  struct Tool {
    int number = 0;
    std::string name, id;  // "#56", its_id
    double diameter = 0;
  };
  std::vector<Tool> tools;  // in order of first use
};

GcodeResult WriteGcode(const Program& program, const GcodeOptions& options);

/// Whether the G-code runs a workingstep of the program, and why not: "no moves: ..." or
/// "left out: ..." as its heading in the program says. One per Program::steps.
struct StepRun {
  bool run = false;
  std::string reason;
};
std::vector<StepRun> GcodeRuns(const Program& program, const GcodeOptions& options = {});

/// Reads a LinuxCNC tool table ("T1 P1 D6 Z0 ;T_ENDMILL_6"): the comment after ';' is the
/// tool's its_id. False with the line and the reason in `why` for a line it cannot read.
bool ReadToolTable(std::istream& in, std::map<std::string, int>& numbers, std::string& why);

/// {"lines": [{"line": 1, "workingstep": 300|null, "operation": ..., "toolpath": ...}, ...]}
void WriteGcodeMap(const GcodeResult& result, std::ostream& out);

/// Lengths and times of one workingstep: length / feed over its moves, without acceleration.
/// A workingstep the G-code does not run counts nothing.
struct StepTime {
  std::string name, label;  // "#300", its_id
  bool run = true;          // the G-code runs it
  std::string reason;       // why not, where it does not
  /// Its feeds or speeds are implausible (`gcode` writes it only with --accept-implausible).
  bool implausible = false;
  std::string implausibleReason;  // ImplausibleText of its workingstep
  double cutting = 0, rapid = 0;        // mm
  std::vector<double> feeds;            // mm/min, each distinct feed once, in order of use
  double cuttingSeconds = 0, rapidSeconds = 0, toolChangeSeconds = 0, dwellSeconds = 0;
  bool toolChange = false;
  bool feedMissing = false;  // a cutting move without a feed: its time is not counted
  double Total() const { return cuttingSeconds + rapidSeconds + toolChangeSeconds + dwellSeconds; }
};

struct ProgramTime {
  UnitChoice units;            // as the program read feeds
  double rapidFeed = 5000;     // mm/min
  double toolChange = 5;       // s per change
  std::vector<StepTime> steps; // every workingstep, in machining order
  StepTime total;              // sums over those run; name and label empty
};

/// The time of the program as the G-code (LinuxCNC, implausible values accepted) runs it:
/// rapids from where the previous workingstep run ended, a tool change where the tool of a
/// cutting workingstep run is not the one in the spindle.
ProgramTime MachiningTime(const Program& program, double rapidFeed = 5000, double toolChangeSeconds = 5);

void WriteTimeText(const ProgramTime& time, std::ostream& out);
void WriteTimeJson(const ProgramTime& time, std::ostream& out);
/// "12 min 3.4 s" and the like.
std::string Duration(double seconds);

}  // namespace varnholt

#endif
