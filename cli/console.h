// The console dimlet-cli talks through, made ready once at start-up: on
// Windows, output in UTF-8 (the names and words are UTF-8 inside) and
// standard input in binary mode (a row file's CRLF read as written); on
// Linux there is nothing to do.
#pragma once

void PrepareConsole();
