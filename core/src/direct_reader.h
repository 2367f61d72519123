// The working storage of the direct reader, one per exchange-file object: the tokens of the
// record in the read window, the lists a record's values are gathered in and the parameter list
// handed to the instance. Everything is emptied, not freed, from record to record, so that a
// long read allocates nothing per record; kept per file, so that two files being read never
// share it. Internal to the core's reading code.
#ifndef CCT_DIRECT_READER_H
#define CCT_DIRECT_READER_H

#include <vector>

#include "cct/stepfile.h"
#include "direct_scan.h"
#include "parsed_values.h"

struct cct_DirectBuffers {
  /// The tokens of a record the reader splits itself (one the read-ahead did not prepare).
  std::vector<cct_direct::Token> tokens;
  /// The numbers of a list of reals going straight into its attribute.
  std::vector<double> reals;
  /// The entries of a list of references going straight into its attribute.
  std::vector<cct_Scope::Entry*> entries;
  /// One list of values per nesting level (the checks allow no deeper nesting than kMaxDepth).
  std::vector<cct_Type*> levels[cct_direct::kMaxDepth + 3];
  /// The parameters of the record being read; emptied when the record is done.
  cct_ParameterList parameters;
};

#endif
