// The machining model: what a project's program is, read once from the population into plain
// values. The program builder, the scene, G-code, time, the rule check's preflight, the desktop
// and Python take it instead of asking the instances each for themselves. Every object keeps
// the instance it was read from ("#N", as the tree and the log name it); whatever cannot be
// read carries its reason.
#ifndef VARNHOLT_MODEL_H
#define VARNHOLT_MODEL_H

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/scene.h"
#include "varnholt/units.h"

namespace varnholt {

namespace model_detail {
struct Source;  // the instances the model was read from, for the library's own use
}

constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();

/// What a milling or turning technology gives, as the file gives it (per second or per minute:
/// the program's units decide). NaN where unset.
struct ModelTechnology {
  std::string name;  // "#61"
  std::string type;  // its entity
  bool milling = false;
  double feedrate = kUnset, feedratePerTooth = kUnset, cutspeed = kUnset, spindle = kUnset;
  double feedratePerRevolution = kUnset;
  /// A turning technology's spindle speed ("#62", empty without one): a rotational speed, or a
  /// constant cutting speed.
  std::string spindleSpeed;
  double rotSpeed = kUnset, speed = kUnset;
};

enum class Hand { Unknown, Right, Left, Neutral };

struct ModelTool {
  std::string name;      // "#56"
  std::string id;        // its_id
  std::string bodyType;  // the entity of its tool body, "twist_drill"; empty without one
  double diameter = 0;   // 0 when the tool gives none
  /// The diameter its body's dimension gives, whatever its sign; NaN where unset, and where the
  /// body or its dimension is kept as written (what the checks before machining look at).
  double bodyDiameter = kUnset;
  bool hasCornerRadius = false;
  double cornerRadius = 0;
  /// The tool tip's half angle as written (writers give radians or degrees); 0 when not given.
  double tipHalfAngle = 0;
  double cuttingEdgeLength = kUnset, overallLength = kUnset;
  int teeth = 0;  // 0 when not given
  Hand hand = Hand::Unknown;
  /// What its body is: a ball end mill; a drilling tool (drill, centre drill, reamer, tap,
  /// countersink, boring tool, counterbore); of those, one with a point (drill, centre drill,
  /// countersink); of those, a drill or centre drill, whose point makes a hole's bottom.
  bool ballEnd = false, drilling = false, pointed = false, drill = false;
};

/// How the tool goes into material (approach) or out of it (retract).
struct Plunge {
  enum Kind { Axis, Ramp, Helix, Zigzag } kind = Axis;
  double angle = 0;   // radians, the slope against the plane
  double radius = 0;  // helix
  double width = 0;   // zigzag
};

/// A toolpath the file gives, as the program follows it; its curve stays with the population.
struct ModelToolpath {
  std::string name;     // "#420"
  int technology = -1;  // its own technology, index into Model::technologies
  /// Its speed: a share of the feed (speedRatio above 0), or a rapid.
  double speedRatio = kUnset;
  bool rapidSpeed = false;
  bool toolAxis = false;  // it gives the tool axis along it
  bool hasCurve = false;
};

/// An operation's machining strategy, as far as the generators follow it.
struct ModelStrategy {
  std::string name, type;  // empty where the operation gives none
  /// The pattern of an area's clearing it names, tested in this order.
  enum Pattern {
    None, Unidirectional, Bidirectional, ContourParallel, BidirectionalContour, ContourBidirectional, CenterMilling,
    Other
  } pattern = None;
  double overlap = kUnset;
  bool hasFeedDirection = false;   // feed_direction is given
  bool feedDirectionRead = false;  // and reads as a direction
  Vec3 feedDirection;
  /// Enumeration values as written ("right", "cw", "conventional"); empty where unset.
  std::string stepoverDirection, rotationDirection, cutmode, spiralCutmode;
  /// Drilling: reduced feeds near the start and the end, and over what depth.
  double reducedFeedAtStart = kUnset, depthOfStart = kUnset, reducedFeedAtEnd = kUnset, depthOfEnd = kUnset;
};

struct ModelOperation {
  std::string name, type;  // "#60", its entity
  bool milling = false, drilling = false, freeform = false, rapid = false;
  bool drill = false;  // of the entity drilling itself: the operation that makes a hole to size
  int tool = -1;        // index into Model::tools
  int technology = -1;  // index into Model::technologies
  bool explicitToolpaths = false;  // its_toolpath is given
  /// The trajectories of its toolpath list that the program can follow, in the list's order.
  std::vector<ModelToolpath> toolpaths;
  size_t listed = 0;  // the elements of its toolpath list, whatever they are
  double retractPlane = kUnset;
  Plunge approach, retract;
  /// What kind of milling or drilling it is, as the generators ask.
  bool sideMilling = false, planeMilling = false, bottomAndSideMilling = false, counterSinking = false,
       multistepDrilling = false, boring = false, tapping = false, threadDrilling = false;
  /// The depths, allowances and cycle values it gives; NaN where unset.
  double axialCuttingDepth = kUnset, radialCuttingDepth = kUnset, allowanceSide = kUnset, allowanceBottom = kUnset,
         cuttingDepth = kUnset, firstDepth = kUnset, depthOfStep = kUnset, retractDistance = kUnset,
         dwellTimeStep = kUnset, dwellTimeBottom = kUnset, feedOnRetract = kUnset;
  ModelStrategy strategy;
  /// The operation's machine functions: flood coolant, mist, coolant through the spindle.
  struct Coolant {
    bool flood = false, mist = false, throughSpindle = false;
  } coolant;
  /// The tool direction: unset or along the axis (None), tilted by a direction, five axes
  /// with a constant tilt and yaw, or another kind the program cannot run.
  struct Direction {
    enum Kind { None, Tilted, ConstantTiltYaw, Other } kind = None;
    std::string name, type;  // the direction's instance and entity
    bool hasVector = false;
    Vec3 vector;  // Tilted: normalised, in the feature's system
    bool hasAngles = false;
    double tilt = 0, yaw = 0;
  } direction;
};

struct AreaFeature;
struct HoleFeature;
struct AlongFeature;

struct ModelFeature {
  std::string name, type;  // "#70", its entity
  int workpiece = -1;      // index into Model::workpieces; -1 where it names none known
  /// Its placement within its workpiece; `placed` false (with the log's reason) when unread.
  bool placed = false;
  Placement placement;
  /// The feature's geometry in its own system, by the family the generators know it as: faces
  /// and pockets (area), round holes (hole), slots, steps and profiles (along). Null for any
  /// other kind.
  std::shared_ptr<const AreaFeature> area;
  std::shared_ptr<const HoleFeature> hole;
  std::shared_ptr<const AlongFeature> along;
  /// The smallest width a tool has to pass through: a slot's swept shape, a pocket's boundary.
  /// NaN where the feature gives none.
  double width = kUnset;
  /// A round hole's diameter and, where a plus-minus tolerance gives them, its limits.
  double diameter = kUnset;
  bool toleranced = false;
  double upperLimit = 0, lowerLimit = 0;
};

/// The stock a workpiece is cut from, in the workpiece's system.
struct ModelStock {
  enum Kind { None, Block, Cylinder, Other } kind = None;
  std::string name, type;
  Placement position;
  double x = 0, y = 0, z = 0;  // a block's sizes; a cylinder's radius is x, its height z
  std::string reason;          // why it cannot be read; empty when it can
};

struct ModelWorkpiece {
  std::string name, id;
  ModelStock stock;
  /// Where the file says it is clamped, in its own system (the points that can be read).
  std::vector<Vec3> clampingPositions;
};

struct ModelSetup {
  std::string name;   // "#14"
  std::string label;  // its_id
  bool placed = true;
  Placement origin;   // its_origin, in machine coordinates
  struct WorkpieceSetup {
    int workpiece = -1;  // index into Model::workpieces
    bool placed = false;
    Placement frame;  // within the setup
  };
  std::vector<WorkpieceSetup> workpieces;
};

struct ModelWorkingstep {
  std::string name, label, type;  // "#50", its_id, its entity
  int feature = -1, operation = -1;
  /// The features of its list of features (indices into Model::features), where it gives one.
  std::vector<int> listedFeatures;
  /// Its security plane (a plane), in its workpiece's system.
  bool hasSecurityPlane = false;
  Placement securityPlane;
  /// The surface it names as security plane ("#40", empty without one) and, whatever its kind,
  /// whether its position could be read (then in `securityPlane`).
  std::string securityPlaneName;
  bool securityPositionRead = false;
};

/// Every machining object of the file, reached by the project's workplans or not, for the
/// checks before machining: read only where the reader is asked to (ModelOptions::population).
struct ModelPopulation {
  bool read = false;
  /// Indices into the model's objects: every workingstep, machining operation and technology.
  std::vector<int> workingsteps, operations, technologies;
  /// The workpieces the file's projects name, each once, in their order.
  bool hasProject = false;
  std::vector<int> projectWorkpieces;
};

/// An element of the workplans as the walk met it: a workingstep each time a workplan lists
/// it, with the setup it is machined in.
struct ModelStep {
  int workingstep = -1;  // index into Model::workingsteps
  int setup = -1;        // index into Model::setups; -1 outside any setup
  size_t setupsMet = 0;  // how many setups the walk had met when it came here
};

/// A structure followed by one way through only, after `steps` entries of the order.
struct ModelChoice {
  std::string text;  // "#70: a selective element: only its first alternative is followed"
  size_t steps = 0;
};

/// The project's program as the walk follows it: the main workplan and, within each structure
/// entered, its elements in machining order (a selective, parallel, if or while element by the
/// one way through it that is followed), down to workingsteps, NC functions and program stops.
struct ModelExecutable {
  enum Kind { Workingstep, Workplan, Selective, Parallel, If, While, ProgramStop, NcFunction, Other } kind = Other;
  std::string name, label, type;  // "#2", its_id, its entity
  int step = -1;                  // a workingstep: index into Model::order
  std::vector<size_t> elements;   // indices into Model::executables
};

/// A workplan that contains itself, directly or through other structures.
struct ModelCycle {
  std::string structure;  // "#3", a workplan or another structure
  std::string type;       // its entity, "workplan"
  std::string through;   // the element that leads back to it, "#4"
};

/// One thing the walk of the workplans did, in the order it did it, so that the scene can
/// follow it step by step: asked whether to go on (before each element of a workplan), met a
/// problem (index into Model::problems), met a setup for the first time (into Model::setups),
/// came to a workingstep (into Model::order), finished an element of the main workplan.
struct ModelWalkEvent {
  enum Kind { Check, Problem, Setup, Step, MainElementDone } kind = Check;
  size_t index = 0;
};

struct Model {
  bool hasProject = false;
  std::string project;  // "#1"
  /// The workingsteps in machining order, each appearance once.
  std::vector<ModelStep> order;
  std::vector<ModelChoice> choices;
  std::vector<ModelCycle> cycles;
  bool hasMainWorkplan = false;
  size_t mainElements = 0;  // the main workplan's elements, for progress
  /// What the walk could not place, once per instance, as the scene names it.
  std::vector<SceneProblem> problems;
  std::vector<ModelWalkEvent> walk;
  /// The tree of the program; [0] is the main workplan where there is one.
  std::vector<ModelExecutable> executables;
  std::vector<ModelSetup> setups;  // in the order the walk first meets them
  std::vector<ModelWorkpiece> workpieces;
  std::vector<ModelWorkingstep> workingsteps;
  std::vector<ModelFeature> features;
  std::vector<ModelOperation> operations;
  std::vector<ModelTool> tools;
  std::vector<ModelTechnology> technologies;
  ModelPopulation population;
  /// The system feeds and speeds are read in, chosen once from every technology the program
  /// uses (a program of one workingstep alone reads its feeds as the whole file's do).
  bool unitsChosen = false;
  UnitChoice units;
  /// The instances behind the objects; only the library reads it.
  std::shared_ptr<const model_detail::Source> source;
};

/// What a cycle is, after the structure's name: "contains itself through #4; ...".
std::string CycleText(const ModelCycle& cycle);

}  // namespace varnholt

#endif
