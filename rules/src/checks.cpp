// The registry of the checks written in C++.
#include "checks.h"

#include <cstring>

namespace varnholt::rules {

namespace {

struct Registered {
  const char* id;
  CheckFunction function;
};

const Registered kChecks[] = {
    {"", nullptr},
};

}  // namespace

CheckFunction FindCheck(const std::string& id) {
  for (const Registered& r : kChecks)
    if (r.function && id == r.id) return r.function;
  return nullptr;
}

}  // namespace varnholt::rules
