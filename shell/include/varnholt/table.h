// The instances of one entity as a table: a row per instance, a column per attribute, the
// values as the tree shows them at full precision. The command line's `table` and the desktop's
// export both make their CSV and xlsx files from here.
#ifndef VARNHOLT_TABLE_H
#define VARNHOLT_TABLE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class cct_Instance;
class cct_Scope;

namespace varnholt {

/// What a cell holds, so that a spreadsheet can keep numbers as numbers.
enum class CellKind : uint8_t { Text, Integer, Real };

/// The cells of one row, one after another in one text that is reused from row to row, so
/// that a table of millions of rows costs no allocation per row.
struct TableRow {
  struct Cell {
    uint32_t begin;
    uint32_t end;
    CellKind kind;
    double number;  // the value of an Integer or Real cell
  };
  std::string text;
  std::vector<Cell> cells;
  std::string_view CellText(size_t i) const {
    return std::string_view(text).substr(cells[i].begin, cells[i].end - cells[i].begin);
  }
};

/// The table of an entity over a population. Columns: "instance" (the name, "12"), "type"
/// (the instance's own entity, as the tree names it), then one per attribute of the entity,
/// inherited ones first; attributes a subtype adds are left out, so that every row has the
/// same columns. Cells: strings and enumerations as the tree shows them, reals exactly
/// (ExactReal), references "#N type", lists as a save writes them, a parameter the binding kept
/// as written as it was written, unset values empty. A complex instance among the rows fills
/// the columns from its partial records as written.
class EntityTable {
 public:
  EntityTable();
  ~EntityTable();
  EntityTable(EntityTable&&) noexcept;
  EntityTable& operator=(EntityTable&&) noexcept;

  /// The table of `entity` (any case): its instances and those of its subtypes, or with
  /// `exact` only those whose own type it is, in file order (instances made since the file
  /// was read last). False, with the reason in `why`, when the schema knows no such entity.
  bool Build(cct_Scope& scope, std::string_view entity, bool exact, std::string& why);

  /// A table for every entity whose instances occur (by their own type), each as Build with
  /// `exact` makes it, sorted by name; `kept` counts the records of entities the schema does
  /// not know and complex instances, which belong to none of them.
  static std::vector<EntityTable> AllEntities(cct_Scope& scope, size_t* kept = nullptr);

  /// The entity's name as the tree shows it ("cartesian_point").
  const std::string& Entity() const { return entity_; }
  const std::vector<std::string>& Header() const { return header_; }
  size_t RowCount() const { return rows_.size(); }
  /// Fills `row` with the cells of row r (from 0).
  void Row(size_t r, TableRow& row) const;

  /// A row's instance and how its attributes stand in the columns.
  struct Source {
    cct_Instance* instance;
    uint32_t shape;  // index into shapes_; kComplex for a complex instance kept as written
  };

 private:
  static constexpr uint32_t kComplex = 0xFFFFFFFFu;
  /// The header and the attributes' declaring entities; the entity's id, or 0 (the reason in
  /// `why`) when the schema knows no such entity.
  long Prepare(std::string_view entity, std::string& why);
  void ComplexRow(const cct_Instance& instance, TableRow& row) const;

  std::string entity_;
  std::vector<std::string> header_;
  std::vector<Source> rows_;
  // Per own type among the rows: where each column's attribute stands in it.
  std::vector<std::vector<long>> shapes_;
  // Per column: the entity that declares its attribute and the attribute's place among that
  // entity's own ones, for reading complex instances.
  std::vector<std::pair<std::string, size_t>> declared_;
  struct Scratch;
  std::unique_ptr<Scratch> scratch_;
};

/// Writes the table as CSV (RFC 4180): UTF-8 without a byte order mark, fields separated by
/// commas, lines ended by CR LF, a field quoted when it holds a comma, a quote, CR or LF (its
/// quotes doubled). The header row always, then a row per instance.
void WriteCsv(const EntityTable& table, std::ostream& out);

/// The sheet names of an xlsx workbook for these entities: each at most 31 characters, no two
/// alike (ignoring case); a name cut to fit and met before gets "~2", "~3" ... at its end.
std::vector<std::string> SheetNames(const std::vector<std::string>& entities);

/// The most rows a sheet holds, the header row included.
constexpr size_t kMaxSheetRows = 1048576;
/// The most characters an xlsx cell holds.
constexpr size_t kMaxCellLength = 32767;

/// Replaces the file at `path` with an xlsx workbook of one sheet per table (named by
/// SheetNames). Integer cells and reals that a number cell holds exactly are numbers, every
/// other cell text. False, with the reason in `why` and the file as it was, when a table has
/// more rows or a cell more text than a sheet holds or the file cannot be written.
bool WriteXlsx(const std::vector<const EntityTable*>& tables, const std::string& path,
               std::string& why);

enum class TableFormat { Csv, Xlsx };
/// Xlsx for a path ending in ".xlsx" (any case), else Csv.
TableFormat FormatOfPath(const std::string& path);
/// Replaces the file at `path` with the table in that format; false with the reason in `why`
/// (and the file as it was) when it cannot.
bool WriteTableFile(const EntityTable& table, const std::string& path, TableFormat format,
                    std::string& why);

}  // namespace varnholt

#endif
