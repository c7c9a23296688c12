// Where an artist's frames come from: a folder with one subfolder of PNG files per sequence, a video
// with alpha and a cut list, or an existing archive. Each reader reports what it cannot use in
// `findings` (naming the file) and returns what it could read.
#pragma once

#include <filesystem>
#include <functional>

#include "tools/pawnstage/pawn_frames.h"

namespace pawnstage {

// Called as frames are read: how many so far, of how many in all.
using ReadProgress = std::function<void(long done, long total)>;

// Subfolders are sequences, in name order; their PNG files are the frames, in name order with
// numbers compared by value ("frame2.png" before "frame10.png"). Files whose names start with '.'
// are passed over; a "scorefontphase" file beside the subfolders goes with the figure.
PawnFrames readFrameFolder(const std::filesystem::path& folder, Findings& findings, const ReadProgress& progress = {});

// The video in any container FFmpeg reads, cut by `cuts`: "name=count@first" lines, under a [color]
// section or without any section, as sequence.ini holds them. Sequences come in the list's order.
PawnFrames readCutVideo(const std::filesystem::path& video, const std::filesystem::path& cuts, Findings& findings,
                        const ReadProgress& progress = {});

// An archive's dual.avi through the host's video decoder, cut by its sequence.ini as a pawn reads it:
// a later entry shadows an earlier one of the same name, entries without '@' are passed over.
PawnFrames readArchiveFrames(const std::filesystem::path& archive, Findings& findings, const ReadProgress& progress = {});

// True when `a` comes before `b` in name order with numbers compared by value.
bool namesInOrder(const std::string& a, const std::string& b);

}  // namespace pawnstage
