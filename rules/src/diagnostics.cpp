// The log read back into messages, and the JSON and SARIF documents written from them.
#include "varnholt/diagnostics.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>

#include "cct/errlog.h"
#include "varnholt/apptexts.h"
#include "varnholt/navigation.h"

namespace varnholt {

namespace {

bool Starts(const std::string& s, const char* start) { return s.rfind(start, 0) == 0; }

bool AllStars(const std::string& s) { return s.size() >= 10 && s.find_first_not_of('*') == std::string::npos; }

// The category whose text follows the prefix; the longest text that fits, as one category's
// text may begin another's.
int Category(const std::string& rest) {
  int best = 0;
  size_t bestLength = 0;
  for (int n = 1; n <= 21; ++n) {
    const char* text = cct_ErrorLog::CategoryText(n);
    const size_t length = std::strlen(text);
    if (length > bestLength && rest.compare(0, length, text) == 0) {
      best = n;
      bestLength = length;
    }
  }
  return best;
}

void Finish(Message& m) {
  const LogTarget target = FindLogTarget(m.text);
  m.line = target.line;
  static const std::regex kInstance("in instance ([0-9]+)");
  static const std::regex kAttribute("[A-Za-z0-9_]+::([A-Za-z0-9_]+)");
  std::smatch match;
  if (std::regex_search(m.text, match, kInstance))
    m.instance = std::atol(match[1].str().c_str());
  else if (!target.name.empty())
    m.instance = std::atol(target.name.c_str());
  if (std::regex_search(m.text, match, kAttribute)) m.attribute = match[1].str();
}

// JSON text of a string: quotes, backslashes and control characters escaped, and bytes that
// are no UTF-8 (a file may hold any) replaced, so that the document always parses.
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\t') {
        out += "\\t";
      } else if (c == '\r') {
        out += "\\r";
      } else if (c < 0x20 || c == 0x7f) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        out += buffer;
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    int length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
    if (c >= 0xf5) length = 0;
    bool valid = length > 0 && i + length <= s.size();
    for (int k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(s[i + k]) & 0xc0) == 0x80;
    if (valid && length == 3) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      valid = !(c == 0xe0 && d < 0xa0) && !(c == 0xed && d >= 0xa0);
    }
    if (valid && length == 4) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      valid = !(c == 0xf0 && d < 0x90) && !(c == 0xf4 && d >= 0x90);
    }
    if (!valid) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    out.append(s, i, length);
    i += length;
  }
  return out + "\"";
}

std::string Count(long n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string OrNull(long n) { return n > 0 ? std::to_string(n) : "null"; }
std::string OrNull(const std::string& s) { return s.empty() ? "null" : Quote(s); }

// A path as a URI reference: what is no unreserved character or slash is percent-encoded.
std::string Uri(const std::string& path) {
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("-._~/", c)) {
      out += static_cast<char>(c);
    } else {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    }
  }
  return out;
}

std::string CoreRuleId(int category) { return "core." + std::to_string(category); }

}  // namespace

std::vector<Message> ParseLog(const std::string& log) {
  std::vector<Message> messages;
  std::istringstream in(log);
  std::string line;
  bool banner = false, open = false;
  auto close = [&] {
    if (open) Finish(messages.back());
    open = false;
  };
  while (std::getline(in, line)) {
    if (AllStars(line)) {
      close();
      banner = !banner;
      continue;
    }
    if (banner) continue;
    if (line.empty()) {
      close();
      continue;
    }
    const bool warning = Starts(line, "Warning: "), error = Starts(line, "Error: ");
    if (warning || error || !open) {
      close();
      Message m;
      m.text = line;
      if (warning || error) {
        m.error = error;
        const int n = Category(line.substr(error ? 7 : 9));
        m.category = n == 0 ? 0 : error ? n + 256 : n;
      } else {
        // A report without the usual head: the reader's own messages say "Error" or "aborting".
        m.error = line.find("rror") != std::string::npos || line.find("aborting") != std::string::npos ||
                  line.find("BUG") != std::string::npos;
      }
      messages.push_back(std::move(m));
      open = true;
      continue;
    }
    messages.back().text += "\n" + line;
  }
  close();
  return messages;
}

FileDiagnostics Diagnose(const std::string& path, bool opened, const std::string& log, const rules::Report* report) {
  FileDiagnostics file;
  file.path = path;
  file.opened = opened;
  file.messages = ParseLog(log);
  if (report) {
    file.ruled = true;
    file.rulesEvaluated = static_cast<long>(report->evaluated.size());
    file.notEvaluated = report->notEvaluated;
    file.unevaluated = report->unevaluated;
    file.simulated = report->simulated;
    for (const rules::Finding& f : report->findings) {
      Message m;
      m.error = f.severity == rules::Severity::Error;
      m.text = rules::FindingText(f);
      m.line = f.line;
      m.instance = f.instance;
      m.attribute = f.attribute;
      m.rule = f.rule;
      file.messages.push_back(std::move(m));
      ++file.findings;
    }
  }
  for (const Message& m : file.messages) (m.error ? file.errors : file.warnings) += 1;
  return file;
}

bool FailsOn(const FileDiagnostics& file, const std::string& severity) {
  if (severity == "error") return file.errors > 0;
  if (severity == "warning") return file.errors + file.warnings > 0;
  return false;
}

std::string SummaryLine(const FileDiagnostics& file) {
  return file.path + ": " + Count(file.errors, "error", "errors") + ", " + Count(file.warnings, "warning", "warnings") +
         ", " + Count(file.findings, "rule finding", "rule findings");
}

std::string JsonDocument(const std::vector<FileDiagnostics>& files) {
  std::string out = "{\"files\": [";
  for (size_t i = 0; i < files.size(); ++i) {
    const FileDiagnostics& f = files[i];
    out += i ? ",\n  " : "\n  ";
    out += "{\"path\": " + Quote(f.path) + ", \"opened\": " + (f.opened ? "true" : "false") + ", \"messages\": [";
    for (size_t k = 0; k < f.messages.size(); ++k) {
      const Message& m = f.messages[k];
      out += k ? ",\n    " : "\n    ";
      out += std::string("{\"severity\": ") + (m.error ? "\"error\"" : "\"warning\"") +
             ", \"category\": " + std::to_string(m.category) + ", \"text\": " + Quote(m.text) +
             ", \"line\": " + OrNull(m.line) + ", \"instance\": " + OrNull(m.instance) +
             ", \"attribute\": " + OrNull(m.attribute) + ", \"rule\": " + OrNull(m.rule) + "}";
    }
    out += f.messages.empty() ? "]" : "\n  ]";
    if (f.ruled) {
      out += ", \"rules\": {\"evaluated\": " + std::to_string(f.rulesEvaluated) + ", \"not_evaluated\": [";
      for (size_t k = 0; k < f.notEvaluated.size(); ++k)
        out += (k ? ", " : "") + std::string("{\"rule\": ") + Quote(f.notEvaluated[k]->id) +
               ", \"reason\": " + Quote(f.notEvaluated[k]->description) + "}";
      out += "]}";
    }
    out += "}";
  }
  out += files.empty() ? "]}\n" : "\n]}\n";
  return out;
}

std::string SarifDocument(const std::vector<FileDiagnostics>& files) {
  // The rules: every rule the check evaluates, then the core's categories that were reported.
  std::vector<std::pair<std::string, std::pair<std::string, bool>>> rules;  // id, (text, error)
  std::map<std::string, size_t> index;
  bool ruled = false, simulated = false;
  for (const FileDiagnostics& f : files) {
    ruled = ruled || f.ruled;
    simulated = simulated || (f.ruled && f.simulated);
  }
  // The material-removal rules are listed only where they were asked for, so that a check
  // without them reads as it always did.
  if (ruled)
    for (const rules::Rule& r : rules::Rules())
      if (r.kind != "skip" && (simulated || !rules::OnRequest(r))) {
        index[r.id] = rules.size();
        rules.push_back({r.id, {r.description, r.severity == rules::Severity::Error}});
      }
  for (const FileDiagnostics& f : files)
    for (const Message& m : f.messages) {
      const std::string id = m.rule.empty() ? CoreRuleId(m.category) : m.rule;
      if (index.count(id)) continue;
      index[id] = rules.size();
      const int n = m.category > 256 ? m.category - 256 : m.category;
      std::string text = m.category ? cct_ErrorLog::CategoryText(n) : "a report of the reader";
      while (!text.empty() && text.back() == ' ') text.pop_back();
      rules.push_back({id, {text, m.error}});
    }
  std::string out =
      "{\"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\", \"version\": \"2.1.0\", \"runs\": [{\n"
      " \"tool\": {\"driver\": {\"name\": \"varnholt-cli\", \"version\": " +
      Quote(kVersion) + ", \"rules\": [";
  for (size_t i = 0; i < rules.size(); ++i)
    out += std::string(i ? ",\n  " : "\n  ") + "{\"id\": " + Quote(rules[i].first) +
           ", \"shortDescription\": {\"text\": " + Quote(rules[i].second.first) +
           "}, \"fullDescription\": {\"text\": " + Quote(rules[i].second.first) +
           "}, \"defaultConfiguration\": {\"level\": " + (rules[i].second.second ? "\"error\"" : "\"warning\"") + "}}";
  out += "]}},\n \"artifacts\": [";
  for (size_t i = 0; i < files.size(); ++i)
    out += std::string(i ? ", " : "") + "{\"location\": {\"uri\": " + Quote(Uri(files[i].path)) + "}}";
  out += "],\n \"results\": [";
  bool first = true;
  for (size_t i = 0; i < files.size(); ++i)
    for (const Message& m : files[i].messages) {
      const std::string id = m.rule.empty() ? CoreRuleId(m.category) : m.rule;
      out += first ? "\n  " : ",\n  ";
      first = false;
      out += "{\"ruleId\": " + Quote(id) + ", \"ruleIndex\": " + std::to_string(index[id]) +
             ", \"level\": " + (m.error ? "\"error\"" : "\"warning\"") + ", \"message\": {\"text\": " + Quote(m.text) +
             "}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " + Quote(Uri(files[i].path)) +
             ", \"index\": " + std::to_string(i) + "}";
      if (m.line > 0) out += ", \"region\": {\"startLine\": " + std::to_string(m.line) + "}";
      out += "}}]}";
    }
  out += first ? "]\n}]}\n" : "\n ]\n}]}\n";
  return out;
}

}  // namespace varnholt
