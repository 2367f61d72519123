#include "cct/scope.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/factory.h"
#include "cct/instance.h"

namespace {

constexpr const char* kModule = "scope";

std::ostream& ProgramBug() {
  return cct_errlog(cct_Error(cct_PROGRAM_BUG)) << "(" << kModule << ") ";
}

/// The leading decimal digits of a name as an unsigned number (0 without digits); saturates.
unsigned long long LeadingNumber(const char* name) {
  unsigned long long n = 0;
  for (const char* c = name; *c >= '0' && *c <= '9'; ++c) {
    unsigned digit = static_cast<unsigned>(*c - '0');
    if (n > (~0ULL - digit) / 10) return ~0ULL;
    n = n * 10 + digit;
  }
  return n;
}

bool AllDigits(const char* name) {
  if (!*name) return false;
  for (const char* c = name; *c; ++c)
    if (*c < '0' || *c > '9') return false;
  return true;
}

cct_Scope::Entry* BlockEntries(const cct_DoubleListNode* block) {
  return static_cast<cct_Scope::Entry*>(block->Data());
}

}  // namespace

cct_Scope::cct_Scope(const char* name, const char* timeStamp, const char* third,
                     const char* author, const char* description, const char* sixth,
                     cct_Scope* parent)
    : parent_(parent),
      header_{cct_CopyText(name),   cct_CopyText(timeStamp),   cct_CopyText(third),
              cct_CopyText(author), cct_CopyText(description), cct_CopyText(sixth)} {
  // The sizes a name table with the scope's size hint starts with.
  long buckets = cct_HashTable::kSegmentSize;
  while (buckets < kNameTableSizeHint && buckets < cct_HashTable::kMaxBuckets) buckets *= 2;
  growth_.maxp = buckets;
  growth_.divisor = buckets / cct_HashTable::kSegmentSize;
}

void cct_Scope::CountName() {
  // The table's growth rule: one more bucket each time the keys per segment pass the load
  // factor, until the largest size.
  ++growth_.keys;
  nameOrderValid_ = false;
  if (growth_.keys / (growth_.divisor * cct_HashTable::kSegmentSize) <= cct_HashTable::kMaxLoadFactor)
    return;
  if (growth_.maxp + growth_.p >= cct_HashTable::kMaxBuckets) return;
  if (++growth_.p == growth_.maxp) {
    growth_.maxp *= 2;
    growth_.p = 0;
  }
  ++growth_.divisor;
}

const std::vector<cct_Scope::Entry*>& cct_Scope::NameOrder() const {
  if (nameOrderValid_) return nameOrder_;
  nameOrder_.assign(static_cast<size_t>(entryCount_), nullptr);
  SortByBucket([this](size_t at, size_t, Entry* e) { nameOrder_[at] = e; });
  nameOrderValid_ = true;
  return nameOrder_;
}

template <class Put>
void cct_Scope::SortByBucket(Put put) const {
  // A stable counting sort of the entries, in the order they came, by their final bucket.
  const long buckets = growth_.maxp + growth_.p;
  std::vector<uint32_t> bucketOf;
  bucketOf.reserve(static_cast<size_t>(entryCount_));
  std::vector<size_t> start(static_cast<size_t>(buckets) + 1, 0);
  ListCursor cursor;
  for (Entry* e = ListFirst(cursor); e; e = ListNext(cursor)) {
    const int32_t h = cct_HashTable::Hash(e->name);
    long bucket = h & (growth_.maxp - 1);
    if (bucket < growth_.p) bucket = h & (2 * growth_.maxp - 1);
    bucketOf.push_back(static_cast<uint32_t>(bucket));
    ++start[static_cast<size_t>(bucket) + 1];
  }
  for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
  size_t k = 0;
  for (Entry* e = ListFirst(cursor); e; e = ListNext(cursor), ++k) put(start[bucketOf[k]]++, k, e);
}

cct_Scope::Order cct_Scope::EntryOrder(const std::vector<Entry*>& entries) const {
  Order order;
  order.blocks_ = blockStarts_;
  for (Entry* entry : entries) {
    for (size_t b = 0; b < blockStarts_.size(); ++b) {
      if (entry >= blockStarts_[b] && entry < blockStarts_[b] + kBlockSize) {
        order.ordinals_.push_back(static_cast<uint32_t>(b * kBlockSize) +
                                  static_cast<uint32_t>(entry - blockStarts_[b]));
        break;
      }
    }
  }
  return order;
}

cct_Scope::Order cct_Scope::EntryOrderByName() const {
  Order order;
  order.blocks_ = blockStarts_;
  order.ordinals_.resize(static_cast<size_t>(entryCount_));
  SortByBucket([&order](size_t at, size_t ordinal, Entry*) {
    order.ordinals_[at] = static_cast<uint32_t>(ordinal);
  });
  return order;
}

cct_Scope::~cct_Scope() {
  DestroyTranslationTable();
  for (cct_DoubleListNode* block = blocks_.FirstNode(); block; block = block->NextNode()) {
    Entry* entries = BlockEntries(block);
    for (long i = 0; i < kBlockSize; ++i) {
      delete entries[i].instance;
    }
    delete[] entries;
  }
  blocks_.DeleteAll();
  for (cct_Instance* instance : retired_) delete instance;
  for (char* text : header_) cct_FreeText(text);
  for (char* block : nameBlocks_) delete[] block;
  for (uint32_t* page : numberPages_) delete[] page;
}

bool cct_Scope::IndexNumber(long n, size_t ordinal) {
  if (n < 0 || ordinal >= UINT32_MAX) return false;
  if (n >= numberLimit_) {
    // Growing is only safe while no number at or above the limit was left out, and worth it
    // while the numbers stay dense.
    if (numberIndexClosed_ || n > 4 * static_cast<long>(entryCount_) + 16 * kNumberPage) {
      numberIndexClosed_ = true;
      return false;
    }
    numberLimit_ = n + 1;
    size_t pages = static_cast<size_t>(n / kNumberPage) + 1;
    if (numberPages_.size() < pages) numberPages_.resize(pages, nullptr);
  }
  uint32_t*& page = numberPages_[static_cast<size_t>(n / kNumberPage)];
  if (!page) page = new uint32_t[kNumberPage]();
  page[n % kNumberPage] = static_cast<uint32_t>(ordinal + 1);
  return true;
}

char* cct_Scope::CopyName(const char* name) {
  constexpr size_t kNameBlock = 1 << 16;
  const size_t n = std::strlen(name) + 1;
  if (nameBlockUsed_ + n > nameBlockSize_) {
    nameBlockSize_ = std::max(kNameBlock, n);
    nameBlocks_.push_back(new char[nameBlockSize_]);
    nameBlockUsed_ = 0;
  }
  char* copy = nameBlocks_.back() + nameBlockUsed_;
  std::memcpy(copy, name, n);
  nameBlockUsed_ += n;
  return copy;
}

cct_Scope::Entry* cct_Scope::ProvideEntry(const char* name) {
  if (!name) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER)) << kModule << " : cct_Scope::RegisterName()";
    return nullptr;
  }
  if (recent_ && recent_->name == name) return recent_;
  const long number = NumberOf(name);
  if (Entry* found = FindLocal(name, number)) return found;
  long index = entryCount_ % kBlockSize;
  if (index == 0) {
    blocks_.Append(new cct_DoubleListNode(new Entry[kBlockSize]));
    blockStarts_.push_back(BlockEntries(blocks_.LastNode()));
  }
  Entry* entry = &BlockEntries(blocks_.LastNode())[index];
  entry->name = CopyName(name);
  entry->scope = this;
  if (!IndexNumber(number, static_cast<size_t>(entryCount_))) otherNames_.Insert(entry->name, entry);
  CountName();
  ++entryCount_;
  ++nameCounter_;
  return entry;
}

const char* cct_Scope::NextUnusedGeneratedName(cct_Instance* instance) {
  const char* prefix = instance ? instance->NamePrefix() : nullptr;
  // A generated name never takes a name already known here or in a parent, not even one that
  // is only indexed and not yet read: that instance would otherwise be replaced when it loads.
  for (long n = nameCounter_ + 1;; ++n) {
    std::string number = std::to_string(n);
    if (namingMode_ == kNumberedNames)
      generatedName_ = number;
    else
      generatedName_ = (prefix ? std::string(prefix) : std::string("ent")) + number;
    if (!FindEntry(generatedName_.c_str(), 0)) {
      nameCounter_ = n - 1;  // ProvideEntry counts the new name
      return generatedName_.c_str();
    }
  }
}

cct_Scope::Entry* cct_Scope::RegisterName(const char* name, cct_Instance* instance) {
  if (!name) name = NextUnusedGeneratedName(instance);
  if (instance && instance->IsRegistered() && instance->GetEntry() != FindLocal(name)) {
    // Registered elsewhere: ScopeEntry reports it, and the entry must not take a second owner.
    instance->ScopeEntry(ProvideEntry(name));
    return FindLocal(name);
  }
  Entry* entry = ProvideEntry(name);
  if (!entry || !instance || entry->instance == instance) return entry;
  if (!entry->instance) {
    entry->instance = instance;
    instance->ScopeEntry(entry);
    return entry;
  }
  cct_Instance* old = entry->instance;
  if (old->IsLocked()) {
    cct_errlog(cct_Warning(cct_NAME_IN_USE))
        << "\"" << name << "\" -- old instance is locked, new entry ignored.";
    return entry;
  }
  cct_errlog(cct_Warning(cct_NAME_IN_USE)) << "\"" << name << "\" -- old entry deleted.";
  old->Kill();
  // Others may still hold the old instance; the scope keeps owning it until it is destroyed.
  retired_.push_back(old);
  entry->instance = instance;
  instance->ScopeEntry(entry);
  return entry;
}

cct_Scope::Entry* cct_Scope::FindEntry(const char* name, int load) {
  if (!name) return nullptr;
  Entry* entry = FindLocal(name);
  if (!entry && parent_) entry = parent_->FindEntry(name, 0);
  return load ? Load(entry, name) : entry;
}

cct_Scope::Entry* cct_Scope::Load(Entry* entry, const char* name) {
  if (entry && entry->instance) return entry;
  if (!loader_) return nullptr;
  cct_Instance* loaded = loader_(name, loaderData_);
  if (!loaded) return nullptr;
  if (!loaded->IsRegistered()) return RegisterName(name, loaded);
  return loaded->GetEntry();
}

cct_Instance* cct_Scope::FindInstance(const char* name, int load) {
  Entry* entry = FindEntry(name, load);
  cct_Instance* instance = entry ? entry->instance : nullptr;
  if (instance) instance->AddReference();
  return instance;
}

cct_Instance* cct_Scope::FindInstance(Entry* entry, int load) {
  if (!entry || !entry->name) return nullptr;
  if (entry->scope != this) return FindInstance(entry->name, load);
  recent_ = entry;
  Entry* found = load ? Load(entry, entry->name) : entry;
  cct_Instance* instance = found ? found->instance : nullptr;
  if (instance) instance->AddReference();
  return instance;
}

cct_Instance* cct_Scope::FindInstance(long number, int load) {
  if (number == 0) return nullptr;
  char text[32];
  std::snprintf(text, sizeof text, "%ld", number);
  return FindInstance(text, load);
}

bool cct_Scope::Exists(const char* name) const {
  if (!name) return false;
  if (Entry* entry = FindLocal(name); entry && entry->instance) return true;
  return parent_ && parent_->Exists(name);
}

cct_Scope::Entry* cct_Scope::ListFirst(ListCursor& cursor) const {
  cursor.block = blocks_.FirstNode();
  cursor.index = 0;
  cursor.ordinal = 0;
  return ListNext(cursor);
}

cct_Scope::Entry* cct_Scope::ListNext(ListCursor& cursor) const {
  while (cursor.ordinal < entryCount_) {
    if (cursor.block && cursor.index == kBlockSize) {
      cursor.block = cursor.block->NextNode();
      cursor.index = 0;
    }
    if (!cursor.block) {
      ProgramBug() << "cct_FileScope::List() --- "
                   << "Scope structure corrupted.";
      cursor.ordinal = entryCount_;
      return nullptr;
    }
    Entry* entry = &BlockEntries(cursor.block)[cursor.index++];
    ++cursor.ordinal;
    if (entry->name) return entry;
  }
  return nullptr;
}

const char* cct_Scope::FirstName(NameCursor& cursor) const {
  cursor.index = 0;
  return NextName(cursor);
}

const char* cct_Scope::NextName(NameCursor& cursor) const {
  const std::vector<Entry*>& order = NameOrder();
  return cursor.index < order.size() ? order[cursor.index++]->name : nullptr;
}

const char* cct_Scope::TranslateName(const char* name) const {
  if (!translation_ || !name) return name;
  const char* translated = static_cast<const char*>(translation_->Find(name));
  return translated ? translated : name;
}

void cct_Scope::DestroyTranslationTable() {
  if (!translation_) return;
  cct_HashTable::Cursor cursor;
  for (cct_HashTable::Entry* e = translation_->First(cursor); e; e = translation_->Next(cursor))
    cct_FreeText(static_cast<char*>(e->data));
  delete translation_;
  translation_ = nullptr;
}

void cct_Scope::UpdateTranslationTable() {
  DestroyTranslationTable();
  translation_ = new cct_HashTable(entryCount_);

  unsigned long long highest = 0;
  NameCursor cursor;
  for (const char* name = FirstName(cursor); name; name = NextName(cursor))
    highest = std::max(highest, LeadingNumber(name));
  unsigned long long next = highest == ~0ULL ? highest : highest + 1;

  bool overflowReported = false;
  for (const char* name = FirstName(cursor); name; name = NextName(cursor)) {
    if (AllDigits(name) && std::strlen(name) < 9) continue;
    if (next > static_cast<unsigned long long>(kHighestOutputName)) {
      if (!overflowReported) {
        cct_errlog(cct_Error(cct_PROGRAM_BUG))
            << "(scope)cct_Scope::UpdateTranslationTable() ---"
            << "The 'highest' name of an instance exceeds 999999999."
            << " Please rename your instances.";
        overflowReported = true;
      }
      continue;
    }
    translation_->Insert(name, cct_CopyText(std::to_string(next).c_str()));
    ++next;
  }
}

void cct_Scope::WriteDefaultHeader(std::ostream& os) const {
  // The three header entities written the way their value objects write themselves.
  cct_StringType text;
  auto put = [&](const char* value) {
    text.Set(value);
    text.WriteP21(os);
  };
  os << "ISO-10303-21;" << std::endl << "HEADER;" << std::endl;
  os << "FILE_DESCRIPTION((";
  put(header_[4]);
  os << "),'1');\n";
  os << "FILE_NAME(";
  put(header_[0]);
  os << ',';
  put(header_[1]);
  os << ",(";
  put(header_[3]);
  os << "),(''),'Moravel parser package','','');\n";
  os << "FILE_SCHEMA((";
  put(SchemaName());
  os << "));\n";
  os << "ENDSEC;" << std::endl << "DATA;" << std::endl;
}

long cct_Scope::WriteUnsorted(std::ostream& os) {
  // Taken before loading: reading instances may add names (references to undefined names), and
  // the table must not change under a running iteration.
  std::vector<Entry*> order;
  order.reserve(static_cast<size_t>(entryCount_));
  for (Entry* e : NameOrder()) order.push_back(e);
  long written = 0;
  for (Entry* known : order) {
    Entry* entry = FindEntry(known->name, 1);
    if (entry && !entry->instance && entry->typeId >= cct_ENTITY_ID_BASE) entry = FindEntry(known->name, 1);
    // A withdrawn instance (an insert undone) is not part of the file any more.
    if (entry && entry->instance && entry->instance->Kind() == cct_KIND_INSTANCE &&
        !entry->instance->IsKilled() && entry->instance->WriteP21Instance(os))
      ++written;
  }
  return written;
}

long cct_Scope::WriteSorted(std::ostream& os, int translate) {
  struct Item {
    unsigned long long key;
    const char* name;
  };
  std::vector<Item> items;
  items.reserve(static_cast<size_t>(entryCount_));
  NameCursor cursor;
  for (const char* name = FirstName(cursor); name; name = NextName(cursor))
    items.push_back({LeadingNumber(translate ? TranslateName(name) : name), name});
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return a.key < b.key; });
  long written = 0;
  for (const Item& item : items) {
    cct_Instance* instance = FindInstance(item.name, 1);
    if (!instance) {
      ProgramBug() << "cct_Scope::WriteP21().";
      continue;
    }
    if (!instance->IsKilled() && instance->WriteP21Instance(os)) ++written;
    instance->Release();
  }
  return written;
}

long cct_Scope::WriteP21(std::ostream& os, int sorted, int translate, const char* trailer) {
  if (translate) UpdateTranslationTable();
  if (!inputFile_ || inputFile_->FileKind() != cct_InputFile::kFileKindStep) WriteDefaultHeader(os);
  const long written = sorted ? WriteSorted(os, translate) : WriteUnsorted(os);
  os << "ENDSEC;" << std::endl;
  if (trailer) os << trailer;
  os << "END-ISO-10303-21;" << std::endl;
  return written;
}
