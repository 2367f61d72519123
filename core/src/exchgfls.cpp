#include "cct/exchgfls.h"

#include <ostream>

#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/instance.h"

namespace {
constexpr const char* kModule = "exchgfls";
}

cct_InputFile::cct_InputFile(const char* name) {
  scope_.SetInputFile(this);
  if (!name) {
    cct_errlog(cct_Error(cct_IO_ERROR)) << "Missing filename for input file";
    throw cct_GenericException();
  }
  stream_ = std::fopen(name, "rb");
  if (!stream_) {
    cct_errlog(cct_Error(cct_IO_ERROR)) << "Can't open input file '" << name << "'.";
    throw cct_GenericException();
  }
  SetName(name);
}

cct_InputFile::~cct_InputFile() {
  // Objects that no scope entry owns as a registered instance are deleted here; registered
  // instances are left to the scope.
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope_.ListFirst(cursor); e; e = scope_.ListNext(cursor)) {
    cct_Instance* held = e->instance;
    if (!held) continue;
    long kind = held->Kind();
    bool stray = kind != cct_KIND_INSTANCE && kind != cct_KIND_PLACEHOLDER;
    if (!stray && !held->InstanceName() && !held->IsRegistered()) stray = true;
    if (stray) {
      delete held;
      e->instance = nullptr;
    }
  }
  if (stream_) std::fclose(stream_);
  cct_FreeText(name_);
}

void cct_InputFile::SetName(const char* name) {
  cct_FreeText(name_);
  name_ = cct_CopyText(name);
}

void cct_InputFile::Kill(cct_Instance*) {
  cct_errlog(cct_Warning(cct_UNIMPLEMENTED)) << "cct_InputFile::Kill()";
}

void cct_InputFile::ScanFile() {
  cct_errlog(cct_Error(cct_VIRTUAL_UNDEFINED)) << "(" << kModule << ") "
                                               << "cct_InputFile::ScanFile (ostream &)";
}

void cct_InputFile::WriteP21(std::ostream&) {
  cct_errlog(cct_Error(cct_VIRTUAL_UNDEFINED)) << "(" << kModule << ") "
                                               << "cct_InputFile::WriteP21 (ostream &)";
}
