// The stage's commands; argv holds the arguments after the command's name. Each returns the
// program's exit status: 0 done, 1 the show could not be made, 2 a command line it cannot follow.
#pragma once

namespace pawnstage {

int runRenderCommand(int argc, char** argv);
int runPlayCommand(int argc, char** argv);
// The authoring commands: an archive from frames, frames from an archive, an archive's contact sheet.
int runPackCommand(int argc, char** argv);
int runUnpackCommand(int argc, char** argv);
int runSheetCommand(int argc, char** argv);

}  // namespace pawnstage
