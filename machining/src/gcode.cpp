// G-code of a program (being written).
#include "varnholt/gcode.h"

#include <istream>
#include <ostream>

namespace varnholt {

GcodeResult WriteGcode(const Program&, const GcodeOptions&) { return {}; }
bool ReadToolTable(std::istream&, std::map<std::string, int>&, std::string&) { return true; }
void WriteGcodeMap(const GcodeResult&, std::ostream&) {}
ProgramTime MachiningTime(const Program&, double rapidFeed, double toolChangeSeconds) {
  ProgramTime t;
  t.rapidFeed = rapidFeed;
  t.toolChange = toolChangeSeconds;
  return t;
}
void WriteTimeText(const ProgramTime&, std::ostream&) {}
void WriteTimeJson(const ProgramTime&, std::ostream&) {}
std::string Duration(double) { return {}; }

}  // namespace varnholt
