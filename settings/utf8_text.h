// Reading UTF-8 one character at a time, for the places that check or
// escape text from outside (labels, device paths, user names).
#pragma once

#include <cstddef>
#include <string_view>

// The length (1..4) of the whole UTF-8 character at `text[at]`, with its code
// point in *point; 0 when the bytes there are no whole character (a stray
// continuation byte, a cut or overlong sequence, a surrogate), or `at` is past
// the end.
size_t Utf8CharacterAt(std::string_view text, size_t at, char32_t* point);
