// Opening the byte trace's file, each system's half (byte_trace_target.cpp,
// byte_trace_target_windows.cpp); OpenTraceTarget (byte_trace.cpp) refuses a
// kept file first.
#pragma once

#include <cstdio>
#include <string>

// Opens `path` for writing, emptied; nullptr with *error ("<path>: <why>")
// when it cannot be had or must not be written to (see OpenTraceTarget).
std::FILE* OpenTraceFile(const std::string& path, std::string* error);
