#include <cstring>
#include <iostream>
#include <string>

#include "cct/instance.h"
#include "cct/scope.h"
#include "commands.h"
#include "varnholt/doc.h"
#include "varnholt/navigation.h"

namespace {

// "12" or "#12": the instance name; empty when it is neither.
std::string InstanceArgument(const char* text) {
  if (*text == '#') ++text;
  if (!*text || std::strspn(text, "0123456789") != std::strlen(text)) return std::string();
  return text;
}

// The open document's log goes to standard error, whatever the command prints.
class Opened {
 public:
  explicit Opened(const char* path) : doc_(new CDoc), ok_(doc_->OnOpenDocument(path)) {}
  ~Opened() {
    std::cerr << doc_->LogText();
    CloseDocument(doc_, true);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  bool ok() const { return ok_; }
  CDoc& doc() { return *doc_; }

 private:
  CDoc* doc_;
  bool ok_;
};

// The entry of a name a record of the file defines; null (and a message) otherwise.
cct_Scope::Entry* Defined(CDoc& doc, const std::string& name, const char* argument) {
  cct_Scope::Entry* entry = name.empty() ? nullptr : doc.Scope()->FindEntry(name.c_str(), 0);
  if (!entry || !entry->instance || entry->fileOffset == 0) {
    std::cerr << "varnholt-cli: no record defines #" << (name.empty() ? argument : name.c_str())
              << "\n";
    return nullptr;
  }
  return entry;
}

}  // namespace

namespace cli {

int Refs(const Arguments& arguments) {
  const char* argument = arguments.positional[1].c_str();
  const std::string name = InstanceArgument(argument);
  std::string out;
  int status = 1;
  {
    Opened file(arguments.positional[0].c_str());
    if (file.ok() && Defined(file.doc(), name, argument)) {
      varnholt::Navigator navigator(*file.doc().Scope());
      for (const varnholt::Referrer& r : navigator.ReferencesTo(name)) out += r.Text() + "\n";
      status = 0;
    }
  }
  std::cout << out;
  return status;
}

int Find(const Arguments& arguments) {
  varnholt::FindQuery query;
  query.type = arguments.Last("--type", query.type);
  query.text = arguments.Last("--text", query.text);
  if (arguments.Has("--unreached")) query.unreached = true;
  std::string out;
  int status = 1;
  {
    Opened file(arguments.positional[0].c_str());
    if (file.ok()) {
      varnholt::Navigator navigator(*file.doc().Scope());
      for (cct_Instance* instance : navigator.Find(query))
        out += std::string("#") + instance->InstanceName() + "=" + instance->TypeName() + "\n";
      status = 0;
    }
  }
  std::cout << out;
  return status;
}

int Show(const Arguments& arguments) {
  const char* argument = arguments.positional[1].c_str();
  const std::string name = InstanceArgument(argument);
  std::string out;
  int status = 1;
  {
    Opened file(arguments.positional[0].c_str());
    if (file.ok()) {
      if (cct_Scope::Entry* entry = Defined(file.doc(), name, argument)) {
        CDoc::LogRoute route(file.doc());
        out = std::to_string(entry->line) + "\n" + varnholt::RecordText(*entry->instance) + "\n";
        status = 0;
      }
    }
  }
  std::cout << out;
  return status;
}

}  // namespace cli
