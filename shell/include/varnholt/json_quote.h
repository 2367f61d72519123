// A text as a JSON string, for the JSON documents the shell and the libraries above it write.
#ifndef VARNHOLT_JSON_QUOTE_H
#define VARNHOLT_JSON_QUOTE_H

#include <string>

namespace varnholt {

/// `text` in quotes, with what JSON does not take as it stands escaped.
inline std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static const char* hex = "0123456789abcdef";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace varnholt

#endif
