// The subcommands of varnholt-cli, one entry each. A new subcommand is a new entry here, with
// its function here or in a file of its own, and a paragraph in the manual page's COMMANDS;
// the usage text, `help`, the manual's synopsis and the bash completion follow from the entry.
#include <iostream>
#include <string>

#include "command_table.h"
#include "commands.h"
#include "varnholt/apptexts.h"
#include "varnholt/scene_render.h"

namespace cli {

const char* const kProgram = "varnholt-cli";

const char* const kDescription =
    "\n"
    "Opens ISO 10303-21 exchange files of the ISO 14649 (STEP-NC) combined schema for milling\n"
    "and turning, reads and checks every instance, and reports every warning and error.\n"
    "\n";

const char* const kEpilogue =
    "\n"
    "Exit status: 0 success, 1 a file could not be opened or written or an edit was refused, 2 usage error,\n"
    "3 check or simulate --fail-on found a message or finding of that severity.\n"
    "The saved time stamp is the current time in UTC, or the instant SOURCE_DATE_EPOCH names.\n";

namespace {

Verdict ThreadCount(const std::string& value) {
  if (ParseThreadCount(value) > 0) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no number of threads: -j takes a whole number from 1 up");
}

Verdict FormatName(const std::string& value) {
  if (value == "text" || value == "json" || value == "sarif") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no format: text, json or sarif");
}

Verdict Severity(const std::string& value) {
  if (value == "error" || value == "warning") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no severity: error or warning");
}

Verdict ViewName(const std::string& value) {
  if (ParseView(value)) return Verdict::Accept();
  return Verdict::Refuse("\"" + value + "\" is no view: top, front, side or iso");
}

Verdict PictureSize(const std::string& value) {
  int width = 0, height = 0;
  if (ParseSize(value.c_str(), width, height)) return Verdict::Accept();
  return Verdict::Refuse("\"" + value + "\" is no size: WIDTHxHEIGHT, each from 16 to " +
                         std::to_string(varnholt::kMaxPictureSide));
}

Verdict KnownCommand(const std::string& value) {
  if (FindCommand(Commands(), value)) return Verdict::Accept();
  std::string names;
  const std::vector<Command>& commands = Commands();
  for (size_t i = 0; i < commands.size(); ++i)
    names += std::string(i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i].name;
  return Verdict::Misuse("\"" + value + "\" is no subcommand: " + names);
}

int Help(const Arguments& arguments) {
  if (arguments.positional.empty())
    std::cout << UsageText(Commands());
  else
    std::cout << CommandHelp(*FindCommand(Commands(), arguments.positional[0]));
  return 0;
}

int Usage(const Arguments&) {
  std::cout << UsageText(Commands());
  return 0;
}

int Version(const Arguments&) {
  std::cout << kProgram << " " << varnholt::kVersion << "\n";
  return 0;
}

const Positional kFile{"FILE", Completion::File};
const Positional kOut{"OUT", Completion::File};
const Positional kInstance{"N", Completion::None};

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"check", {},
       {"FILE...", "[-j N] [--rules [--simulate]] [--format text|json|sarif] [--fail-on error|warning]\n"
                   "                                FILE..."},
       "check FILE...",
       "open each file and print its log to standard output\n"
       "-j N           check N files at a time on as many threads (default 1); the\n"
       "               logs come in the order of the files, as they do without -j\n"
       "--rules        also check the rules of the data model and the CNC preflight;\n"
       "               the findings follow each log under one heading, then a line\n"
       "               naming the rules not evaluated; several files end with a\n"
       "               summary line each\n"
       "--simulate     with --rules, also run the project's program on its\n"
       "               workpiece's stock (as simulate does) and report its findings\n"
       "               as the rules simulate.rapid_into_material,\n"
       "               simulate.shank_in_material, simulate.gouge (errors) and\n"
       "               simulate.material_left (warning), each on its workingstep\n"
       "--format F     text (the default), json (one document, see diagnostics.md)\n"
       "               or sarif (SARIF 2.1.0)\n"
       "--fail-on S    exit status 3 when a message of severity S (error or\n"
       "               warning) or worse was made\n",
       {kFile}, 1, true, false,
       {{"-j", "N", {}, ThreadCount},
        {"--rules", nullptr, {}, nullptr},
        {"--simulate", nullptr, {}, nullptr},
        {"--format", "text|json|sarif", {"text", "json", "sarif"}, FormatName},
        {"--fail-on", "error|warning", {"error", "warning"}, Severity}},
       Check},
      {"convert", {},
       {"IN OUT"},
       "convert IN OUT",
       "open IN and save it as OUT; the log goes to standard error\n",
       {{"IN", Completion::File}, kOut}, 2, false, false,
       {},
       Convert},
      {"tree", {},
       {"FILE"},
       "tree FILE",
       "open FILE and print the instance tree the desktop program shows,\n"
       "two blanks of indentation per level; the log goes to standard error\n",
       {kFile}, 1, false, false,
       {},
       Tree},
      {"refs", {},
       {"FILE N"},
       "refs FILE N",
       "print one line \"#M ATTRIBUTE\" (\"#M ATTRIBUTE[i]\" for the i-th element\n"
       "of a list) per reference to #N, sorted by M; \"(record)\" stands for\n"
       "a record the schema does not know, \"(parameter K)\" for the K-th\n"
       "parameter of a record beyond its entity's attributes\n",
       {kFile, kInstance}, 2, false, false,
       {},
       Refs},
      {"find", {},
       {"FILE [--type ENTITY] [--text TEXT] [--unreached]"},
       "find FILE ...",
       "print \"#M=entity\" for every instance that matches all conditions:\n"
       "--type ENTITY  of that entity or one of its subtypes\n"
       "--text TEXT    a string value contains TEXT (ignoring case)\n"
       "--unreached    no path of references from a project reaches it\n",
       {kFile}, 1, false, false,
       {{"--type", "ENTITY", {}, nullptr}, {"--text", "TEXT", {}, nullptr}, {"--unreached", nullptr, {}, nullptr}},
       Find},
      {"show", {},
       {"FILE N"},
       "show FILE N",
       "print the line of the file where #N is defined, then its record as\n"
       "a save writes it\n",
       {kFile, kInstance}, 2, false, false,
       {},
       Show},
      {"edit", {},
       {"IN OUT [--set '#N.attr=VALUE' | --set '#N.attr[i]=VALUE' |\n"
        "                                 --unset '#N.attr']..."},
       "edit IN OUT",
       "open IN, apply the edits in order and save the result as OUT like\n"
       "convert; attributes are named as the tree shows them, elements\n"
       "counted from 1; INTEGER a whole number, REAL a decimal number with a\n"
       "point, STRING any text, BOOLEAN, LOGICAL and enumerations by value name;\n"
       "--unset makes a value $ (with a warning when it is not OPTIONAL); a\n"
       "refused edit is named on standard error, nothing is written, status 1\n",
       {{"IN", Completion::File}, kOut}, 2, false, false,
       {{"--set", "'#N.attr=VALUE'", {}, nullptr}, {"--unset", "'#N.attr'", {}, nullptr}},
       Edit},
      {"render", {},
       {"FILE OUT [--view top|front|side|iso] [--size WxH] [--generated|--no-generated]\n"
        "                             [--stock [--until WORKINGSTEP]]"},
       "render FILE OUT",
       "open FILE, draw its workpiece, features, toolpaths and security planes\n"
       "and write the picture to OUT, as SVG when OUT ends in .svg, as PNG\n"
       "when it ends in .png, as a set-up sheet to print when it ends in .pdf\n"
       "(an A4 landscape page: the file's name, the view, its scale bar);\n"
       "--view top, front, side or iso (the default), --size WIDTHxHEIGHT in\n"
       "pixels (default 1200x900; not for .pdf); the log, with what could not\n"
       "be drawn, goes to standard output; OUT is replaced only once the\n"
       "picture is complete; status 1 also for another extension, a view or\n"
       "size not of these forms; a workingstep whose operation gives no\n"
       "toolpaths is drawn with the ones generated from its feature (dashed,\n"
       "rapid moves thin), --no-generated draws the file's toolpaths only\n"
       "--stock       also draw the stock after the program, as simulate leaves\n"
       "              it (at a resolution of its largest side over 400, 0.1 mm\n"
       "              at least), shaded under the toolpaths, its gouges in red,\n"
       "              material left in a light shade of the colour of the\n"
       "              workingstep that last machines its feature; what cannot\n"
       "              be simulated is refused (status 1)\n"
       "--until WS    with --stock, the stock after the workingstep WS (#N or\n"
       "              its its_id)\n",
       {kFile, kOut}, 2, false, false,
       {{"--view", "top|front|side|iso", {"top", "front", "side", "iso"}, ViewName},
        {"--size", "WxH", {}, PictureSize},
        {"--generated", nullptr, {}, nullptr},
        {"--no-generated", nullptr, {}, nullptr},
        {"--stock", nullptr, {}, nullptr},
        {"--until", "WORKINGSTEP", {}, nullptr}},
       Render},
      {"scene", {},
       {"FILE [--format text|json] [--units si|shop] [--tolerance MM]"},
       "scene FILE",
       "open FILE and print the moves of each workingstep of its project in\n"
       "machining order, from the toolpaths the file gives or generated from\n"
       "the feature where it gives none, in the coordinates of the setup;\n"
       "a workingstep left without moves says why (also in the log)\n"
       "--format F     text (the default: one line per workingstep) or json\n"
       "               (the moves themselves, see scene.md; the log then goes\n"
       "               to standard error)\n"
       "--units U, --tolerance MM  as for gcode\n",
       {kFile}, 1, false, false,
       {{"--format", "text|json", {"text", "json"}, SceneFormat},
        {"--units", "si|shop", {"si", "shop"}, UnitsName},
        {"--tolerance", "MM", {}, Tolerance}},
       Scene},
      {"gcode", {},
       {"FILE OUT [--dialect linuxcnc|fanuc] [--tolerance MM] [--tool-table FILE]\n"
        "                                   [--units si|shop] [--map OUT.json] [--allow-partial]\n"
        "                                   [--accept-implausible]"},
       "gcode FILE OUT",
       "open FILE and write the program of its project as G-code to OUT:\n"
       "per workingstep in machining order a comment naming it, the tool\n"
       "change (up to the machine's top first, T M6, G43 H), spindle (S, M3\n"
       "for a right-hand tool, M4 for a left-hand one, else by the sign of\n"
       "the speed), coolant (M7, M8, M9), the feed in mm/min and the moves\n"
       "(G0, G1, G2/G3 for arcs in a principal plane, other curves as G1\n"
       "chords, G4 dwells), in mm (G21), absolute (G90), each setup's\n"
       "coordinates under its own work offset (G54, G55, ...); the moves are\n"
       "those of scene, plain, without canned cycles\n"
       "--dialect D   linuxcnc (the default; G91.1 for arc centres) or fanuc\n"
       "              (% lines, an O number)\n"
       "--tolerance MM  how far chords may lie from their curve (0.001)\n"
       "--tool-table FILE  tool numbers from a LinuxCNC tool table, matched\n"
       "              by the tool's its_id in the comment after ';'; others are\n"
       "              numbered in order of first use\n"
       "--units U     read feeds and speeds as si (mm/s, m/s, rev/s) or shop\n"
       "              (mm/min, m/min, rpm); without it the file's cutting and\n"
       "              spindle speeds decide, and the choice and its reason are\n"
       "              printed in the program and on standard error\n"
       "--map OUT.json  for every line the workingstep, operation and toolpath\n"
       "              it came from\n"
       "--allow-partial  write what can be written and list the rest; without\n"
       "              it a workingstep that cannot be written (more than three\n"
       "              axes, a tool without a diameter, no spindle speed or feed)\n"
       "              writes nothing, status 1; OUT is replaced only once complete;\n"
       "              the log goes to standard output\n"
       "--accept-implausible  write feeds and speeds as given where they are\n"
       "              implausible (a feed below 1 mm/min or above 100 m/min, a\n"
       "              spindle above 60000 rpm, a cutting speed above 2000 m/min,\n"
       "              a feed per tooth above 2 mm); without it such a workingstep\n"
       "              writes nothing, status 1\n",
       {kFile, kOut}, 2, false, false,
       {{"--dialect", "linuxcnc|fanuc", {"linuxcnc", "fanuc"}, DialectName},
        {"--tolerance", "MM", {}, Tolerance},
        {"--tool-table", "FILE", {}, nullptr, Completion::File},
        {"--units", "si|shop", {"si", "shop"}, UnitsName},
        {"--map", "OUT.json", {}, nullptr, Completion::File},
        {"--allow-partial", nullptr, {}, nullptr},
        {"--accept-implausible", nullptr, {}, nullptr}},
       Gcode},
      {"simulate", {},
       {"FILE [--resolution MM] [--format text|json] [--stl OUT.stl] [--until WORKINGSTEP]\n"
        "                                  [--fail-on error|warning] [--units si|shop]"},
       "simulate FILE",
       "open FILE and run the program of its project (the moves of scene, the\n"
       "workingsteps gcode writes) on its workpiece's stock, a block or a\n"
       "cylinder, setups one after another on the same stock: per workingstep\n"
       "the volume removed, the largest axial and radial engagement and the\n"
       "removal rate; per feature its volume, what was removed and what is\n"
       "left; findings: rapid_into_material, shank_in_material, gouge (errors)\n"
       "and material_left (warning), each at its worst place with its move\n"
       "and G-code line (see simulate.md); then the stock's volume before\n"
       "and after\n"
       "--resolution MM  the spacing of the stock's rays (0.1 up to a stock of\n"
       "              300 mm, coarser beyond); a stock that would take more\n"
       "              than 2 GiB is refused, status 1\n"
       "--format F    text (the default) or json (the log then goes to\n"
       "              standard error)\n"
       "--stl OUT.stl the stock after the program (or after --until) as a\n"
       "              closed binary STL\n"
       "--until WS    stop after the workingstep WS (#N or its its_id)\n"
       "--fail-on S   status 3 when a finding of severity S or worse is made\n"
       "--units U     as for gcode\n",
       {kFile}, 1, false, false,
       {{"--resolution", "MM", {}, Resolution},
        {"--format", "text|json", {"text", "json"}, SceneFormat},
        {"--stl", "OUT.stl", {}, nullptr, Completion::File},
        {"--until", "WORKINGSTEP", {}, nullptr},
        {"--fail-on", "error|warning", {"error", "warning"}, Severity},
        {"--units", "si|shop", {"si", "shop"}, UnitsName}},
       Simulate},
      {"time", {},
       {"FILE [--format text|json] [--rapid MM_PER_MIN] [--tool-change SECONDS]\n"
        "                              [--units si|shop] [--tolerance MM]"},
       "time FILE",
       "open FILE and print per workingstep of its project the cutting and\n"
       "rapid length, the feed rates, the cutting, rapid and tool change time\n"
       "and the total, then the program's total; times are length / feed over\n"
       "the moves scene gives, without acceleration; a workingstep the G-code\n"
       "leaves out is listed with why and counts nothing, one with implausible\n"
       "feeds or speeds is marked !\n"
       "--rapid R     the rapid rate in mm/min (5000)\n"
       "--tool-change S  seconds per tool change (5)\n"
       "--units U, --tolerance MM  as for gcode\n"
       "--format F    text (the default) or json (the log then goes to\n"
       "              standard error)\n",
       {kFile}, 1, false, false,
       {{"--format", "text|json", {"text", "json"}, SceneFormat},
        {"--rapid", "MM_PER_MIN", {}, Rate},
        {"--tool-change", "SECONDS", {}, Seconds},
        {"--units", "si|shop", {"si", "shop"}, UnitsName},
        {"--tolerance", "MM", {}, Tolerance}},
       Time},
      {"table", {},
       {"FILE --type ENTITY [--format csv|xlsx] [-o OUT]",
        "FILE --all [--format csv|xlsx] -o OUT"},
       "table FILE",
       "open FILE and write the instances of ENTITY and its subtypes as a\n"
       "table in file order: the instance, its type, then one column per\n"
       "attribute of ENTITY (inherited ones first; a subtype's own are left\n"
       "out); values as the tree shows them, reals exact, references as\n"
       "\"#N type\", lists as a save writes them, a parameter kept as written\n"
       "as written, unset values empty; no instances: the header row only\n"
       "--type ENTITY  the entity (an unknown one is refused, status 1)\n"
       "--all         one table per entity that occurs, each of the instances\n"
       "              of exactly that entity: a sheet each in an xlsx workbook\n"
       "              (names cut to 31 characters), or ENTITY.csv each in the\n"
       "              folder -o names (made when missing)\n"
       "--format F    csv (RFC 4180: UTF-8, CR LF; the default) or xlsx (the\n"
       "              default when OUT ends in .xlsx; needs -o)\n"
       "-o OUT        write to OUT (replaced only once complete) instead of\n"
       "              standard output; the log goes to standard error\n",
       {kFile}, 1, false, false,
       {{"--type", "ENTITY", {}, KnownEntity},
        {"--all", nullptr, {}, nullptr},
        {"--format", "csv|xlsx", {"csv", "xlsx"}, TableFormatName},
        {"-o", "OUT", {}, nullptr, Completion::File}},
       Table},
      {"diff", {},
       {"A B [--format text|json] [--tolerance X]"},
       "diff A B",
       "open A and B and print what differs, matched by structure rather than\n"
       "by instance number: from the projects down, each reference pairs the\n"
       "instances it leads to (lists of named elements by their its_id, so a\n"
       "reordered workplan is a move), the rest by type and content; one\n"
       "difference per change (path from the project, attribute, old and new\n"
       "value), move, removed or added instance; status 0 when they are the\n"
       "same, 1 when not, 2 when a file cannot be opened (its log on standard\n"
       "error)\n"
       "--format F    text (the default) or json\n"
       "--tolerance X reals that differ by at most X are equal (default 0: the\n"
       "              same double)\n",
       {{"A", Completion::File}, {"B", Completion::File}}, 2, false, false,
       {{"--format", "text|json", {"text", "json"}, DiffFormat},
        {"--tolerance", "X", {}, DiffTolerance}},
       Diff},
      {"help", {},
       {"[SUBCOMMAND]"},
       "help SUBCOMMAND",
       "show the part of this text about SUBCOMMAND (all of it without one), as\n"
       "SUBCOMMAND --help does\n",
       {{"SUBCOMMAND", Completion::Command, KnownCommand}}, 0, false, false,
       {},
       Help},
      {"--help", {"-h"}, {}, "--help", "show this text\n", {}, 0, false, true, {}, Usage},
      {"--version", {}, {}, "--version", "show the version\n", {}, 0, false, true, {}, Version},
  };
  return commands;
}

}  // namespace cli
