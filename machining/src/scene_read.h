// What the scene builder reads from a population: attribute values by their schema names,
// references followed, numbers and lists taken out of their value objects, placements and the
// points of curves. Internal to the scene builder; nothing here throws or prints.
#ifndef VARNHOLT_SCENE_READ_H
#define VARNHOLT_SCENE_READ_H

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "varnholt/scene.h"

class cct_Instance;
class cct_Type;

namespace varnholt::scene_detail {

/// "#N" for an instance, as the tree and the log name it.
std::string InstanceLabel(const cct_Instance* instance);

/// Reads attributes by name. The position of a name is looked up once per entity type, since
/// a large file asks the same few questions millions of times.
class Reader {
 public:
  /// The value of the attribute of that name; null when the entity has none.
  const cct_Type* Value(const cct_Instance& instance, const char* name);
  /// The instance a reference (or a select holding one) designates; null when unset, dangling
  /// or not a reference.
  cct_Instance* Ref(const cct_Instance& instance, const char* name);
  /// A number: REAL, INTEGER, a select holding one, or a measure entity that carries one
  /// (toleranced_length_measure, numeric_parameter). False when unset or not finite.
  bool Number(const cct_Instance& instance, const char* name, double& out);
  bool Number(const cct_Type* value, double& out, int depth = 0);
  /// BOOLEAN or LOGICAL true/false; false when unset or unknown.
  bool Flag(const cct_Instance& instance, const char* name, bool& out);
  std::string Text(const cct_Instance& instance, const char* name);
  /// The text of a string or enumeration value, also where a select holds it
  /// (SPEED_NAME(.RAPID.)); empty for anything else.
  std::string HeldText(const cct_Type* value);
  /// The instances a list of references holds, in order (a dangling element is null). False
  /// when the attribute is no list.
  bool Refs(const cct_Instance& instance, const char* name, std::vector<cct_Instance*>& out);
  bool Numbers(const cct_Instance& instance, const char* name, std::vector<double>& out);
  /// The elements of a list of selects (or references) as values: each an instance or a number.
  struct Item {
    cct_Instance* instance = nullptr;
    bool hasNumber = false;
    double number = 0;
  };
  bool Items(const cct_Instance& instance, const char* name, std::vector<Item>& out);

  /// True when the instance is of that entity or one of its subtypes (cached per type).
  bool Is(const cct_Instance& instance, const char* entity);

 private:
  struct Key {
    long type;
    const char* name;
    bool operator==(const Key& o) const { return type == o.type && name == o.name; }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      return std::hash<long>()(k.type) * 31 + std::hash<const void*>()(k.name);
    }
  };
  std::unordered_map<Key, long, KeyHash> index_;
  std::unordered_map<Key, bool, KeyHash> isA_;
};

/// Collects what could not be drawn, once per instance.
class Problems {
 public:
  explicit Problems(std::vector<SceneProblem>& out) : out_(out) {}
  void Add(const cct_Instance* instance, const std::string& text);
  void Add(const std::string& instance, const std::string& text);

 private:
  std::vector<SceneProblem>& out_;
  std::unordered_set<std::string> seen_;
};

/// Limits on the work one scene may take, so that an absurd file cannot stall the program.
struct Budget {
  long pointsLeft = 60'000'000;
  bool exhausted = false;
  /// Takes n points from the budget; false (and exhausted) when they are not there.
  bool Take(long n) {
    if (n > pointsLeft) {
      exhausted = true;
      return false;
    }
    pointsLeft -= n;
    return true;
  }
};

/// One end of a trimmed curve: a point, a parameter or both.
struct TrimEnd {
  bool hasPoint = false, hasParameter = false;
  Vec3 point;
  double parameter = 0;
};

/// Reads geometry: placements, directions, points and curves, in the curve's own coordinates.
class Geometry {
 public:
  Geometry(Reader& reader, Problems& problems, Budget& budget)
      : r_(reader), problems_(problems), budget_(budget) {}

  /// A cartesian_point's coordinates (missing ones are 0); false when it has none.
  bool Point(const cct_Instance* point, Vec3& out);
  /// A direction's ratios normalised; false when absent or of zero length.
  bool Direction(const cct_Instance* direction, Vec3& out);
  /// An axis2_placement_3d; false (and a problem) when it or its location is missing.
  bool Axis2(const cct_Instance* placement, Placement& out, const cct_Instance* owner,
             const char* what);
  /// Appends the points of a curve to `out`; false (and a problem) when it cannot be drawn.
  bool Curve(const cct_Instance* curve, std::vector<Vec3>& out, int depth = 0);
  /// A circle, or a trimmed curve on one, as an arc; false for any other curve (and a problem
  /// when it is one that cannot be drawn).
  bool CircleArc(const cct_Instance& curve, ArcPiece& out);
  /// With a tolerance above 0, b-splines are sampled until no chord lies farther from the
  /// curve than it (as far as the budget goes); else at a fixed count per span.
  void SetTolerance(double tolerance) { tolerance_ = tolerance; }

  /// Samples a circle of the given radius in the xy plane of `frame` from angle a0 to a1
  /// (radians, a1 may be below a0).
  static void Arc(const Placement& frame, double radius, double a0, double a1, std::vector<Vec3>& out);
  /// De Boor's evaluation of a non-rational b-spline at u; knots already expanded.
  static Vec3 DeBoor(int degree, const std::vector<double>& knots, const std::vector<Vec3>& points,
                     double u);

 private:
  bool Polyline(const cct_Instance& curve, std::vector<Vec3>& out);
  bool Composite(const cct_Instance& curve, std::vector<Vec3>& out, int depth);
  bool Trimmed(const cct_Instance& curve, std::vector<Vec3>& out, int depth);
  bool BSpline(const cct_Instance& curve, std::vector<Vec3>& out);
  bool Circle(const cct_Instance& curve, std::vector<Vec3>& out);
  bool CirclePosition(const cct_Instance& circle, Placement& frame, double& radius);
  bool Trims(const cct_Instance& curve, TrimEnd (&end)[2], bool& byParameter);
  /// The arc a trimmed curve cuts from its circle `basis`.
  bool TrimmedCircle(const cct_Instance& curve, const cct_Instance& basis, ArcPiece& out);
  void Refine(int degree, const std::vector<double>& knots, const std::vector<Vec3>& points, double u0,
              const Vec3& p0, double u1, const Vec3& p1, std::vector<Vec3>& out, int depth);

  Reader& r_;
  double tolerance_ = 0;
  Problems& problems_;
  Budget& budget_;
};

/// One line of a feature's outline, in the feature's own coordinates.
struct Outline {
  std::vector<Vec3> points;
  bool closed = false;
};

/// The outlines of a feature in its own coordinates: the boundary at its top and at its depth,
/// and the lines between them where they help. False when the kind of feature (or of its
/// profile) is not one the scene draws; the builder then places a marker.
bool FeatureOutlines(Reader& reader, Geometry& geometry, Problems& problems,
                     const cct_Instance& feature, std::vector<Outline>& out);

}  // namespace varnholt::scene_detail

#endif
