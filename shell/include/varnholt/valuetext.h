// What the desktop shows and copies of a value: reals in the tree at the chosen precision, the
// exact text of a value as a save writes it, and what copying a row of the tree gives.
#ifndef VARNHOLT_VALUETEXT_H
#define VARNHOLT_VALUETEXT_H

#include <string>

#include "varnholt/edit.h"

class cct_Type;

namespace varnholt {

/// How the tree shows reals: four significant digits with sign and decimal point ("1235.",
/// "0.5000", "1.501e+04"), or exactly (the shortest text that reads back to the stored value,
/// as the editor offers it).
enum class RealDisplay { FourDigits, Exact };

/// The desktop's choice, for every tree from now on; FourDigits until changed.
void SetRealDisplay(RealDisplay display);
RealDisplay CurrentRealDisplay();

/// A real as the tree shows it.
std::string ShownReal(double v, RealDisplay display);
inline std::string ShownReal(double v) { return ShownReal(v, CurrentRealDisplay()); }

/// The value as a save writes it: "1234.5678", "12", "'a text'", ".RIGHT.", "$",
/// "PARAMETER_VALUE(270.)".
std::string SavedText(const cct_Type& value);

/// What copying the slot gives: a text value's text as stored (no quotes, no escapes), every
/// other value as a save writes it ("$" when unset); empty when the slot names nothing.
std::string CopyText(const ValueSlot& slot);

/// The exact value of the slot for a tooltip: what the editor starts with, "$" when unset;
/// empty when the slot names nothing.
std::string ExactText(const ValueSlot& slot);

}  // namespace varnholt

#endif
