// The text of STRING values as exchange files hold it. A file carries only printable ASCII in a
// string; everything beyond that travels in control directives (\S\, \P?\, \X\, \X2\ ... \X0\,
// \X4\ ... \X0\). In memory a STRING holds UTF-8, so reading decodes the directives and writing
// makes them again.
//
// Reading keeps what it cannot decode: bytes beyond ASCII that stand in a file outside any
// directive stay as they are, a backslash that starts no directive stays a backslash, and a
// malformed directive stays as it was written (and is reported). \PA\ .. \PZ\ select ISO 8859
// part 1 .. 26 for the later \S\ and \X\ of the same string; parts 1, 2 and 15 are known, any
// other decodes as part 1. The \N\ and \F\ pairs written with doubled backslashes vanish, as
// they always did.
//
// Writing puts printable ASCII out as it is (apostrophe and backslash doubled), the other
// ASCII controls and DEL as \X\hh, every valid UTF-8 character beyond ASCII in \X2\ (basic
// plane, UTF-16 code units) or \X4\ (beyond it) groups that consecutive characters share, and
// bytes that are no valid UTF-8 as they are; a backslash that, doubled, would make one of the
// vanishing pairs goes out as \X\5C instead. Reading what was written gives the text again, so a
// file is a fixed point from its second save on.
#ifndef CCT_P21TEXT_H
#define CCT_P21TEXT_H

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

/// The text of a string body as it stands between the apostrophes in a file (a doubled
/// apostrophe still doubled). Each problem met adds one report text to `problems` when given.
std::string cct_DecodeP21Text(std::string_view body, std::vector<std::string>* problems = nullptr);

/// Writes `text` as the body of a string, without the enclosing apostrophes.
void cct_WriteP21Text(std::ostream& out, std::string_view text);

#endif
