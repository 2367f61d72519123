// Feeds and speeds carry no unit in a file: lengths are millimetres, but writers give feeds per
// second or per minute and spindle speeds in revolutions per second or per minute. A program
// reads them in one of two systems, given by the user or chosen from the file, and says which.
#ifndef VARNHOLT_UNITS_H
#define VARNHOLT_UNITS_H

#include <string>

class cct_Scope;

namespace varnholt {

enum class UnitSystem {
  Si,    // feed mm/s, cutting speed m/s, spindle rev/s: millimetres and seconds
  Shop,  // feed mm/min, cutting speed m/min, spindle rpm
};

struct UnitChoice {
  UnitSystem system = UnitSystem::Si;
  bool given = false;  // by the user rather than chosen from the file
  std::string reason;  // one sentence, e.g. "technology #45 gives cutspeed 60 and spindle ..."
};

/// "si" or "shop".
const char* UnitName(UnitSystem system);
/// "feed mm/s, cutting speed m/s, spindle rev/s" and the like.
const char* UnitDescription(UnitSystem system);
/// "si" or "shop" read; false for anything else.
bool ParseUnits(const std::string& text, UnitSystem& out);

/// The system of the file: where milling technologies give a cutting speed and a spindle speed
/// for a tool of known diameter that agree (v = pi*d*n within 5 %), the size of the spindle
/// speed decides (see the program builder); else si.
UnitChoice ChooseUnits(cct_Scope& scope);
UnitChoice ChooseUnits(const struct Model& model);

/// A feed in mm/min and a spindle speed in rpm (sign kept), from the file's value.
inline double FeedPerMinute(double value, UnitSystem system) { return system == UnitSystem::Si ? value * 60 : value; }
inline double SpindleRpm(double value, UnitSystem system) { return system == UnitSystem::Si ? value * 60 : value; }

/// Plausible limits of a converted feed: below 1 mm/min or above 100 m/min it is reported.
constexpr double kLeastPlausibleFeed = 1, kMostPlausibleFeed = 100000;
/// Beyond these a workingstep's technology is implausible and `gcode` writes it only when told
/// to: a spindle above 60,000 rpm, a cutting speed above 2,000 m/min, a feed per tooth above 2 mm.
constexpr double kMostPlausibleSpindle = 60000, kMostPlausibleCutspeed = 2000, kMostPlausibleFeedPerTooth = 2;

}  // namespace varnholt

#endif
