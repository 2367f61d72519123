#include "cct/rawrecord.h"

#include <ostream>

#include "cct/ascii.h"
#include "cct/exchgfls.h"
#include "scanner.h"

namespace {

using cct_scan::Outcome;

// A kept record's words may be in any case (it was kept because the binding did not take it).
bool IsWordChar(char c) { return cct_scan::IsWordChar(cct_AsciiUpper(c)); }

bool Punctuation(char c) { return c == '(' || c == ')' || c == ',' || c == ';' || c == '='; }

// Past the string that starts at text[at] (its quote), by the scanner's rules.
size_t PassQuoted(std::string_view text, size_t at) {
  cct_scan::WindowReader in{text.data() + at + 1, text.data() + text.size()};
  cct_scan::PassString(in);
  return static_cast<size_t>(in.p - text.data());
}

// Walks the record's text outside strings and binaries: `word` gets every keyword-like word
// with the character after it, `name` every "#digits".
// `depth` counts the parentheses open before each word.
template <class Word, class Name>
void Walk(std::string_view text, Word word, Name name) {
  int depth = 0;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\'') {
      i = PassQuoted(text, i);
    } else if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      i = end == std::string::npos ? text.size() : end + 1;
    } else if (c == '#') {
      size_t end = i + 1;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
      if (end > i + 1) name(std::string_view(text).substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '.' ) {
      // An enumeration or a logical: its letters are no keyword.
      size_t end = i + 1;
      while (end < text.size() && IsWordChar(text[end])) ++end;
      i = end < text.size() && text[end] == '.' && end > i + 1 ? end + 1 : i + 1;
    } else if (IsWordChar(c) && !(c >= '0' && c <= '9')) {
      size_t end = i;
      while (end < text.size() && IsWordChar(text[end])) ++end;
      word(i, end, depth);
      i = end;
    } else if (c >= '0' && c <= '9') {
      // Numbers, exponents included ("1.E-5"): their letters are no keyword either.
      while (i < text.size() && (IsWordChar(text[i]) || text[i] == '.' ||
                                 ((text[i] == '-' || text[i] == '+') && i > 0 &&
                                  (text[i - 1] == 'E' || text[i - 1] == 'e'))))
        ++i;
    } else {
      ++i;
    }
  }
}

}  // namespace

cct_RawInstance::cct_RawInstance(std::string record) : record_(std::move(record)) {
  // The keywords are the words followed by "(": one for a simple record, one per part of a
  // complex one.
  std::string keywords;
  int count = 0;
  const bool complex = !record_.empty() && record_[0] == '(';
  Walk(
      record_,
      [&](size_t begin, size_t end, int depth) {
        if (end >= record_.size() || record_[end] != '(') return;
        // A keyword stands outside every parameter list: the record's own at the start, the
        // partial records' inside the outer parentheses. Any other is a typed parameter.
        if (depth != (complex ? 1 : 0)) return;
        if (count++) keywords += ' ';
        if (begin > 0 && record_[begin - 1] == '!') keywords += '!';
        for (size_t i = begin; i < end; ++i) keywords += cct_AsciiLower(record_[i]);
      },
      [](std::string_view) {});
  if (complex) {
    typeName_ = "(" + keywords + ")";
  } else {
    typeName_ = keywords.substr(0, keywords.find(' '));
  }
}

bool cct_RawInstance::WriteP21Instance(std::ostream& os) {
  const char* name = InstanceName();
  if (!IsRegistered() || !name) return false;
  os << '#' << name << '=' << record_ << ";\n";
  return true;
}

void cct_RawInstance::ForEachReference(const std::function<void(std::string_view)>& use) const {
  cct_ForEachNameIn(record_, use);
}

void cct_ForEachNameIn(std::string_view text, const std::function<void(std::string_view)>& use) {
  Walk(text, [](size_t, size_t, int) {}, use);
}

std::vector<std::string_view> cct_SplitParameters(std::string_view record) {
  std::vector<std::string_view> parameters;
  size_t i = record.find('(');
  if (i == std::string_view::npos) return parameters;
  int depth = 0;
  size_t start = i + 1;
  for (; i < record.size();) {
    const char c = record[i];
    if (c == '\'') {
      i = PassQuoted(record, i);
      continue;
    }
    if (c == '"') {
      const size_t end = record.find('"', i + 1);
      i = end == std::string_view::npos ? record.size() : end + 1;
      continue;
    }
    if (c == '(') ++depth;
    if ((c == ',' && depth == 1) || (c == ')' && depth == 1)) {
      // "KEYWORD()" has no parameters; "KEYWORD($)" has one.
      if (c == ',' || i > start || !parameters.empty())
        parameters.push_back(record.substr(start, i - start));
      start = i + 1;
      if (c == ')') break;
    }
    if (c == ')') --depth;
    ++i;
  }
  return parameters;
}

std::string cct_ReadRawRecord(cct_InputFile& file) {
  std::string out;
  int depth = 0;
  bool separated = false;  // blanks or a comment since the last token kept
  auto in = cct_scan::ReadFrom(file);
  for (;;) {
    int c = file.GetChar();
    if (c == 0) return std::string();
    if (cct_scan::IsLayout(c)) {
      separated = true;
      continue;
    }
    if (c == '/') {
      int next = file.GetChar();
      if (next == '*') {
        if (cct_scan::PassComment(in) != Outcome::kDone) return std::string();
        separated = true;
        continue;
      }
      file.Unput(next);
    }
    // Two tokens that blanks kept apart must stay apart: written together, two words would be
    // one, "#" and "91" the name #91, two strings one string, a sign and a number a number.
    // Only the punctuation of a record's structure joins anything without changing it.
    if (separated && !out.empty() && !Punctuation(out.back()) && !Punctuation(static_cast<char>(c))) out += ' ';
    separated = false;
    if (c == '\'' || c == '"') {
      const int quote = c;
      out += static_cast<char>(c);
      for (;;) {
        c = file.GetChar();
        if (c == 0) return std::string();
        if (c == '\n' && quote == '\'') {
          // A line end in a string is layout, not part of its value.
          if (out.back() == '\r') out.pop_back();
          continue;
        }
        if (c == '\\' && quote == '\'') {
          if (cct_scan::PassEscape(in, [&out](char kept) { out += kept; }) != Outcome::kDone)
            return std::string();
          continue;
        }
        out += static_cast<char>(c);
        if (c != quote) continue;
        if (quote == '\'') {
          int next = file.GetChar();
          if (next == '\'') {
            out += '\'';
            continue;
          }
          file.Unput(next);
        }
        break;
      }
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ';' && depth <= 0) break;
    out += static_cast<char>(c);
  }
  // Keywords are upper case in an exchange file; ASCII only, whatever the locale. The record's
  // own keyword stays as written: turned to upper case, a known entity's name in the wrong case
  // would be read as that entity when the save is opened again, and a save would not be a
  // fixed point.
  Walk(
      out,
      [&out](size_t begin, size_t end, int depth) {
        if (depth > 0 && end < out.size() && out[end] == '(')
          for (size_t i = begin; i < end; ++i) out[i] = cct_AsciiUpper(out[i]);
      },
      [](std::string_view) {});
  return out;
}

void cct_SkipBlanks(cct_InputFile& file) {
  auto in = cct_scan::ReadFrom(file);
  cct_scan::PassLayout(in);
}

std::string cct_ReadWord(cct_InputFile& file) {
  std::string word;
  for (;;) {
    int c = file.GetChar();
    if (cct_scan::IsWordChar(c) || c == '-') {
      word += static_cast<char>(c);
      continue;
    }
    if (c != 0) file.Unput(c);
    return word;
  }
}

bool cct_ReadRawSection(cct_InputFile& file, const std::string& keyword, std::string& text) {
  // Anchors and references may hold strings, signatures only their own characters; a comment
  // or a string may mention ENDSEC without ending the section.
  text = keyword;
  std::string word;
  for (;;) {
    int c = file.GetChar();
    if (c == 0) return false;
    text += static_cast<char>(c);
    const bool comment = c == '*' && text.size() >= 2 && text[text.size() - 2] == '/';
    if (c == '\'' || comment) {
      cct_scan::KeepingReader<cct_scan::FileReader<cct_InputFile>> in{cct_scan::ReadFrom(file), &text};
      if ((comment ? cct_scan::PassComment(in) : cct_scan::PassString(in)) != Outcome::kDone)
        return false;
      word.clear();
      continue;
    }
    if ((c >= 'A' && c <= 'Z') || c == '_') {
      word += static_cast<char>(c);
      continue;
    }
    if (word == "ENDSEC") {
      while (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        c = file.GetChar();
        if (c == 0) return false;
        text += static_cast<char>(c);
      }
      if (c == ';') return true;
    }
    word.clear();
  }
}
