// Text from outside (a file, a device, a server, the profile) made safe to
// show on a terminal: whatever it holds cannot move the cursor, clear the
// screen or retitle the window.
#pragma once

#include <string>
#include <string_view>

// `text` safe to show on a terminal: control bytes (C0, DEL, C1) as \xHH,
// controls that reorder text as \uHHHH; characters written in UTF-8 as they
// are.
std::string Printable(std::string_view text);

// Whether `text` holds a control that reorders the text around it (U+202A..
// U+202E, U+2066..U+2069): "Bar 3" could then read as "3 raB".
bool ReordersText(std::string_view text);
