// The functions of varnholt-cli's subcommands, each run with the words its entry in the command
// table (commands.cpp) has read, and the readers of the values the table checks. Each command
// opens its file itself; its log goes where the command's help says.
#ifndef VARNHOLT_CLI_COMMANDS_H
#define VARNHOLT_CLI_COMMANDS_H

#include <string>

#include "command_table.h"
#include "varnholt/scene.h"

class CDoc;

/// Ends a command's document. The last one of the process is left to the end of the process:
/// freeing a large population object by object takes a good part of what reading it took, and
/// the system takes the whole memory back at once. Builds with the sanitizers free it, so that
/// they check the teardown too.
void CloseDocument(CDoc* doc, bool last);

namespace cli {

/// check [-j N] FILE...: each file's log on standard output, in the order of the files.
int Check(const Arguments& arguments);
/// convert IN OUT: IN saved as OUT.
int Convert(const Arguments& arguments);
/// tree FILE: the instance tree.
int Tree(const Arguments& arguments);
/// edit IN OUT [--set ... | --unset ...]...: IN with the edits applied, saved as OUT.
int Edit(const Arguments& arguments);
/// refs FILE N: one line per reference to #N.
int Refs(const Arguments& arguments);
/// find FILE [--type ENTITY] [--text TEXT] [--unreached]: the instances that match.
int Find(const Arguments& arguments);
/// show FILE N: the line where #N stands, then its record as a save writes it.
int Show(const Arguments& arguments);
/// render FILE OUT [--view V] [--size WxH]: the scene as an SVG or PNG picture.
int Render(const Arguments& arguments);
/// scene FILE [--format text|json]: the moves of each workingstep.
int Scene(const Arguments& arguments);
Verdict SceneFormat(const std::string& value);
/// gcode FILE OUT [--dialect D] [--tolerance MM] [--tool-table FILE] [--units U] [--map OUT]
/// [--allow-partial]: the program as G-code.
int Gcode(const Arguments& arguments);
/// simulate FILE [--resolution MM] [--format F] [--stl OUT] [--until WS] [--fail-on S] [--units U]:
/// the program run on the stock; status 3 for a finding of the --fail-on severity.
int Simulate(const Arguments& arguments);
Verdict Resolution(const std::string& value);
/// time FILE [--format text|json] [--rapid MM_PER_MIN] [--tool-change SECONDS] [--units U].
int Time(const Arguments& arguments);
Verdict UnitsName(const std::string& value);
Verdict DialectName(const std::string& value);
Verdict Tolerance(const std::string& value);
Verdict Rate(const std::string& value);
Verdict Seconds(const std::string& value);

/// table FILE (--type ENTITY | --all) [--format csv|xlsx] [-o OUT]: an entity's instances as a table.
int Table(const Arguments& arguments);
Verdict TableFormatName(const std::string& value);
/// An entity the schema knows (any case); a refusal naming it otherwise.
Verdict KnownEntity(const std::string& value);
/// diff A B [--format text|json] [--tolerance X]: what differs, by structure; 0 same, 1 not.
int Diff(const Arguments& arguments);
Verdict DiffFormat(const std::string& value);
Verdict DiffTolerance(const std::string& value);

/// The message on standard error after "varnholt-cli: "; status 1.
int Refuse(const std::string& message);

/// The N of -j N: a whole number of at least 1 (larger than any machine's threads is taken as
/// it is); 0 for anything else.
unsigned ParseThreadCount(const std::string& text);
/// top, front, side or iso; false for anything else.
bool ParseView(const std::string& text, varnholt::ViewDirection* view = nullptr);
/// "W" "x" "H" with both between 16 and the largest side; nothing else around them.
bool ParseSize(const char* text, int& width, int& height);

}  // namespace cli

#endif
