// What differs between two populations, judged by their structure rather than by instance
// numbers or the order of records: the projects are paired, and from each pair of instances
// the references of the same attribute pair up their targets, down through the whole tree;
// what no path reaches is paired by type and content. The CLI's `diff`, the desktop's
// comparison and the Python module all ask here.
#ifndef VARNHOLT_DIFF_H
#define VARNHOLT_DIFF_H

#include <string>
#include <vector>

class cct_Scope;

namespace varnholt {

enum class DifferenceKind { Changed, Added, Removed, Moved };

/// "changed", "added", "removed" or "moved".
const char* KindName(DifferenceKind kind);

/// One difference. Values are their text in the exchange file, as a save writes it.
struct Difference {
  DifferenceKind kind = DifferenceKind::Changed;
  /// From the project down, e.g. "project 'P1' / main_workplan / its_elements[3] 'Rough
  /// pocket' / its_operation"; elements counted from 1, a name in quotes where the instance
  /// has an its_id or a name. An instance no path from a project reaches starts with
  /// "(unreached)". For a removed instance the path is the first file's, else the second's.
  std::string path;
  /// The attribute changed ("feedrate", "coordinates[3]"), the list a moved element is in;
  /// empty for an added or removed instance.
  std::string attribute;
  bool hasOld = false, hasNew = false;
  /// Changed: the old and the new value. Moved: the old and new place in the list (from 1).
  /// Removed / added: the instance's record.
  std::string oldText, newText;
  /// The instances in the first and the second file: their names and numbers (0 for none or
  /// a name that is no number).
  std::string nameA, nameB;
  long instanceA = 0, instanceB = 0;
};

struct DiffOptions {
  /// Reals that differ by at most this much are equal; 0: only the same double is.
  double tolerance = 0;
};

/// The differences that turn population `a` into `b`: changes and moves in the order a walk
/// from the projects meets them, then what was removed from `a`, then what was added in `b`
/// (each by instance number). Of an added or removed group of instances only the ones no
/// other added or removed instance refers to are listed: the rest come with them.
std::vector<Difference> Compare(cct_Scope& a, cct_Scope& b, const DiffOptions& options = {});

/// {"same": ..., "differences": [...]}, one difference per line.
std::string DifferencesJson(const std::vector<Difference>& differences);
/// One line per difference, then a line that counts them ("no differences" when none).
std::string DifferencesText(const std::vector<Difference>& differences);

}  // namespace varnholt

#endif
