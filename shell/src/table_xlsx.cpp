// The xlsx form of entity tables, written with libxlsxwriter.
#include <stdlib.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "varnholt/save_io.h"
#include "varnholt/table.h"

namespace varnholt {

namespace {

/// True when a number cell holds exactly v: libxlsxwriter writes numbers with 16 significant
/// digits, which not every double survives; such a real goes in as its exact text instead.
bool NumberCellHolds(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16G", v);
  return std::strtod(text, nullptr) == v;
}

/// A file in the temporary folder for the workbook, removed with this object: libxlsxwriter
/// writes to a file name, and the user's file is replaced only from a complete workbook.
class TempWorkbook {
 public:
  TempWorkbook() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "varnholt-xlsx-XXXXXX").string();
    const int fd = mkstemp(&pattern[0]);
    if (fd >= 0) {
      close(fd);
      path_ = pattern;
    } else {
      why_ = std::strerror(errno);
    }
  }
  ~TempWorkbook() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempWorkbook(const TempWorkbook&) = delete;
  TempWorkbook& operator=(const TempWorkbook&) = delete;
  const std::string& Path() const { return path_; }
  const std::string& Why() const { return why_; }

 private:
  std::string path_;
  std::string why_;
};

/// Fills the workbook; the reason it gave up, or an empty text.
std::string FillWorkbook(lxw_workbook* workbook, const std::vector<const EntityTable*>& tables) {
  std::vector<std::string> entities;
  for (const EntityTable* table : tables) entities.push_back(table->Entity());
  const std::vector<std::string> sheets = SheetNames(entities);
  std::string cell;  // libxlsxwriter takes texts ended by a zero
  auto check = [](lxw_error error) { return error == LXW_NO_ERROR ? std::string() : std::string(lxw_strerror(error)); };
  // Before any sheet is written: a table too long for a sheet is known from the start.
  for (const EntityTable* table : tables)
    if (table->RowCount() + 1 > kMaxSheetRows)
      return "the " + std::to_string(table->RowCount()) + " instances of " + table->Entity() +
             " do not fit in an xlsx sheet (" + std::to_string(kMaxSheetRows - 1) +
             " rows at most); CSV holds them";
  for (size_t t = 0; t < tables.size(); ++t) {
    const EntityTable& table = *tables[t];
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, sheets[t].c_str());
    if (!sheet) return "no sheet " + sheets[t] + " could be added";
    for (size_t c = 0; c < table.Header().size(); ++c) {
      const std::string why = check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c),
                                                           table.Header()[c].c_str(), nullptr));
      if (!why.empty()) return why;
    }
    TableRow row;
    for (size_t r = 0; r < table.RowCount(); ++r) {
      table.Row(r, row);
      const auto line = static_cast<lxw_row_t>(r + 1);
      for (size_t c = 0; c < row.cells.size(); ++c) {
        const TableRow::Cell& at = row.cells[c];
        const auto column = static_cast<lxw_col_t>(c);
        lxw_error error = LXW_NO_ERROR;
        if (at.kind != CellKind::Text && NumberCellHolds(at.number)) {
          error = worksheet_write_number(sheet, line, column, at.number, nullptr);
        } else if (at.end > at.begin) {
          if (at.end - at.begin > kMaxCellLength)
            return "#" + std::string(row.CellText(0)) + " " + table.Entity() + "." +
                   table.Header()[c] + " holds " + std::to_string(at.end - at.begin) +
                   " characters, more than an xlsx cell holds (" + std::to_string(kMaxCellLength) +
                   "); CSV holds them";
          cell.assign(row.CellText(c));
          error = worksheet_write_string(sheet, line, column, cell.c_str(), nullptr);
        }
        const std::string why = check(error);
        if (!why.empty()) return why;
      }
    }
  }
  return std::string();
}

}  // namespace

bool WriteXlsx(const std::vector<const EntityTable*>& tables, const std::string& path,
               std::string& why) {
  TempWorkbook temp;
  if (temp.Path().empty()) {
    why = "no temporary file for the workbook: " + temp.Why();
    return false;
  }
  lxw_workbook_options options{};
  // Rows go to the temporary sheet files as they are written, so that memory stays small.
  options.constant_memory = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(temp.Path().c_str(), &options);
  if (!workbook) {
    why = "the workbook could not be made";
    return false;
  }
  std::string failed = FillWorkbook(workbook, tables);
  const lxw_error closed = workbook_close(workbook);  // frees it, also after a failure
  if (failed.empty() && closed != LXW_NO_ERROR) failed = lxw_strerror(closed);
  if (!failed.empty()) {
    why = failed;
    return false;
  }
  return ReplaceFile(
      path,
      [&](std::ostream& out) {
        std::ifstream in(temp.Path(), std::ios::binary);
        if (!in) return std::string("the workbook could not be read back");
        out << in.rdbuf();
        return std::string();
      },
      why);
}

}  // namespace varnholt
