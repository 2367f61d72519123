// One value of an EXPRESS enumeration. Schema subclasses supply the value names; without them the
// enumeration is free and holds any lower-case text (the parser's untyped literals).
#ifndef CCT_ENUMTYPE_H
#define CCT_ENUMTYPE_H

#include "cct/cctype.h"

class cct_EnumType : public cct_Type {
 public:
  cct_EnumType() = default;
  ~cct_EnumType() override;

  const char* TypeName() const override { return "ENUMERATION"; }
  long TypeID() const override { return 8; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override { return cct_KIND_ENUMERATION; }
  /// ".VALUE." in upper case.
  void WriteP21(std::ostream& out) const override;
  /// The index, or -1 when unset or free.
  long GetInteger() const override;
  const char* GetString() const override;
  void Copy(const cct_Type* p) override;
  /// Name of value i, lower case; null outside 0..count-1.
  virtual const char* ValueName(long i) const;
  /// 0 for a free enumeration.
  virtual long ValueCount() const { return 0; }

  /// Case-insensitive for schema enumerations; a name not in the list is reported and the value
  /// stays as it was.
  void SetByName(const char* text);
  void SetByIndex(long i);

 private:
  void FreeText();
  bool ownsText_ = false;  // the value storage holds a text, not an index
};

#endif
