// The console on Linux needs no preparing (see console.h).
#include "cli/console.h"

void PrepareConsole() {}
