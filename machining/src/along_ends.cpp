// Where a slot, a step or a profile leaves an end open, whether the stock is there: the
// generator cuts such an end as a closed one and the preflight names it, both from here, so
// that they agree on which ends they are.
#include <charconv>
#include <cmath>

#include "generate.h"
#include "varnholt/feature_along.h"

namespace varnholt {

namespace {

std::string Number(double value) {
  if (std::fabs(value) < 1e-9) value = 0;  // no "-0"
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::round(value * 1e6) / 1e6);
  return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

}  // namespace

bool FeatureStock::Inside(const Vec3& point, double margin) const {
  const Vec3 p = feature.Apply(point);
  const Vec3 d = Sub(p, position.origin);
  switch (kind) {
    case None:
      return false;
    case Block:
      for (int k = 0; k < 3; ++k) {
        const double at = Dot(d, Normalized(position.axis[k]));
        if (!(at > margin && at < size[k] - margin)) return false;
      }
      return true;
    case Cylinder: {
      const Vec3 axis = Normalized(position.axis[2]);
      const double up = Dot(d, axis);
      const double out = Length(Sub(d, Mul(axis, up)));
      return up > margin && up < size[2] - margin && out < size[0] - margin;
    }
  }
  return false;
}

FeatureStock StockOfFeature(const Model& model, const ModelFeature& feature) {
  FeatureStock out;
  if (!feature.placed || feature.workpiece < 0 || feature.workpiece >= static_cast<int>(model.workpieces.size()))
    return out;
  const ModelStock& stock = model.workpieces[feature.workpiece].stock;
  if (!stock.reason.empty() || !(stock.x > 0 && stock.z > 0)) return out;
  if (stock.kind == ModelStock::Block && stock.y > 0) {
    out.kind = FeatureStock::Block;
  } else if (stock.kind == ModelStock::Cylinder && Length(stock.position.axis[2]) > 0) {
    out.kind = FeatureStock::Cylinder;
  } else {
    return out;
  }
  out.feature = feature.placement;
  out.position = stock.position;
  out.size[0] = stock.x, out.size[1] = stock.y, out.size[2] = stock.z;
  return out;
}

std::vector<OpenEndInStock> OpenEndsInStock(const ModelFeature& feature, const FeatureStock& stock) {
  std::vector<OpenEndInStock> out;
  const AlongFeature* f = feature.along.get();
  if (!f || stock.kind == FeatureStock::None) return out;
  // The course as the generator cuts along it; the operation plays no part in it.
  const ModelOperation none;
  std::vector<Move> moves;
  machining_detail::StepJob job(feature, none, moves);
  Contour2 course;
  if (!machining_detail::AlongCourse(job, course) || course.closed || course.segments.empty()) return out;
  // The depth the generator cuts to: the depth plane, else a profile's sweep.
  double depth = f->hasDepth ? f->depth : std::nan("");
  if (!(depth < 0) && f->sweptDepth > 0) depth = -f->sweptDepth;
  if (!(depth < 0)) return out;
  for (bool start : {true, false}) {
    if (f->kind == AlongFeature::Slot) {
      // A slot's ends are as its end conditions say; only those said open are run out of.
      const size_t k = start ? 0 : 1;
      if (k >= f->ends.size() || f->ends[k].kind != AlongEnd::Open) continue;
    }
    OpenEndInStock end;
    if (machining_detail::EndInStock(stock, course, start, depth, end)) out.push_back(end);
  }
  return out;
}

std::string OpenEndText(const OpenEndInStock& end) {
  return std::string("its open ") + (end.start ? "start" : "end") + " at (" + Number(end.at.x) + ", " +
         Number(end.at.y) + ", " + Number(end.at.z) + ") lies inside the stock";
}

namespace machining_detail {

bool EndInStock(const FeatureStock& stock, const Contour2& path, bool start, double depth, OpenEndInStock& end) {
  if (stock.kind == FeatureStock::None || path.segments.empty()) return false;
  const Vec2 p = start ? path.start : path.segments.back().to;
  // Half way down: the feature's top lies on the stock's top face, on its boundary.
  if (!stock.Inside({p.x, p.y, depth / 2})) return false;
  end.start = start;
  end.at = stock.feature.Apply({p.x, p.y, 0});
  return true;
}

}  // namespace machining_detail

}  // namespace varnholt
