// Where dimlet-cli's row files come from and go to: regular files, pipes,
// FIFOs and the standard streams, each read or written the way that is right
// for it.
#pragma once

#include <iosfwd>
#include <string>

// The largest row file taken, from a file or a stream: the profile's limit.
inline constexpr size_t kLargestRowFile = size_t{64} << 20;

// Reads the row file `name`: "-" for standard input (the descriptor `inFd`,
// or the stream `in` when inFd is -1), else a path: a regular file, or a
// pipe, FIFO or /dev/stdin read to its end. A stop signal ends a read that
// waits for input. False with *error saying why (no such file, a folder, over
// kLargestRowFile, stopped).
bool ReadRowSource(const std::string& name, int inFd, std::istream& in, std::string* text, std::string* error);

// Writes `text` to the output `name` and says false with *error on failure.
// A regular file (or none yet) is replaced atomically; standard output and
// standard error by their names (/dev/stdout, /dev/fd/1, ...) are written to
// through `out` and `err`, so a file they are redirected to (even with >>)
// is written as the shell meant; any other target (a pipe, a terminal, a
// FIFO) is written to directly.
bool WriteOutput(const std::string& name, const std::string& text, std::ostream& out, std::ostream& err,
                 std::string* error);

// Whether rows could be written to the output `name`, asked before any unit
// is read: false with *error when it is a folder, or its folder is missing or
// takes no new file. A write may still fail (a full disk); WriteOutput says so.
bool CheckOutputTarget(const std::string& name, std::string* error);

// Whether the output `name` is standard output: "-" or any name of it
// (/dev/stdout, /dev/fd/1, a link to the file it is redirected to).
bool IsStandardOutput(const std::string& name);

// Whether `name` is a regular file now (following links): a file an output
// may replace.
bool IsRegularFile(const std::string& name);

// A new, empty file beside `name` for rows that must not replace it:
// "backup.csv" gives "backup.partial.csv", or "backup.partial-2.csv" and so on
// when that is taken. Created here, so that no other file is ever replaced by
// it; false with *error when none could be made.
bool ClaimNameBeside(const std::string& name, std::string* beside, std::string* error);
// Creates `name` empty, failing if anything is there; *taken tells that
// case apart from a failure with its *error.
bool MakeNewFile(const std::string& name, bool* taken, std::string* error);
