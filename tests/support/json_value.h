// A small JSON reader for tests: enough to walk the documents the programs print.
#ifndef VARNHOLT_TEST_JSON_VALUE_H
#define VARNHOLT_TEST_JSON_VALUE_H

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    static const Json none;
    auto it = members.find(key);
    return it == members.end() ? none : it->second;
  }
  bool Has(const std::string& key) const { return members.count(key) > 0; }

  /// The document, or a value of kind Null with ok false when it does not parse whole.
  static Json Parse(const std::string& s, bool& ok) {
    size_t i = 0;
    ok = true;
    Json v = Value(s, i, ok);
    Blank(s, i);
    if (i != s.size()) ok = false;
    return v;
  }

 private:
  static void Blank(const std::string& s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\t' || s[i] == '\r')) ++i;
  }
  static bool Word(const std::string& s, size_t& i, const char* w) {
    const std::string word(w);
    if (s.compare(i, word.size(), word) != 0) return false;
    i += word.size();
    return true;
  }
  static std::string Text(const std::string& s, size_t& i, bool& ok) {
    std::string out;
    ++i;
    while (i < s.size() && s[i] != '"') {
      if (static_cast<unsigned char>(s[i]) < 0x20) ok = false;
      if (s[i] == '\\' && i + 1 < s.size()) {
        const char c = s[++i];
        if (c == 'n') out += '\n';
        else if (c == 't') out += '\t';
        else if (c == 'r') out += '\r';
        else if (c == 'u' && i + 4 < s.size()) {
          const long code = std::strtol(s.substr(i + 1, 4).c_str(), nullptr, 16);
          if (code < 0x80) out += static_cast<char>(code);
          else out += "\xef\xbf\xbd";
          i += 4;
        } else if (c == '"' || c == '\\' || c == '/') out += c;
        else ok = false;
        ++i;
        continue;
      }
      out += s[i++];
    }
    if (i >= s.size()) ok = false;
    ++i;
    return out;
  }
  static Json Value(const std::string& s, size_t& i, bool& ok) {
    Json v;
    Blank(s, i);
    if (i >= s.size()) {
      ok = false;
      return v;
    }
    const char c = s[i];
    if (c == '{') {
      v.kind = Object;
      ++i;
      Blank(s, i);
      if (i < s.size() && s[i] == '}') { ++i; return v; }
      while (ok) {
        Blank(s, i);
        if (i >= s.size() || s[i] != '"') { ok = false; break; }
        std::string key = Text(s, i, ok);
        Blank(s, i);
        if (i >= s.size() || s[i] != ':') { ok = false; break; }
        ++i;
        v.members[key] = Value(s, i, ok);
        Blank(s, i);
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == '}') { ++i; break; }
        ok = false;
      }
    } else if (c == '[') {
      v.kind = Array;
      ++i;
      Blank(s, i);
      if (i < s.size() && s[i] == ']') { ++i; return v; }
      while (ok) {
        v.items.push_back(Value(s, i, ok));
        Blank(s, i);
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == ']') { ++i; break; }
        ok = false;
      }
    } else if (c == '"') {
      v.kind = String;
      v.text = Text(s, i, ok);
    } else if (Word(s, i, "true")) {
      v.kind = Bool;
      v.boolean = true;
    } else if (Word(s, i, "false")) {
      v.kind = Bool;
    } else if (Word(s, i, "null")) {
    } else {
      char* end = nullptr;
      v.kind = Number;
      v.number = std::strtod(s.c_str() + i, &end);
      if (end == s.c_str() + i) ok = false;
      i = static_cast<size_t>(end - s.c_str());
    }
    return v;
  }
};

#endif
