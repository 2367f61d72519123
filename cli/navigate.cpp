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

int Refs(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string name = InstanceArgument(argv[1]);
  std::string out;
  int status = 1;
  {
    Opened file(argv[0]);
    if (file.ok() && Defined(file.doc(), name, argv[1])) {
      varnholt::Navigator navigator(*file.doc().Scope());
      for (const varnholt::Referrer& r : navigator.ReferencesTo(name)) out += r.Text() + "\n";
      status = 0;
    }
  }
  std::cout << out;
  return status;
}

int Find(int argc, char** argv) {
  if (argc < 1) return 2;
  varnholt::FindQuery query;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--type" && i + 1 < argc)
      query.type = argv[++i];
    else if (option == "--text" && i + 1 < argc)
      query.text = argv[++i];
    else if (option == "--unreached")
      query.unreached = true;
    else
      return 2;
  }
  std::string out;
  int status = 1;
  {
    Opened file(argv[0]);
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

int Show(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string name = InstanceArgument(argv[1]);
  std::string out;
  int status = 1;
  {
    Opened file(argv[0]);
    if (file.ok()) {
      if (cct_Scope::Entry* entry = Defined(file.doc(), name, argv[1])) {
        CDoc::LogRoute route(file.doc());
        out = std::to_string(entry->line) + "\n" + varnholt::RecordText(*entry->instance) + "\n";
        status = 0;
      }
    }
  }
  std::cout << out;
  return status;
}
