// The console on Windows (see console.h).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/console.h"

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  // Bytes as they are both ways: no CRLF added to output or taken from input.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool OutputReaderLeft(int) { return false; }
