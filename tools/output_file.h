// Files that appear whole or not at all: written under a temporary name in the same folder and
// renamed into place, so a full disk or an interrupted run leaves no truncated file behind.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>

struct OutputFile {
    std::string path;      // the name the finished file gets
    std::string temporary; // where it is written until then
    FILE *stream;          // open on `temporary`, null when closed
    int error;             // errno of the first failure; 0 while all is well
    int slot;              // where the temporary name is listed for removal by a signal
};

// Once, early: every signal that would end the run (but those already ignored) removes the
// temporary files first, and a file-size limit makes writes fail instead of ending the run.
void OUT_Prepare();
// Opens a temporary file beside `path`; false with `file->error` set when it cannot.
bool OUT_Open(OutputFile *file, const std::string &path);
// Writes `size` bytes; false with `file->error` set on failure.
bool OUT_Write(OutputFile *file, const void *data, size_t size);
// Flushes, closes and renames into place; on failure removes the temporary file and returns false.
bool OUT_Commit(OutputFile *file);
// Closes and removes the temporary file if it is still open; for a run that fails elsewhere.
void OUT_Abandon(OutputFile *file);
// Holds off the ending signals that are only ever sent (not those a fault raises, so that a fault
// still removes the files), and lets them through again. Threads made in between start with them
// held, so that they reach only the thread that lists the files, never one that cannot know whether
// a file just made is listed yet.
void OUT_HoldSignals(sigset_t *previous);
void OUT_ReleaseSignals(const sigset_t *previous);
// Whether a progress line is on the terminal, for an ending signal to clear first.
void OUT_ProgressShown(bool shown);
// "cannot write PATH: REASON", from the file's recorded error.
std::string OUT_Failure(const OutputFile &file);
