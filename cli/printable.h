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

// Whether `text` holds a control or mark that reorders the text around it
// (U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) or breaks its line
// (U+2028, U+2029): "Bar 3" could then read as "3 raB". The joiners U+200C
// and U+200D do not.
bool ReordersText(std::string_view text);
