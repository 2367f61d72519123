#include "varnholt/table.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <locale>
#include <ostream>
#include <set>
#include <streambuf>
#include <utility>

#include "cct/aggr.h"
#include "cct/ascii.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/scope.h"
#include "cct/selecttype.h"
#include "cct/entitytype.h"
#include "varnholt/navigation.h"
#include "varnholt/save_io.h"

namespace varnholt {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = cct_AsciiLower(c);
  return lower;
}

/// Appends to a string: lists are written by their own WriteP21 straight into the row's text.
class AppendBuffer : public std::streambuf {
 public:
  void Target(std::string* text) { text_ = text; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text_->push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_->append(s, static_cast<size_t>(n));
    return n;
  }

 private:
  std::string* text_ = nullptr;
};

void AppendNumber(std::string& text, long v) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  text.append(digits, static_cast<size_t>(end - digits));
}

void AppendReal(std::string& text, double v) {
  char digits[64];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
  if (ec == std::errc()) text.append(digits, static_cast<size_t>(end - digits));
}

// "#12 cartesian_point"; only "#12" for a name no record defines.
void AppendReference(std::string& text, const char* name, const cct_Instance* target) {
  text += '#';
  text += name ? name : "";
  if (target && target->Kind() == cct_KIND_INSTANCE && target->TypeName()) {
    text += ' ';
    text += target->TypeName();
  }
}

}  // namespace

struct EntityTable::Scratch {
  AppendBuffer buffer;
  std::ostream out{&buffer};
  Scratch() { out.imbue(std::locale::classic()); }
};

EntityTable::EntityTable() : scratch_(std::make_unique<Scratch>()) {}
EntityTable::~EntityTable() = default;
EntityTable::EntityTable(EntityTable&&) noexcept = default;
EntityTable& EntityTable::operator=(EntityTable&&) noexcept = default;

namespace {

/// Appends the value as the tree shows it, reals exactly; answers the kind of cell it makes.
CellKind AppendValue(const cct_Type& value, std::string& text, std::ostream& out, double& number) {
  if (!value.IsSet()) return CellKind::Text;
  switch (value.Kind()) {
    case cct_KIND_STRING:
    case cct_KIND_ENUMERATION:
      if (const char* s = value.GetString()) text += s;
      return CellKind::Text;
    case cct_KIND_INTEGER:
      number = static_cast<double>(value.GetInteger());
      AppendNumber(text, value.GetInteger());
      return CellKind::Integer;
    case cct_KIND_REAL:
      number = value.GetReal();
      AppendReal(text, number);
      return CellKind::Real;
    case cct_KIND_BOOLEAN:
      text += value.GetInteger() ? "true" : "false";
      return CellKind::Text;
    case cct_KIND_LOGICAL: {
      const long v = static_cast<const cct_LogicalType&>(value).Get();
      text += v < 0 ? "unknown" : (v > 0 ? "true" : "false");
      return CellKind::Text;
    }
    case cct_KIND_ENTITY_REFERENCE: {
      const auto& reference = static_cast<const cct_EntityType&>(value);
      if (const cct_Scope::Entry* entry = reference.GetEntry())
        AppendReference(text, entry->name, entry->instance);
      else if (const cct_Instance* direct = reference.GetDirect(1))
        AppendReference(text, direct->InstanceName(), direct);
      return CellKind::Text;
    }
    case cct_KIND_SELECT: {
      cct_Type* held = static_cast<const cct_SelectType&>(value).Get(0, 0);
      CellKind kind = CellKind::Text;
      if (held && (held->Kind() == cct_KIND_INSTANCE || held->Kind() == cct_KIND_PLACEHOLDER)) {
        const auto* target = static_cast<const cct_Instance*>(held);
        AppendReference(text, target->InstanceName(), target);
      } else if (held) {
        kind = AppendValue(*held, text, out, number);
      }
      if (held && held->IsTemporary()) delete held;
      return kind;
    }
    default:
      // Lists (and binaries) as a save writes them.
      value.WriteP21(out);
      return CellKind::Text;
  }
}

void StartCell(TableRow& row) {
  row.cells.push_back({static_cast<uint32_t>(row.text.size()), 0, CellKind::Text, 0});
}

void EndCell(TableRow& row, CellKind kind = CellKind::Text, double number = 0) {
  TableRow::Cell& cell = row.cells.back();
  cell.end = static_cast<uint32_t>(row.text.size());
  cell.kind = kind;
  cell.number = number;
}

void TextCell(TableRow& row, std::string_view text) {
  StartCell(row);
  row.text.append(text);
  EndCell(row);
}

/// Where `text` closes the parenthesis open at `open`, passing over strings and binaries;
/// text.size() when it never does.
size_t Closing(std::string_view text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      // A doubled apostrophe inside a string reads as two strings side by side: the same end.
      const size_t end = text.find('\'', i + 1);
      if (end == std::string_view::npos) return text.size();
      i = end;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      if (end == std::string_view::npos) return text.size();
      i = end;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i;
    }
  }
  return text.size();
}

/// The partial records of a complex instance's record "(A(...)B(...))", keyword in lower case
/// and the partial record "A(...)" as written.
std::vector<std::pair<std::string, std::string_view>> Partials(std::string_view record) {
  std::vector<std::pair<std::string, std::string_view>> partials;
  if (record.empty() || record[0] != '(') return partials;
  size_t i = 1;
  while (i < record.size() && record[i] != ')') {
    const size_t open = record.find('(', i);
    if (open == std::string_view::npos) break;
    const size_t close = Closing(record, open);
    if (close >= record.size()) break;
    partials.emplace_back(Lower(record.substr(i, open - i)), record.substr(i, close + 1 - i));
    i = close + 1;
  }
  return partials;
}

}  // namespace

namespace {
using Found = std::vector<std::pair<long, EntityTable::Source>>;  // file offset, row

// The file's order is the order of the records' offsets. The scan makes the entries in that
// order, so the list is mostly in it already; instances made since have no record and go last.
void ToFileOrder(Found& found) {
  const auto byOffset = [](const auto& a, const auto& b) { return a.first < b.first; };
  if (!std::is_sorted(found.begin(), found.end(), byOffset))
    std::stable_sort(found.begin(), found.end(), byOffset);
}
}  // namespace

long EntityTable::Prepare(std::string_view entity, std::string& why) {
  entity_ = Lower(entity);
  header_.clear();
  rows_.clear();
  shapes_.clear();
  declared_.clear();
  std::unique_ptr<cct_Instance> prototype(entity_.empty() ? nullptr : CreateEntityByName(entity_.c_str()));
  if (!prototype) {
    why = "the schema knows no entity \"" + std::string(entity) + "\"";
    return 0;
  }
  const long count = prototype->AttributeCount();
  header_ = {"instance", "type"};
  for (long i = 0; i < count; ++i) header_.emplace_back(prototype->AttributeName(i));

  // Each attribute's declaring entity, for complex instances, whose partial records each give
  // their own entity's attributes only.
  declared_.assign(static_cast<size_t>(count), {std::string(), 0});
  if (const char* const* names = prototype->SupertypeNames())
    for (; *names && **names; ++names) {
      std::unique_ptr<cct_Instance> ancestor(CreateEntityByName(*names));
      if (!ancestor) continue;
      for (long k = ancestor->FirstOwnAttribute(); k < ancestor->AttributeCount(); ++k)
        for (long j = 0; j < count; ++j)
          if (declared_[static_cast<size_t>(j)].first.empty() &&
              std::strcmp(header_[static_cast<size_t>(j) + 2].c_str(), ancestor->AttributeName(k)) == 0) {
            declared_[static_cast<size_t>(j)] = {*names, static_cast<size_t>(k - ancestor->FirstOwnAttribute())};
            break;
          }
    }
  return prototype->TypeID();
}

bool EntityTable::Build(cct_Scope& scope, std::string_view entity, bool exact, std::string& why) {
  const long id = Prepare(entity, why);
  if (id == 0) return false;
  const long count = static_cast<long>(header_.size()) - 2;
  std::vector<std::pair<long, long>> shapeOf;  // own type id, index into shapes_
  Found found;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor)) {
    cct_Instance* instance = e->instance;
    if (!instance || instance->Kind() != cct_KIND_INSTANCE || instance->IsKilled()) continue;
    const long own = instance->TypeID();
    uint32_t shape = kComplex;
    if (own == 0) {
      // A record kept as written: a complex instance is of the entity through a partial record.
      if (exact || !dynamic_cast<cct_RawInstance*>(instance) || !IsOfType(*instance, entity_)) continue;
    } else {
      if (exact ? own != id : !instance->HasSupertype(id)) continue;
      auto known = std::find_if(shapeOf.begin(), shapeOf.end(), [&](const auto& s) { return s.first == own; });
      if (known == shapeOf.end()) {
        // With several supertypes a subtype's attributes need not start with this entity's:
        // the columns are found by name.
        std::vector<long> places(static_cast<size_t>(count), -1);
        for (long j = 0; j < count; ++j)
          for (long k = 0; k < instance->AttributeCount(); ++k)
            if (std::strcmp(instance->AttributeName(k), header_[static_cast<size_t>(j) + 2].c_str()) == 0) {
              places[static_cast<size_t>(j)] = k;
              break;
            }
        shapes_.push_back(std::move(places));
        known = shapeOf.insert(shapeOf.end(), {own, static_cast<long>(shapes_.size() - 1)});
      }
      shape = static_cast<uint32_t>(known->second);
    }
    found.push_back({e->fileOffset > 0 ? e->fileOffset : LONG_MAX, Source{instance, shape}});
  }
  ToFileOrder(found);
  rows_.reserve(found.size());
  for (const auto& f : found) rows_.push_back(f.second);
  return true;
}

std::vector<EntityTable> EntityTable::AllEntities(cct_Scope& scope, size_t* kept) {
  // One walk over the population for all tables: a walk per entity would cost as many walks
  // as a large file has entities.
  std::vector<Found> byType;
  std::vector<long> ids;
  size_t raw = 0;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor)) {
    cct_Instance* instance = e->instance;
    if (!instance || instance->Kind() != cct_KIND_INSTANCE || instance->IsKilled()) continue;
    const long id = instance->TypeID();
    if (id == 0) {
      ++raw;
      continue;
    }
    const size_t k = static_cast<size_t>(id) % cct_ENTITY_ID_ROOM;
    if (byType.size() <= k) {
      byType.resize(k + 1);
      ids.resize(k + 1, 0);
    }
    ids[k] = id;
    byType[k].push_back({e->fileOffset > 0 ? e->fileOffset : LONG_MAX, Source{instance, 0}});
  }
  std::vector<EntityTable> tables;
  for (size_t k = 0; k < byType.size(); ++k) {
    if (byType[k].empty()) continue;
    std::unique_ptr<cct_Instance> made(CreateEntity(ids[k]));
    EntityTable table;
    std::string why;
    if (!made || !made->TypeName() || table.Prepare(made->TypeName(), why) == 0) continue;
    // Every row is of the entity itself: its attributes stand where the columns do.
    std::vector<long> places(table.header_.size() - 2);
    for (size_t j = 0; j < places.size(); ++j) places[j] = static_cast<long>(j);
    table.shapes_.push_back(std::move(places));
    ToFileOrder(byType[k]);
    table.rows_.reserve(byType[k].size());
    for (const auto& f : byType[k]) table.rows_.push_back(f.second);
    tables.push_back(std::move(table));
  }
  std::sort(tables.begin(), tables.end(),
            [](const EntityTable& a, const EntityTable& b) { return a.entity_ < b.entity_; });
  if (kept) *kept = raw;
  return tables;
}

void EntityTable::Row(size_t r, TableRow& row) const {
  row.text.clear();
  row.cells.clear();
  const Source& source = rows_[r];
  const cct_Instance& instance = *source.instance;
  // Rows are read in order, their instances lie anywhere: asking for one a few rows ahead
  // hides most of the wait for memory.
  constexpr size_t kAhead = 8;
  if (r + kAhead < rows_.size()) __builtin_prefetch(rows_[r + kAhead].instance);
  StartCell(row);
  const char* name = instance.InstanceName();
  row.text += name ? name : "";
  const long number = NameNumber(name);
  EndCell(row, number > 0 ? CellKind::Integer : CellKind::Text, static_cast<double>(number));
  TextCell(row, instance.TypeName() ? instance.TypeName() : "");
  if (source.shape == kComplex) {
    ComplexRow(instance, row);
    return;
  }
  scratch_->buffer.Target(&row.text);
  for (long place : shapes_[source.shape]) {
    StartCell(row);
    CellKind kind = CellKind::Text;
    double value = 0;
    if (place >= 0) {
      if (const std::string* written = instance.AsWrittenText(place))
        row.text += *written;
      else if (const cct_Type* attribute = instance.Attribute(place))
        kind = AppendValue(*attribute, row.text, scratch_->out, value);
    }
    EndCell(row, kind, value);
  }
}

void EntityTable::ComplexRow(const cct_Instance& instance, TableRow& row) const {
  const auto* raw = dynamic_cast<const cct_RawInstance*>(&instance);
  const auto partials = Partials(raw ? std::string_view(raw->Record()) : std::string_view());
  for (const auto& [entity, place] : declared_) {
    std::string_view text;
    for (const auto& partial : partials)
      if (partial.first == entity) {
        const std::vector<std::string_view> parameters = cct_SplitParameters(partial.second);
        if (place < parameters.size()) text = parameters[place];
        break;
      }
    TextCell(row, text == "$" ? std::string_view() : text);
  }
}

void WriteCsv(const EntityTable& table, std::ostream& out) {
  std::string buffer;
  constexpr size_t kChunk = 1 << 20;
  buffer.reserve(kChunk + (1 << 16));
  auto field = [&](std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
      buffer.append(text);
      return;
    }
    buffer += '"';
    // Lists always hold commas: copied in pieces between the quotes that are doubled.
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos; text.remove_prefix(quote + 1)) {
      buffer.append(text.substr(0, quote + 1));
      buffer += '"';
    }
    buffer.append(text);
    buffer += '"';
  };
  const std::vector<std::string>& header = table.Header();
  for (size_t i = 0; i < header.size(); ++i) {
    if (i) buffer += ',';
    field(header[i]);
  }
  buffer += "\r\n";
  TableRow row;
  for (size_t r = 0; r < table.RowCount(); ++r) {
    table.Row(r, row);
    for (size_t i = 0; i < row.cells.size(); ++i) {
      if (i) buffer += ',';
      field(row.CellText(i));
    }
    buffer += "\r\n";
    if (buffer.size() >= kChunk) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

std::vector<std::string> SheetNames(const std::vector<std::string>& entities) {
  constexpr size_t kLongest = 31;
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (const std::string& entity : entities) {
    std::string name = entity.substr(0, kLongest);
    for (int k = 2; taken.count(Lower(name)); ++k) {
      const std::string suffix = "~" + std::to_string(k);
      name = entity.substr(0, kLongest - suffix.size()) + suffix;
    }
    taken.insert(Lower(name));
    names.push_back(name);
  }
  return names;
}

TableFormat FormatOfPath(const std::string& path) {
  const std::string lower = Lower(path);
  return lower.size() >= 5 && lower.compare(lower.size() - 5, 5, ".xlsx") == 0 ? TableFormat::Xlsx
                                                                                : TableFormat::Csv;
}

bool WriteTableFile(const EntityTable& table, const std::string& path, TableFormat format,
                    std::string& why) {
  if (format == TableFormat::Xlsx) return WriteXlsx({&table}, path, why);
  return ReplaceFile(
      path,
      [&](std::ostream& out) {
        WriteCsv(table, out);
        return std::string();
      },
      why);
}

}  // namespace varnholt
