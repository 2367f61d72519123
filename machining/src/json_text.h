// The pieces of JSON text the machining library writes: numbers that read back as the same
// double, strings, points and instance numbers.
#ifndef VARNHOLT_JSON_TEXT_H
#define VARNHOLT_JSON_TEXT_H

#include <charconv>
#include <cmath>
#include <string>

#include "varnholt/json_quote.h"
#include "varnholt/scene.h"

namespace varnholt::json_text {

// Shortest text that reads back as the same double; null for what is not a number.
inline std::string Num(double v) {
  if (!std::isfinite(v)) return "null";
  if (v == 0) return "0";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

inline std::string Point(const Vec3& p) { return "[" + Num(p.x) + ", " + Num(p.y) + ", " + Num(p.z) + "]"; }

inline std::string Quoted(const std::string& text) { return JsonQuoted(text); }

// "#50" as 50; null for anything else.
inline std::string Instance(const std::string& name) {
  if (name.size() < 2 || name[0] != '#') return "null";
  for (size_t i = 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return "null";
  return name.substr(1);
}

}  // namespace varnholt::json_text

#endif
