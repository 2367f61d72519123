// Case changes of the exchange-file texts: keywords, enumeration values and header entity names.
// Only A-Z and a-z change. std::toupper follows the process locale, and the desktop adopts the
// user's: under a Turkish locale it leaves 'i' as it is (its capital is the dotted I, which is no
// single byte), so a file would be written with "DATE_AND_TiME" and no reader would know it.
#ifndef CCT_ASCII_H
#define CCT_ASCII_H

inline char cct_AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char cct_AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

#endif
