// table FILE (--type ENTITY | --all) [--format csv|xlsx] [-o OUT]: the instances of an entity as
// a table, one row per instance and one column per attribute.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/table.h"

namespace cli {

Verdict TableFormatName(const std::string& value) {
  if (value == "csv" || value == "xlsx") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no table format: csv or xlsx");
}

Verdict KnownEntity(const std::string& value) {
  std::string lower = value;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::unique_ptr<cct_Instance> made(lower.empty() ? nullptr : CreateEntityByName(lower.c_str()));
  if (made) return Verdict::Accept();
  return Verdict::Refuse("the schema knows no entity \"" + value + "\"");
}

namespace {

// The tables of the file, written as the options ask; the reason it failed, or an empty text.
std::string WriteTables(cct_Scope& scope, const Arguments& arguments, varnholt::TableFormat format) {
  const std::string out = arguments.Last("-o");
  std::string why;
  if (!arguments.Has("--all")) {
    varnholt::EntityTable table;
    if (!table.Build(scope, arguments.Last("--type"), false, why)) return why;
    if (out.empty()) {
      varnholt::WriteCsv(table, std::cout);
      std::cout.flush();
      return std::cout ? std::string() : "standard output could not be written";
    }
    if (!varnholt::WriteTableFile(table, out, format, why)) return "cannot write \"" + out + "\": " + why;
    return std::string();
  }

  size_t kept = 0;
  const std::vector<varnholt::EntityTable> tables = varnholt::EntityTable::AllEntities(scope, &kept);
  if (kept > 0)
    std::cerr << "varnholt-cli: " << kept << (kept == 1 ? " record" : " records")
              << " of no entity of the schema (kept as written) left out\n";
  if (format == varnholt::TableFormat::Xlsx) {
    std::vector<const varnholt::EntityTable*> sheets;
    for (const varnholt::EntityTable& table : tables) sheets.push_back(&table);
    if (!varnholt::WriteXlsx(sheets, out, why)) return "cannot write \"" + out + "\": " + why;
    return std::string();
  }
  // One CSV per entity in the folder, which is made when it is not there yet.
  if (mkdir(out.c_str(), 0777) != 0 && errno != EEXIST)
    return "cannot make the folder \"" + out + "\": " + std::strerror(errno);
  struct stat folder {};
  if (stat(out.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
    return "\"" + out + "\" is no folder: --all --format csv writes one file per entity into -o";
  for (const varnholt::EntityTable& table : tables) {
    const std::string path = out + "/" + table.Entity() + ".csv";
    if (!varnholt::WriteTableFile(table, path, varnholt::TableFormat::Csv, why))
      return "cannot write \"" + path + "\": " + why;
  }
  return std::string();
}

}  // namespace

int Table(const Arguments& arguments) {
  const bool all = arguments.Has("--all");
  const bool typed = arguments.Has("--type");
  if (all == typed) return Misuse("table takes either --type ENTITY or --all");
  const std::string out = arguments.Last("-o");
  varnholt::TableFormat format = varnholt::FormatOfPath(out);
  if (arguments.Has("--format"))
    format = arguments.Last("--format") == "xlsx" ? varnholt::TableFormat::Xlsx : varnholt::TableFormat::Csv;
  if (out.empty() && format == varnholt::TableFormat::Xlsx)
    return Misuse("--format xlsx writes a file: give it with -o OUT");
  if (out.empty() && all)
    return Misuse("--all writes a workbook (.xlsx) or a folder of CSV files: give it with -o OUT");

  auto* doc = new CDoc;
  std::string why;
  if (doc->OnOpenDocument(arguments.positional[0].c_str())) {
    CDoc::LogRoute route(*doc);
    why = WriteTables(*doc->Scope(), arguments, format);
  } else {
    why = "\"" + arguments.positional[0] + "\" could not be opened";
  }
  std::cerr << doc->LogText();
  CloseDocument(doc, true);
  return why.empty() ? 0 : Refuse(why);
}

}  // namespace cli
