// G-code of a program: the moves of every workingstep as a controller executes them, with the
// tool changes, spindle, coolant and feeds the file's technology gives, and nothing guessed.
#include "varnholt/gcode.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <istream>
#include <ostream>
#include <sstream>

#include "json_text.h"

namespace varnholt {
namespace {

// Enough digits to read back within 1e-6 mm, never an exponent, no trailing zeros.
void AppendNumber(std::string& out, double v) {
  if (!std::isfinite(v)) v = 0;
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6);
  char* end = result.ptr;
  const char* dot = static_cast<const char*>(std::memchr(buffer, '.', static_cast<size_t>(end - buffer)));
  if (dot) {
    while (end > dot + 1 && end[-1] == '0') --end;
    if (end == dot + 1) --end;
  }
  if (end - buffer == 2 && buffer[0] == '-' && buffer[1] == '0') {
    out += '0';
    return;
  }
  out.append(buffer, end);
}

std::string Number(double v) {
  std::string text;
  AppendNumber(text, v);
  return text;
}

// A comment's text: parentheses would end it early, line breaks would end the line.
std::string CommentText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '(') out += '[';
    else if (c == ')') out += ']';
    else if (c < 0x20 || c == 0x7f) out += ' ';
    else out += static_cast<char>(c);
  }
  return out;
}

// The work offsets a dialect has, for the first, second, ... setup.
std::vector<std::string> WorkOffsets(Dialect dialect) {
  std::vector<std::string> offsets{"G54", "G55", "G56", "G57", "G58", "G59"};
  if (dialect == Dialect::LinuxCnc) {
    for (const char* extra : {"G59.1", "G59.2", "G59.3"}) offsets.push_back(extra);
  } else {
    for (int k = 1; k <= 48; ++k) offsets.push_back("G54.1 P" + std::to_string(k));
  }
  return offsets;
}

constexpr size_t kCommentWidth = 120;
constexpr double kFarthest = 1e7;         // mm from the setup's origin
constexpr double kFastestFeed = 1e9;      // mm/min
constexpr double kFastestSpindle = 1e7;   // rpm
constexpr double kLongestDwell = 1e7;     // s

// True when the workingstep has a cutting move (a feed or an arc), not rapids and dwells alone.
bool Cuts(const ProgramStep& step) {
  return std::any_of(step.moves.begin(), step.moves.end(),
                     [](const Move& m) { return m.kind == MoveKind::Feed || m.kind == MoveKind::Arc; });
}

enum class Plane { None, XY, XZ, YZ };

// The principal plane an arc's normal is the axis of, and whether it points along the axis.
Plane PlaneOf(const Vec3& normal, bool& positive) {
  const double length = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
  if (!(length > 0)) return Plane::None;
  const Vec3 n{normal.x / length, normal.y / length, normal.z / length};
  const double e = 1e-9;
  if (std::fabs(n.x) < e && std::fabs(n.y) < e) return positive = n.z > 0, Plane::XY;
  if (std::fabs(n.x) < e && std::fabs(n.z) < e) return positive = n.y > 0, Plane::XZ;
  if (std::fabs(n.y) < e && std::fabs(n.z) < e) return positive = n.x > 0, Plane::YZ;
  return Plane::None;
}

class Writer {
 public:
  Writer(const Program& program, const GcodeOptions& options, GcodeResult& result)
      : program_(program), options_(options), result_(result) {}

  void Run() {
    Plan();
    if (!result_.ok) return;
    size_t moves = 0;
    for (const ProgramStep& step : program_.steps) moves += step.moves.size();
    text_.reserve(moves * 32 + 4096);
    result_.lines.reserve(moves + 256);
    Opening();
    for (size_t k = 0; k < program_.steps.size(); ++k) Step(k);
    Closing();
    result_.text = std::move(text_);
  }

 private:
  struct Planned {
    bool write = false;
    int tool = 0;            // index into result_.tools
    bool cuts = false;       // rapid moves alone change no tool, spindle or coolant
    std::string offset;      // "G54"
    std::string note;        // why it has no moves, or why it is left out
  };

  std::string StepName(const ProgramStep& step) const {
    std::string name = "workingstep " + step.name;
    if (!step.label.empty()) name += " '" + step.label + "'";
    return name;
  }

  // Decides for every workingstep whether it is written, with which tool and work offset, and
  // lists what cannot be; with anything refused and no partial output asked for, nothing is.
  void Plan() {
    const std::vector<std::string> offsets = WorkOffsets(options_.dialect);
    int nextNumber = 1;
    for (const auto& entry : options_.toolNumbers) nextNumber = std::max(nextNumber, entry.second + 1);
    std::map<int, size_t> offsetOf;
    std::map<std::string, size_t> toolOf;
    bool refused = false;
    planned_.resize(program_.steps.size());
    // Per feature, the first workingstep on it that is not run: what follows it on the feature
    // (a finish after its roughing) would meet the material that one was to take away.
    std::map<std::string, size_t> missing;
    for (size_t k = 0; k < program_.steps.size(); ++k) {
      const ProgramStep& step = program_.steps[k];
      Planned& plan = planned_[k];
      auto before = step.feature.empty() ? missing.end() : missing.find(step.feature);
      if (step.moves.empty()) {
        if (step.reason.empty()) {
          Refuse(plan, step, "it has no moves and no reason why");
          refused = true;
        } else {
          plan.note = "no moves: " + step.reason;
        }
        if (!step.feature.empty()) missing.emplace(step.feature, k);
        continue;
      }
      std::string why;
      // Rapid moves alone need no tool, spindle or feed: they keep what the machine has.
      const bool cuts = Cuts(step);
      if (!step.axisProblem.empty()) why = step.axisProblem + ", which a three-axis program cannot hold";
      else if (!WithinReach(step)) why = "its moves, feeds or speeds lie beyond what a controller takes (10 km, 10^9 mm/min, 10^7 rpm)";
      else if (!cuts) why.clear();
      else if (step.tool.name.empty()) why = "it has no tool";
      else if (!(step.tool.diameter > 0)) why = "its tool " + step.tool.name + " has no diameter";
      else if (!std::isfinite(step.spindle)) why = "its technology gives no spindle speed";
      else if (std::any_of(step.moves.begin(), step.moves.end(), [](const Move& m) {
                 return (m.kind == MoveKind::Feed || m.kind == MoveKind::Arc) && !(m.feed > 0);
               }))
        why = "its technology gives no feed rate";
      // Its own reason first; where it has none, the one of the workingstep before it.
      if (why.empty() && cuts && before != missing.end()) {
        const ProgramStep& earlier = program_.steps[before->second];
        why = "its feature " + step.feature + " is machined first by " + StepName(earlier) + ", which " +
              (earlier.moves.empty() ? "has no moves" : "is left out") +
              ", and without it this one would cut what that was to take away";
      }
      if (why.empty()) {
        auto found = offsetOf.find(step.setup);
        if (found == offsetOf.end()) {
          if (offsetOf.size() >= offsets.size())
            why = "its setup needs a work offset beyond the " + std::to_string(offsets.size()) + " the dialect has";
          else
            found = offsetOf.emplace(step.setup, offsetOf.size()).first;
        }
        if (why.empty()) plan.offset = offsets[found->second];
      }
      if (!why.empty()) {
        Refuse(plan, step, why);
        refused = true;
        if (!step.feature.empty()) missing.emplace(step.feature, k);
        continue;
      }
      plan.write = true;
      plan.cuts = cuts;
      if (!cuts) continue;
      auto tool = toolOf.find(step.tool.name);
      if (tool == toolOf.end()) {
        GcodeResult::Tool t;
        t.name = step.tool.name;
        t.id = step.tool.id;
        t.diameter = step.tool.diameter;
        auto given = options_.toolNumbers.find(step.tool.id);
        t.number = given != options_.toolNumbers.end() && !step.tool.id.empty() ? given->second : nextNumber++;
        tool = toolOf.emplace(step.tool.name, result_.tools.size()).first;
        result_.tools.push_back(t);
      }
      plan.tool = static_cast<int>(tool->second);
      if (!step.implausible.empty()) result_.implausible.push_back(StepName(step) + ": " + ImplausibleText(step));
    }
    result_.ok = (!refused || options_.allowPartial) && (result_.implausible.empty() || options_.acceptImplausible);
  }

 public:
  // Whether each workingstep is run, and why not, as the program would have it.
  std::vector<StepRun> Runs() {
    Plan();
    std::vector<StepRun> runs(planned_.size());
    for (size_t k = 0; k < planned_.size(); ++k)
      runs[k] = {planned_[k].write, planned_[k].write ? std::string() : planned_[k].note};
    return runs;
  }

 private:
  // Numbers a controller reads: a line of a program stays short, and no machine travels 10 km.
  static bool WithinReach(const ProgramStep& step) {
    auto near = [](const Vec3& p) {
      return std::fabs(p.x) <= kFarthest && std::fabs(p.y) <= kFarthest && std::fabs(p.z) <= kFarthest;
    };
    if (std::isfinite(step.spindle) && std::fabs(step.spindle) > kFastestSpindle) return false;
    for (const varnholt::Move& m : step.moves) {
      if (!near(m.to) || (m.kind == MoveKind::Arc && !near(m.center))) return false;
      if (std::isfinite(m.feed) && m.feed > kFastestFeed) return false;
      if (m.kind == MoveKind::Dwell && !(m.seconds >= 0 && m.seconds <= kLongestDwell)) return false;
    }
    return true;
  }

  void Refuse(Planned& plan, const ProgramStep& step, const std::string& why) {
    plan.note = "left out: " + why;
    result_.problems.push_back(StepName(step) + ": " + why);
  }

  void Line(const std::string& line, const GcodeSource& source = {}) {
    text_ += line;
    text_ += '\n';
    result_.lines.push_back(source);
  }
  // Controllers read lines of limited length (LinuxCNC 255 bytes): a long comment continues on
  // lines of its own, broken between words where it can be.
  void Comment(const std::string& text, const GcodeSource& source = {}) {
    const std::string clean = CommentText(text);
    size_t at = 0;
    do {
      size_t end = std::min(clean.size(), at + kCommentWidth);
      if (end < clean.size()) {
        const size_t space = clean.rfind(' ', end);
        if (space != std::string::npos && space > at + kCommentWidth / 2) end = space;
        // Never within a character of more than one byte.
        while (end > at + 1 && (static_cast<unsigned char>(clean[end]) & 0xC0) == 0x80) --end;
      }
      Line(std::string(at ? "(  " : "(") + clean.substr(at, end - at) + ")", source);
      at = end;
      while (at < clean.size() && clean[at] == ' ') ++at;
    } while (at < clean.size());
  }

  void Opening() {
    const bool fanuc = options_.dialect == Dialect::Fanuc;
    if (fanuc) {
      Line("%");
      Line("O0001");
    }
    Comment("Varnholt G-code for " + std::string(fanuc ? "Fanuc" : "LinuxCNC") +
            (options_.source.empty() ? std::string() : " of " + options_.source));
    const UnitChoice& units = program_.units;
    Comment(std::string("units ") + UnitName(units.system) + ": " + UnitDescription(units.system) +
            (units.given ? std::string(", as given") : "; " + units.reason));
    result_.notes.push_back(std::string("units ") + UnitName(units.system) + " (" + UnitDescription(units.system) +
                            ")" + (units.given ? std::string(", as given") : ": " + units.reason));
    for (const Program::Implausible& feed : program_.implausible) {
      Comment("implausible: " + feed.text);
      result_.notes.push_back("implausible feed: " + feed.text);
    }
    for (const std::string& text : program_.choices) Comment("followed in part: " + text);
    for (const std::string& text : program_.cycles) Comment(text);
    for (const GcodeResult::Tool& tool : result_.tools)
      Comment("T" + std::to_string(tool.number) + " " + tool.name + (tool.id.empty() ? "" : " '" + tool.id + "'") +
              " diameter " + Number(tool.diameter) + " mm");
    for (const std::string& problem : result_.problems) Comment("left out: " + problem);
    Line("G17 G21 G40 G49 G80 G90 G94");
    if (!fanuc) Line("G91.1");
    plane_ = Plane::XY;
  }

  // Up to the machine's top, in machine coordinates: where a tool change and the end of the
  // program are safe whatever the work offset and the tool's length.
  void Retract(const GcodeSource& source = {}) {
    if (options_.dialect == Dialect::Fanuc) {
      Line("G91 G28 Z0", source);
      Line("G90", source);
    } else {
      Line("G53 G0 Z0", source);
    }
  }

  void Closing() {
    Line("M5 M9");
    Retract();
    Line("M30");
    if (options_.dialect == Dialect::Fanuc) Line("%");
  }

  void Step(size_t k) {
    const ProgramStep& step = program_.steps[k];
    const Planned& plan = planned_[k];
    GcodeSource source{step.name, step.operation, {}};
    std::string title = step.name + " " + step.type;
    if (!step.label.empty()) title += " '" + step.label + "'";
    if (!plan.write) {
      Comment(title + ": " + plan.note, source);
      return;
    }
    Comment(title, source);
    // Written only where accepted: otherwise nothing is written at all.
    if (!step.implausible.empty()) Comment("implausible, written as given: " + ImplausibleText(step), source);
    if (plan.offset != offset_) {
      offset_ = plan.offset;
      Line(offset_, source);
    }
    if (plan.cuts && Machine(step, plan, source) && !step.moves.empty()) {
      // From the machine's top across at that height, then down: never down and across at once.
      const Move& first = step.moves.front();
      const Vec3& over = first.kind == MoveKind::Rapid ? first.to : step.start;
      std::string across = "G0 X";
      AppendNumber(across, over.x);
      across += " Y";
      AppendNumber(across, over.y);
      Line(across, source);
      if (first.kind != MoveKind::Rapid) {
        Line("G0 " + Axes(step.start), source);
        at_ = step.start;
      }
    }
    for (const Move& move : step.moves) {
      source.toolpath = move.source >= 0 && static_cast<size_t>(move.source) < step.toolpaths.size()
                            ? step.toolpaths[static_cast<size_t>(move.source)]
                            : std::string();
      Write(move, source);
    }
  }

  // The tool, spindle and coolant a cutting workingstep needs, where they change; true when
  // the tool changes.
  bool Machine(const ProgramStep& step, const Planned& plan, const GcodeSource& source) {
    const GcodeResult::Tool& tool = result_.tools[static_cast<size_t>(plan.tool)];
    const bool change = tool.number != toolNumber_;
    if (change) {
      if (spindleOn_ || coolant_ != "M9") Line("M5 M9", source);
      spindleOn_ = false;
      coolant_ = "M9";
      toolNumber_ = tool.number;
      Retract(source);
      Line("T" + std::to_string(tool.number) + " M6", source);
      Line("G43 H" + std::to_string(tool.number), source);
    }
    // As the tool cuts: M3 for a right-hand tool, M4 for a left-hand one; where the tool does
    // not say, the file's sign (negative: the usual cutting sense, M3).
    const bool clockwise = SpindleClockwise(step);
    const std::string direction = clockwise ? "M3" : "M4";
    const std::string speed = Number(std::fabs(step.spindle));
    if (!spindleOn_ || speed != speed_ || direction != direction_) {
      std::string note = step.spindleNote;
      if (SpindleSignAgainstHand(step))
        note = std::string("as the ") + (clockwise ? "right" : "left") + "-hand tool cuts; the file's spindle " +
               Number(step.spindle) + " says " + (clockwise ? "M4" : "M3");
      Line("S" + speed + " " + direction + (note.empty() ? "" : " (" + CommentText(note) + ")"), source);
      spindleOn_ = true;
      speed_ = speed;
      direction_ = direction;
    }
    std::string coolant = "M9";
    if (step.coolant.flood || step.coolant.throughSpindle) coolant = "M8";
    if (step.coolant.mist) coolant = coolant == "M8" ? "M7 M8" : "M7";
    if (coolant != coolant_) {
      if (coolant_ != "M9" && coolant != "M9") Line("M9", source);
      Line(coolant, source);
      coolant_ = coolant;
    }
    return change;
  }

  std::string Axes(const Vec3& p) const {
    std::string text = "X";
    AppendNumber(text, p.x);
    text += " Y";
    AppendNumber(text, p.y);
    text += " Z";
    AppendNumber(text, p.z);
    return text;
  }

  std::string Feed(double feed) {
    const std::string f = Number(feed);
    if (f == feed_) return std::string();
    feed_ = f;
    return " F" + f;
  }

  void Write(const varnholt::Move& move, const GcodeSource& source) {
    switch (move.kind) {
      case MoveKind::Rapid:
        Line("G0 " + Axes(move.to), source);
        break;
      case MoveKind::Feed:
        Line("G1 " + Axes(move.to) + Feed(move.feed), source);
        break;
      case MoveKind::Dwell:
        Line(options_.dialect == Dialect::Fanuc ? "G4 X" + Number(move.seconds) : "G4 P" + Number(move.seconds),
             source);
        break;
      case MoveKind::Arc:
        Arc(move, source);
        break;
    }
    if (move.kind != MoveKind::Dwell) at_ = move.to;
  }

  void Arc(const varnholt::Move& move, const GcodeSource& source) {
    bool positive = true;
    const Plane plane = PlaneOf(move.normal, positive);
    const Vec3 c{move.center.x - at_.x, move.center.y - at_.y, move.center.z - at_.z};
    const double inPlane = plane == Plane::XY   ? std::hypot(c.x, c.y)
                           : plane == Plane::XZ ? std::hypot(c.x, c.z)
                                                : std::hypot(c.y, c.z);
    if (plane == Plane::None || !(inPlane > 1e-9)) {
      // Outside the principal planes an arc is chords within the tolerance.
      const std::vector<Vec3> points = SampleMoves(at_, {move}, options_.tolerance);
      for (size_t k = 1; k < points.size(); ++k) Line("G1 " + Axes(points[k]) + Feed(move.feed), source);
      return;
    }
    if (plane != plane_) {
      plane_ = plane;
      Line(plane == Plane::XY ? "G17" : plane == Plane::XZ ? "G18" : "G19", source);
    }
    // G2 turns clockwise seen from the positive end of the plane's axis; the move's sense is
    // seen from where its normal points.
    const bool g2 = move.clockwise == positive;
    std::string centre;
    if (plane == Plane::XY) centre = " I" + Number(c.x) + " J" + Number(c.y);
    else if (plane == Plane::XZ) centre = " I" + Number(c.x) + " K" + Number(c.z);
    else centre = " J" + Number(c.y) + " K" + Number(c.z);
    Line(std::string(g2 ? "G2 " : "G3 ") + Axes(move.to) + centre + Feed(move.feed), source);
  }

  const Program& program_;
  const GcodeOptions& options_;
  GcodeResult& result_;
  std::string text_;
  std::vector<Planned> planned_;
  std::string offset_, feed_, speed_, direction_, coolant_ = "M9";
  int toolNumber_ = -1;
  bool spindleOn_ = false;
  Plane plane_ = Plane::XY;
  Vec3 at_;
};

}  // namespace

GcodeResult WriteGcode(const Program& program, const GcodeOptions& options) {
  GcodeResult result;
  Writer(program, options, result).Run();
  return result;
}

std::vector<StepRun> GcodeRuns(const Program& program, const GcodeOptions& options) {
  GcodeResult result;
  return Writer(program, options, result).Runs();
}

bool ReadToolTable(std::istream& in, std::map<std::string, int>& numbers, std::string& why) {
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string comment;
    const size_t semicolon = line.find(';');
    if (semicolon != std::string::npos) {
      comment = line.substr(semicolon + 1);
      line.resize(semicolon);
    }
    auto trim = [](std::string& s) {
      const size_t a = s.find_first_not_of(" \t\r");
      const size_t b = s.find_last_not_of(" \t\r");
      s = a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    };
    trim(line);
    trim(comment);
    if (line.empty()) continue;
    std::istringstream words(line);
    std::string word;
    long number = -1;
    while (words >> word) {
      if ((word[0] == 'T' || word[0] == 't') && word.size() > 1) {
        char* end = nullptr;
        number = std::strtol(word.c_str() + 1, &end, 10);
        if (*end != 0) number = -1;
      }
    }
    if (number < 0 || number > 99999) {
      why = "line " + std::to_string(lineNumber) + ": no tool number (a word T<n>) in \"" + line + "\"";
      return false;
    }
    if (!comment.empty()) numbers[comment] = static_cast<int>(number);
  }
  return true;
}

void WriteGcodeMap(const GcodeResult& result, std::ostream& out) {
  using json_text::Instance;
  out << "{\"lines\": [";
  for (size_t k = 0; k < result.lines.size(); ++k) {
    const GcodeSource& s = result.lines[k];
    out << (k ? ",\n  " : "\n  ") << "{\"line\": " << k + 1 << ", \"workingstep\": " << Instance(s.workingstep)
        << ", \"operation\": " << Instance(s.operation) << ", \"toolpath\": " << Instance(s.toolpath) << "}";
  }
  out << (result.lines.empty() ? "]}\n" : "\n]}\n");
}

ProgramTime MachiningTime(const Program& program, double rapidFeed, double toolChangeSeconds) {
  ProgramTime time;
  time.units = program.units;
  time.rapidFeed = rapidFeed;
  time.toolChange = toolChangeSeconds;
  bool started = false;
  Vec3 at;
  std::string tool;
  // As the G-code runs it: with its implausible values, without what it leaves out.
  const std::vector<StepRun> runs = GcodeRuns(program);
  for (size_t k = 0; k < program.steps.size(); ++k) {
    const ProgramStep& step = program.steps[k];
    StepTime t;
    t.name = step.name;
    t.label = step.label;
    t.implausible = !step.implausible.empty();
    t.implausibleReason = ImplausibleText(step);
    if (!runs[k].run) {
      t.run = false;
      t.reason = runs[k].reason;
      t.implausible = false;
      t.implausibleReason.clear();
      time.steps.push_back(std::move(t));
      continue;
    }
    if (!started) at = step.start, started = true;
    // Rapid moves alone keep the tool the machine has, as the G-code does.
    const bool cuts = Cuts(step);
    if (cuts && !step.tool.name.empty() && step.tool.name != tool) {
      t.toolChange = true;
      t.toolChangeSeconds = toolChangeSeconds;
      tool = step.tool.name;
    }
    for (const Move& move : step.moves) {
      const double length = MoveLength(at, move);
      switch (move.kind) {
        case MoveKind::Rapid:
          t.rapid += length;
          t.rapidSeconds += rapidFeed > 0 ? length / rapidFeed * 60 : 0;
          break;
        case MoveKind::Feed:
        case MoveKind::Arc:
          t.cutting += length;
          if (move.feed > 0) {
            t.cuttingSeconds += length / move.feed * 60;
            if (std::find(t.feeds.begin(), t.feeds.end(), move.feed) == t.feeds.end() && t.feeds.size() < 64)
              t.feeds.push_back(move.feed);
          } else if (length > 0) {
            t.feedMissing = true;
          }
          break;
        case MoveKind::Dwell:
          t.dwellSeconds += move.seconds > 0 ? move.seconds : 0;
          break;
      }
      if (move.kind != MoveKind::Dwell) at = move.to;
    }
    StepTime& s = time.total;
    s.cutting += t.cutting;
    s.rapid += t.rapid;
    s.cuttingSeconds += t.cuttingSeconds;
    s.rapidSeconds += t.rapidSeconds;
    s.toolChangeSeconds += t.toolChangeSeconds;
    s.dwellSeconds += t.dwellSeconds;
    s.feedMissing = s.feedMissing || t.feedMissing;
    s.implausible = s.implausible || t.implausible;
    for (double f : t.feeds)
      if (std::find(s.feeds.begin(), s.feeds.end(), f) == s.feeds.end() && s.feeds.size() < 64) s.feeds.push_back(f);
    time.steps.push_back(std::move(t));
  }
  return time;
}

std::string Duration(double seconds) {
  char buffer[64];
  if (!std::isfinite(seconds) || seconds < 0) return "?";
  if (seconds < 60) {
    std::snprintf(buffer, sizeof buffer, "%.1f s", seconds);
  } else if (seconds < 3600) {
    const long minutes = static_cast<long>(seconds / 60);
    std::snprintf(buffer, sizeof buffer, "%ld min %.1f s", minutes, seconds - 60.0 * static_cast<double>(minutes));
  } else {
    const long hours = static_cast<long>(seconds / 3600);
    const long minutes = static_cast<long>((seconds - 3600.0 * static_cast<double>(hours)) / 60);
    std::snprintf(buffer, sizeof buffer, "%ld h %ld min %.0f s", hours, minutes,
                  seconds - 3600.0 * static_cast<double>(hours) - 60.0 * static_cast<double>(minutes));
  }
  return buffer;
}

namespace {

std::string Fixed(double v, int digits) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, std::isfinite(v) ? v : 0.0);
  return buffer;
}

std::string FeedList(const std::vector<double>& feeds) {
  if (feeds.empty()) return "-";
  std::string text;
  for (size_t k = 0; k < feeds.size() && k < 2; ++k) text += (k ? ", " : "") + Number(feeds[k]);
  if (feeds.size() > 2) text += " +" + std::to_string(feeds.size() - 2) + " more";
  return text;
}

std::string Pad(const std::string& text, size_t width, bool right) {
  // A number as wide as its column still stands apart from the one before it.
  if (text.size() >= width) return right ? " " + text : text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

// `marked`: "!" before a workingstep whose feeds or speeds are implausible, explained under
// the table.
void TimeRow(std::ostream& out, const std::string& name, const StepTime& t, bool marked) {
  out << (marked ? "! " : "  ") << Pad(name, 30, false);
  if (!t.run) {
    out << "  not run: " << t.reason << '\n';
    return;
  }
  out << Pad(Fixed(t.cutting, 3), 12, true) << Pad(Fixed(t.rapid, 3), 12, true) << "  "
      << Pad(FeedList(t.feeds) + (t.feedMissing ? " (some without)" : ""), 22, false)
      << Pad(Fixed(t.cuttingSeconds, 1), 11, true) << Pad(Fixed(t.rapidSeconds, 1), 9, true)
      << Pad(Fixed(t.toolChangeSeconds, 1), 15, true) << Pad(Fixed(t.dwellSeconds, 1), 9, true)
      << Pad(Fixed(t.Total(), 1), 10, true) << '\n';
}

std::string StepJson(const StepTime& t) {
  using json_text::Num;
  std::string feeds = "[";
  for (size_t k = 0; k < t.feeds.size(); ++k) feeds += (k ? ", " : "") + Num(t.feeds[k]);
  feeds += "]";
  return "\"cutting_length\": " + Num(t.cutting) + ", \"rapid_length\": " + Num(t.rapid) + ", \"feeds\": " + feeds +
         ", \"feed_missing\": " + (t.feedMissing ? "true" : "false") + ",\n    \"cutting_seconds\": " +
         Num(t.cuttingSeconds) + ", \"rapid_seconds\": " + Num(t.rapidSeconds) + ", \"tool_change_seconds\": " +
         Num(t.toolChangeSeconds) + ", \"dwell_seconds\": " + Num(t.dwellSeconds) +
         ", \"total_seconds\": " + Num(t.Total());
}

}  // namespace

void WriteTimeText(const ProgramTime& time, std::ostream& out) {
  out << "units " << UnitName(time.units.system) << " (" << UnitDescription(time.units.system) << ")"
      << (time.units.given ? std::string(", as given") : ": " + time.units.reason) << "\n";
  out << "rapid " << Number(time.rapidFeed) << " mm/min, tool change " << Number(time.toolChange)
      << " s; times are length / feed, without acceleration\n\n";
  out << "  " << Pad("workingstep", 30, false) << Pad("cutting mm", 12, true) << Pad("rapid mm", 12, true) << "  "
      << Pad("feed mm/min", 22, false) << Pad("cutting s", 11, true) << Pad("rapid s", 9, true)
      << Pad("tool change s", 15, true) << Pad("dwell s", 9, true) << Pad("total s", 10, true) << '\n';
  size_t implausible = 0, left = 0;
  for (const StepTime& t : time.steps) {
    TimeRow(out, t.name + (t.label.empty() ? "" : " '" + t.label + "'"), t, t.implausible);
    implausible += t.implausible ? 1 : 0;
    left += t.run ? 0 : 1;
  }
  TimeRow(out, "total", time.total, false);
  out << "\nmachining time " << Duration(time.total.Total()) << "\n";
  if (left)
    out << "\nThe total is of the workingsteps the G-code runs; " << left
        << (left == 1 ? " is" : " are") << " not run, as the G-code leaves " << (left == 1 ? "it" : "them")
        << " out.\n";
  if (implausible) {
    out << "\n! implausible feeds or speeds: gcode writes " << (implausible == 1 ? "this workingstep" : "these")
        << " only with --accept-implausible\n";
    for (const StepTime& t : time.steps)
      if (t.implausible)
        out << "  " << t.name << (t.label.empty() ? "" : " '" + t.label + "'") << ": " << t.implausibleReason << "\n";
  }
}

void WriteTimeJson(const ProgramTime& time, std::ostream& out) {
  using json_text::Instance;
  using json_text::Num;
  using json_text::Quoted;
  out << "{\"units\": " << Quoted(UnitName(time.units.system)) << ", \"units_given\": "
      << (time.units.given ? "true" : "false") << ", \"units_reason\": " << Quoted(time.units.reason)
      << ",\n \"rapid_feed\": " << Num(time.rapidFeed) << ", \"tool_change\": " << Num(time.toolChange)
      << ",\n \"workingsteps\": [";
  for (size_t k = 0; k < time.steps.size(); ++k) {
    const StepTime& t = time.steps[k];
    out << (k ? ",\n  " : "\n  ") << "{\"instance\": " << Instance(t.name) << ", \"its_id\": " << Quoted(t.label)
        << ", \"run\": " << (t.run ? "true" : "false");
    if (!t.run) out << ", \"reason\": " << Quoted(t.reason);
    out << ", \"implausible\": " << (t.implausible ? "true" : "false");
    if (t.implausible) out << ", \"implausible_reason\": " << Quoted(t.implausibleReason);
    out << ", \"tool_change\": " << (t.toolChange ? "true" : "false") << ",\n    " << StepJson(t) << "}";
  }
  out << (time.steps.empty() ? "]" : "\n ]") << ",\n \"total\": {" << StepJson(time.total) << "}}\n";
}

}  // namespace varnholt
