#include <cstring>
#include <ostream>

#include "cct/ascii.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"

namespace {

constexpr const char* kModule = "cctype";

char* LowerCopy(const char* text) {
  char* copy = cct_CopyText(text);
  for (char* c = copy; *c; ++c) *c = cct_AsciiLower(*c);
  return copy;
}

}  // namespace

cct_EnumType::~cct_EnumType() { FreeText(); }

void cct_EnumType::FreeText() {
  if (ownsText_) cct_FreeText(value_.s);
  ownsText_ = false;
  value_.p = nullptr;
}

const char* cct_EnumType::ValueName(long) const { return nullptr; }

void cct_EnumType::SetByIndex(long i) {
  MarkModified();
  if (i >= 0 && i < ValueCount()) {
    FreeText();
    value_.i = static_cast<int32_t>(i);
    flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
    return;
  }
  cct_errlog(cct_Warning(cct_INVALID_ENUM_ASSIGNMENT)) << (TypeName() ? TypeName() : "");
}

void cct_EnumType::SetByName(const char* text) {
  MarkModified();
  if (!text) {
    FreeText();
    flags_ |= cct_FLAG_UNSET;
    return;
  }
  const long count = ValueCount();
  if (count == 0) {
    char* lower = LowerCopy(text);
    FreeText();
    value_.s = lower;
    ownsText_ = true;
    flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
    return;
  }
  char* lower = LowerCopy(text);
  for (long i = 0; i < count; ++i) {
    const char* name = ValueName(i);
    if (name && std::strcmp(name, lower) == 0) {
      cct_FreeText(lower);
      SetByIndex(i);
      return;
    }
  }
  cct_FreeText(lower);
  cct_errlog(cct_Warning(cct_INVALID_ENUM_ASSIGNMENT))
      << "'" << (TypeName() ? TypeName() : "") << "'.\n  Value \"" << text
      << "\" is not in the Set of allowed entries.";
}

long cct_EnumType::GetInteger() const {
  return IsSet() && !ownsText_ && ValueCount() != 0 ? value_.i : -1;
}

const char* cct_EnumType::GetString() const {
  if (!IsSet()) return nullptr;
  if (ownsText_) return value_.s;
  return ValueCount() != 0 ? ValueName(value_.i) : nullptr;
}

void cct_EnumType::Copy(const cct_Type* p) {
  const auto* other = dynamic_cast<const cct_EnumType*>(p);
  if (other && other->ValueCount() != 0)
    SetByIndex(other->GetInteger());
  else
    SetByName(p->GetString());
}

void cct_EnumType::ProcessParameter(const cct_Type* p) {
  if (!p) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER))
        << "(" << kModule << ") cct_EnumType::ProcessParameter (const cct_Type *)";
    return;
  }
  Copy(p);
}

void cct_EnumType::WriteP21(std::ostream& out) const {
  const char* text = GetString();
  if (!IsSet() || !text) {
    out << '$';
    return;
  }
  out << '.';
  for (const char* c = text; *c; ++c)
    out << cct_AsciiUpper(*c);
  out << '.';
}
