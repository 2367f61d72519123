// Records the schema binding cannot build — entities of other schemas, complex instances,
// user-defined keywords — and the exchange file's sections other than HEADER and DATA. They are
// data of the user's file all the same: kept as read and written back as read.
#ifndef CCT_RAWRECORD_H
#define CCT_RAWRECORD_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cct/instance.h"

class cct_InputFile;

/// An instance that holds its record as text: the keyword (or the parenthesised records of a
/// complex instance) and its parameters, tokens unchanged, blanks and comments between them
/// dropped.
class cct_RawInstance : public cct_Instance {
 public:
  explicit cct_RawInstance(std::string record);

  /// The keyword in lower case as the tree shows entity names ("!name" for a user-defined one);
  /// for a complex instance its keywords in parentheses, "(a b c)".
  const char* TypeName() const override { return typeName_.c_str(); }
  long TypeID() const override { return 0; }
  int TestCorrectness(int) override { return 1; }
  bool WriteP21Instance(std::ostream& os) override;
  /// Calls `use` with every instance name (without "#") referred to in the parameters.
  void ForEachReference(const std::function<void(std::string_view)>& use) const;

  const std::string& Record() const { return record_; }

 private:
  std::string record_;
  std::string typeName_;
};

/// Reads one record's right-hand side from the reading position up to and including its
/// closing semicolon (outside strings, comments and parentheses), and answers it without that
/// semicolon, with blanks, line ends and comments between tokens removed and keywords in upper
/// case. Empty when the input ends first.
std::string cct_ReadRawRecord(cct_InputFile& file);

/// The parameters of a record's text as cct_ReadRawRecord gives it ("KEYWORD(p1,p2,...)"), each
/// exactly as it stands there.
std::vector<std::string_view> cct_SplitParameters(std::string_view record);
/// Calls `use` with every instance name (without "#") a kept text refers to, in its order.
void cct_ForEachNameIn(std::string_view text, const std::function<void(std::string_view)>& use);

/// Passes over blanks, line ends and comments.
void cct_SkipBlanks(cct_InputFile& file);
/// The word at the reading position: upper-case letters, digits, "_" and "-" ("END-ISO-10303-21").
std::string cct_ReadWord(cct_InputFile& file);
/// The text of a section whose keyword (given) has just been read, up to and including the
/// semicolon after its ENDSEC, exactly as it stands; false when the input ends first.
bool cct_ReadRawSection(cct_InputFile& file, const std::string& keyword, std::string& text);

#endif
