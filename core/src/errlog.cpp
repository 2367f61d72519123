#include "cct/errlog.h"

#include <iostream>
#include <ostream>


namespace {

const char* const kCategoryText[] = {
    "",
    "Program bug",
    "Name of instance is already in use",
    "TestCompatibility() failed",
    "Read request on memory vector",
    "Requested read operation on index out of bounds",
    "Virtual function undefined for this object's class",
    "Input/Output error",
    "While reading STEP file",
    "While reading Moravel file",
    "Function called with NULL in parameter",
    "Invalid assignment to EnumType",
    "Unset non OPTIONAL attribute",
    "Function called with this == NULL",
    "AggregateType can not handle",
    "Message",
    "Unimplemented function called",
    "Alignment error while writing to memory vector",
    "AggregateType overflow --- ignoring new entry",
    "Aggregate bounds are violated",
    "Correctness test failed ",
    "Wrong data format. ",
};
constexpr int kCategoryCount = sizeof kCategoryText / sizeof kCategoryText[0];

// Streaming a null char* is undefined; a missing text simply writes nothing.
std::ostream& Put(std::ostream& os, const char* text) {
  if (text) os << text;
  return os;
}

}  // namespace

// Constructed during static initialisation; <iostream> above guarantees cerr exists by then.
cct_ErrorLog cct_errlog;
thread_local std::ostream* cct_ErrorLog::threadStream_ = nullptr;
thread_local long cct_ErrorLog::threadReports_ = 0;

cct_ErrorLog::cct_ErrorLog() : stream_(&std::cerr) {}

cct_ErrorLog::~cct_ErrorLog() { std::cerr << "\n\n"; }

void cct_ErrorLog::SetStream(std::ostream* stream) { stream_ = stream ? stream : &std::cerr; }

const char* cct_ErrorLog::CategoryText(int n) {
  return n >= 0 && n < kCategoryCount ? kCategoryText[n] : "";
}

cct_ErrorLog& cct_ErrorLog::operator()(int code) {
  // Widened so that the magnitude of INT_MIN is representable.
  long long magnitude = code < 0 ? -static_cast<long long>(code) : code;
  if (magnitude >= 1 && magnitude <= 21) {
    ++threadReports_;
    Stream() << std::endl << "Warning: " << kCategoryText[magnitude] << ": ";
  } else if (magnitude >= 257 && magnitude <= 277) {
    ++threadReports_;
    Stream() << std::endl << "Error: " << kCategoryText[magnitude - 256] << ": ";
  }
  return *this;
}

std::ostream& operator<<(cct_ErrorLog& log, const char* text) { return Put(log.Stream(), text); }

void cct_ReportMessage(int kind, const char* text, long line) {
  std::ostream& os = cct_errlog.Stream();
  switch (kind) {
    case 0: Put(os << "Error in STEP file line " << line << ": Token ", text) << " expected\n"; break;
    case 1: os << "Early EOF in STEP file\n"; break;
    case 2: Put(os << "Unknown entity \"", text) << "\" referenced in STEP file line " << line << ".\n"; break;
    case 3: Put(os << "Error in Header - Entity \"", text) << "\" expected. Line " << line << ".\n"; break;
    case 4: Put(os << "Unknown type \"", text) << "\" referenced in STEP file line " << line << ".\n"; break;
    case 5:
      Put(os << "Instance \"", text) << "\" redeclared in STEP file line. " << line
                                     << ".\nRedeclaration skipped.\n";
      break;
    case 6:
      Put(os << "Too many parameters for Instance type \"", text)
          << "\" in STEP file line " << line << ".\n";
      break;
    case 7:
      Put(os << "Wrong parameter for attribute is of type \"", text)
          << "\" in STEP file line " << line << ".\n";
      break;
    case 8:
      Put(os << "Sorry, the type ", text) << " is not implemented. STEP file line " << line << ".\n";
      break;
    case 9:
      Put(os << "The enumeration value \"", text)
          << "\" in STEP file line" << line
          << " is not member of the allowed set of values for this type.\n";
      break;
    case 10:
      Put(os << "Wrong selection entry for selection type ", text)
          << " in STEP file line " << line << ".\n";
      break;
    case 11:
      Put(os << "Wrong enumeration entry for enumeration type ", text)
          << " in STEP file line " << line << ".\n";
      break;
    case 12:
      Put(os << "Not enough attributes for attribute type ", text)
          << " in STEP file line " << line << ".\n";
      break;
    case 13:
      Put(os << "The assigned Instance for attribute type ", text)
          << " in STEP file line " << line << " is none of the allowed types.\n";
      break;
    case 14:
      Put(os << "Reference to not existing instance \"", text)
          << "\" in STEP file line " << line << ".\n";
      break;
    case 15: Put(os << "BUG! There is a bug detected in/by function ", text) << ".\n"; break;
    case 16:
      Put(os << "Aggregate overflow for \"", text) << "\" in STEP file line " << line << ".\n";
      break;
    case 17:
      Put(os << "Access to aggregate \"", text)
          << "\"is out of aggregate bounds. (Line " << line << " ).\n";
      break;
    case 18:
      Put(os << "The attribute \"", text) << "\" in STEP file line " << line << " is not OPTIONAL.\n";
      break;
    case 19: Put(os << "Can not open file \"", text) << "\" --- aborting.\n"; break;
    case 20: Put(os << "Can not find instance \"", text) << "\" --- aborting.\n"; break;
    case 21:
      Put(os << "Error in MoravelFile: " << std::endl, text) << " in Line " << line << std::endl;
      break;
    case 22:
      os << "Error: The compatibility test for assignments failed.";
      if (text) cct_errlog(cct_CONTINUE) << " Assignment to " << text;
      cct_errlog(cct_CONTINUE) << " Line " << line << std::endl;
      break;
    default: Put(os << "ERROR! ", text) << " -- Nr. " << line << "\n"; break;
  }
}

void cct_ReportText(long number, const char* t1, const char* t2, const char* t3, const char* t4,
                    const char* t5) {
  std::ostream& os = cct_errlog.Stream();
  Put(os, t1);
  for (const char* t : {t2, t3, t4, t5}) {
    if (t) cct_errlog(cct_CONTINUE) << " " << t;
  }
  if (number != 0) cct_errlog(cct_CONTINUE) << "" << number;
}
