// Where a render writes before its output is complete: a temporary file (or directory of PNG frames)
// beside the target, moved into place only when everything is written. An interrupted or failed
// render removes it and leaves whatever was at the target untouched.
#pragma once

#include <string>

namespace pawnstage {

class PendingOutput {
public:
    // `directory`: the target is a directory of frameNNNNN.png files. Throws WriteError when the
    // temporary place cannot be made.
    PendingOutput(std::string target, bool directory);
    ~PendingOutput();  // removes the temporary output unless it was committed
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const std::string& path() const { return temporary_; }  // where to write
    const std::string& target() const { return target_; }
    // Moves the output into place. A directory's frames replace the target's one by one; frames of
    // this naming beyond the new ones are an older render's and are removed. Throws WriteError.
    void commit();
    int staleFramesRemoved() const { return staleFrames_; }

private:
    std::string target_;
    std::string temporary_;
    bool directory_;
    bool committed_ = false;
    int staleFrames_ = 0;
};

// From now on SIGINT and SIGTERM only mark the render as interrupted (a second one ends the program
// at once), and a file grown past the process's size limit fails its write instead of ending it.
void watchForInterruption();
// The signal that interrupted the render, or 0.
int interruptingSignal();
// Ends the program as the signal would have, once the temporary output is gone.
[[noreturn]] void endAsInterrupted(int signal);

}  // namespace pawnstage
