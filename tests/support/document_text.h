// Everything a user sees of a file opened as the document opens it: the log, the file as saved
// and the tree. Used to compare direct reading with the parser (tests and the fuzz target).
#ifndef VARNHOLT_TESTS_DOCUMENT_TEXT_H
#define VARNHOLT_TESTS_DOCUMENT_TEXT_H

#include <sstream>
#include <string>

#include "cct/stepfile.h"
#include "varnholt/doc.h"
#include "varnholt/treecontrol.h"
#include "varnholt/treeview.h"

/// What a user sees of one open, read the way the switch of direct reading stands now (it is not
/// touched, so opens may run on several threads at once).
inline std::string OpenedText(const std::string& path) {
  CDoc doc;
  std::ostringstream out;
  if (doc.OnOpenDocument(path.c_str())) {
    CDoc::LogRoute route(doc);
    doc.StepFile()->WriteP21(out);
    varnholt::MemoryTreeControl tree;
    varnholt::CStpTreeView view(tree, &doc);
    view.FillTree();
    out << tree.Dump();
  }
  return doc.LogText() + "\n----\n" + out.str();
}

inline std::string DocumentText(const std::string& path, bool directReading) {
  cct_StepFile::SetDirectReading(directReading);
  std::string text = OpenedText(path);
  cct_StepFile::SetDirectReading(true);
  return text;
}

#endif
