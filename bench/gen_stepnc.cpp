// varnholt-gen: writes a large, valid ISO 10303-21 exchange file of the combined schema for the
// benchmarks. A project with one workplan whose machining workingsteps each hold a feature and an
// operation; the operation's toolpath list holds trajectories along polylines, and those
// polylines together reference exactly N CARTESIAN_POINTs.
//
//   varnholt-gen [--realistic] [--points-per-path K] [--paths-per-step M] N OUT
//
// The default mode shares workpiece, tool, technology and feature geometry between the
// workingsteps, so almost the whole file is points and polylines. --realistic gives every
// workingstep its own feature, tool, technology, machine functions and strategies, cycling
// through four kinds of workingstep (planar face, closed pocket, round hole, freeform region) so
// that every kind of value occurs: integers, reals (also in exponent form), strings (also with
// an escaped quote), enumerations, booleans, logicals, typed select values, references, lists,
// nested lists, empty lists, empty parameter lists, omitted values and comments.
//
// Every record carries exactly the parameters of combined_schema.txt, $ only where the
// attribute is OPTIONAL. The output is deterministic. OUT may be "-" for standard output.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One record's parameter list under construction: "KEYWORD(" then values separated by commas.
class Rec {
 public:
  explicit Rec(const char* keyword) : s_(keyword) { s_ += '('; }

  Rec& Str(std::string_view v) {
    Sep();
    s_ += '\'';
    for (char c : v) {
      if (c == '\'') s_ += '\'';
      s_ += c;
    }
    s_ += '\'';
    return *this;
  }
  Rec& Real(double v, int decimals = 3) {
    Sep();
    AppendReal(s_, v, decimals);
    return *this;
  }
  /// A real in exponent form, e.g. 1.000E-03.
  Rec& RealE(double v) {
    Sep();
    char b[40];
    std::snprintf(b, sizeof b, "%.3E", v);
    s_ += b;
    return *this;
  }
  Rec& Int(long v) {
    Sep();
    s_ += std::to_string(v);
    return *this;
  }
  Rec& Ref(long id) {
    Sep();
    AppendRef(s_, id);
    return *this;
  }
  /// A reference, or $ when id is 0.
  Rec& RefOr(long id) { return id ? Ref(id) : Null(); }
  Rec& Enum(const char* e) {
    Sep();
    s_ += '.';
    s_ += e;
    s_ += '.';
    return *this;
  }
  Rec& Bool(bool b) { return Enum(b ? "T" : "F"); }
  Rec& Null() {
    Sep();
    s_ += '$';
    return *this;
  }
  /// A typed value of a defined type chosen in a select, e.g. POSITIVE_RATIO_MEASURE(0.8).
  Rec& TypedReal(const char* type, double v, int decimals = 3) {
    Sep();
    s_ += type;
    s_ += '(';
    AppendReal(s_, v, decimals);
    s_ += ')';
    return *this;
  }
  Rec& TypedEnum(const char* type, const char* e) {
    Sep();
    s_ += type;
    s_ += "(.";
    s_ += e;
    s_ += ".)";
    return *this;
  }
  Rec& Refs(const std::vector<long>& ids) {
    Sep();
    s_ += '(';
    for (size_t i = 0; i < ids.size(); ++i) {
      if (i) s_ += ',';
      AppendRef(s_, ids[i]);
    }
    s_ += ')';
    return *this;
  }
  Rec& Reals(std::initializer_list<double> values, int decimals = 3) {
    Sep();
    s_ += '(';
    bool first = true;
    for (double v : values) {
      if (!first) s_ += ',';
      first = false;
      AppendReal(s_, v, decimals);
    }
    s_ += ')';
    return *this;
  }
  Rec& Ints(std::initializer_list<long> values) {
    Sep();
    s_ += '(';
    bool first = true;
    for (long v : values) {
      if (!first) s_ += ',';
      first = false;
      s_ += std::to_string(v);
    }
    s_ += ')';
    return *this;
  }
  Rec& Strs(std::initializer_list<const char*> values) {
    Sep();
    s_ += '(';
    bool first = true;
    for (const char* v : values) {
      if (!first) s_ += ',';
      first = false;
      s_ += '\'';
      s_ += v;
      s_ += '\'';
    }
    s_ += ')';
    return *this;
  }
  Rec& EmptyList() {
    Sep();
    s_ += "()";
    return *this;
  }
  /// Text written as it is (a nested list, for instance).
  Rec& Raw(std::string_view v) {
    Sep();
    s_ += v;
    return *this;
  }

  const std::string& Text() {
    if (!closed_) {
      s_ += ");\n";
      closed_ = true;
    }
    return s_;
  }

  static void AppendRef(std::string& s, long id) {
    char b[24];
    int n = std::snprintf(b, sizeof b, "#%ld", id);
    s.append(b, static_cast<size_t>(n));
  }
  // Fixed decimals with trailing zeros dropped, one digit kept after the point: 12.5, 0.0, -3.25.
  static void AppendReal(std::string& s, double v, int decimals) {
    char b[64];
    int n = std::snprintf(b, sizeof b, "%.*f", decimals, v);
    if (n <= 0 || n >= static_cast<int>(sizeof b)) {
      s += "0.0";
      return;
    }
    if (!std::strchr(b, '.')) {
      b[n++] = '.';
      b[n++] = '0';
      b[n] = '\0';
    }
    while (n > 2 && b[n - 1] == '0' && b[n - 2] != '.') --n;
    b[n] = '\0';
    if (std::strcmp(b, "-0.0") == 0) {
      s += "0.0";
      return;
    }
    s.append(b, static_cast<size_t>(n));
  }

 private:
  void Sep() {
    if (count_++) s_ += ',';
  }
  std::string s_;
  int count_ = 0;
  bool closed_ = false;
};

// Hands out instance names and writes records; a name may be reserved first and its record
// written later.
class Writer {
 public:
  explicit Writer(std::FILE* out) : out_(out) {}

  long Reserve() { return next_++; }
  long Add(Rec& r) {
    long id = Reserve();
    Put(id, r);
    return id;
  }
  void Put(long id, Rec& r) {
    line_.clear();
    Rec::AppendRef(line_, id);
    line_ += '=';
    line_ += r.Text();
    Write(line_);
    ++records_;
  }
  void Write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) failed_ = true;
  }
  void Comment(const std::string& text) { Write("/* " + text + " */\n"); }
  long Records() const { return records_; }
  bool Failed() const { return failed_; }

 private:
  std::FILE* out_;
  long next_ = 1;
  long records_ = 0;
  bool failed_ = false;
  std::string line_;
};

// A small deterministic generator (xorshift64*), so that the output never depends on the
// platform's random numbers.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ull;
  }
  /// Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

struct Options {
  bool realistic = false;
  long pointsPerPath = 500;
  long pathsPerStep = 20;
  long points = -1;
  const char* out = nullptr;
};

const char* const kUsage =
    "Usage: varnholt-gen [--realistic] [--points-per-path K] [--paths-per-step M] N OUT\n"
    "\n"
    "Writes a valid exchange file of the combined schema whose toolpaths hold N\n"
    "CARTESIAN_POINTs in total (N = 0 or N >= 2), for benchmarks. OUT may be - for\n"
    "standard output.\n"
    "\n"
    "  --realistic          every workingstep gets its own feature, tool, technology, machine\n"
    "                       functions and strategies; four kinds of workingstep in turn\n"
    "  --points-per-path K  points of one polyline (default 500, at least 2)\n"
    "  --paths-per-step M   polylines of one workingstep (default 20, at least 1)\n"
    "\n"
    "       varnholt-gen --pocket SIZE OUT\n"
    "\n"
    "Writes a square closed pocket SIZE mm wide and 10 mm deep, cleared with a 1 mm end mill\n"
    "in 2 mm levels, once contour-parallel and once bidirectionally, without toolpaths: the\n"
    "file for timing the toolpaths generated from features.\n";

// The pocket file of --pocket: two workingsteps on one pocket, no toolpaths given.
bool WritePocket(std::FILE* out, double size) {
  std::fprintf(out,
               "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('varnholt-gen: a pocket for generated toolpaths'),'2;1');\n"
               "FILE_NAME('pocket.stp','2024-01-01T00:00:00',(''),(''),'varnholt-gen','','');\n"
               "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
               "#1=PROJECT('pocket',#2,(#10),$,$,$);\n#2=WORKPLAN('main',(#100,#101),$,#20,$);\n"
               "#10=WORKPIECE('part',$,$,$,$,#11,());\n#11=BLOCK('block',#12,%.3f,%.3f,50.0);\n"
               "#12=AXIS2_PLACEMENT_3D('',#13,#15,#16);\n#13=CARTESIAN_POINT('',(0.0,0.0,0.0));\n"
               "#14=CARTESIAN_POINT('',(%.3f,%.3f,50.0));\n"
               "#15=DIRECTION('',(0.0,0.0,1.0));\n#16=DIRECTION('',(1.0,0.0,0.0));\n#18=DIRECTION('',(0.0,0.0,-1.0));\n"
               "#20=SETUP('setup',#12,#23,(#26));\n#23=PLANE('security plane',#24);\n#24=AXIS2_PLACEMENT_3D('',#25,#15,#16);\n"
               "#25=CARTESIAN_POINT('',(0.0,0.0,70.0));\n#26=WORKPIECE_SETUP(#10,#12,$,$,());\n"
               "#40=MILLING_CUTTING_TOOL('end mill D1',#41,(#43),30.0,$,$);\n#41=ENDMILL(#42,2,.RIGHT.,.F.,$);\n"
               "#42=MILLING_TOOL_DIMENSION(1.0,0.0,$,3.0,0.0,$,$);\n#43=CUTTING_COMPONENT(30.0,#44,$,1000.0,$);\n"
               "#44=MATERIAL('ISO 513','HW-K10',());\n#45=MILLING_TECHNOLOGY(5.0,.TCP.,$,400.0,$,.F.,.F.,.F.,$);\n"
               "#46=MILLING_MACHINE_FUNCTIONS(.T.,$,.F.,.F.,$,(),.T.,$,$,());\n"
               "#100=MACHINING_WORKINGSTEP('pocket contour-parallel',#23,#200,#300,$);\n"
               "#101=MACHINING_WORKINGSTEP('pocket bidirectional',#23,#200,#301,$);\n"
               "#190=AXIS2_PLACEMENT_3D('',#14,#15,#16);\n#191=PLANAR_POCKET_BOTTOM_CONDITION();\n"
               "#195=PLANE('',#196);\n#196=AXIS2_PLACEMENT_3D('',#197,#15,#16);\n#197=CARTESIAN_POINT('',(0.0,0.0,-10.0));\n"
               "#199=PLUS_MINUS_VALUE(0.1,0.1,1);\n"
               "#200=CLOSED_POCKET('pocket',#10,(#300,#301),#190,#195,(),$,#191,$,#201,#202);\n"
               "#201=TOLERANCED_LENGTH_MEASURE(2.0,#199);\n#202=RECTANGULAR_CLOSED_PROFILE(#190,#203,#203);\n"
               "#203=TOLERANCED_LENGTH_MEASURE(%.3f,#199);\n"
               "#310=PLUNGE_HELIX(#18,0.3,5.0);\n#311=PLUNGE_RAMP(#18,5.0);\n"
               "#320=CONTOUR_PARALLEL(0.5,.T.,.CCW.,.CLIMB.);\n#321=BIDIRECTIONAL(0.5,.T.,#16,.LEFT.,$);\n"
               "#300=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'rough',5.0,$,#40,#45,#46,$,#310,$,#320,2.0,$,0.1,0.1);\n"
               "#301=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'rough',5.0,$,#40,#45,#46,$,#311,$,#321,2.0,$,0.1,0.1);\n"
               "ENDSEC;\nEND-ISO-10303-21;\n",
               size, size, size / 2, size / 2, size);
  return std::ferror(out) == 0;
}

bool ParseCount(const char* text, long minimum, long* value) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < minimum) return false;
  *value = v;
  return true;
}

// The generator proper. Records shared by all workingsteps are written once; each workingstep
// then writes its toolpath points, polylines, trajectories, toolpath list, operation, feature
// and finally the workingstep record itself, whose name was reserved for the workplan's list.
class Generator {
 public:
  Generator(Writer& w, const Options& o) : w_(w), o_(o), random_(0x5EED0000u + 14649u) {}

  void Run() {
    WriteHeader();
    const long perStep = o_.pointsPerPath * o_.pathsPerStep;
    long steps = o_.points == 0 ? 1 : (o_.points + perStep - 1) / perStep;
    // A last workingstep of a single point cannot make a polyline: the one before takes it.
    if (steps > 1 && o_.points - (steps - 1) * perStep < 2) --steps;

    const long project = w_.Reserve();
    const long workplan = w_.Reserve();
    std::vector<long> stepIds;
    for (long i = 0; i < steps; ++i) stepIds.push_back(w_.Reserve());

    // The project and its workplan come first; what they reference is written after them.
    workpiece_ = w_.Reserve();
    setup_ = w_.Reserve();
    if (o_.realistic) {
      owner_ = w_.Reserve();
      release_ = w_.Reserve();
      approval_ = w_.Reserve();
    }
    Rec p("PROJECT");
    p.Str("varnholt-gen project").Ref(workplan).Refs({workpiece_});
    if (o_.realistic) {
      p.Ref(owner_).Ref(release_).Ref(approval_);
    } else {
      p.Null().Null().Null();
    }
    w_.Put(project, p);
    Rec wp("WORKPLAN");
    wp.Str("main workplan").Refs(stepIds).Null().Ref(setup_).Null();
    w_.Put(workplan, wp);
    WriteShared();

    long remaining = o_.points;
    for (long i = 0; i < steps; ++i) {
      long budget = i + 1 == steps ? remaining : perStep;
      remaining -= budget;
      if (o_.realistic) {
        RealisticStep(i, stepIds[i], budget);
      } else {
        PlainStep(i, stepIds[i], budget);
      }
    }
    w_.Write("ENDSEC;\nEND-ISO-10303-21;\n");
  }

  long ToolpathPoints() const { return toolpathPoints_; }

 private:
  void WriteHeader() {
    w_.Write(
        "ISO-10303-21;\n"
        "HEADER;\n"
        "FILE_DESCRIPTION(('varnholt-gen benchmark file'),'2;1');\n"
        "FILE_NAME('varnholt-gen.stp','2024-01-01T00:00:00',('varnholt-gen'),('Varnholt'),"
        "'varnholt-gen','varnholt-gen','');\n"
        "FILE_SCHEMA(('COMBINED_SCHEMA'));\n"
        "ENDSEC;\n"
        "DATA;\n");
  }

  long Point(double x, double y, double z, int decimals = 3, const char* name = "") {
    Rec r("CARTESIAN_POINT");
    r.Str(name).Reals({x, y, z}, decimals);
    return w_.Add(r);
  }
  long Direction(double x, double y, double z) {
    Rec r("DIRECTION");
    r.Str("").Reals({x, y, z}, 1);
    return w_.Add(r);
  }
  long Placement(const char* name, double x, double y, double z) {
    long location = Point(x, y, z);
    Rec r("AXIS2_PLACEMENT_3D");
    r.Str(name).Ref(location).Ref(dirZ_).Ref(dirX_);
    return w_.Add(r);
  }
  long Plane(const char* name, long placement) {
    Rec r("PLANE");
    r.Str(name).Ref(placement);
    return w_.Add(r);
  }
  long PlusMinus(double upper, double lower, long digits) {
    Rec r("PLUS_MINUS_VALUE");
    r.Real(upper).Real(lower).Int(digits);
    return w_.Add(r);
  }
  long Toleranced(double size, long tolerance) {
    Rec r("TOLERANCED_LENGTH_MEASURE");
    r.Real(size).Ref(tolerance);
    return w_.Add(r);
  }
  long Numeric(const char* name, double value, const char* unit) {
    Rec r("NUMERIC_PARAMETER");
    r.Str(name).Real(value).Str(unit);
    return w_.Add(r);
  }

  void WriteShared() {
    dirZ_ = Direction(0, 0, 1);
    dirX_ = Direction(1, 0, 0);
    origin_ = Placement("origin", 0, 0, 0);
    secPlane_ = Plane("security plane", Placement("security plane", 0, 0, 100));

    long material;
    {
      std::vector<long> properties;
      if (o_.realistic) {
        properties.push_back(Numeric("hardness", 270, "HB"));
        Rec d("DESCRIPTIVE_PARAMETER");
        d.Str("treatment").Str("quenched and tempered");
        properties.push_back(w_.Add(d));
      }
      Rec r("MATERIAL");
      r.Str("ISO 683-1").Str("C45E").Refs(properties);
      material = w_.Add(r);
    }
    long block;
    {
      Rec r("BLOCK");
      r.Str("raw block").Ref(Placement("block", 0, 0, -50)).Real(200).Real(200).Real(50);
      block = w_.Add(r);
    }
    {
      std::vector<long> clamps;
      if (o_.realistic)
        for (int i = 0; i < 4; ++i)
          clamps.push_back(Point(i % 2 ? 190 : 10, i / 2 ? 190 : 10, 0, 3, "clamping position"));
      Rec r("WORKPIECE");
      r.Str("workpiece").Ref(material);
      if (o_.realistic) {
        r.RealE(0.001);
      } else {
        r.Null();
      }
      r.Null().Null().Ref(block).Refs(clamps);
      w_.Put(workpiece_, r);
    }
    long workpieceSetup;
    {
      Rec r("WORKPIECE_SETUP");
      r.Ref(workpiece_).Ref(origin_).Null().Null().EmptyList();
      workpieceSetup = w_.Add(r);
    }
    {
      Rec r("SETUP");
      r.Str("setup").Ref(origin_).Ref(secPlane_).Refs({workpieceSetup});
      w_.Put(setup_, r);
    }
    if (o_.realistic) {
      WriteProjectData();
    } else {
      WritePlainShared();
    }
  }

  // Owner, release date and approval of the project.
  void WriteProjectData() {
    Rec person("PERSON");
    person.Str("vg-1").Str("Nobody").Str("Anne").Strs({"Maria"}).Null().Null();
    long personId = w_.Add(person);
    Rec address("ADDRESS");
    address.Null().Str("7").Str("Werkstattweg").Null().Str("Varnholt").Null().Str("12345")
        .Str("Nowhere").Null().Str("+00 0000 000").Str("nobody@example.invalid").Null();
    long addressId = w_.Add(address);
    Rec pa("PERSON_AND_ADDRESS");
    pa.Ref(personId).Ref(addressId);
    w_.Put(owner_, pa);

    Rec date("CALENDAR_DATE");
    date.Int(2024).Int(1).Int(1);
    long dateId = w_.Add(date);
    Rec zone("COORDINATED_UNIVERSAL_TIME_OFFSET");
    zone.Int(1).Null().Enum("AHEAD");
    long zoneId = w_.Add(zone);
    Rec time("LOCAL_TIME");
    time.Int(12).Int(30).Real(15.5, 1).Ref(zoneId);
    long timeId = w_.Add(time);
    Rec release("DATE_AND_TIME");
    release.Ref(dateId).Ref(timeId);
    w_.Put(release_, release);

    Rec status("APPROVAL_STATUS");
    status.Str("approved");
    long statusId = w_.Add(status);
    Rec approval("APPROVAL");
    approval.Ref(statusId).Str("released for the shop's benchmark");
    w_.Put(approval_, approval);
  }

  // The tool, technology, machine functions and feature geometry every plain workingstep shares.
  void WritePlainShared() {
    Rec dim("MILLING_TOOL_DIMENSION");
    dim.Real(20).Null().Null().Null().Null().Null().Null();
    long dimId = w_.Add(dim);
    Rec body("FACEMILL");
    body.Ref(dimId).Null().Null().Null().Null();
    long bodyId = w_.Add(body);
    Rec edge("CUTTING_COMPONENT");
    edge.Real(50).Null().Null().Null().Null();
    long edgeId = w_.Add(edge);
    Rec tool("MILLING_CUTTING_TOOL");
    tool.Str("T1").Ref(bodyId).Refs({edgeId}).Null().Null().Null();
    tool_ = w_.Add(tool);
    Rec tech("MILLING_TECHNOLOGY");
    tech.Real(0.1).Enum("TCP").Null().Real(1000).Null().Bool(false).Bool(false).Bool(false)
        .Null();
    technology_ = w_.Add(tech);
    Rec mf("MILLING_MACHINE_FUNCTIONS");
    mf.Bool(true).Null().Null().Bool(false).Null().EmptyList().Bool(false).Null().Null()
        .EmptyList();
    functions_ = w_.Add(mf);

    depthPlane_ = Plane("depth", Placement("depth", 0, 0, -5));
    long tolerance = PlusMinus(0.1, 0.1, 3);
    Rec path("LINEAR_PATH");
    path.Null().Ref(Toleranced(200, tolerance)).Ref(dirX_);
    linearPath_ = w_.Add(path);
    Rec profile("LINEAR_PROFILE");
    profile.Null().Ref(Numeric("width", 200, "mm"));
    linearProfile_ = w_.Add(profile);
  }

  // Splits a workingstep's point budget into polylines of at least two points each.
  std::vector<long> SplitPoints(long budget) const {
    std::vector<long> sizes;
    while (budget > 0) {
      long n = budget < o_.pointsPerPath ? budget : o_.pointsPerPath;
      if (budget - n == 1) ++n;  // never leave a single point behind: the last one joins
      sizes.push_back(n);
      budget -= n;
    }
    return sizes;
  }

  // A raster pass over the face: pass k of a workingstep, n points, alternating direction.
  std::vector<long> PassPoints(long step, long pass, long n, bool realistic) {
    std::vector<long> ids;
    ids.reserve(static_cast<size_t>(n));
    const double y = 5.0 + 2.5 * static_cast<double>(pass % 76);
    const double z = -0.5 * static_cast<double>(1 + step % 20);
    const bool forward = pass % 2 == 0;
    for (long i = 0; i < n; ++i) {
      double t = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.0;
      double x = 5.0 + 190.0 * (forward ? t : 1.0 - t);
      if (realistic) {
        double dz = 0.25 * std::sin(0.07 * x + 0.3 * static_cast<double>(step)) +
                    0.01 * (random_.Unit() - 0.5);
        ids.push_back(Point(x, y, z + dz, 6));
      } else {
        // Coordinates as CAM systems write them, six decimals each: 1.56 million such points
        // make a 100 MB file.
        double w = static_cast<double>((step * 7919 + pass * 104729 + i * 15485863) % 1000003);
        ids.push_back(Point(x + 1e-7 * w, y + 0.000001 * std::fmod(w, 997.0),
                            z - 0.0000013 * std::fmod(w, 991.0), 6));
      }
    }
    toolpathPoints_ += n;
    return ids;
  }

  long Polyline(const std::vector<long>& points) {
    Rec r("POLYLINE");
    r.Str("").Refs(points);
    return w_.Add(r);
  }

  void PlainStep(long step, long stepId, long budget) {
    std::vector<long> trajectories;
    long pass = 0;
    for (long n : SplitPoints(budget)) {
      long curve = Polyline(PassPoints(step, pass++, n, false));
      Rec t("CUTTER_LOCATION_TRAJECTORY");
      t.Bool(false).Enum("CONTACT").Null().Null().Null().Null().Ref(curve).Null().Null();
      trajectories.push_back(w_.Add(t));
    }
    long toolpaths = 0;
    if (!trajectories.empty()) {
      Rec list("TOOLPATH_LIST");
      list.Refs(trajectories);
      toolpaths = w_.Add(list);
    }
    const std::string n = std::to_string(step + 1);
    Rec op("PLANE_ROUGH_MILLING");
    op.RefOr(toolpaths).Null().Str("plane rough milling " + n).Real(10).Null().Ref(tool_)
        .Ref(technology_).Ref(functions_).Null().Null().Null().Null().Real(2).Real(0.5);
    long opId = w_.Add(op);
    Rec feature("PLANAR_FACE");
    feature.Str("planar face " + n).Ref(workpiece_).Refs({opId}).Ref(origin_).Ref(depthPlane_)
        .Ref(linearPath_).Ref(linearProfile_).Null().EmptyList();
    long featureId = w_.Add(feature);
    Rec ws("MACHINING_WORKINGSTEP");
    ws.Str("workingstep " + n).Ref(secPlane_).Ref(featureId).Ref(opId).Null();
    w_.Put(stepId, ws);
  }

  // --- realistic mode ------------------------------------------------------------------------

  struct Tooling {
    long tool, technology, functions;
  };

  // Tool kind k: 0 facemill, 1 endmill, 2 twist drill, 3 ball endmill.
  Tooling MakeTooling(long step, int kind) {
    static const char* const bodies[] = {"FACEMILL", "ENDMILL", "TWIST_DRILL", "BALL_ENDMILL"};
    static const double diameters[] = {50, 12, 8.5, 6};
    const double d = diameters[kind];
    Rec dim("MILLING_TOOL_DIMENSION");
    dim.Real(d);
    if (kind == 2) {
      dim.Real(59).Null().Real(60).Null().Null().Null();
    } else {
      dim.Null().Null().Real(kind == 0 ? 8 : 30).Real(kind == 3 ? d / 2 : 0.4).Null().Null();
    }
    long dimId = w_.Add(dim);
    Rec body(bodies[kind]);
    body.Ref(dimId).Int(kind == 0 ? 6 : kind == 2 ? 2 : 4).Enum("RIGHT").Bool(kind == 2);
    if (kind == 2) {
      body.Real(1.5);
    } else {
      body.Null();
    }
    long bodyId = w_.Add(body);

    Rec data("CUTTING_EDGE_TECHNOLOGICAL_DATA");
    data.Real(8).Real(12).Null();
    long dataId = w_.Add(data);
    Rec edgeMaterial("MATERIAL");
    edgeMaterial.Str("ISO 513").Str("HC-P25").EmptyList();
    long edgeMaterialId = w_.Add(edgeMaterial);
    Rec edge("CUTTING_COMPONENT");
    edge.Real(kind == 2 ? 120 : 80).Ref(edgeMaterialId).Ref(dataId).Real(45).Null();
    long edgeId = w_.Add(edge);

    Rec tool("MILLING_CUTTING_TOOL");
    tool.Str("T" + std::to_string(step + 1) + " " + bodies[kind]).Ref(bodyId).Refs({edgeId})
        .Real(kind == 2 ? 150 : 110).Ref(dirX_).Real(63);
    Tooling t;
    t.tool = w_.Add(tool);

    Rec adaptive("ADAPTIVE_CONTROL");
    long adaptiveId = w_.Add(adaptive);
    Rec tech("MILLING_TECHNOLOGY");
    if (kind == 2) {
      tech.Real(0.15).Enum("CCP").Real(80).Null().Null().Bool(true).Bool(false).Bool(true)
          .Null();
    } else {
      tech.Real(kind == 0 ? 0.8 : 0.25).Enum("TCP").Real(kind == 0 ? 220 : 180)
          .Real(kind == 0 ? 1400 : -6000).Real(0.05).Bool(false).Bool(kind == 3).Bool(false)
          .Ref(adaptiveId);
    }
    t.technology = w_.Add(tech);

    Rec model("PROCESS_MODEL");
    model.Str("model.ini").Str("chip thickness");
    long modelId = w_.Add(model);
    Rec models("PROCESS_MODEL_LIST");
    models.Refs({modelId});
    long modelsId = w_.Add(models);
    long other = Numeric("spindle warm-up", 2.5, "min");
    Rec mf("MILLING_MACHINE_FUNCTIONS");
    mf.Bool(true).Real(kind == 2 ? 40 : 6).Bool(false).Bool(kind == 2);
    if (kind == 2) {
      mf.Real(40);
    } else {
      mf.Null();
    }
    mf.Strs({"A", "C"}).Bool(true).Ref(dirX_).Ref(modelsId).Refs({other});
    t.functions = w_.Add(mf);
    return t;
  }

  // The trajectories of one realistic workingstep: an approach, the contact passes, a feed stop
  // and a lift; kind 3 runs its first pass along a B-spline with a speed profile.
  long RealisticToolpaths(long step, int kind, long budget, const Tooling& tooling) {
    if (budget == 0) return 0;
    // With enough points the first and the last polyline are a two-point approach and lift.
    const bool framed = budget >= 8;
    std::vector<long> sizes;
    if (framed) {
      sizes.push_back(2);
      for (long n : SplitPoints(budget - 4)) sizes.push_back(n);
      sizes.push_back(2);
    } else {
      sizes = SplitPoints(budget);
    }
    std::vector<long> trajectories;
    for (size_t k = 0; k < sizes.size(); ++k) {
      const bool approach = framed && k == 0;
      const bool lift = framed && k + 1 == sizes.size();
      std::vector<long> points;
      if (approach || lift) {
        const double x = lift ? 195.0 : 5.0;
        points.push_back(Point(x, 5, lift ? 2 : 50, 6));
        points.push_back(Point(x, 5, lift ? 50 : 2, 6));
        toolpathPoints_ += 2;
      } else {
        points = PassPoints(step, static_cast<long>(k), sizes[k], true);
      }

      long curve;
      long speed = 0;
      if (kind == 3 && k == (framed ? 1u : 0u)) {
        curve = BSpline("pass", points);
        // The feed along the pass as a profile: a straight B-spline from its first point to its
        // last one.
        Rec profile("TOOLPATH_SPEED");
        profile.Ref(BSpline("speed", {points.front(), points.back()}));
        speed = w_.Add(profile);
      } else {
        curve = Polyline(points);
      }

      Rec t("CUTTER_LOCATION_TRAJECTORY");
      t.Bool(approach || lift).Enum(approach ? "APPROACH" : lift ? "LIFT" : "CONTACT");
      if (approach || lift) {
        t.TypedEnum("SPEED_NAME", "RAPID");
      } else if (speed) {
        t.Ref(speed);
      } else {
        t.TypedReal("POSITIVE_RATIO_MEASURE", k % 3 == 1 ? 0.85 : 1.0, 2);
      }
      if (k == 1) {
        t.Ref(tooling.technology).Ref(tooling.functions);
      } else {
        t.Null().Null();
      }
      if (k % 2) {
        t.Bool(false);
      } else {
        t.Null();
      }
      t.Ref(curve).Null().Null();
      trajectories.push_back(w_.Add(t));

      if (k + 2 == sizes.size() || sizes.size() == 1) {
        Rec stop("FEEDSTOP");
        stop.Bool(false).Enum("NON_CONTACT").Null().Null().Null().Real(0.5, 1);
        trajectories.push_back(w_.Add(stop));
      }
    }
    Rec list("TOOLPATH_LIST");
    list.Refs(trajectories);
    return w_.Add(list);
  }

  // A B-spline through the given control points: cubic with clamped uniform knots where there
  // are enough points, otherwise linear.
  long BSpline(const char* name, const std::vector<long>& points) {
    const long n = static_cast<long>(points.size());
    const long degree = n >= 4 ? 3 : 1;
    const long distinct = n - degree + 1;
    std::string multiplicities = "(", knots = "(";
    for (long i = 0; i < distinct; ++i) {
      if (i) {
        multiplicities += ',';
        knots += ',';
      }
      multiplicities += std::to_string(i == 0 || i + 1 == distinct ? degree + 1 : 1);
      Rec::AppendReal(knots, static_cast<double>(i) / static_cast<double>(distinct - 1), 6);
    }
    multiplicities += ')';
    knots += ')';
    Rec r("B_SPLINE_CURVE_WITH_KNOTS");
    r.Str(name).Int(degree).Refs(points).Enum("POLYLINE_FORM").Raw(".F.").Raw(".U.")
        .Raw(multiplicities).Raw(knots).Enum("QUASI_UNIFORM_KNOTS");
    return w_.Add(r);
  }

  void RealisticStep(long step, long stepId, long budget) {
    const int kind = static_cast<int>(step % 4);
    const std::string n = std::to_string(step + 1);
    w_.Comment("workingstep " + n);
    const double cx = 20.0 + 40.0 * static_cast<double>(step % 4);
    const double cy = 20.0 + 40.0 * static_cast<double>((step / 4) % 4);

    Tooling tooling = MakeTooling(step, kind);
    long toolpaths = RealisticToolpaths(step, kind, budget, tooling);
    long placement = Placement("feature placement", cx, cy, 0);
    long depth = Plane("depth", Placement("depth", cx, cy, kind == 2 ? -25.0 : -5.0));
    long start = Point(cx, cy, 10, 3, "start point");

    long opId, featureId;
    if (kind == 0) {
      Rec strategy("UNIDIRECTIONAL");
      strategy.Real(0.7, 2).Bool(true).Ref(dirX_).Enum("CLIMB");
      long strategyId = w_.Add(strategy);
      Rec approach("PLUNGE_TOOLAXIS");
      approach.Ref(dirZ_);
      long approachId = w_.Add(approach);
      Rec retract("PLUNGE_TOOLAXIS");
      retract.Null();
      long retractId = w_.Add(retract);
      Rec direction("THREE_AXES");
      long directionId = w_.Add(direction);
      Rec op("PLANE_ROUGH_MILLING");
      op.RefOr(toolpaths).Ref(directionId).Str("plane rough milling " + n).Real(10).Ref(start)
          .Ref(tooling.tool).Ref(tooling.technology).Ref(tooling.functions).Real(2.5)
          .Ref(approachId).Ref(retractId).Ref(strategyId).Real(2).Real(0.5);
      opId = w_.Add(op);
      Rec path("LINEAR_PATH");
      path.Ref(placement).Ref(Toleranced(190, PlusMinus(0.05, 0.05, 2))).Ref(dirX_);
      long pathId = w_.Add(path);
      Rec profile("LINEAR_PROFILE");
      profile.Null().Ref(Numeric("width", 190, "mm"));
      long profileId = w_.Add(profile);
      Rec feature("PLANAR_FACE");
      feature.Str("planar face " + n).Ref(workpiece_).Refs({opId}).Ref(placement).Ref(depth)
          .Ref(pathId).Ref(profileId).Null().EmptyList();
      featureId = w_.Add(feature);
    } else if (kind == 1) {
      Rec strategy("CONTOUR_PARALLEL");
      strategy.Real(0.5, 2).Bool(false).Enum("CCW")
          .Enum("CONVENTIONAL");
      long strategyId = w_.Add(strategy);
      Rec approach("PLUNGE_HELIX");
      approach.Null().Real(4).Real(5);
      long approachId = w_.Add(approach);
      Rec retract("PLUNGE_RAMP");
      retract.Ref(dirZ_).Real(-15);
      long retractId = w_.Add(retract);
      Rec op("BOTTOM_AND_SIDE_ROUGH_MILLING");
      op.RefOr(toolpaths).Null().Str("pocket rough milling " + n).Real(10).Ref(start)
          .Ref(tooling.tool).Ref(tooling.technology).Ref(tooling.functions).Null()
          .Ref(approachId).Ref(retractId).Ref(strategyId).Real(3).Real(6).Real(0.3).Real(0.2);
      opId = w_.Add(op);
      Rec bottom("PLANAR_POCKET_BOTTOM_CONDITION");
      long bottomId = w_.Add(bottom);
      long tolerance = PlusMinus(0.1, 0.0, 1);
      Rec boundary("RECTANGULAR_CLOSED_PROFILE");
      boundary.Ref(placement).Ref(Toleranced(30, tolerance)).Ref(Toleranced(35, tolerance));
      long boundaryId = w_.Add(boundary);
      Rec feature("CLOSED_POCKET");
      feature.Str("closed pocket '" + n + "'").Ref(workpiece_).Refs({opId}).Ref(placement)
          .Ref(depth).EmptyList().Real(0).Ref(bottomId).Ref(Toleranced(6, tolerance)).Null()
          .Ref(boundaryId);
      featureId = w_.Add(feature);
    } else if (kind == 2) {
      Rec strategy("DRILLING_TYPE_STRATEGY");
      strategy.Real(0.5, 1).Real(0.5, 1).Real(2).Null().Null()
          .Null();
      long strategyId = w_.Add(strategy);
      Rec op("DRILLING");
      op.RefOr(toolpaths).Null().Str("drilling " + n).Real(10).Ref(start).Ref(tooling.tool)
          .Ref(tooling.technology).Ref(tooling.functions).Null().Real(25).Null().Real(0.5, 1)
          .Real(1.2, 1).Ref(strategyId);
      opId = w_.Add(op);
      Rec fit("LIMITS_AND_FITS");
      fit.Real(0.015).Real(7, 1).Enum("HOLE");
      long fitId = w_.Add(fit);
      Rec taper("ANGLE_TAPER");
      taper.Real(0.5, 1);
      long taperId = w_.Add(taper);
      Rec bottom("FLAT_HOLE_BOTTOM");
      long bottomId = w_.Add(bottom);
      Rec feature("ROUND_HOLE");
      feature.Str("round hole " + n).Ref(workpiece_).Refs({opId}).Ref(placement).Ref(depth)
          .Ref(Toleranced(8.5, fitId)).Ref(taperId).Ref(bottomId);
      featureId = w_.Add(feature);
    } else {
      Rec tolerances("TOLERANCES");
      tolerances.RealE(0.001).RealE(0.005);
      long tolerancesId = w_.Add(tolerances);
      Rec strategy("PLANE_CL_STRATEGY");
      strategy.Enum("ZIGZAG").Enum("CLIMB").Ref(tolerancesId).Real(0.8, 1).Ref(dirZ_);
      long strategyId = w_.Add(strategy);
      Rec op("FREEFORM_OPERATION");
      op.RefOr(toolpaths).Null().Str("freeform finishing " + n).Real(10).Ref(start)
          .Ref(tooling.tool).Ref(tooling.technology).Ref(tooling.functions).Null().Null()
          .Null().Ref(strategyId);
      opId = w_.Add(op);
      // A bicubic patch of 4 x 4 control points: the nested list of the surface.
      std::string grid = "(";
      for (int i = 0; i < 4; ++i) {
        grid += i ? ",(" : "(";
        for (int j = 0; j < 4; ++j) {
          if (j) grid += ',';
          double z = -2.0 + 0.5 * static_cast<double>((i * 3 + j * 5) % 4);
          Rec::AppendRef(grid, Point(cx - 15 + 10.0 * i, cy - 15 + 10.0 * j, z, 4));
        }
        grid += ')';
      }
      grid += ')';
      Rec surface("BEZIER_SURFACE");
      surface.Str("freeform patch").Int(3).Int(3).Raw(grid).Enum("RULED_SURF").Bool(false)
          .Bool(false).Raw(".U.");
      long surfaceId = w_.Add(surface);
      Rec feature("REGION_SURFACE_LIST");
      feature.Str("freeform region " + n).Ref(workpiece_).Refs({opId}).Ref(placement)
          .Refs({surfaceId});
      featureId = w_.Add(feature);
    }
    Rec ws("MACHINING_WORKINGSTEP");
    ws.Str("workingstep " + n).Ref(secPlane_).Ref(featureId).Ref(opId);
    ws.Null();
    w_.Put(stepId, ws);
  }

  Writer& w_;
  Options o_;
  Random random_;
  long toolpathPoints_ = 0;
  long dirZ_ = 0, dirX_ = 0, origin_ = 0, secPlane_ = 0, workpiece_ = 0, setup_ = 0;
  long owner_ = 0, release_ = 0, approval_ = 0;
  long tool_ = 0, technology_ = 0, functions_ = 0;
  long depthPlane_ = 0, linearPath_ = 0, linearProfile_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int i = 1;
  if (argc == 4 && std::strcmp(argv[1], "--pocket") == 0) {
    char* end = nullptr;
    const double size = std::strtod(argv[2], &end);
    if (!(size > 0) || *end) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    const bool toStdout = std::strcmp(argv[3], "-") == 0;
    std::FILE* out = toStdout ? stdout : std::fopen(argv[3], "wb");
    if (!out) {
      std::fprintf(stderr, "varnholt-gen: cannot open %s: %s\n", argv[3], std::strerror(errno));
      return 1;
    }
    const bool ok = WritePocket(out, size) && (toStdout ? std::fflush(out) : std::fclose(out)) == 0;
    if (!ok) std::fprintf(stderr, "varnholt-gen: writing %s failed\n", argv[3]);
    return ok ? 0 : 1;
  }
  for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
    const std::string a = argv[i];
    if (a == "--realistic") {
      o.realistic = true;
    } else if (a == "--points-per-path" && i + 1 < argc &&
               ParseCount(argv[i + 1], 2, &o.pointsPerPath)) {
      ++i;
    } else if (a == "--paths-per-step" && i + 1 < argc &&
               ParseCount(argv[i + 1], 1, &o.pathsPerStep)) {
      ++i;
    } else if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (argc - i != 2 || !ParseCount(argv[i], 0, &o.points) || o.points == 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  o.out = argv[i + 1];

  const bool toStdout = std::strcmp(o.out, "-") == 0;
  std::FILE* out = toStdout ? stdout : std::fopen(o.out, "wb");
  if (!out) {
    std::fprintf(stderr, "varnholt-gen: cannot open %s: %s\n", o.out, std::strerror(errno));
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

  Writer writer(out);
  Generator generator(writer, o);
  generator.Run();
  bool failed = writer.Failed();
  if (toStdout) {
    failed = std::fflush(out) != 0 || failed;
  } else {
    failed = std::fclose(out) != 0 || failed;
  }
  if (failed) {
    std::fprintf(stderr, "varnholt-gen: writing %s failed\n", o.out);
    return 1;
  }
  std::fprintf(stderr, "varnholt-gen: %ld records, %ld toolpath points written to %s\n",
               writer.Records(), generator.ToolpathPoints(), o.out);
  return 0;
}
