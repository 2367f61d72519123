#include "cct/cctype.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <cstring>
#include <ostream>
#include <string>

#include "cct/errlog.h"
#include "cct/p21text.h"

namespace {

// The module name that reports of the value types carry in their location prefix.
constexpr const char* kModule = "cctype";

std::ostream& Where(int code, const char* function) {
  return cct_errlog(code) << "(" << kModule << ") " << function;
}

// The empty text an unset STRING holds; shared, never freed.
char kEmptyText[] = "";

}  // namespace

cct_ChangeTrackingSwitch ChangeTracking;
thread_local int CompatibilityMode = 2;

int CombineCompatibility(int n, int k) {
  switch (CompatibilityMode) {
    case 0: return n != 0 && k == 1 ? 1 : 0;
    case 1:
      if (k != 1) return 0;
      return n != 0 ? 1 : -1;
    case 2: return k == 1 || k == 2 ? -1 : 0;
    default: return 0;
  }
}

char* cct_CopyText(const char* text) {
  if (!text) return nullptr;
  // Empty texts are frequent (every unnamed point has one) and all share one static text.
  if (!*text) return kEmptyText;
  size_t n = std::strlen(text) + 1;
  char* copy = new char[n];
  std::memcpy(copy, text, n);
  return copy;
}

void cct_FreeText(char* text) {
  if (text != kEmptyText) delete[] text;
}

// ---- __cct_Type ------------------------------------------------------------------------------

void __cct_Type::SetSet(bool set) {
  if (set)
    flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
  else
    flags_ |= cct_FLAG_UNSET;
}

int __cct_Type::TestNameCompatibilty(const cct_Type* p) const {
  if (!p) {
    Where(cct_Error(cct_PROGRAM_BUG), "__cct_Type::TestNameCompatibilty() --- ")
        << "Unallowed NULL argument";
    return -1;
  }
  if (p->Flags() & cct_FLAG_NO_VALUE) return 1;
  const char* mine = TypeName();
  const char* theirs = p->TypeName();
  if (!mine && !theirs) return 1;
  if (!mine || !theirs) return 0;
  return std::strcmp(mine, theirs) == 0 ? 1 : 0;
}

int __cct_Type::KindTest(const cct_Type* p) const {
  long own = Kind();
  if (own == 0) return 2;
  return own == p->Kind() ? 1 : 0;
}

int __cct_Type::Combine(const cct_Type* p, int kindResult) const {
  return CombineCompatibility(TestNameCompatibilty(p), kindResult);
}

int __cct_Type::TestCompatibility(const cct_Type* p) const {
  int n = TestNameCompatibilty(p);
  if (n == -1) return 0;
  return CombineCompatibility(n, KindTest(p));
}

void __cct_Type::Unset() { flags_ |= cct_FLAG_UNSET; }

void __cct_Type::Release() { delete this; }

const char* __cct_Type::TypeName() const { return "EMPTY"; }

long __cct_Type::TypeID() const { return 1; }

void __cct_Type::ProcessParameter(const cct_Type* p) {
  if (!p) {
    Where(cct_Error(cct_NULL_PARAMETER), "__cct_Type::ProcessParameter (const cct_Type *)");
    return;
  }
  Copy(p);
}

long __cct_Type::Kind() const { return 0; }

int __cct_Type::TestCorrectness(int) { return 1; }

void __cct_Type::ConversionError(const char* requested) const {
  cct_errlog(cct_Error(cct_WRONG_DATA_FORMAT)) << requested << " requested from type "
                                               << (TypeName() ? TypeName() : "") << ".";
}

long __cct_Type::GetInteger() const {
  ConversionError("integer");
  return 0;
}

double __cct_Type::GetReal() const {
  ConversionError("double");
  return 0.0;
}

const char* __cct_Type::GetString() const {
  ConversionError("string");
  return nullptr;
}

cct_Type* __cct_Type::GetEntity() const {
  ConversionError("cct_Type *");
  return nullptr;
}

// ---- INTEGER ---------------------------------------------------------------------------------

void cct_IntegerType::Set(long v) {
  MarkModified();
  value_.i = static_cast<int32_t>(v);
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_IntegerType::Copy(const cct_Type* p) { Set(p->GetInteger()); }

void cct_IntegerType::WriteP21(std::ostream& out) const {
  if (!IsSet())
    out << '$';
  else
    out << value_.i;
}

// ---- REAL ------------------------------------------------------------------------------------

int cct_RealType::TestCompatibility(const cct_Type* p) const {
  if (!p) return __cct_Type::TestCompatibility(p);  // reports the null argument
  long k = p->Kind();
  return Combine(p, k == cct_KIND_REAL ? 1 : (k == cct_KIND_INTEGER ? 2 : 0));
}

bool cct_StorableReal(double v) {
  if (std::isfinite(v)) return true;
  // Named in words: printing the value would follow the C library's spelling.
  cct_errlog(cct_Warning(cct_WRONG_DATA_FORMAT))
      << "The real value " << (std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf")
      << " is not finite and is not stored.";
  return false;
}

void cct_RealType::Set(double v) {
  if (!cct_StorableReal(v)) return;
  MarkModified();
  value_.d = v;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_RealType::ProcessParameter(const cct_Type* p) {
  if (!p) {
    Where(cct_Error(cct_NULL_PARAMETER), "cct_RealType::ProcessParameter()");
    return;
  }
  Set(p->GetReal());
}

void cct_RealType::Copy(const cct_Type* p) { Set(p->GetReal()); }

namespace {

// The shortest text that reads back to v, in the form an exchange file needs: a point in the
// mantissa always, "E" before an exponent ("1.23456789E-05", "5.E-324").
size_t FormatShortest(char* text, double v) {
  auto [end, ec] = std::to_chars(text, text + 398, v);
  size_t n = ec == std::errc() ? static_cast<size_t>(end - text) : 0;
  std::string_view written(text, n);
  size_t e = written.find('e');
  if (e != std::string_view::npos) text[e] = 'E';
  if (written.find('.') == std::string_view::npos) {
    if (e == std::string_view::npos) e = n;
    std::memmove(text + e + 1, text + e, n - e);
    text[e] = '.';
    ++n;
  }
  return n;
}

}  // namespace

size_t cct_FormatReal(char* text, double v) {
  // Ten decimals, no exponent, as "%.10f" in the C locale: the largest double needs 321
  // characters. to_chars gives the same digits, is much faster, and ignores the process locale
  // (a desktop locale with a decimal comma must not change what a file holds).
  //
  // Below 10^9 the exact value times 10^10 is computed in integers and rounded as printf
  // rounds (to nearest, ties to even), which is many times quicker still. Ten decimals do not
  // always read back to the same number (1.23456789E-05, 4.9E-11): such a value is written in
  // the shortest form that does. Above 10^9 ten decimals are finer than the spacing of doubles.
  if (v > -1e9 && v < 1e9) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int exponent = -1074;
    if (biased != 0) {
      mantissa |= uint64_t{1} << 52;
      exponent = biased - 1075;
    }
    // v * 10^10 = mantissa * 5^10 * 2^(exponent + 10); below 10^9 the power of two is negative.
    const unsigned __int128 product = static_cast<unsigned __int128>(mantissa) * 9765625u;
    const int shift = -(exponent + 10);
    uint64_t scaled = 0;
    bool readsBack = mantissa == 0;
    if (shift < 128) {
      unsigned __int128 quotient = product >> shift;
      const unsigned __int128 rest = product - (quotient << shift);
      const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
      if (rest > half || (rest == half && (quotient & 1))) ++quotient;
      scaled = static_cast<uint64_t>(quotient);
      // The text is scaled / 10^10; it reads back to v when it lies within half the spacing of
      // doubles around v, 2^exponent / 2, that is when 2 * |scaled * 2^shift - product| is
      // below 5^10. A power of two has a closer neighbour below, and a tie depends on the
      // reader's rounding: those are checked by reading.
      const unsigned __int128 written = quotient << shift;
      const unsigned __int128 error = written > product ? written - product : product - written;
      if (mantissa != (uint64_t{1} << 52) && biased != 0) readsBack = 2 * error < 9765625u;
    }
    if (!readsBack && mantissa != 0) {
      char fixed[32];
      size_t n = 0;
      if (negative) fixed[n++] = '-';
      n += static_cast<size_t>(
          std::snprintf(fixed + n, sizeof fixed - n, "%llu.%010llu",
                        static_cast<unsigned long long>(scaled / 10000000000u),
                        static_cast<unsigned long long>(scaled % 10000000000u)));
      double back = 0;
      std::from_chars(fixed, fixed + n, back);
      if (back != v) return FormatShortest(text, v);
    }
    char digits[24];
    size_t count = 0;
    uint64_t whole = scaled / 10000000000u;
    uint64_t fraction = scaled % 10000000000u;
    do {
      digits[count++] = static_cast<char>('0' + whole % 10);
      whole /= 10;
    } while (whole);
    size_t n = 0;
    if (negative) text[n++] = '-';
    while (count) text[n++] = digits[--count];
    text[n++] = '.';
    for (int k = 9; k >= 0; --k) {
      text[n + static_cast<size_t>(k)] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    return n + 10;
  }
  auto [end, ec] = std::to_chars(text, text + 398, v, std::chars_format::fixed, 10);
  size_t n = ec == std::errc() ? static_cast<size_t>(end - text) : 0;
  std::string_view written(text, n);
  if (written.find('.') == std::string_view::npos) {
    // Infinities and NaN have no point; it goes before an exponent if there is one, else last.
    size_t e = written.find_first_of("eE");
    if (e == std::string_view::npos) e = n;
    std::memmove(text + e + 1, text + e, n - e);
    text[e] = '.';
    ++n;
  }
  return n;
}

void cct_WriteReal(std::ostream& out, double v) {
  char text[400];
  out.write(text, static_cast<std::streamsize>(cct_FormatReal(text, v)));
}

void cct_RealType::WriteP21(std::ostream& out) const {
  if (!IsSet())
    out << '$';
  else
    cct_WriteReal(out, value_.d);
}

// ---- LOGICAL ---------------------------------------------------------------------------------

cct_LogicalType::cct_LogicalType() {
  value_.i = -1;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

int cct_LogicalType::TestCompatibility(const cct_Type* p) const {
  if (!p) return __cct_Type::TestCompatibility(p);
  return Combine(p, p->Kind() == cct_KIND_LOGICAL ? 1 : 0);
}

void cct_LogicalType::Set(long v) {
  MarkModified();
  value_.i = static_cast<int32_t>(v);
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

long cct_LogicalType::Get() const { return IsSet() ? LongToLogical(value_.i) : -1; }

void cct_LogicalType::Copy(const cct_Type* p) { SetFromLong(p->GetInteger()); }

namespace {
const char* LogicalText(long v) { return v > 0 ? ".T." : (v == 0 ? ".F." : ".U."); }
}  // namespace

void cct_LogicalType::WriteP21(std::ostream& out) const {
  if (!IsSet())
    out << '$';
  else
    out << LogicalText(value_.i);
}

// ---- BOOLEAN ---------------------------------------------------------------------------------

int cct_BooleanType::TestCompatibility(const cct_Type* p) const {
  if (!p) return __cct_Type::TestCompatibility(p);
  long k = p->Kind();
  int result = 0;
  if (k == cct_KIND_BOOLEAN)
    result = 1;
  else if (k == cct_KIND_LOGICAL && p->GetInteger() >= 0)
    result = 2;
  return Combine(p, result);
}

void cct_BooleanType::Set(long v) {
  MarkModified();
  value_.i = static_cast<int32_t>(v);
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

long cct_BooleanType::LongToBoolean(long v) {
  if (v >= 1) return 1;
  if (v == 0) return 0;
  cct_errlog(cct_Warning(cct_PROGRAM_BUG))
      << "(ccType)cct_BooleanType::LongToBoolean ---"
      << "\n   Illegal negative value for boolean type, returning 'false'";
  return 0;
}

void cct_BooleanType::Copy(const cct_Type* p) { SetFromLong(p->GetInteger()); }

void cct_BooleanType::WriteP21(std::ostream& out) const {
  if (!IsSet())
    out << '$';
  else
    out << (value_.i ? ".T." : ".F.");
}

// ---- STRING and BINARY -----------------------------------------------------------------------

cct_StringType::~cct_StringType() { FreeText(); }

void cct_StringType::FreeText() {
  cct_FreeText(value_.s);
  value_.s = nullptr;
}

void cct_StringType::Unset() {
  FreeText();
  value_.s = kEmptyText;
  flags_ |= cct_FLAG_UNSET;
}

void cct_StringType::Set(const char* text) {
  if (!text) {
    MarkModified();
    Unset();
    return;
  }
  Set(cct_CopyText(text), cct_AdoptText{});
}

void cct_StringType::Set(char* text, cct_AdoptText) {
  MarkModified();
  if (!text) {
    Unset();
    return;
  }
  if (text != value_.s) FreeText();
  value_.s = text;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_StringType::ProcessParameter(const cct_Type* p) {
  if (!p) {
    Where(cct_Error(cct_NULL_PARAMETER), "cct_StringType::ProcessParameter (const cct_Type *)");
    return;
  }
  Copy(p);
}

void cct_StringType::Copy(const cct_Type* p) { Set(p->GetString()); }

void cct_StringType::WriteP21(std::ostream& out) const {
  if (!IsSet()) {
    out << '$';
    return;
  }
  out << '\'';
  cct_WriteP21Text(out, value_.s ? value_.s : "");
  out << '\'';
}

void cct_BinaryType::WriteP21(std::ostream& out) const {
  if (!IsSet()) {
    out << '$';
    return;
  }
  out << '"' << (value_.s ? value_.s : "") << '"';
}
