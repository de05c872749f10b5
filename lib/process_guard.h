// Process-wide protection of a program that writes output files:
// - the standard descriptors 0, 1 and 2 are made valid, so that no output
//   file opened later takes their place (and receives messages meant for
//   the standard error);
// - SIGPIPE and SIGXFSZ no longer end the process: a write to a closed pipe
//   or beyond the file-size limit fails with EPIPE or EFBIG instead, and is
//   reported like any other write error;
// - SIGINT, SIGTERM and SIGHUP remove every registered temporary file, then
//   end the process by the same signal, as a shell expects.
//
// The registry of temporary files is a fixed table that the signal handler
// reads without allocating or locking. Registration, creation, renaming and
// removal happen inside a TerminationBlock, which holds back a terminating
// signal until the file system and the registry agree again, so a
// temporary file is never left behind nor another file removed by a signal
// that arrives in between.
#pragma once

// Makes descriptors 0-2 valid and installs the signal dispositions above.
// Signals that the process was started with ignored stay ignored. Call once
// at the start of the program, before any file is opened.
void guard_process();

// Holds back SIGINT, SIGTERM and SIGHUP for its lifetime: one that arrives
// meanwhile takes effect when the last open block ends. Blocks nest.
class TerminationBlock {
public:
    TerminationBlock();
    ~TerminationBlock();
    TerminationBlock(const TerminationBlock &) = delete;
    TerminationBlock &operator=(const TerminationBlock &) = delete;
};

// Registers a temporary file path for removal on a terminating signal.
// Returns the slot, or -1 when the table is full or the path too long for
// a slot. Call inside a TerminationBlock, before the file is created.
int register_temporary(const char *path);
// Forgets a slot (after the file was renamed or removed); -1 is ignored.
// Call inside a TerminationBlock.
void release_temporary(int slot);

// Removes every registered temporary file now, for a run that ends without
// closing its outputs (out of memory, say).
void remove_temporaries();
