// The subcommands of varnholt-cli that find their way in a file: one small function each over
// the shell's navigation. Each opens the file itself; its log goes to standard error.
#ifndef VARNHOLT_CLI_COMMANDS_H
#define VARNHOLT_CLI_COMMANDS_H

class CDoc;

/// Ends a command's document. The last one of the process is left to the end of the process:
/// freeing a large population object by object takes a good part of what reading it took, and
/// the system takes the whole memory back at once. Builds with the sanitizers free it, so that
/// they check the teardown too.
void CloseDocument(CDoc* doc, bool last);

/// refs FILE N: one line per reference to #N.
int Refs(int argc, char** argv);
/// find FILE [--type ENTITY] [--text TEXT] [--unreached]: the instances that match.
int Find(int argc, char** argv);
/// show FILE N: the line where #N stands, then its record as a save writes it.
int Show(int argc, char** argv);

/// render FILE OUT [--view V] [--size WxH]: the scene as an SVG or PNG picture.
int Render(int argc, char** argv);

#endif
