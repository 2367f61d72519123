// The tool's end over a feature's floor: how deep a tool may go at a place without cutting
// below the floor anywhere under it.
#include "generate_section.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>


namespace varnholt::machining_detail {

double PlaneAngle(double angle) { return std::fabs(angle) > 2 * kPi + 1e-9 ? angle * kPi / 180 : angle; }

double EndLift(double radius, double corner, double halfAngle, double s) {
  s = std::clamp(std::fabs(s), 0.0, radius);
  if (halfAngle > 0) return s / std::tan(halfAngle);
  const double flat = radius - corner;
  if (corner <= 0 || s <= flat) return 0;
  const double d = s - flat;
  return corner - std::sqrt(std::max(0.0, corner * corner - d * d));
}

double ToolEnd::Lift(double s) const { return EndLift(radius, corner, halfAngle, s); }

double DrillPointAngle(double tipHalfAngle, bool& given) {
  // Drills are ground from a spotting point of 60 degrees to a flat end; anything outside that
  // is a slip of the writer (a half angle written as a full one, a tool's side angle), and
  // reading it would put the tip where no drill goes.
  constexpr double kLeast = 60 * kPi / 180, kUsual = 118 * kPi / 180;
  const double full = 2 * PlaneAngle(tipHalfAngle);
  given = full >= kLeast - 1e-9 && full <= kPi + 1e-9;
  return given ? std::min(full, kPi) : kUsual;
}

ToolEnd ToolEndOf(StepJob& job) {
  ToolEnd end;
  end.radius = job.tool.diameter / 2;
  end.corner = std::clamp(job.tool.cornerRadius, 0.0, end.radius);
  if (job.tool.ballEnd && end.corner <= 0) end.corner = end.radius;
  if (job.tool.drilling && job.tool.drill) {
    // A drill always has a point: where the file gives none it has, the usual one, so that the
    // depth its full diameter reaches is known.
    end.drill = true;
    end.pointAngle = DrillPointAngle(job.tool.tipHalfAngle, end.pointGiven);
    end.halfAngle = end.pointAngle < kPi - 1e-9 ? end.pointAngle / 2 : 0;
    end.corner = 0;
  } else if (job.tool.drilling) {
    end.drill = true;
    // A point only where the tool says how sharp it is (a countersink). Without one the end is
    // taken as flat, which stops the tip highest over any floor.
    const double half = PlaneAngle(job.tool.tipHalfAngle);
    if (job.tool.pointed && half > 1e-3 && half < kPi / 2 - 1e-3) {
      end.halfAngle = half;
      end.corner = 0;
    }
  }
  return end;
}

double Drop(const Floor& floor, const ToolEnd& tool, double u, const std::vector<double>& breaks) {
  const double r = tool.radius;
  auto at = [&](double s) { return floor(u + s) - tool.Lift(s); };
  double best = std::max(at(-r), at(r));
  best = std::max(best, at(0));
  for (double b : breaks) {
    // Both sides of a corner or a step of the floor.
    for (double e : {-1e-12, 0.0, 1e-12}) {
      const double s = b - u + e;
      if (s >= -r && s <= r) best = std::max(best, at(s));
    }
  }
  constexpr int kSamples = 128;
  int bestK = 0;
  double sampled = -std::numeric_limits<double>::infinity();
  for (int k = 0; k <= kSamples; ++k) {
    const double v = at(-r + 2 * r * k / kSamples);
    if (v > sampled) sampled = v, bestK = k;
  }
  // Refine the best sample's neighbourhood: a smooth maximum (a ball over a round floor) lies
  // between samples.
  double lo = -r + 2 * r * std::max(0, bestK - 1) / kSamples, hi = -r + 2 * r * std::min(kSamples, bestK + 1) / kSamples;
  for (int i = 0; i < 80; ++i) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (at(m1) < at(m2))
      lo = m1;
    else
      hi = m2;
  }
  return std::max({best, sampled, at((lo + hi) / 2)});
}

std::vector<double> Spaced(double from, double to, double step) {
  if (!(std::fabs(to - from) > 1e-12)) return {from};
  const long n = std::clamp(static_cast<long>(std::ceil(std::fabs(to - from) / std::max(step, 1e-6) - 1e-9)), 1L, 100000L);
  std::vector<double> out;
  for (long k = 0; k <= n; ++k) out.push_back(from + (to - from) * static_cast<double>(k) / static_cast<double>(n));
  return out;
}

std::vector<double> Levels(double bottom, double step) {
  if (!(step > 0)) return {bottom};
  std::vector<double> out = Spaced(0, bottom, step);
  out.erase(out.begin());  // the top itself is no level
  if (out.empty()) out.push_back(bottom);
  return out;
}

bool Climb(StepJob& job, std::string* mode) {
  const ModelStrategy& s = job.operationModel->strategy;
  std::string text = s.cutmode.empty() ? s.spiralCutmode : s.cutmode;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (mode) *mode = text;
  return text != "conventional";
}

}  // namespace varnholt::machining_detail
