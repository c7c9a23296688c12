// pawnstage: puts pawns on a stage and runs a show script on them.
//   pawnstage render [options]   the show to a video, an animated GIF or PNG frames
//   pawnstage play [options]     the show in a window, with keys that send messages
//   pawnstage check ...          what is wrong with a pawn archive
//   pawnstage pack / unpack / sheet   an archive from frames, frames from an archive, its contact sheet
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/pawnstage/commands.h"
#include "tools/pawnstage/terminal_text.h"
#ifdef PAWNSTAGE_WITH_CHECK
#include "tools/pawnstage/check_command.h"
#endif

namespace {

void printUsage(std::FILE* to) {
    std::fputs(
        "usage: pawnstage render [--script FILE] [--out show.mp4|show.gif|frames/] [--size WxH] [--fps N]\n"
        "                        [--seed N] [--samples DIR] [--plugin PATH] [--log-level N] [--video-cache MB]\n"
        "       pawnstage play [--script FILE] [--samples DIR] [--plugin PATH] [--log-level N] [--seed N]\n"
        "                      [--video-cache MB] [--watch [--reload-shots DIR]] [--overlay] [--screenshot FILE --frames N]\n"
#ifdef PAWNSTAGE_WITH_CHECK
        "       pawnstage check [--penguin] [--root DIR] [--json] [--sheet FILE] ARCHIVE...\n"
#endif
        "       pawnstage pack [--penguin] [--cuts CUT_LIST | --from-archive] FRAMES ARCHIVE_DIR\n"
        "       pawnstage unpack ARCHIVE FRAMES_DIR\n"
        "       pawnstage sheet ARCHIVE [--out sheet.png] [--gif DIR]\n"
        "Without a command, pawnstage renders the bundled demo show to show.mp4.\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return pawnstage::runRenderCommand(0, nullptr);
    const std::string command = argv[1];
    if (command == "render") return pawnstage::runRenderCommand(argc - 2, argv + 2);
    if (command == "play") return pawnstage::runPlayCommand(argc - 2, argv + 2);
    if (command == "pack") return pawnstage::runPackCommand(argc - 2, argv + 2);
    if (command == "unpack") return pawnstage::runUnpackCommand(argc - 2, argv + 2);
    if (command == "sheet") return pawnstage::runSheetCommand(argc - 2, argv + 2);
#ifdef PAWNSTAGE_WITH_CHECK
    if (command == "check") return runCheckCommand(argc - 1, argv + 1);
#endif
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "pawnstage: unknown command %s\n", pawnstage::quotedToken(command).c_str());
    printUsage(stderr);
    return 2;
}
