// The direct scan and the direct reader of plain records. Nearly every definition in a real
// file is a single line "#n=KEYWORD(parameters);" of numbers, strings, enumerations,
// references and lists. Such a definition is indexed, and its record read, straight from the
// read buffer, without the lexer's character-by-character interface and the parser's tables,
// and becomes exactly the index entry, objects and messages the grammar would make: the values
// come from the same builders, in the same order. Anything else (a comment, a record spanning
// lines or buffers, a string with a directive, a number out of range, a syntax error, ...) is
// left untouched for the parser, which then reads it as always.
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cct/aggr.h"
#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/p21text.h"
#include "cct/stepfile.h"
#include "direct_reader.h"
#include "direct_scan.h"
#include "direct_threads.h"
#include "page_cache.h"
#include "parsed_values.h"

namespace {

using namespace cct_direct;

// Lower-case copy of a word into a buffer of the caller (or the heap for a long word).
class LowerWord {
 public:
  LowerWord(const char* text, size_t n) {
    char* out = n < sizeof small_ ? small_ : (heap_ = new char[n + 1]);
    for (size_t k = 0; k < n; ++k) {
      char c = text[k];
      out[k] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    out[n] = '\0';
    text_ = out;
  }
  ~LowerWord() { delete[] heap_; }
  LowerWord(const LowerWord&) = delete;
  LowerWord& operator=(const LowerWord&) = delete;
  const char* get() const { return text_; }

 private:
  char small_[96];
  char* heap_ = nullptr;
  const char* text_;
};

class Builder {
 public:
  Builder(const std::vector<Token>& tokens, cct_Scope& scope, cct_DirectBuffers& buffers)
      : t_(tokens), scope_(scope), buffers_(buffers) {}

  // A flat list of reals at token i given to an aggregate attribute of REAL elements goes into
  // the attribute straight away when that can neither fail nor report (stored set, answer
  // null), else becomes a list of raw reals, which the attribute takes over without an object
  // per element. Null (and i unchanged) for anything else.
  cct_Type* RealList(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || CompatibilityMode != 2 || t_[i].kind != Tok::kLeft) return nullptr;
    // Only aggregate values answer the aggregate kind, and the one-dimensional ones are all
    // cct_AggregateType_1d.
    if (attribute->Kind() != cct_KIND_AGGREGATE) return nullptr;
    auto* aggregate = static_cast<cct_AggregateType*>(attribute);
    if (aggregate->Dimensions() != 1 || aggregate->ElementDescriptor()->kind != cct_KIND_REAL)
      return nullptr;
    std::vector<double>& values = buffers_.reals;
    values.clear();
    size_t k = i + 1;
    for (;; k += 2) {
      // Whole numbers among them are reals too, as an aggregate of reals takes them.
      if (t_[k].kind == Tok::kReal)
        values.push_back(t_[k].real);
      else if (t_[k].kind == Tok::kInteger)
        values.push_back(static_cast<double>(t_[k].integer));
      else
        return nullptr;
      if (t_[k + 1].kind == Tok::kRight) break;
    }
    i = k + 2;
    // (The attribute would take the list as the first thing done with it after the build; the
    // direct way makes no message, so nothing tells the two apart.)
    if (static_cast<cct_AggregateType_1d*>(aggregate)->TakeReals(values.data(),
                                                                  static_cast<uint32_t>(values.size()))) {
      stored = true;
      return nullptr;
    }
    return cct_parsed::RealList(values.data(), values.size());
  }

  // A flat list of references at token i given to an aggregate attribute of entity references
  // goes into the attribute straight away, as the entries of the names, when that can neither
  // fail nor report (stored set, answer null); else it becomes the list value the parser
  // makes. Null (and i unchanged) for anything else.
  cct_Type* ReferenceList(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || CompatibilityMode != 2 || t_[i].kind != Tok::kLeft) return nullptr;
    if (attribute->Kind() != cct_KIND_AGGREGATE) return nullptr;
    auto* aggregate = static_cast<cct_AggregateType*>(attribute);
    if (aggregate->Dimensions() != 1 ||
        aggregate->ElementDescriptor()->kind != cct_KIND_ENTITY_REFERENCE)
      return nullptr;
    size_t k = i + 1;
    for (;; k += 2) {
      if (t_[k].kind != Tok::kReference) return nullptr;
      if (t_[k + 1].kind == Tok::kRight) break;
    }
    // Every name must be known already: a new one would be entered only when the attribute
    // is given its value, after the whole record is read.
    std::vector<cct_Scope::Entry*>& entries = buffers_.entries;
    entries.clear();
    bool known = true;
    for (size_t r = i + 1; r <= k && known; r += 2) {
      char name[16];
      cct_Scope::Entry* entry = nullptr;
      if (t_[r].length < sizeof name) {
        std::memcpy(name, t_[r].text, t_[r].length);
        name[t_[r].length] = '\0';
        entry = scope_.FindEntry(name, 0);
      }
      known = entry != nullptr;
      entries.push_back(entry);
    }
    if (known && static_cast<cct_AggregateType_1d*>(aggregate)->TakeEntries(
                     entries.data(), static_cast<uint32_t>(entries.size()))) {
      i = k + 2;
      stored = true;
      return nullptr;
    }
    return Parameter(i);
  }

  // A string at token i given to a string attribute that takes a string goes into it straight
  // away (stored set): what the attribute does with the parser's string value, without the
  // value.
  void PlainString(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || t_[i].kind != Tok::kString || attribute->Kind() != cct_KIND_STRING) return;
    // Whether a string attribute takes a string depends on the two types only.
    static const cct_StringType kProbe;
    if (attribute->TestCompatibility(&kProbe) == 0) return;
    static_cast<cct_StringType*>(attribute)->Set(StringValue(t_[i]), cct_AdoptText{});
    ++i;
    stored = true;
  }

  // Builds the parameter at token i (already checked) and moves i past it. What was built
  // before a throw has been released.
  cct_Type* Parameter(size_t& i) {
    const Token& token = t_[i++];
    switch (token.kind) {
      case Tok::kMissing: return nullptr;
      case Tok::kStar: return cct_parsed::Star();
      case Tok::kInteger: return cct_parsed::Integer(token.integer);
      case Tok::kReal: return cct_parsed::Real(token.real);
      case Tok::kLogical: return cct_parsed::Logical(token.integer);
      case Tok::kEnum: {
        LowerWord text(token.text, token.length);
        return cct_parsed::Enumeration(text.get());
      }
      case Tok::kString: return cct_parsed::String(StringValue(token));
      case Tok::kReference: {
        char name[16];
        if (token.length < sizeof name) {
          std::memcpy(name, token.text, token.length);
          name[token.length] = '\0';
          return cct_parsed::Reference(scope_, name);
        }
        std::string longName(token.text, token.length);
        return cct_parsed::Reference(scope_, longName.c_str());
      }
      case Tok::kKeyword: {
        LowerWord keyword(token.text, token.length);
        ++i;  // "("
        cct_Type* parameter = Parameter(i);
        ++i;  // ")"
        cct_Type* typed = nullptr;
        try {
          typed = cct_parsed::Typed(keyword.get(), parameter);
        } catch (...) {
          cct_parsed::ReleaseValue(parameter);
          throw;
        }
        cct_parsed::ReleaseValue(parameter);
        return typed;
      }
      case Tok::kLeft: {
        std::vector<cct_Type*>& entries = Entries();
        entries.clear();
        struct Level {
          int& depth;
          ~Level() { --depth; }
        } level{++depth_};
        try {
          if (t_[i].kind == Tok::kRight) {
            ++i;
            return cct_parsed::List(nullptr, 0);
          }
          for (;;) {
            entries.push_back(Parameter(i));
            if (t_[i++].kind == Tok::kRight) break;
          }
          return cct_parsed::List(entries.data(), entries.size());
        } catch (...) {
          for (cct_Type* v : entries) cct_parsed::ReleaseValue(v);
          throw;
        }
      }
      default: return nullptr;  // not reached: the tokens were checked
    }
  }

 private:
  // One list of entries per nesting level, kept from record to record.
  // (The checks allow no deeper nesting than kMaxDepth.)
  std::vector<cct_Type*>& Entries() { return buffers_.levels[depth_ + 1]; }
  int depth_ = 0;

  // The text of a string as the lexer makes it: doubled apostrophes become one.
  static char* StringValue(const Token& token) {
    if (!token.pairs) {
      if (token.length == 0) return cct_CopyText("");
      char* copy = new char[token.length + 1];
      std::memcpy(copy, token.text, token.length);
      copy[token.length] = '\0';
      return copy;
    }
    const std::string decoded = cct_DecodeP21Text(std::string_view(token.text, token.length), nullptr);
    return cct_CopyText(decoded.c_str());
  }

  const std::vector<Token>& t_;
  cct_Scope& scope_;
  cct_DirectBuffers& buffers_;
};

}  // namespace

void cct_StepFile::EndDirectBuffers::operator()(cct_DirectBuffers* buffers) const { delete buffers; }

bool cct_StepFile::FastScan() {
  if (!directReading) return false;
  const char* begin;
  const char* end;
  if (!Window(begin, end)) return false;
  Definition d;
  if (ScanDefinition(begin, end, d) != Split::kDone) return false;
  TakeDefinition(d.name, d.nameLength, KeywordTypeId(d.keyword, d.keywordLength),
                 Tell() + static_cast<long>(d.equalsAt), line_ + d.linesBefore);
  Consume(d.consumed, d.lines);
  return true;
}

void cct_StepFile::TakeDefinition(const char* name, size_t nameLength, long typeId,
                                  long equalsOffset, int32_t equalsLine) {
  std::memcpy(scanName_, name, nameLength);
  scanName_[nameLength] = '\0';
  BorrowCurrentName(scanName_);
  scanned_ = DefinitionPosition{equalsOffset, equalsLine, 0, static_cast<int32_t>(typeId)};
}

long cct_StepFile::KeywordTypeId(const char* keyword, size_t length) {
  // Most records repeat the keyword of the one before: its identifier is kept, as long as the
  // schema binding and its name table are the ones it was looked up in.
  const cct_SchemaBinding* binding = cct_GetSchemaBinding();
  const long names = EntityNameTable.KeyCount();
  if (length != lastEntity_.length || length >= sizeof lastEntity_.keyword ||
      std::memcmp(keyword, lastEntity_.keyword, length) != 0 || binding != lastEntity_.binding ||
      names != lastEntity_.names) {
    LowerWord lower(keyword, length);
    lastEntity_.id = cct_LookupTypeId(EntityNameTable, lower.get());
    lastEntity_.length = length < sizeof lastEntity_.keyword ? length : 0;
    std::memcpy(lastEntity_.keyword, keyword, lastEntity_.length);
    lastEntity_.binding = binding;
    lastEntity_.names = names;
  }
  return lastEntity_.id;
}

bool cct_StepFile::FastEvaluate() {
  if (!directReading) return false;
  const char* begin;
  const char* end;
  const ReadAhead::Slot* prepared =
      readAhead_ && unputCount_ == 0 ? readAhead_->Take(readingEntry_) : nullptr;
  // Made once per file, then reused by every record.
  if (!direct_) direct_.reset(new cct_DirectBuffers);
  std::vector<Token>& own = direct_->tokens;
  const std::vector<Token>& tokens = prepared ? prepared->tokens : own;
  if (prepared) {
    // From here on the record is read: the same state as a parse of it.
    Seek(Tell() + static_cast<long>(prepared->consumed));
  } else {
    if (!Window(begin, end)) return false;
    const char* stop = nullptr;
    Split split = Tokenize(begin, end, own, stop);
    if (split == Split::kShort && WidenWindow() && Window(begin, end))
      split = Tokenize(begin, end, own, stop);
    if (split != Split::kDone) return false;
    // KEYWORD "(" parameters ")" ";" and nothing else.
    if (own.size() < 4 || own[0].kind != Tok::kKeyword) return false;
    long next = CheckList(own, 1, 0);
    if (next < 0 || static_cast<size_t>(next) != own.size() - 1) return false;
    Consume(static_cast<size_t>(stop - begin), 0);
  }
  ParseScope parse(*this, kEvaluate);

  // The instance is made first (silently: a missing entity is reported where the parser
  // reports it, after the parameters), so that a parameter can be built for its attribute.
  const long entityId = KeywordTypeId(tokens[0].text, tokens[0].length);
  cct_Instance* instance = entityId ? CreateEntity(entityId) : nullptr;
  Builder builder(tokens, scope_, *direct_);
  // One list serves every record; it is emptied when the record is done.
  cct_ParameterList* list = &direct_->parameters;
  size_t i = 2;
  long missing = 0;
  try {
    if (tokens[i].kind == Tok::kRight) {
      ++i;
    } else {
      long attribute = 0;
      for (;; ++attribute) {
        bool stored = false;
        cct_Type* target = instance ? instance->Attribute(attribute) : nullptr;
        // "$" leaves a LOGICAL unset, not at the unknown a new one starts with.
        if (target && tokens[i].kind == Tok::kMissing && target->Kind() == cct_KIND_LOGICAL)
          target->Unset();
        cct_Type* value = builder.RealList(i, target, stored);
        if (!value && !stored) value = builder.ReferenceList(i, target, stored);
        if (!value && !stored) builder.PlainString(i, target, stored);
        if (!value && !stored) value = builder.Parameter(i);
        // Leading missing values (and values already given) are only counted: a list of
        // nothing but them needs no list.
        if (!value && !list->FirstNode()) {
          ++missing;
        } else {
          for (; missing > 0; --missing) cct_parsed::Append(list, nullptr);
          cct_parsed::Append(list, value);
        }
        if (tokens[i++].kind == Tok::kRight) break;
      }
    }
  } catch (...) {
    delete instance;
    cct_parsed::EmptyList(*list);
    throw;
  }

  if (instance) {
    try {
      if (!list->FirstNode())
        instance->ProcessMissingAttributes(missing, *this);
      else
        instance->ProcessAttributeList(*list, *this);
    } catch (...) {
      delete instance;
      cct_parsed::EmptyList(*list);
      throw;
    }
  } else {
    LowerWord keyword(tokens[0].text, tokens[0].length);
    ReportUndefinedEntity(keyword.get());
  }
  cct_parsed::EmptyList(*list);
  EnterRecord(instance);
  return true;
}
