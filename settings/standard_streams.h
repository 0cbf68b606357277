// A program started with a standard stream closed (`>&-`, `2>&-`) would hand
// that stream's number to the next file it opens: a unit line, the profile,
// the journal. What it then prints would land there, and progress text on a
// unit line holds bytes a unit takes for a frame. Each program's main puts
// the null device on a closed stream before it opens anything.
#pragma once

// False when a closed stream could not be given the null device: the
// program must not go on.
bool OpenClosedStandardStreams();
