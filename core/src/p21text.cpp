#include "cct/p21text.h"

#include <cstddef>

namespace {

// ISO 8859-2 from 0xA0 on.
constexpr char16_t kLatin2[96] = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

// ISO 8859-15 is part 1 but for these eight places.
constexpr struct {
  unsigned char byte;
  char16_t code;
} kLatin9[] = {{0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
               {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};

bool KnownPart(int part) {
  return part == 1 || part == 2 || part == 15;
}

// The character of `byte` in ISO 8859 part `part` (a known one). Below 0xA0 all parts agree.
char32_t FromIso8859(int part, unsigned byte) {
  if (byte < 0xA0) return byte;
  if (part == 2) return kLatin2[byte - 0xA0];
  if (part == 15)
    for (const auto& s : kLatin9)
      if (s.byte == byte) return s.code;
  return byte;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The length of the valid UTF-8 sequence of two to four bytes at `i`, with its character in `c`;
// 0 for anything else (ASCII included). Overlong forms, surrogates and characters beyond
// U+10FFFF are not valid.
size_t Utf8At(std::string_view text, size_t i, char32_t& c) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  size_t length;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned b = byte(i + k);
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  return length;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char kHexDigits[] = "0123456789ABCDEF";

void PutHex(std::ostream& out, unsigned long value, int digits) {
  char text[8];
  for (int k = digits - 1; k >= 0; --k, value >>= 4) text[k] = kHexDigits[value & 0xF];
  out.write(text, digits);
}

std::string CodeText(char32_t c) {
  std::string text = "U+";
  for (int shift = c > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4)
    text += kHexDigits[(c >> shift) & 0xF];
  return text;
}

// Whether the backslash at `i` is followed by the rest of \N\ or \F\ (any case).
bool StartsPair(std::string_view text, size_t i) {
  if (i + 2 >= text.size() || text[i + 2] != '\\') return false;
  const char letter = text[i + 1];
  return letter == 'N' || letter == 'n' || letter == 'F' || letter == 'f';
}

class Decoder {
 public:
  Decoder(std::string_view body, std::vector<std::string>* problems)
      : body_(body), problems_(problems) {}

  std::string Run() {
    out_.reserve(body_.size());
    size_t i = 0;
    while (i < body_.size()) {
      // Everything up to the next apostrophe or backslash is taken as it is.
      const size_t special = body_.find_first_of("'\\", i);
      const size_t stop = special == std::string_view::npos ? body_.size() : special;
      out_.append(body_.data() + i, stop - i);
      i = stop;
      if (i == body_.size()) break;
      if (body_[i] == '\'') {
        out_.push_back('\'');
        i += At(i + 1) == '\'' ? 2 : 1;
        continue;
      }
      if (At(i + 1) == '\\') {
        // The \N\ and \F\ pairs (with doubled backslashes) vanish; otherwise a doubled
        // backslash is one backslash and never starts a directive.
        const char letter = At(i + 2);
        if ((letter == 'N' || letter == 'n' || letter == 'F' || letter == 'f') &&
            At(i + 3) == '\\' && At(i + 4) == '\\') {
          i += 5;
          continue;
        }
        out_.push_back('\\');
        i += 2;
        continue;
      }
      const size_t used = Directive(i);
      if (used == 0) {
        out_.push_back('\\');
        ++i;
      } else {
        i += used;
      }
    }
    return std::move(out_);
  }

 private:
  char At(size_t i) const { return i < body_.size() ? body_[i] : '\0'; }
  bool Starts(size_t i, std::string_view what) const {
    return body_.compare(i, what.size(), what) == 0;
  }

  void Report(std::string text) {
    if (problems_) problems_->push_back(std::move(text));
  }

  // A malformed directive: reported and kept in the text exactly as written.
  size_t Keep(size_t i, size_t length, const char* why) {
    const std::string_view written = body_.substr(i, length);
    std::string shown(written.substr(0, 40));
    if (written.size() > shown.size()) shown += "...";
    Report("Malformed directive " + shown + " in a string (" + why + "); kept as written");
    out_.append(written.data(), written.size());
    return length;
  }

  // The directive at the backslash `i`: decodes it and answers its length, or 0 when none
  // starts there.
  size_t Directive(size_t i) {
    if (Starts(i, "\\S\\")) {
      // The character after \S\ stands for itself + 128; an apostrophe or a backslash may come
      // doubled as everywhere else in a string.
      const unsigned char c = static_cast<unsigned char>(At(i + 3));
      if (c < 0x20 || c > 0x7E) return Keep(i, 3, "a printable character must follow");
      AppendUtf8(out_, FromIso8859(part_, c + 0x80u));
      return (c == '\'' || c == '\\') && At(i + 4) == static_cast<char>(c) ? 5 : 4;
    }
    if (At(i + 1) == 'P' && At(i + 2) >= 'A' && At(i + 2) <= 'Z' && At(i + 3) == '\\') {
      const int part = At(i + 2) - 'A' + 1;
      part_ = KnownPart(part) ? part : 1;
      if (!KnownPart(part))
        Report("Directive " + std::string(body_.substr(i, 4)) + " selects ISO 8859-" +
               std::to_string(part) + ", which is not known; read as ISO 8859-1");
      return 4;
    }
    if (Starts(i, "\\X\\")) {
      const int high = HexValue(At(i + 3));
      const int low = high < 0 ? -1 : HexValue(At(i + 4));
      if (low < 0) return Keep(i, 3, "two hex digits must follow");
      const unsigned byte = static_cast<unsigned>(high * 16 + low);
      if (byte == 0) return Keep(i, 5, "U+0000 is no valid character");
      AppendUtf8(out_, FromIso8859(part_, byte));
      return 5;
    }
    if (Starts(i, "\\X2\\") || Starts(i, "\\X4\\")) return Wide(i, At(i + 2) == '2' ? 4 : 8);
    return 0;
  }

  // \X2\ or \X4\ at `i`: groups of `width` hex digits up to \X0\.
  size_t Wide(size_t i, size_t width) {
    const size_t first = i + 4;
    size_t end = first;
    while (end < body_.size() && HexValue(body_[end]) >= 0) ++end;
    if (!Starts(end, "\\X0\\")) return Keep(i, end - i, "no \\X0\\ ends it");
    const size_t length = end + 4 - i;
    if ((end - first) % width != 0)
      return Keep(i, length,
                  width == 4 ? "the number of hex digits is no multiple of 4"
                             : "the number of hex digits is no multiple of 8");
    std::string decoded;
    for (size_t k = first; k < end; k += width) {
      char32_t c = 0;
      for (size_t d = 0; d < width; ++d)
        c = (c << 4) | static_cast<char32_t>(HexValue(body_[k + d]));
      if (width == 4 && c >= 0xD800 && c <= 0xDBFF && k + 8 <= end) {
        // A high surrogate takes the low one that follows it.
        char32_t low = 0;
        for (size_t d = 4; d < 8; ++d)
          low = (low << 4) | static_cast<char32_t>(HexValue(body_[k + d]));
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          k += 4;
        }
      }
      if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return Keep(i, length, (CodeText(c) + " is no valid character").c_str());
      AppendUtf8(decoded, c);
    }
    out_ += decoded;
    return length;
  }

  std::string_view body_;
  std::vector<std::string>* problems_;
  std::string out_;
  int part_ = 1;  // every string starts in ISO 8859-1
};

}  // namespace

std::string cct_DecodeP21Text(std::string_view body, std::vector<std::string>* problems) {
  return Decoder(body, problems).Run();
}

void cct_WriteP21Text(std::ostream& out, std::string_view text) {
  // Runs of printable ASCII other than apostrophe and backslash go out whole.
  size_t run = 0;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b >= 0x20 && b < 0x7F && b != '\'' && b != '\\') {
      ++i;
      continue;
    }
    out.write(text.data() + run, static_cast<std::streamsize>(i - run));
    char32_t c = 0;
    size_t length = 0;
    if (b == '\\' && StartsPair(text, i)) {
      // Doubled, this backslash would start a \N\ or \F\ pair, which reading drops.
      out << "\\X\\5C";
      ++i;
    } else if (b == '\'' || b == '\\') {
      out.put(static_cast<char>(b)).put(static_cast<char>(b));
      ++i;
    } else if (b < 0x80) {
      out << "\\X\\";
      PutHex(out, b, 2);
      ++i;
    } else if ((length = Utf8At(text, i, c)) == 0) {
      out.put(static_cast<char>(b));  // no UTF-8: the byte goes out as it came in
      ++i;
    } else {
      const bool beyondBasicPlane = c > 0xFFFF;
      out << (beyondBasicPlane ? "\\X4\\" : "\\X2\\");
      do {
        PutHex(out, c, beyondBasicPlane ? 8 : 4);
        i += length;
      } while (i < text.size() && (length = Utf8At(text, i, c)) != 0 &&
               (c > 0xFFFF) == beyondBasicPlane);
      out << "\\X0\\";
    }
    run = i;
  }
  out.write(text.data() + run, static_cast<std::streamsize>(i - run));
}
