// The console dimlet-cli talks through, made ready once at start-up: on
// Windows, output in UTF-8 (the names and words are UTF-8 inside) and
// standard input in binary mode (a row file's CRLF read as written); on
// Linux there is nothing to do.
#pragma once

void PrepareConsole();

// Whether the pipe written through `fd` has no reader left, asked without
// writing to it: then a command stops before its next unit, as on a stop
// signal. False where it cannot be told without writing (Windows): the next
// write fails with its reason instead.
bool OutputReaderLeft(int fd);
