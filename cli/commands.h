// The subcommands of varnholt-cli that find their way in a file: one small function each over
// the shell's navigation. Each opens the file itself; its log goes to standard error.
#ifndef VARNHOLT_CLI_COMMANDS_H
#define VARNHOLT_CLI_COMMANDS_H

/// refs FILE N: one line per reference to #N.
int Refs(int argc, char** argv);
/// find FILE [--type ENTITY] [--text TEXT] [--unreached]: the instances that match.
int Find(int argc, char** argv);
/// show FILE N: the line where #N stands, then its record as a save writes it.
int Show(int argc, char** argv);

#endif
