// The machining program of a project as motion: per workingstep in machining order its
// feature, operation and tool and the moves of the tool, from the toolpaths the file gives or
// generated from the feature where it gives none. Coordinates are the setup's (the system a
// controller's work offset stands for); the scene places them in the machine's.
#ifndef VARNHOLT_PROGRAM_H
#define VARNHOLT_PROGRAM_H

#include <functional>
#include <iosfwd>
#include <limits>
#include <string>
#include <vector>

#include "varnholt/model.h"
#include "varnholt/motion.h"
#include "varnholt/scene.h"
#include "varnholt/units.h"

class cct_Instance;
class cct_Scope;

namespace varnholt {

struct ProgramSetup {
  std::string name;   // "#14"
  std::string label;  // its_id
  Placement origin;   // its_origin, in machine coordinates
};

struct ProgramTool {
  std::string name;  // "#56", empty without a tool
  std::string id;    // its_id
  double diameter = 0;
  bool hasCornerRadius = false;
  double cornerRadius = 0;
  int teeth = 0;  // 0 when not given
  Hand hand = Hand::Unknown;
};

/// A value of a workingstep's technology that no machine runs as meant: a feed that reads as
/// less than 1 mm/min or more than 100 m/min, a spindle above 60,000 rpm, a cutting speed above
/// 2,000 m/min, a feed per tooth above 2 mm (worked out from the feed, the spindle speed and the
/// tool's teeth, or as the technology gives it).
struct Implausibility {
  enum Kind { FeedLow, FeedHigh, Spindle, Cutspeed, FeedPerTooth } kind = FeedLow;
  double value = 0;  // mm/min, rpm, m/min, mm
  double limit = 0;  // the bound it lies beyond, in the same unit
  bool given = true;  // as the technology gives it; false where worked out from other values
  /// One phrase: "feed 0.073 mm/min, below 1 mm/min".
  std::string text;
};

struct ProgramStep {
  std::string name, label;  // "#50", its_id
  std::string type;         // its entity, "machining_workingstep"
  int setup = -1;           // index into Program::setups; -1 without a setup
  std::string feature, featureType, operation, operationType;
  ProgramTool tool;
  std::string technology;  // "#60", empty without one
  /// Spindle speed in rpm with the file's sign: negative for the usual cutting sense (M3),
  /// positive for the other; NaN where the technology gives none.
  double spindle = std::numeric_limits<double>::quiet_NaN();
  /// How the spindle speed was worked out where the technology gives none; empty otherwise.
  std::string spindleNote;
  /// What of its technology is implausible, for a workingstep with cutting moves; empty when
  /// everything is plausible.
  std::vector<Implausibility> implausible;
  /// The operation's machine functions: flood coolant, mist, coolant through the spindle.
  struct Coolant {
    bool flood = false, mist = false, throughSpindle = false;
  } coolant;
  /// Why the workingstep needs more than three axes (a tool direction other than the setup's
  /// z axis); empty when three do.
  std::string axisProblem;
  /// The explicit toolpaths the moves came from ("#420"); a move's `source` indexes it.
  std::vector<std::string> toolpaths;
  /// True when the moves come from toolpaths the file gives.
  bool explicitMoves = false;
  /// Where the tool is before the first move: on the security plane above where it goes down.
  Vec3 start;
  std::vector<Move> moves;
  /// Why the workingstep has no moves; empty when it has some.
  std::string reason;
  /// What the moves do not make as the feature says, though they machine what they can (a
  /// corner the tool's shape cannot reach, a bottom left to the drill's point): one sentence each.
  std::vector<std::string> notes;
};

struct Program {
  bool hasProject = false;
  /// The system feeds and speeds were read in, and why.
  UnitChoice units;
  /// Feeds that convert to an implausible rate: the technology ("#61"), the attribute that
  /// gives the feed, and one sentence.
  struct Implausible {
    std::string technology, attribute, text;
  };
  std::vector<Implausible> implausible;
  /// Structures followed by one way through only ("#70: a selective element: ...").
  std::vector<std::string> choices;
  /// Structures that contain themselves, entered once ("workplan #3 contains itself ...").
  std::vector<std::string> cycles;
  std::vector<ProgramSetup> setups;
  std::vector<ProgramStep> steps;  // in the order of the workplans
  /// True when the caller's progress stopped it: it then holds the workingsteps before.
  bool cancelled = false;
};

struct ProgramOptions {
  bool explicitMoves = true;   // read the toolpaths the file gives
  bool generatedMoves = true;  // generate them where it gives none
  /// When set, the program holds this workingstep alone (each time the workplans reach it).
  const cct_Instance* only = nullptr;
  /// The system to read feeds and speeds in; chosen from the file where not given.
  bool unitsGiven = false;
  UnitSystem units = UnitSystem::Si;
  /// How far the chords of curves the file gives (b-splines, conics) may lie from them, mm.
  double tolerance = 0.001;
  /// The scope's instances of project where the caller has them at hand (a superset will do):
  /// with a single one among them, the walk over every name that finds the first is spared.
  const std::vector<const cct_Instance*>* projects = nullptr;
  /// Told before each workingstep how far the program is (0 to 99 %); answering false stops it
  /// there (Program::cancelled).
  std::function<bool(int percent)> progress;
};

/// The sense the spindle turns in for a workingstep: as its tool cuts, clockwise seen from the
/// spindle (M3) for a right-hand tool, counter-clockwise (M4) for a left-hand one; for a tool
/// of no hand or a neutral one, as the sign of the spindle speed says (negative: M3).
bool SpindleClockwise(const ProgramStep& step);
/// True when the technology gives the spindle speed with the sign of the sense other than the
/// one the tool's hand of cut turns in (a right-hand tool at a positive speed, a left-hand one
/// at a negative one); the spindle then turns as the tool cuts.
bool SpindleSignAgainstHand(const ProgramStep& step);
/// The workingstep's implausible values as one text, "feed 0.073 mm/min, below 1 mm/min;
/// spindle ..."; empty where there are none.
std::string ImplausibleText(const ProgramStep& step);

/// The program of a machining model.
Program BuildProgram(const Model& model, const ProgramOptions& options = {});
/// The program of the scope's first project: its model read, then its program built.
Program BuildProgram(cct_Scope& scope, const ProgramOptions& options = {});

/// Writes what the log says of a program: the structures that contain themselves, and each
/// workingstep without moves with why.
void LogProgram(const Program& program, std::ostream& log);

/// One move as the JSON document gives it.
void WriteMoveJson(const Move& move, std::ostream& out);

/// The program as the JSON document `varnholt-cli scene --format json` prints.
void WriteProgramJson(const Program& program, std::ostream& out);

}  // namespace varnholt

#endif
