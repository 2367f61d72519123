// The program builder: follows the machining model's order of workingsteps and gives each its
// moves in its setup's coordinates, read from the file's toolpaths or generated from its
// feature.
#include "varnholt/program.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <ostream>
#include <unordered_set>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cct/instance.h"
#include "cct/scope.h"
#include "generate.h"
#include "model/read_toolpath.h"
#include "model/source.h"
#include "varnholt/model_read.h"

namespace varnholt {
namespace {

using namespace machining_detail;
using model_detail::SourceOf;

constexpr double kDefaultClear = 5;  // above the feature's top, where nothing says how far
constexpr double kSpindleBetweenSystems = 387.3;  // 3000 / sqrt(60)


bool Has(double value) { return !std::isnan(value); }

class ProgramBuilder {
 public:
  ProgramBuilder(Program& program, const Model& model, const ProgramOptions& options)
      : program_(program), model_(model), source_(*SourceOf(model)), options_(options), toolpaths_(options.tolerance) {}

  void Run() {
    if (model_.hasProject) {
      program_.hasProject = true;
      // The workingsteps in the order the workplans give them, until the budget of points is
      // spent; the setups and choices the walk had met by then.
      size_t visited = 0;
      const size_t total = model_.order.size();
      for (const ModelStep& step : model_.order) {
        if (toolpaths_.Exhausted()) break;
        if (options_.progress && !options_.progress(static_cast<int>(100 * visited / total))) {
          program_.cancelled = true;
          break;
        }
        Workingstep(step);
        ++visited;
      }
      const bool all = visited == model_.order.size();
      const size_t setups = all ? model_.setups.size() : visited ? model_.order[visited - 1].setupsMet : 0;
      for (size_t k = 0; k < setups; ++k) {
        const ModelSetup& setup = model_.setups[k];
        program_.setups.push_back({setup.name, setup.label, setup.origin});
      }
      for (const ModelChoice& choice : model_.choices)
        if (all || choice.steps < visited) program_.choices.push_back(choice.text);
      for (const ModelCycle& cycle : model_.cycles)
        program_.cycles.push_back(cycle.type + " " + cycle.structure + " " + CycleText(cycle));
      Convert();
    }
  }

 private:
  // Feeds and spindle speeds are gathered as the file gives them (per second or per minute)
  // and converted once the system is known, since the whole file decides it.
  void Convert() {
    program_.units = options_.unitsGiven ? Given() : model_.unitsChosen ? model_.units : Chosen();
    const UnitSystem system = program_.units.system;
    for (size_t k = 0; k < program_.steps.size(); ++k) {
      ProgramStep& step = program_.steps[k];
      if (std::isfinite(step.spindle)) step.spindle = SpindleRpm(step.spindle, system);
      for (Move& move : step.moves)
        if (std::isfinite(move.feed)) move.feed = FeedPerMinute(move.feed, system);
      Judge(step, stepTechnologies_[k], system);
    }
    for (const Rate& rate : rates_) {
      const double perMinute = FeedPerMinute(rate.value, system);
      if (perMinute >= kLeastPlausibleFeed && perMinute <= kMostPlausibleFeed) continue;
      program_.implausible.push_back(
          {rate.technology, rate.attribute,
           "technology " + rate.technology + ": " + rate.what + " " + Text(rate.value) + " reads as " +
               Text(perMinute) + " mm/min in " + UnitName(system) + " units, which is implausible (" +
               (perMinute < kLeastPlausibleFeed ? "below 1 mm/min" : "above 100 m/min") + ")"});
    }
  }

  // What of a cutting workingstep's technology no machine runs as meant, in mm/min, rpm and
  // m/min once the system is known: its moves' feeds, its spindle speed, its cutting speed
  // (as given, else from the spindle speed and the tool's diameter), its feed per tooth (as
  // given, else from its fastest feed, the spindle speed and the tool's teeth).
  void Judge(ProgramStep& step, int technologyIndex, UnitSystem system) const {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    bool cuts = false;
    for (const Move& move : step.moves) {
      if (move.kind != MoveKind::Feed && move.kind != MoveKind::Arc) continue;
      cuts = true;
      if (!(std::isfinite(move.feed) && move.feed > 0)) continue;
      low = std::min(low, move.feed);
      high = std::max(high, move.feed);
    }
    if (!cuts) return;
    auto add = [&step](Implausibility::Kind kind, double value, double limit, bool given, const std::string& text) {
      step.implausible.push_back({kind, value, limit, given, text});
    };
    if (low < kLeastPlausibleFeed)
      add(Implausibility::FeedLow, low, kLeastPlausibleFeed, true, "feed " + Text(low) + " mm/min, below 1 mm/min");
    if (std::isfinite(high) && high > kMostPlausibleFeed)
      add(Implausibility::FeedHigh, high, kMostPlausibleFeed, true,
          "feed " + Text(high) + " mm/min, above 100 m/min");
    const double rpm = std::fabs(step.spindle);
    const bool hasRpm = std::isfinite(rpm) && rpm > 0;
    if (hasRpm && rpm > kMostPlausibleSpindle)
      add(Implausibility::Spindle, rpm, kMostPlausibleSpindle, step.spindleNote.empty(),
          "spindle " + Text(rpm) + " rpm, above 60000 rpm");
    const ModelTechnology* technology = technologyIndex >= 0 ? &model_.technologies[technologyIndex] : nullptr;
    const double d = step.tool.diameter;
    const double cutspeed = technology && Has(technology->cutspeed) && technology->cutspeed > 0
                                ? (system == UnitSystem::Si ? technology->cutspeed * 60 : technology->cutspeed)
                                : std::numeric_limits<double>::quiet_NaN();
    if (cutspeed > kMostPlausibleCutspeed) {
      add(Implausibility::Cutspeed, cutspeed, kMostPlausibleCutspeed, true,
          "cutting speed " + Text(cutspeed) + " m/min, above 2000 m/min");
    } else if (hasRpm && d > 0 && kPi * d * rpm / 1000 > kMostPlausibleCutspeed) {
      const double v = kPi * d * rpm / 1000;
      add(Implausibility::Cutspeed, v, kMostPlausibleCutspeed, false,
          "cutting speed " + Text(v) + " m/min (pi x " + Text(d) + " mm x " + Text(rpm) + " rpm), above 2000 m/min");
    }
    const double perTooth = technology && Has(technology->feedratePerTooth) ? technology->feedratePerTooth : 0;
    const int teeth = step.tool.teeth;
    if (perTooth > kMostPlausibleFeedPerTooth) {
      add(Implausibility::FeedPerTooth, perTooth, kMostPlausibleFeedPerTooth, true,
          "feedrate_per_tooth " + Text(perTooth) + " mm, above 2 mm");
    } else if (hasRpm && teeth > 0 && std::isfinite(high) && high / (rpm * teeth) > kMostPlausibleFeedPerTooth) {
      const double fz = high / (rpm * teeth);
      add(Implausibility::FeedPerTooth, fz, kMostPlausibleFeedPerTooth, false,
          "feed per tooth " + Text(fz) + " mm (" + Text(high) + " mm/min / (" + Text(rpm) + " rpm x " +
              std::to_string(teeth) + " teeth)), above 2 mm");
    }
  }

  UnitChoice Given() const {
    UnitChoice choice;
    choice.system = options_.units;
    choice.given = true;
    choice.reason = std::string("given: ") + UnitDescription(choice.system);
    return choice;
  }

  // v = pi*d*n holds alike with m/s and rev/s or m/min and rpm, so agreement only says that a
  // technology's cutting speed and spindle speed are of one system; their size says which. A
  // milling spindle turns at hundreds to tens of thousands of rpm: read per minute, a speed
  // above 387 (3000 / sqrt 60, where both readings are equally far from a typical 3000 rpm)
  // lies nearer to that than read per second.
  UnitChoice Chosen() const {
    UnitChoice choice;
    const Vote* first[2] = {nullptr, nullptr};
    int count[2] = {0, 0};
    for (const Vote& vote : votes_) {
      const int k = std::fabs(vote.spindle) > kSpindleBetweenSystems ? 1 : 0;
      if (!first[k]) first[k] = &vote;
      ++count[k];
    }
    if (!first[0] && !first[1]) {
      choice.reason = "no technology gives a cutting speed and a spindle speed that agree with its tool's "
                      "diameter (v = pi*d*n within 5 %), so feeds and speeds are read in millimetres and seconds";
      return choice;
    }
    const int k = count[1] > count[0] || (count[1] == count[0] && first[1] && first[1]->order < first[0]->order) ? 1 : 0;
    choice.system = k ? UnitSystem::Shop : UnitSystem::Si;
    const Vote& v = *first[k];
    const double n = std::fabs(v.spindle);
    choice.reason = "technology " + v.technology + " gives cutspeed " + Text(v.cutspeed) + " and spindle " +
                    Text(v.spindle) + " for tool " + v.tool + " of diameter " + Text(v.diameter) +
                    " mm, which agree (v = pi*d*n) in either system; " +
                    (k ? Text(n) + " rpm is a milling spindle speed where " + Text(n) + " rev/s (" + Text(n * 60) +
                             " rpm) is none"
                       : Text(n) + " rev/s (" + Text(n * 60) + " rpm) is a milling spindle speed where " + Text(n) +
                             " rpm is none") +
                    " (" + std::to_string(count[k]) + " of " + std::to_string(count[0] + count[1]) +
                    " such technologies agree)";
    return choice;
  }

  static std::string Text(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
  }

  // What the file says of a technology's speeds, for choosing the system.
  void Gather(int technologyIndex, int toolIndex, double diameter, ProgramStep& out) {
    if (technologyIndex < 0) return;
    const ModelTechnology& technology = model_.technologies[technologyIndex];
    const ModelTool* tool = toolIndex >= 0 ? &model_.tools[toolIndex] : nullptr;
    out.technology = technology.name;
    const double n = Has(technology.spindle) ? technology.spindle : 0;
    const double v = Has(technology.cutspeed) ? technology.cutspeed : 0;
    const bool hasSpindle = n != 0;
    const bool hasCutspeed = v > 0;
    if (hasSpindle) {
      out.spindle = n;
    } else if (hasCutspeed && diameter > 0) {
      // The cutting speed and the tool's diameter give the spindle speed exactly; the turning
      // sense is the tool's hand of cut: the usual cutting sense (a negative speed, M3) for
      // right-hand tools and where the tool does not say.
      const bool left = tool && tool->hand == Hand::Left;
      out.spindle = (left ? 1 : -1) * v * 1000 / (kPi * diameter);
      out.spindleNote = "spindle from cutspeed " + Text(v) + " and diameter " + Text(diameter) + " mm" +
                        (left                                         ? ", left hand of cut"
                         : tool && tool->hand == Hand::Right ? ", right hand of cut"
                                                                      : ", in the usual cutting sense");
    }
    if (!seenTechnologies_.insert(technologyIndex).second) return;
    if (Has(technology.feedrate) && technology.feedrate > 0)
      rates_.push_back({out.technology, "feedrate", "feedrate", technology.feedrate});
    if (!hasSpindle || !hasCutspeed || !(diameter > 0)) return;
    const double expected = kPi * diameter / 1000 * std::fabs(n);
    if (std::fabs(v - expected) > 0.05 * expected) return;
    votes_.push_back({out.technology, tool ? tool->name : "#?", v, n, diameter, votes_.size()});
  }

  // A tool direction other than the setup's z axis needs axes a three-axis program lacks.
  void Axes(const ModelOperation& operation, const Placement& frame, ProgramStep& out) {
    auto along = [](const Vec3& d) { return std::fabs(d.x) < 1e-9 && std::fabs(d.y) < 1e-9 && d.z > 0; };
    const Vec3& axis = frame.axis[2];
    if (!along(axis)) {
      out.axisProblem = "its tool axis (" + Text(axis.x) + ", " + Text(axis.y) + ", " + Text(axis.z) +
                        ") is not the setup's z axis";
      return;
    }
    const ModelOperation::Direction& direction = operation.direction;
    switch (direction.kind) {
      case ModelOperation::Direction::None:
        return;
      case ModelOperation::Direction::Tilted: {
        if (direction.hasVector) {
          const Vec3& d = direction.vector;
          const Vec3 placed = Add(Add(Mul(frame.axis[0], d.x), Mul(frame.axis[1], d.y)), Mul(frame.axis[2], d.z));
          if (along(placed)) return;
        }
        out.axisProblem = "its tool direction (" + direction.name + ", three_axes_tilted_tool) is tilted";
        return;
      }
      case ModelOperation::Direction::ConstantTiltYaw:
        if (direction.hasAngles && direction.tilt == 0) return;
        break;
      case ModelOperation::Direction::Other:
        break;
    }
    out.axisProblem = "its tool direction (" + direction.name + ", " + direction.type + ") needs five axes";
  }

  ProgramTool Tool(int index, machining_detail::Tool& job) {
    ProgramTool out;
    if (index < 0) return out;
    const ModelTool& tool = model_.tools[index];
    out.name = tool.name;
    out.id = tool.id;
    job.tipHalfAngle = tool.tipHalfAngle;
    job.ballEnd = tool.ballEnd;
    job.drilling = tool.drilling;
    job.pointed = tool.pointed;
    job.drill = tool.drill;
    out.diameter = job.diameter = tool.diameter;
    out.hasCornerRadius = tool.hasCornerRadius;
    out.cornerRadius = job.cornerRadius = tool.cornerRadius;
    out.teeth = job.teeth = tool.teeth;
    out.hand = tool.hand;
    return out;
  }

  // The feed as the file gives it, per second or per minute (Convert makes it mm/min): the
  // technology's feedrate, else feed per tooth x teeth x spindle speed.
  double Feed(int index, int teeth) {
    if (index < 0) return std::numeric_limits<double>::quiet_NaN();
    const ModelTechnology& technology = model_.technologies[index];
    if (Has(technology.feedrate) && technology.feedrate > 0) return technology.feedrate;
    const double perTooth = technology.feedratePerTooth, spindle = technology.spindle;
    if (teeth > 0 && Has(perTooth) && perTooth > 0 && Has(spindle) && spindle != 0) {
      const double feed = perTooth * teeth * std::fabs(spindle);
      if (seenPerTooth_.insert(index).second)
        rates_.push_back({technology.name, "feedrate_per_tooth", "feedrate_per_tooth x teeth x spindle", feed});
      return feed;
    }
    return std::numeric_limits<double>::quiet_NaN();
  }

  void Workingstep(const ModelStep& at) {
    const int index = at.workingstep;
    if (options_.only && options_.only != source_.workingsteps[index]) return;
    const ModelWorkingstep& step = model_.workingsteps[index];
    ProgramStep out;
    out.name = step.name;
    out.label = step.label;
    out.type = step.type;
    out.setup = at.setup;
    const ModelFeature* feature = step.feature >= 0 ? &model_.features[step.feature] : nullptr;
    const ModelOperation* operation = step.operation >= 0 ? &model_.operations[step.operation] : nullptr;
    if (feature) out.feature = feature->name, out.featureType = feature->type;
    if (operation) out.operation = operation->name, out.operationType = operation->type;
    machining_detail::Tool tool;
    const int toolIndex = operation ? operation->tool : -1;
    out.tool = Tool(toolIndex, tool);
    Gather(operation ? operation->technology : -1, toolIndex, out.tool.diameter, out);
    if (operation) {
      out.coolant.flood = operation->coolant.flood;
      out.coolant.mist = operation->coolant.mist;
      out.coolant.throughSpindle = operation->coolant.throughSpindle;
    }
    Moves(at, step, feature, operation, tool, out);
    const bool sought = out.explicitMoves ? options_.explicitMoves : options_.generatedMoves;
    if (sought && out.moves.empty() && out.reason.empty()) out.reason = "the workingstep gives nothing to move along";
    program_.steps.push_back(std::move(out));
    stepTechnologies_.push_back(operation ? operation->technology : -1);
  }

  // The workpiece setup a feature's workpiece is clamped in, else the setup's first one; null
  // for a setup without any.
  static const ModelSetup::WorkpieceSetup* Clamping(const ModelSetup& setup, const ModelFeature* feature) {
    if (setup.workpieces.empty()) return nullptr;
    const int workpiece = feature ? feature->workpiece : -1;
    for (const ModelSetup::WorkpieceSetup& w : setup.workpieces)
      if (workpiece >= 0 && w.workpiece == workpiece) return &w;
    return &setup.workpieces.front();
  }

  void Moves(const ModelStep& at, const ModelWorkingstep& step, const ModelFeature* feature,
             const ModelOperation* operation, const machining_detail::Tool& tool, ProgramStep& out) {
    if (!operation) {
      out.reason = "the workingstep has no operation";
      return;
    }
    out.explicitMoves = operation->explicitToolpaths;
    if (out.explicitMoves ? !options_.explicitMoves : !options_.generatedMoves) return;
    // The workpiece's system within the setup, then the feature's.
    const ModelSetup* setup = at.setup >= 0 ? &model_.setups[at.setup] : nullptr;
    Placement frame;
    bool placed = !setup || setup->placed;
    const ModelSetup::WorkpieceSetup* clamped = setup ? Clamping(*setup, feature) : nullptr;
    if (clamped) {
      placed = placed && clamped->placed;
      frame = clamped->frame;
    }
    if (!placed) {
      out.reason = "the workingstep's setup cannot be placed";
      return;
    }
    const Placement workpieceFrame = frame;
    if (feature) {
      if (!feature->placed) {
        out.reason = "the feature has no placement";
        return;
      }
      frame = feature->placement.Within(frame);
    }
    Axes(*operation, frame, out);
    // The security plane is given in the workpiece's system.
    const bool hasPlane = step.hasSecurityPlane;
    const Placement plane = hasPlane ? step.securityPlane.Within(workpieceFrame) : Placement{};
    const Vec3& axis = frame.axis[2];
    // The height of the security plane in the feature's system, along its axis.
    double planeZ = std::numeric_limits<double>::quiet_NaN();
    if (hasPlane) {
      const double across = Dot(axis, plane.axis[2]);
      if (std::fabs(across) > 1e-9) planeZ = Dot(Sub(plane.origin, frame.origin), plane.axis[2]) / across;
    }
    const double feed = Feed(operation->technology, tool.teeth);

    std::vector<Move> local;
    if (out.explicitMoves) {
      if (!Explicit(step.operation, feed, tool.teeth, local, out)) {
        // An empty list still says the moves are the file's: none are generated in its place.
        out.reason = operation->listed == 0 ? "its toolpath list is empty: its moves are the file's, which gives none, "
                                              "so none are generated"
                                            : "the toolpaths the file gives cannot be read";
        return;
      }
    } else {
      if (!feature) {
        out.reason = "the workingstep has no feature to generate toolpaths from";
        return;
      }
      StepJob job(*feature, *operation, local);
      job.tool = tool;
      job.feed = feed;
      const double retract = operation->retractPlane;
      const bool hasRetract = Has(retract) && retract > 0;
      job.clearZ = hasRetract ? retract : kDefaultClear;
      if (std::isfinite(planeZ) && planeZ > 0 && (!hasRetract || planeZ < job.clearZ)) job.clearZ = planeZ;
      job.approach = operation->approach;
      job.retract = operation->retract;
      job.stock = StockOfFeature(model_, *feature);
      const bool generated = Generate(job, *operation, *feature);
      out.notes = std::move(job.notes);
      if (!generated) {
        out.reason = job.reason;
        local.clear();
        return;
      }
    }
    if (local.empty()) return;
    for (Move& move : local) move = Placed(move, frame);
    // In from the security plane above the first point, out to it above the last.
    const Vec3 begin = local.front().to, end = local.back().to;
    auto onPlane = [&](const Vec3& p) {
      if (!hasPlane) return Add(p, Mul(axis, 0));
      const double across = Dot(axis, plane.axis[2]);
      if (std::fabs(across) < 1e-9) return p;
      return Add(p, Mul(axis, Dot(Sub(plane.origin, p), plane.axis[2]) / across));
    };
    out.start = onPlane(begin);
    out.moves.reserve(local.size() + 2);
    MoveWriter writer(out.moves, out.start);
    writer.Rapid(out.start);
    // A generator's first rapid to its clearance height is no move where that is the plane.
    const bool first = local.front().kind == MoveKind::Rapid && Same(local.front().to, out.start);
    out.moves.insert(out.moves.end(), local.begin() + (first ? 1 : 0), local.end());
    if (!Same(onPlane(end), end)) writer.Rapid(onPlane(end));
  }

  bool Generate(StepJob& job, const ModelOperation& o, const ModelFeature& feature) {
    if (!o.milling && !o.drilling) {
      job.reason = "an operation of kind " + o.type + " is not one toolpaths are generated for (only milling and drilling)";
      return false;
    }
    if (o.freeform) {
      job.reason = "a freeform operation needs its surface; toolpaths are not generated for it";
      return false;
    }
    if (!(job.tool.diameter > 0)) {
      job.reason = "the operation's tool has no diameter";
      return false;
    }
    if (feature.area) return GenerateArea(job);
    if (feature.hole) return GenerateHole(job);
    if (feature.along) return GenerateAlong(job);
    job.reason = "a feature of kind " + feature.type + " is not one toolpaths are generated for";
    return false;
  }

  // The file's toolpaths in the feature's system, one after another: lines as feeds, arcs of
  // circles as arcs, other curves as the chords the scene draws. A toolpath's own speed is a
  // rapid or a share of the technology's feed; a speed curve along the path is read as its
  // technology's feed.
  bool Explicit(int operationIndex, double feed, int teeth, std::vector<Move>& out, ProgramStep& step) {
    const ModelOperation& operation = model_.operations[operationIndex];
    const std::vector<const cct_Instance*>& curves = source_.toolpathCurves[operationIndex];
    bool any = false;
    for (size_t k = 0; k < operation.toolpaths.size(); ++k) {
      const ModelToolpath& path = operation.toolpaths[k];
      if (step.axisProblem.empty() && path.toolAxis)
        step.axisProblem = "its toolpath " + path.name + " gives the tool axis along it";
      if (!path.hasCurve) continue;
      double pathFeed = Feed(path.technology, teeth);
      if (!std::isfinite(pathFeed)) pathFeed = feed;
      // A rapid movement's paths are rapid by what it is; other paths say it by their speed.
      bool rapid = operation.rapid;
      if (Has(path.speedRatio)) pathFeed *= path.speedRatio;
      else if (path.rapidSpeed) rapid = true;
      const size_t before = out.size();
      Vec3 at = out.empty() ? Vec3{} : out.back().to;
      if (!toolpaths_.Moves(*curves[k], pathFeed, out, at, out.empty())) {
        out.resize(before);
        continue;
      }
      if (out.size() == before) continue;
      const int source = static_cast<int>(step.toolpaths.size());
      step.toolpaths.push_back(path.name);
      for (size_t m = before; m < out.size(); ++m) {
        out[m].source = source;
        if (rapid && out[m].kind != MoveKind::Dwell) {
          out[m].kind = MoveKind::Rapid;
          out[m].feed = std::numeric_limits<double>::quiet_NaN();
        }
      }
      any = true;
    }
    return any;
  }

  static bool Same(const Vec3& a, const Vec3& b) { return SamePoint(a, b); }

  Program& program_;
  const Model& model_;
  const model_detail::Source& source_;
  const ProgramOptions& options_;
  model_detail::ToolpathReader toolpaths_;
  struct Vote {
    std::string technology, tool;
    double cutspeed, spindle, diameter;
    size_t order;
  };
  struct Rate {
    std::string technology, attribute, what;
    double value;
  };
  std::vector<Vote> votes_;
  std::vector<Rate> rates_;
  std::vector<int> stepTechnologies_;  // the technology of each of program_.steps, -1 for none
  std::unordered_set<int> seenTechnologies_, seenPerTooth_;
};

}  // namespace

Program BuildProgram(const Model& model, const ProgramOptions& options) {
  Program program;
  if (model_detail::SourceOf(model)) ProgramBuilder(program, model, options).Run();
  return program;
}

bool SpindleClockwise(const ProgramStep& step) {
  if (step.tool.hand == Hand::Right) return true;
  if (step.tool.hand == Hand::Left) return false;
  return step.spindle < 0;
}

bool SpindleSignAgainstHand(const ProgramStep& step) {
  // A speed worked out from the cutting speed has no sign of the file's: it turns as the tool cuts.
  if (!step.spindleNote.empty() || !std::isfinite(step.spindle) || step.spindle == 0) return false;
  return (step.tool.hand == Hand::Right && step.spindle > 0) || (step.tool.hand == Hand::Left && step.spindle < 0);
}

std::string ImplausibleText(const ProgramStep& step) {
  std::string text;
  for (const Implausibility& value : step.implausible) text += (text.empty() ? "" : "; ") + value.text;
  return text;
}

void LogProgram(const Program& program, std::ostream& log) {
  for (const std::string& cycle : program.cycles) log << cycle << "\n";
  for (const ProgramStep& step : program.steps)
    if (step.moves.empty() && !step.reason.empty())
      log << "workingstep " << step.name << ": no toolpaths: " << step.reason << "\n";
  for (const ProgramStep& step : program.steps)
    for (const std::string& note : step.notes) log << "workingstep " << step.name << ": " << note << "\n";
}

Program BuildProgram(cct_Scope& scope, const ProgramOptions& options) {
  ModelOptions read;
  read.projects = options.projects;
  read.tolerance = options.tolerance;
  return BuildProgram(ReadModel(scope, read), options);
}

}  // namespace varnholt

namespace varnholt {

const char* UnitName(UnitSystem system) { return system == UnitSystem::Si ? "si" : "shop"; }

const char* UnitDescription(UnitSystem system) {
  return system == UnitSystem::Si ? "feed mm/s, cutting speed m/s, spindle rev/s"
                                  : "feed mm/min, cutting speed m/min, spindle rpm";
}

bool ParseUnits(const std::string& text, UnitSystem& out) {
  if (text == "si") out = UnitSystem::Si;
  else if (text == "shop") out = UnitSystem::Shop;
  else return false;
  return true;
}

UnitChoice ChooseUnits(const Model& model) {
  ProgramOptions options;
  options.explicitMoves = options.generatedMoves = false;
  return BuildProgram(model, options).units;
}

UnitChoice ChooseUnits(cct_Scope& scope) { return ChooseUnits(ReadModel(scope)); }

}  // namespace varnholt
