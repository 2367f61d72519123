# Writes the rules data file into a C++ source as one string: cmake -DIN=... -DOUT=... -P embed.cmake
file(READ "${IN}" text)
file(WRITE "${OUT}.tmp"
  "// Generated from schema/rules.txt by rules/embed.cmake; do not edit.\n"
  "namespace varnholt::rules {\nextern const char* const kRulesData;\n"
  "const char* const kRulesData = R\"vhrules(${text})vhrules\";\n}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
