// The registry of the instances of one exchange file: names to instances, generated names,
// where each instance is defined in the file, ownership, enumeration and the data section.
#ifndef CCT_SCOPE_H
#define CCT_SCOPE_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <unordered_map>
#include <vector>

#include "cct/aswritten.h"
#include "cct/hashtab.h"
#include "cct/lnklst.h"

class cct_Instance;
class cct_InputFile;

class cct_Scope {
 public:
  /// One known name. The entry owns its name and its instance.
  struct Entry {
    cct_Instance* instance = nullptr;
    char* name = nullptr;
    cct_Scope* scope = nullptr;
    long fileOffset = 0;
    int32_t line = 0;
    int32_t typeId = 0;
  };

  /// Creates the instance of a name on demand (the exchange-file reader), or answers null.
  using InstanceLoader = cct_Instance* (*)(const char* name, void* userData);

  /// Position of a creation-order listing.
  struct ListCursor {
    cct_DoubleListNode* block = nullptr;
    long index = 0;
    long ordinal = 0;
  };
  /// Position of a name-table-order listing.
  struct NameCursor {
    size_t index = 0;
  };

  static constexpr long kBlockSize = 1000;
  static constexpr long kNameTableSizeHint = 0x20000;
  static constexpr long kHighestOutputName = 999999999;

  /// The six header texts (each may be null) are copied: name, time stamp, third text, author,
  /// description, sixth text.
  explicit cct_Scope(const char* name = nullptr, const char* timeStamp = nullptr,
                     const char* third = nullptr, const char* author = nullptr,
                     const char* description = nullptr, const char* sixth = nullptr,
                     cct_Scope* parent = nullptr);
  virtual ~cct_Scope();
  cct_Scope(const cct_Scope&) = delete;
  cct_Scope& operator=(const cct_Scope&) = delete;

  /// Binds a name to an instance; a null name is generated. Answers the entry.
  Entry* RegisterName(const char* name, cct_Instance* instance);
  /// The entry of a name, created when missing.
  Entry* ProvideEntry(const char* name);
  /// The entry of a name (here or in the parent); with load, reads a missing instance.
  Entry* FindEntry(const char* name, int load);
  /// The instance of a name with its reference count raised by one, or null.
  cct_Instance* FindInstance(const char* name, int load);
  cct_Instance* FindInstance(long number, int load);
  /// As FindInstance(entry->name, load) for an entry of this scope, without looking the name up.
  cct_Instance* FindInstance(Entry* entry, int load);
  /// True when an entry with an instance is known here or in a parent; never loads.
  bool Exists(const char* name) const;

  /// How generated names are made: the instance's prefix (else "ent") and a number, or the
  /// number alone, as an exchange file's names are.
  enum Naming : long { kPrefixedNames = 0, kNumberedNames = 2 };
  long NamingMode() const { return namingMode_; }
  void SetNamingMode(long mode) { namingMode_ = mode; }
  long EntryCount() const { return entryCount_; }

  /// Entries in creation order.
  Entry* ListFirst(ListCursor& cursor) const;
  Entry* ListNext(ListCursor& cursor) const;
  /// Names in the order of the name table's own iteration.
  const char* FirstName(NameCursor& cursor) const;
  const char* NextName(NameCursor& cursor) const;
  /// The entries in that order, as they are now.
  std::vector<Entry*> EntriesInNameOrder() const { return NameOrder(); }

  /// Entries in a fixed order, each held as its creation ordinal (half a pointer), with the
  /// entry blocks as they were when the order was made: it can be read while the scope grows
  /// (a reading of every instance holds one, and its read-ahead thread reads it too).
  class Order {
   public:
    Entry* operator[](size_t i) const {
      const uint32_t k = ordinals_[i];
      return blocks_[k / kBlockSize] + k % kBlockSize;
    }
    size_t size() const { return ordinals_.size(); }
    bool empty() const { return ordinals_.empty(); }

   private:
    friend class cct_Scope;
    std::vector<uint32_t> ordinals_;
    std::vector<Entry*> blocks_;
  };
  /// The entries in the order of the name table's own iteration, as they are now.
  Order EntryOrderByName() const;
  /// The given entries of this scope, in the given order.
  Order EntryOrder(const std::vector<Entry*>& entries) const;

  /// The output name of a name: its translation when a table exists and has one.
  const char* TranslateName(const char* name) const;
  /// Renumbers: plain numbers of fewer than nine digits keep their number, every other name gets
  /// the next number above the highest.
  void UpdateTranslationTable();

  /// Writes the data section (after a default header when the scope has no exchange file) and the
  /// end of the file. Answers how many instance records were written, so that a caller can tell
  /// a complete file from one that lost records. `trailer`: text written between the data
  /// section's ENDSEC and the end of the file.
  long WriteP21(std::ostream& os, int sorted, int translate, const char* trailer = nullptr);
  /// Writes everything up to and including "DATA;" from the scope's header texts.
  void WriteDefaultHeader(std::ostream& os) const;

  void SetLoader(InstanceLoader loader, void* userData) {
    loader_ = loader;
    loaderData_ = userData;
  }
  cct_Scope* Parent() const { return parent_; }
  cct_InputFile* InputFile() const { return inputFile_; }
  void SetInputFile(cct_InputFile* file) { inputFile_ = file; }

  /// Header texts in their stored order; index 0 to 5.
  const char* HeaderText(int index) const { return index >= 0 && index < 6 ? header_[index] : nullptr; }

  /// What the records of instances gave beyond what their attributes took (cct_AsWritten),
  /// kept here for the few instances that have any: the others cost nothing.
  cct_AsWritten* AsWritten(const cct_Instance* instance) {
    auto it = asWritten_.find(instance);
    return it == asWritten_.end() ? nullptr : &it->second;
  }
  /// A fresh record for an instance that had none (what an earlier instance at the same address
  /// left is forgotten), or the one it has.
  cct_AsWritten& ProvideAsWritten(const cct_Instance* instance, bool fresh) {
    cct_AsWritten& kept = asWritten_[instance];
    if (fresh) kept = cct_AsWritten{};
    return kept;
  }
  /// How many instances have parameters kept as written.
  size_t AsWrittenCount() const { return asWritten_.size(); }

 private:
  Entry* FindLocal(const char* name) const {
    // The name of the entry just asked for by entry comes back several times while its
    // instance is read: the same text, so the same entry.
    if (recent_ && recent_->name == name) return recent_;
    return FindLocal(name, NumberOf(name));
  }
  /// FindLocal for a name and the number it spells (NumberOf).
  Entry* FindLocal(const char* name, long n) const {
    if (n >= 0 && n < numberLimit_) {
      const uint32_t* page = numberPages_[static_cast<size_t>(n / kNumberPage)];
      const uint32_t k = page ? page[n % kNumberPage] : 0;
      return k ? blockStarts_[(k - 1) / kBlockSize] + (k - 1) % kBlockSize : nullptr;
    }
    // While the index is open, no number at or above its limit has been named yet.
    if (n >= 0 && !numberIndexClosed_) return nullptr;
    return static_cast<Entry*>(otherNames_.Find(name));
  }
  /// The number a name of plain digits spells (no leading zero, at most nine digits), else -1.
  static long NumberOf(const char* name) {
    if (!name || *name < '0' || *name > '9' || (name[0] == '0' && name[1])) return -1;
    long n = 0;
    for (int i = 0; name[i]; ++i) {
      if (i == 9 || name[i] < '0' || name[i] > '9') return -1;
      n = n * 10 + (name[i] - '0');
    }
    return n;
  }
  /// The entry found (null when none), its instance read through the loader when missing.
  Entry* Load(Entry* entry, const char* name);
  /// Enters a numbered name into the number index; false when it stays outside.
  /// Indexes the entry of creation ordinal `ordinal` under its number.
  bool IndexNumber(long n, size_t ordinal);
  /// The names in the order of the name table (see below), made when asked for.
  const std::vector<Entry*>& NameOrder() const;
  /// Calls put(position, creation ordinal, entry) for every entry, positions in name order.
  template <class Put>
  void SortByBucket(Put put) const;
  void CountName();
  const char* NextUnusedGeneratedName(cct_Instance* instance);
  void DestroyTranslationTable();
  long WriteUnsorted(std::ostream& os);
  long WriteSorted(std::ostream& os, int translate);

  InstanceLoader loader_ = nullptr;
  void* loaderData_ = nullptr;
  // Names are listed (and written) in the order of a linear-hashing table of all names:
  // bucket by bucket, and in a bucket in the order the names came. Which bucket a name ends in
  // depends only on its hash and on how far the table has grown, which depends only on how
  // many names came. So the table itself is not kept: its growth is followed by counting, and
  // the order is made from the entries (which are kept in the order they came) when a listing
  // asks for it.
  struct Growth {
    long p = 0;
    long maxp = 0;
    long divisor = 0;
    long keys = 0;
  } growth_;
  mutable std::vector<Entry*> nameOrder_;
  mutable bool nameOrderValid_ = false;
  /// Names the number index does not hold, for lookups.
  cct_HashTable otherNames_;
  cct_DoubleLinkList blocks_;
  cct_Scope* parent_;
  long namingMode_ = kPrefixedNames;
  char* header_[6];
  cct_InputFile* inputFile_ = nullptr;
  int entryCount_ = 0;
  long nameCounter_ = 0;
  cct_HashTable* translation_ = nullptr;
  std::string generatedName_;
  /// Instances replaced under their name; still owned here, since others may hold them.
  std::vector<cct_Instance*> retired_;
  std::unordered_map<const cct_Instance*, cct_AsWritten> asWritten_;
  /// Entry names live in large blocks owned by the scope: one allocation per name would cost
  /// more than the name itself, and names are never freed before the scope.
  std::vector<char*> nameBlocks_;
  size_t nameBlockUsed_ = 0;
  size_t nameBlockSize_ = 0;
  char* CopyName(const char* name);
  // Names in files are numbers, mostly dense: below numberLimit_ every such name is found
  // through these pages directly. The name table keeps every name all the same, since its
  // order is the order in which the scope lists and writes its instances.
  static constexpr long kNumberPage = 4096;
  // Each page holds, per number, the creation ordinal of its entry plus one (0: none): half the
  // size of a pointer, which counts for files of millions of instances.
  std::vector<uint32_t*> numberPages_;
  std::vector<Entry*> blockStarts_;  // the entry blocks, in creation order
  long numberLimit_ = 0;
  bool numberIndexClosed_ = false;  // a sparse number was met: the limit stays where it is
  Entry* recent_ = nullptr;  // the entry last asked for by entry
};

/// The listing code of the input file calls the scope of a file its file scope; they are one class.
using cct_FileScope = cct_Scope;

#endif
