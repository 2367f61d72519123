// The rule notation's evaluator. Kleene logic throughout: a comparison with an indeterminate
// side is UNKNOWN, ex() is never UNKNOWN, and only FALSE violates a rule.
#include "expr.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>

#include "cct/instance.h"
#include "expr_node.h"
#include "varnholt/navigation.h"

namespace varnholt::rules {

namespace {

constexpr double kRelativeTolerance = 1e-6;

bool SameNumber(double a, double b) {
  return std::fabs(a - b) <= kRelativeTolerance * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

Logic ToLogic(const Value& v) { return v.kind == Value::Logical ? v.logic : Logic::Unknown; }

Logic Not(Logic a) { return a == Logic::Unknown ? a : a == Logic::True ? Logic::False : Logic::True; }
Logic And(Logic a, Logic b) {
  if (a == Logic::False || b == Logic::False) return Logic::False;
  if (a == Logic::True && b == Logic::True) return Logic::True;
  return Logic::Unknown;
}
Logic Or(Logic a, Logic b) { return Not(And(Not(a), Not(b))); }
Logic Xor(Logic a, Logic b) {
  if (a == Logic::Unknown || b == Logic::Unknown) return Logic::Unknown;
  return a != b ? Logic::True : Logic::False;
}

int Dimension(const Value& v, int depth);

bool IsLeap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

Value DaysInMonth(const std::vector<Value>& args) {
  if (args.size() != 2 || args[0].kind != Value::Number || args[1].kind != Value::Number) return {};
  if (std::fabs(args[0].number) > 12 || std::fabs(args[1].number) > 1e9) return {};  // keeps the casts below defined
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const long month = static_cast<long>(args[0].number);
  if (month < 1 || month > 12) return {};
  return Value::Of(static_cast<double>(days[month - 1] + (month == 2 && IsLeap(static_cast<long>(args[1].number)))));
}

bool Ratios(const Value& direction, double out[3]) {
  if (direction.kind != Value::Instance) return false;
  Value r = FromModel(AttributeNamed(*direction.instance, "direction_ratios"));
  if (r.kind != Value::List || r.list.size() != 3) return false;
  double length = 0;
  for (int i = 0; i < 3; ++i) {
    if (r.list[i].kind != Value::Number) return false;
    out[i] = r.list[i].number;
    length += out[i] * out[i];
  }
  length = std::sqrt(length);
  if (length == 0) return false;
  for (int i = 0; i < 3; ++i) out[i] /= length;
  return true;
}

// The length of the cross product of two 3-D directions, each first made a unit vector.
Value CrossMagnitude(const std::vector<Value>& args) {
  double a[3], b[3];
  if (args.size() != 2 || !Ratios(args[0], a) || !Ratios(args[1], b)) return {};
  const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  return Value::Of(std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]));
}

// Degree, knots and multiplicities of a B-spline fit its control points: degree at least 1, at
// least two knots, strictly increasing, end multiplicities 1..degree+1, inner ones 1..degree,
// and the multiplicities add up to degree + number of control points + 1.
Logic BsplineOk(const std::vector<Value>& args) {
  if (args.size() != 5) return Logic::Unknown;
  for (int k : {0, 1, 2})
    if (args[k].kind != Value::Number) return Logic::Unknown;
  if (args[3].kind != Value::List || args[4].kind != Value::List) return Logic::Unknown;
  const double degree = args[0].number, upKnots = args[1].number, upPoints = args[2].number;
  const std::vector<Value>& mult = args[3].list;
  const std::vector<Value>& knots = args[4].list;
  for (const Value& v : mult)
    if (v.kind != Value::Number) return Logic::Unknown;
  for (const Value& v : knots)
    if (v.kind != Value::Number) return Logic::Unknown;
  if (degree < 1 || upKnots < 2 || upPoints < degree || static_cast<double>(mult.size()) != upKnots ||
      knots.size() < mult.size())
    return Logic::False;
  double k = mult[0].number;
  if (k < 1 || k > degree + 1) return Logic::False;
  double sum = k;
  for (size_t i = 1; i < mult.size(); ++i) {
    k = mult[i].number;
    if (k < 1 || knots[i].number <= knots[i - 1].number) return Logic::False;
    if (i + 1 < mult.size() && k > degree) return Logic::False;
    if (i + 1 == mult.size() && k > degree + 1) return Logic::False;
    sum += k;
  }
  return sum == degree + upPoints + 2 ? Logic::True : Logic::False;
}

// The start or end vertex of an edge; an oriented edge's come from the edge it orients, swapped
// when its orientation is FALSE (the file gives them as derived, *).
Value EdgeEnd(const Value& edge, bool start, int depth) {
  if (edge.kind != Value::Instance || depth > 16) return {};
  const cct_Instance& e = *edge.instance;
  if (IsOfType(e, "oriented_edge")) {
    Value orientation = FromModel(AttributeNamed(e, "orientation"));
    if (orientation.kind != Value::Logical || orientation.logic == Logic::Unknown) return {};
    const bool forward = orientation.logic == Logic::True;
    return EdgeEnd(FromModel(AttributeNamed(e, "edge_element")), forward ? start : !start, depth + 1);
  }
  return FromModel(AttributeNamed(e, start ? "edge_start" : "edge_end"));
}

class Evaluator {
 public:
  Evaluator(const Value& self, std::vector<std::pair<std::string, std::string>>* found) : self_(self), found_(found) {}

  Value Eval(const Node& n, int depth = 0) {
    if (depth > kMaxDepth) return {};
    Value v = Compute(n, depth + 1);
    if (found_ && !n.label.empty()) Note(n.label, v);
    return v;
  }

 private:
  const Value& self_;
  std::vector<std::pair<std::string, std::string>>* found_;
  std::vector<std::pair<std::string, Value>> bound_;

  void Note(const std::string& label, const Value& v) {
    for (auto& f : *found_)
      if (f.first == label) return;
    found_->emplace_back(label, Show(v));
  }

  static Value Member(const Value& base, const std::string& name) {
    if (base.kind != Value::Instance) return {};
    return FromModel(AttributeNamed(*base.instance, name));
  }

  Value Compute(const Node& n, int depth) {
    switch (n.op) {
      case Node::Number: return Value::Of(n.number);
      case Node::String: {
        Value v;
        v.kind = Value::Text;
        v.text = n.text;
        return v;
      }
      case Node::Self: return self_;
      case Node::Name:
        for (auto b = bound_.rbegin(); b != bound_.rend(); ++b)
          if (b->first == n.text) return b->second;
        return Member(self_, n.text);
      case Node::Attribute: return Member(Eval(*n.kids[0], depth), n.text);
      case Node::As: {
        Value base = Eval(*n.kids[0], depth);
        if (base.kind != Value::Instance || !IsOfType(*base.instance, n.text)) return {};
        return base;
      }
      case Node::Index: {
        Value base = Eval(*n.kids[0], depth);
        Value index = Eval(*n.kids[1], depth);
        if (base.kind != Value::List || index.kind != Value::Number) return {};
        const double i = index.number;
        if (i < 1 || i > static_cast<double>(base.list.size()) || i != std::floor(i)) return {};
        return base.list[static_cast<size_t>(i) - 1];
      }
      case Node::Negate: {
        Value a = Eval(*n.kids[0], depth);
        return a.kind == Value::Number ? Value::Of(-a.number) : Value{};
      }
      case Node::Size: {
        Value a = Eval(*n.kids[0], depth);
        if (a.kind != Value::List && a.kind != Value::Types) return {};
        return Value::Of(static_cast<double>(a.list.size()));
      }
      case Node::Not: return Value::Of(Not(ToLogic(Eval(*n.kids[0], depth))));
      case Node::And: {
        const Logic a = ToLogic(Eval(*n.kids[0], depth));
        if (a == Logic::False && !found_) return Value::Of(a);
        return Value::Of(And(a, ToLogic(Eval(*n.kids[1], depth))));
      }
      case Node::Or: {
        const Logic a = ToLogic(Eval(*n.kids[0], depth));
        if (a == Logic::True && !found_) return Value::Of(a);
        return Value::Of(Or(a, ToLogic(Eval(*n.kids[1], depth))));
      }
      // Operands in the order written (also for what is noted as found), never in the
      // unspecified order of a function call's arguments.
      case Node::Xor: {
        const Logic a = ToLogic(Eval(*n.kids[0], depth));
        return Value::Of(Xor(a, ToLogic(Eval(*n.kids[1], depth))));
      }
      case Node::Implies: {
        const Logic a = ToLogic(Eval(*n.kids[0], depth));
        return Value::Of(Or(Not(a), ToLogic(Eval(*n.kids[1], depth))));
      }
      case Node::Add:
      case Node::Sub:
      case Node::Mul:
      case Node::Div: return Arithmetic(n, depth);
      case Node::Eq:
      case Node::Ne:
      case Node::Lt:
      case Node::Le:
      case Node::Gt:
      case Node::Ge:
      case Node::Same: {
        const Value a = Eval(*n.kids[0], depth);
        return Value::Of(Compare(n.op, a, Eval(*n.kids[1], depth)));
      }
      case Node::Call: return Call(n, depth);
      case Node::Count:
      case Node::All: return Quantify(n, depth);
      case Node::Range: {
        Value from = Eval(*n.kids[0], depth), to = Eval(*n.kids[1], depth);
        if (from.kind != Value::Number || to.kind != Value::Number || to.number - from.number > 1e6) return {};
        Value v;
        v.kind = Value::List;
        for (double k = std::ceil(from.number); k <= to.number; ++k) v.list.push_back(Value::Of(k));
        return v;
      }
      case Node::TypeList: {
        Value v;
        v.kind = Value::Types;
        for (const auto& k : n.kids) v.list.push_back(Eval(*k, depth));
        return v;
      }
    }
    return {};
  }

  Value Arithmetic(const Node& n, int depth) {
    Value a = Eval(*n.kids[0], depth);
    Value b = Eval(*n.kids[1], depth);
    // {T1, T2} * types(x): the names of the list that x is an instance of.
    if (n.op == Node::Mul && (a.kind == Value::Types || b.kind == Value::Types)) {
      const Value& names = a.instance ? b : a;
      const Value& of = a.instance ? a : b;
      if (names.kind != Value::Types || of.kind != Value::Types || !of.instance) return {};
      Value v;
      v.kind = Value::Types;
      for (const Value& name : names.list)
        if (IsOfType(*of.instance, name.text)) v.list.push_back(name);
      return v;
    }
    if (a.kind != Value::Number || b.kind != Value::Number) return {};
    switch (n.op) {
      case Node::Add: return Value::Of(a.number + b.number);
      case Node::Sub: return Value::Of(a.number - b.number);
      case Node::Mul: return Value::Of(a.number * b.number);
      default: return b.number == 0 ? Value{} : Value::Of(a.number / b.number);
    }
  }

  static Logic Compare(Node::Op op, const Value& a, const Value& b) {
    if (a.kind == Value::Indeterminate || b.kind == Value::Indeterminate) return Logic::Unknown;
    auto yes = [](bool t) { return t ? Logic::True : Logic::False; };
    if (op == Node::Same) {
      if (a.kind != Value::Instance || b.kind != Value::Instance) return Logic::Unknown;
      return yes(a.instance == b.instance);
    }
    if (a.kind == Value::Number && b.kind == Value::Number) {
      const bool same = SameNumber(a.number, b.number);
      switch (op) {
        case Node::Eq: return yes(same);
        case Node::Ne: return yes(!same);
        case Node::Lt: return yes(a.number < b.number && !same);
        case Node::Le: return yes(a.number < b.number || same);
        case Node::Gt: return yes(a.number > b.number && !same);
        default: return yes(a.number > b.number || same);
      }
    }
    if (op != Node::Eq && op != Node::Ne) return Logic::Unknown;
    bool same;
    if (a.kind == Value::Text && b.kind == Value::Text) {
      same = a.text.size() == b.text.size();
      for (size_t i = 0; same && i < a.text.size(); ++i)
        same = std::tolower(static_cast<unsigned char>(a.text[i])) == std::tolower(static_cast<unsigned char>(b.text[i]));
    } else if (a.kind == Value::Instance && b.kind == Value::Instance) {
      same = a.instance == b.instance;
    } else if (a.kind == Value::Logical && b.kind == Value::Logical) {
      if (a.logic == Logic::Unknown || b.logic == Logic::Unknown) return Logic::Unknown;
      same = a.logic == b.logic;
    } else {
      return Logic::Unknown;
    }
    return yes(op == Node::Eq ? same : !same);
  }

  Value Call(const Node& n, int depth) {
    const std::string& f = n.text;
    Value a = Eval(*n.kids[0], depth);
    if (f == "ex") return Value::Of(a.kind == Value::Indeterminate ? Logic::False : Logic::True);
    if (f == "is") {
      if (a.kind == Value::Indeterminate) return Value::Of(Logic::Unknown);
      if (a.kind != Value::Instance) return Value::Of(Logic::False);
      return Value::Of(IsOfType(*a.instance, n.kids[1]->text) ? Logic::True : Logic::False);
    }
    if (f == "types") {
      if (a.kind != Value::Instance) return {};
      Value v;
      v.kind = Value::Types;
      v.instance = a.instance;
      return v;
    }
    if (f == "dim") {
      const int d = Dimension(a, 0);
      return d > 0 ? Value::Of(static_cast<double>(d)) : Value{};
    }
    if (f == "nvl") return a.kind != Value::Indeterminate || n.kids.size() < 2 ? a : Eval(*n.kids[1], depth);
    if (f == "abs") return a.kind == Value::Number ? Value::Of(std::fabs(a.number)) : Value{};
    std::vector<Value> args{a};
    for (size_t k = 1; k < n.kids.size(); ++k) args.push_back(Eval(*n.kids[k], depth));
    if (f == "days_in_month") return DaysInMonth(args);
    if (f == "cross_magnitude") return CrossMagnitude(args);
    if (f == "bspline_ok") return Value::Of(BsplineOk(args));
    if (f == "kindof") {
      Value v;
      if (a.kind == Value::Indeterminate) return v;
      v.kind = Value::Text;
      v.text = a.kind == Value::Instance ? a.instance->TypeName() : a.kind == Value::Number ? "number" : "other";
      return v;
    }
    if (f == "start" || f == "end") return EdgeEnd(a, f == "start", 0);
    if (f == "unique") {
      if (a.kind != Value::List) return Value::Of(Logic::Unknown);
      std::set<const cct_Instance*> seen;
      for (const Value& m : a.list)
        if (m.kind == Value::Instance && !seen.insert(m.instance).second) return Value::Of(Logic::False);
      return Value::Of(Logic::True);
    }
    if (f == "leap_year") {
      if (a.kind != Value::Number || std::fabs(a.number) > 1e9) return Value::Of(Logic::Unknown);
      const long y = static_cast<long>(a.number);
      return Value::Of((y % 4 == 0 && y % 100 != 0) || y % 400 == 0 ? Logic::True : Logic::False);
    }
    return {};
  }

  // count gives the number of members for which the predicate is TRUE; all is TRUE when none
  // is FALSE and UNKNOWN when some are UNKNOWN. An indeterminate collection gives UNKNOWN.
  Value Quantify(const Node& n, int depth) {
    Value collection = Eval(*n.kids[0], depth);
    if (collection.kind != Value::List) return n.op == Node::All ? Value::Of(Logic::Unknown) : Value{};
    const Node& predicate = *n.kids.back();
    long count = 0;
    Logic all = Logic::True;
    for (const Value& member : collection.list) {
      bound_.emplace_back(n.text, member);
      bool take = true;
      if (n.filtered) take = ToLogic(Eval(*n.kids[1], depth)) == Logic::True;
      if (take) {
        const Logic p = ToLogic(Eval(predicate, depth));
        if (p == Logic::True) ++count;
        all = And(all, p);
      }
      bound_.pop_back();
    }
    if (n.op == Node::Count) return Value::Of(static_cast<double>(count));
    return Value::Of(all);
  }
};

// The number of coordinates of a point-like item, or the largest of its points'; 0 when there
// is none (no points, a point without coordinates, an item of another kind).
int Dimension(const Value& v, int depth) {
  if (v.kind != Value::Instance || depth > 8) return 0;
  const cct_Instance& i = *v.instance;
  auto count = [&](const char* name) {
    Value list = FromModel(AttributeNamed(i, name));
    return list.kind == Value::List ? static_cast<int>(list.list.size()) : 0;
  };
  auto shared = [&](const char* name) {
    Value list = FromModel(AttributeNamed(i, name));
    if (list.kind != Value::List || list.list.empty()) return 0;
    // Points of different sizes: the largest, as a curve is at least that wide.
    int d = 0;
    for (const Value& p : list.list) {
      const int e = Dimension(p, depth + 1);
      if (e == 0) return 0;
      d = std::max(d, e);
    }
    return d;
  };
  auto of = [&](const char* name) { return Dimension(FromModel(AttributeNamed(i, name)), depth + 1); };
  if (IsOfType(i, "cartesian_point")) return count("coordinates");
  if (IsOfType(i, "direction")) return count("direction_ratios");
  if (IsOfType(i, "vector")) return of("orientation");
  if (IsOfType(i, "polyline")) return shared("points");
  if (IsOfType(i, "b_spline_curve")) return shared("control_points_list");
  if (IsOfType(i, "line")) return of("pnt");
  if (IsOfType(i, "trimmed_curve")) return of("basis_curve");
  if (IsOfType(i, "placement")) return of("location");
  if (IsOfType(i, "conic")) return of("position");
  return 0;
}

}  // namespace

Condition::Condition(const std::string& text) { root_ = ParseCondition(text, attributes_); }
Condition::~Condition() = default;
Condition::Condition(Condition&&) noexcept = default;
Condition& Condition::operator=(Condition&&) noexcept = default;

Logic Condition::Evaluate(const Value& self, std::vector<std::pair<std::string, std::string>>* found) const {
  Evaluator evaluator(self, found);
  Logic result = ToLogic(evaluator.Eval(*root_));
  if (found) {
    // Only the longest paths say what was found: "a.b = 3" says more than "a = #12".
    std::vector<std::pair<std::string, std::string>> kept;
    for (const auto& f : *found) {
      bool prefix = false;
      for (const auto& g : *found)
        if (g.first.size() > f.first.size() && g.first.compare(0, f.first.size(), f.first) == 0 &&
            std::strchr(".[\\", g.first[f.first.size()]))
          prefix = true;
      if (!prefix) kept.push_back(f);
    }
    *found = std::move(kept);
  }
  return result;
}

}  // namespace varnholt::rules
