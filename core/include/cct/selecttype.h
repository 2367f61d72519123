// One value of an EXPRESS select: a simple value, an enumeration value or a reference to an
// instance (held through the scope entry of its name when it is registered).
#ifndef CCT_SELECTTYPE_H
#define CCT_SELECTTYPE_H

#include <cstdint>

#include "cct/cctype.h"
#include "cct/scope.h"

class cct_Instance;

class cct_SelectType : public cct_Type {
 public:
  cct_SelectType() = default;
  ~cct_SelectType() override;

  int TestCompatibility(const cct_Type* p) const override;
  void Unset() override;
  const char* TypeName() const override { return "SELECT"; }
  long TypeID() const override { return 9; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override { return cct_KIND_SELECT; }
  /// The held value in its own encoding, without a type keyword.
  void WriteP21(std::ostream& out) const override;
  int TestCorrectness(int check) override;
  cct_Type* GetEntity() const override { return Get(0, 1); }
  void Copy(const cct_Type* p) override { Set(p); }
  /// Admissible type ids, 0-terminated; null admits any value.
  virtual const long* AllowedTypes() const { return nullptr; }

  void Set(const cct_Type* v);
  /// The held value: an instance (counted when addReference), a placeholder bound to the entry
  /// of a name not yet read (when makePlaceholder), or a new object marked temporary, which the
  /// caller destroys.
  cct_Type* Get(int makePlaceholder, int addReference) const;

  long HeldKind() const { return heldKind_; }
  long HeldTypeId() const { return heldTypeId_; }
  cct_Scope::Entry* GetEntry() const;

 private:
  static constexpr long kIntegerId = 2;  // TypeID of the plain INTEGER
  static constexpr long kRealId = 3;     // and of the plain REAL
  /// A plain INTEGER given to a select with a REAL choice and no INTEGER one: taken as a REAL.
  bool TakesIntegerAsReal(const cct_Type* p) const;
  void ReleaseHeld();
  bool HoldsText() const;
  void ResolveEnumerationLiteral(const char* text);
  cct_Scope::Entry* HeldEntry() const { return static_cast<cct_Scope::Entry*>(value_.p); }
  cct_Instance* HeldInstance() const { return static_cast<cct_Instance*>(value_.p); }

  int32_t heldKind_ = 0;
  int32_t heldTypeId_ = 0;
};

/// Disposes of what a select's or an aggregate's Get handed out: temporaries are destroyed,
/// counted instances released.
void cct_DisposeGot(cct_Type* value);

#endif
