// Finding one's way in a population: who refers to an instance, which instances match a search,
// which no path from a project reaches, and an instance's record as a save would write it. Both
// front ends ask these questions here; the answers come from the core's reference walk.
#ifndef VARNHOLT_NAVIGATION_H
#define VARNHOLT_NAVIGATION_H

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "cct/references.h"

class cct_Instance;
class cct_Scope;

namespace varnholt {

/// One reference to an instance, named as the tree names it.
struct Referrer {
  long number;            // the referring instance's number (0 for a name that is no number)
  std::string name;       // its name
  long attribute;         // the attribute's position, -1 in a kept record
  std::string attributeName;  // as the tree shows it; "(record)" for a kept record
  long element;           // position in the list from 1, 0 for a single value
  /// "#M ATTRIBUTE" or "#M ATTRIBUTE[i]".
  std::string Text() const;
};

/// True for the name of an instance as a search takes it: digits, with or without its "#".
bool IsInstanceNumber(const std::string& text);

/// What a search asks for; every condition given must hold.
struct FindQuery {
  std::string name;     // "#N" or "N": that instance only, looked up without a walk
  std::string type;     // an entity name (any case): the entity or any of its subtypes
  std::string text;     // contained in a string value, ignoring case
  bool unreached = false;  // no path from a project instance reaches it
};

/// What the details of an instance show.
struct InstanceDetails {
  std::string name;
  long number = 0;
  std::string type;         // the entity's name as the tree shows it
  long line = 0;            // where its record starts in the file; 0 for one made since
  std::string record;       // as a save writes it
  std::vector<Referrer> referrers;
};

/// The questions about one scope. The index of references is built on the first question that
/// needs it; Invalidate after a change of the population.
class Navigator {
 public:
  explicit Navigator(cct_Scope& scope) : scope_(scope) {}

  /// The references to the instance of that name, sorted by referring number, attribute
  /// position and element.
  std::vector<Referrer> ReferencesTo(const std::string& name);
  /// The instances that match, sorted by number. `cancelled` is asked now and then.
  std::vector<cct_Instance*> Find(const FindQuery& query, const std::function<bool()>& cancelled = {});
  /// The instances some path from a project instance reaches, following every reference.
  std::unordered_set<const cct_Instance*> Reached();
  /// The details of the instance of that name; false when the scope has no such instance.
  bool Details(const std::string& name, InstanceDetails& details);
  void Invalidate() { index_.reset(); }
  const cct_ReferenceIndex& Index();

 private:
  cct_Scope& scope_;
  std::unique_ptr<cct_ReferenceIndex> index_;
};

/// The record of an instance as a save writes it, without the line end.
std::string RecordText(cct_Instance& instance);
/// The number of a plain numbered name, else 0.
long NameNumber(const char* name);
/// True when the instance is of that entity (lower-case name) or one of its subtypes; for a
/// kept record, when one of its keywords is that name.
bool IsOfType(const cct_Instance& instance, const std::string& entity);
/// True when one of its string values contains `text`, ignoring the case of ASCII letters.
bool HasText(const cct_Instance& instance, const std::string& text);

/// The instance whose record the given file line belongs to: the last one whose record starts
/// at or before it; null when none does.
cct_Instance* InstanceAtLine(cct_Scope& scope, long line);

/// What a line of the log points at: the file line it reports (0 for none) and the instance it
/// names as "#N" (empty for none).
struct LogTarget {
  long line = 0;
  std::string name;
};
LogTarget FindLogTarget(const std::string& logLine);
/// The instance a line of the log leads to: the one defined at the file line it reports, else
/// the one it names; null when it leads nowhere.
cct_Instance* LogLineInstance(cct_Scope& scope, const std::string& logLine);

}  // namespace varnholt

#endif
