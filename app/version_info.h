// The program's version block.
#pragma once

namespace version {

inline constexpr const char* kFileVersion = "1.0.0.1";
inline constexpr const char* kProductVersion = "1.0.0.1";
inline constexpr const char* kFileDescription = "Dimlet MFC Application";
inline constexpr const char* kInternalName = "Dimlet";
inline constexpr const char* kProductName = "Dimlet Application";
inline constexpr const char* kAboutMenuText = "&About Dimlet...";

}  // namespace version
