// `pawnstage check`: tells a pawn author what is wrong with an archive.
//
//   pawnstage check [--penguin] [--root DIR] [--json] ARCHIVE...
//
// Each ARCHIVE is a pawn archive directory (dual.avi + sequence.ini). Prints one row per check (OK,
// WARN or ERROR, with the file and entry concerned), or the same as JSON with --json. Exit status: 0
// when nothing is wrong beyond warnings, 1 when an archive has errors, 2 for a usage error.
#pragma once

// argv[0] is "check"; the rest are its arguments.
int runCheckCommand(int argc, char** argv);
