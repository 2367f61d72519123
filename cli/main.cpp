// varnholt-cli: checks exchange files and converts them, the way the desktop program opens and
// saves them.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "cct/factory.h"
#include "cct/schema.h"
#include "commands.h"
#include "varnholt/apptexts.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treeview.h"

namespace {

const char* const kUsage =
    "Usage: varnholt-cli check FILE...\n"
    "       varnholt-cli convert IN OUT\n"
    "       varnholt-cli tree FILE\n"
    "       varnholt-cli refs FILE N\n"
    "       varnholt-cli find FILE [--type ENTITY] [--text TEXT] [--unreached]\n"
    "       varnholt-cli show FILE N\n"
    "       varnholt-cli edit IN OUT [--set '#N.attr=VALUE' | --set '#N.attr[i]=VALUE' |\n"
    "                                 --unset '#N.attr']...\n"
    "       varnholt-cli render FILE OUT [--view top|front|side|iso] [--size WxH]\n"
    "       varnholt-cli --help | --version\n"
    "\n"
    "Opens ISO 10303-21 exchange files of the ISO 14649 (STEP-NC) combined schema for milling\n"
    "and turning, reads and checks every instance, and reports every warning and error.\n"
    "\n"
    "  check FILE...    open each file and print its log to standard output\n"
    "  convert IN OUT   open IN and save it as OUT; the log goes to standard error\n"
    "  tree FILE        open FILE and print the instance tree the desktop program shows,\n"
    "                   two blanks of indentation per level; the log goes to standard error\n"
    "  refs FILE N      print one line \"#M ATTRIBUTE\" (\"#M ATTRIBUTE[i]\" for the i-th element\n"
    "                   of a list) per reference to #N, sorted by M; \"(record)\" stands for\n"
    "                   a record the schema does not know, \"(parameter K)\" for the K-th\n"
    "                   parameter of a record beyond its entity's attributes\n"
    "  find FILE ...    print \"#M=entity\" for every instance that matches all conditions:\n"
    "                   --type ENTITY  of that entity or one of its subtypes\n"
    "                   --text TEXT    a string value contains TEXT (ignoring case)\n"
    "                   --unreached    no path of references from a project reaches it\n"
    "  show FILE N      print the line of the file where #N is defined, then its record as\n"
    "                   a save writes it\n"
    "  edit IN OUT      open IN, apply the edits in order and save the result as OUT like\n"
    "                   convert; attributes are named as the tree shows them, elements\n"
    "                   counted from 1; INTEGER a whole number, REAL a decimal number with a\n"
    "                   point, STRING any text, BOOLEAN, LOGICAL and enumerations by value name;\n"
    "                   --unset makes a value $ (with a warning when it is not OPTIONAL); a\n"
    "                   refused edit is named on standard error, nothing is written, status 1\n"
    "  render FILE OUT  open FILE, draw its workpiece, features, toolpaths and security planes\n"
    "                   and write the picture to OUT, as SVG when OUT ends in .svg, as PNG\n"
    "                   when it ends in .png, as a set-up sheet to print when it ends in .pdf\n"
    "                   (an A4 landscape page: the file's name, the view, its scale bar);\n"
    "                   --view top, front, side or iso (the default), --size WIDTHxHEIGHT in\n"
    "                   pixels (default 1200x900; not for .pdf); the log, with what could not\n"
    "                   be drawn, goes to standard output; OUT is replaced only once the\n"
    "                   picture is complete; status 1 also for another extension, a view or\n"
    "                   size not of these forms\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be opened or written or an edit was refused, 2 usage error.\n"
    "The saved time stamp is the current time in UTC, or the instant SOURCE_DATE_EPOCH names.\n";

}  // namespace

void CloseDocument(CDoc* doc, bool last) {
#if defined(__SANITIZE_ADDRESS__)
  last = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  last = false;
#endif
#endif
  if (!last) delete doc;  // else the process's end gives its memory back
}

namespace {

int Usage() {
  std::cerr << kUsage;
  return 2;
}

int Check(int count, char** files) {
  int status = 0;
  for (int i = 0; i < count; ++i) {
    std::string log;
    {
      auto* doc = new CDoc;
      if (!doc->OnOpenDocument(files[i])) status = 1;
      log = doc->LogText();
      CloseDocument(doc, i + 1 == count);
    }
    std::cout << log;
    if (!*files[i]) {
      std::cerr << "varnholt-cli: empty file name\n";
      status = 1;
    }
  }
  std::cout.flush();
  return status;
}

int Convert(const char* in, const char* out) {
  int status = 0;
  std::string log;
  {
    auto* doc = new CDoc;
    if (!doc->OnOpenDocument(in) || !doc->OnSaveDocument(out)) status = 1;
    log = doc->LogText();
    CloseDocument(doc, true);
  }
  std::cerr << log;
  return status;
}

int Tree(const char* path) {
  bool opened = false;
  std::string tree, log;
  {
    auto* doc = new CDoc;  // cerr writes into the document's log while it exists
    opened = doc->OnOpenDocument(path);
    if (opened) {
      varnholt::MemoryTreeControl control;
      varnholt::CStpTreeView view(control, doc);
      view.FillTree();
      tree = control.Dump();
    }
    log = doc->LogText();
    CloseDocument(doc, true);
  }
  std::cerr << log;
  std::cout << tree;
  return opened ? 0 : 1;
}

// The edits are applied with the shell's rules, in order; the first refused one ends the run
// before anything is written, so a script never leaves a half-edited file behind.
int Edit(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) return Usage();
  for (int i = 2; i < argc; i += 2)
    if (std::strcmp(argv[i], "--set") != 0 && std::strcmp(argv[i], "--unset") != 0) return Usage();
  std::string log, refusal;
  bool ok = false;
  {
    auto* document = new CDoc;
    CDoc& doc = *document;
    if (doc.OnOpenDocument(argv[0])) {
      CDoc::LogRoute route(doc);
      ok = true;
      for (int i = 2; ok && i < argc; i += 2) {
        const std::string_view arg = argv[i + 1];
        const bool set = argv[i][2] == 's';
        const size_t equals = set ? arg.find('=') : arg.size();
        varnholt::ValueSlot slot;
        if (equals == std::string_view::npos) {
          refusal = "\"" + std::string(arg) + "\": expected #N.attribute=VALUE";
        } else if (varnholt::FindSlot(*doc.Scope(), arg.substr(0, equals), slot, refusal)) {
          const varnholt::EditOutcome outcome =
              set ? varnholt::SetValue(slot, arg.substr(equals + 1)) : varnholt::ClearValue(slot);
          if (outcome.Refused()) refusal = outcome.message;
        }
        ok = refusal.empty();
      }
    }
    if (ok) ok = doc.OnSaveDocument(argv[1]);
    log = doc.LogText();
    CloseDocument(document, true);
  }
  std::cerr << log;
  if (!refusal.empty()) std::cerr << "\nvarnholt-cli: " << refusal << "\n";
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  RegisterTypeNames();
  RegisterEntityNames();
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "--version") {
    std::cout << "varnholt-cli " << varnholt::kVersion << "\n";
    return 0;
  }
  if (command == "check" && argc >= 3) return Check(argc - 2, argv + 2);
  if (command == "convert" && argc == 4) return Convert(argv[2], argv[3]);
  if (command == "tree" && argc == 3) return Tree(argv[2]);
  if (command == "edit") return Edit(argc - 2, argv + 2);
  int status = 2;
  if (command == "refs") status = Refs(argc - 2, argv + 2);
  if (command == "find") status = Find(argc - 2, argv + 2);
  if (command == "show") status = Show(argc - 2, argv + 2);
  if (command == "render") status = Render(argc - 2, argv + 2);
  if (status != 2) return status;
  return Usage();
}
