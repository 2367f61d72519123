// convert, tree and edit: a file opened like the desktop program opens it, saved or shown.
#include <iostream>
#include <string>
#include <string_view>

#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treeview.h"

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

namespace cli {

int Convert(const Arguments& arguments) {
  const std::string& in = arguments.positional[0];
  const std::string& out = arguments.positional[1];
  int status = 0;
  std::string log;
  {
    auto* doc = new CDoc;
    if (!doc->OnOpenDocument(in.c_str()) || !doc->OnSaveDocument(out.c_str())) status = 1;
    log = doc->LogText();
    CloseDocument(doc, true);
  }
  std::cerr << log;
  return status;
}

int Tree(const Arguments& arguments) {
  bool opened = false;
  std::string tree, log;
  {
    auto* doc = new CDoc;  // cerr writes into the document's log while it exists
    opened = doc->OnOpenDocument(arguments.positional[0].c_str());
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
int Edit(const Arguments& arguments) {
  std::string log, refusal;
  bool ok = false;
  {
    auto* document = new CDoc;
    CDoc& doc = *document;
    if (doc.OnOpenDocument(arguments.positional[0].c_str())) {
      CDoc::LogRoute route(doc);
      ok = true;
      for (const auto& [option, value] : arguments.options) {
        const std::string_view arg = value;
        const bool set = option == "--set";
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
        if (!ok) break;
      }
    }
    if (ok) ok = doc.OnSaveDocument(arguments.positional[1].c_str());
    log = doc.LogText();
    CloseDocument(document, true);
  }
  std::cerr << log;
  if (!refusal.empty()) std::cerr << "\nvarnholt-cli: " << refusal << "\n";
  return ok ? 0 : 1;
}

}  // namespace cli
