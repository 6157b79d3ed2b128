// A write past the process's file-size limit raises SIGXFSZ, whose default
// action ends the program (with the picture not yet saved). While a hold
// lives, the calling thread's writes past the limit just fail (EFBIG), as
// on a full disk; a program that handles the signal itself still gets it.
#pragma once

#include <csignal>

namespace replacing_file {

class FileSizeSignalHold {
public:
    FileSizeSignalHold();
    ~FileSizeSignalHold();  // drops the signal the held writes raised
    FileSizeSignalHold(const FileSizeSignalHold&) = delete;
    FileSizeSignalHold& operator=(const FileSizeSignalHold&) = delete;

private:
    sigset_t saved_{};  // the thread's signal mask before the hold
    bool held_ = false;
};

}  // namespace replacing_file
