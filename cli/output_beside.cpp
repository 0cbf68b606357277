// The name beside an output file for rows that must not replace it, on
// either system (cli_files.h).
#include "cli/cli_files.h"

bool ClaimNameBeside(const std::string& name, std::string* beside, std::string* error) {
  // The extension stays last, so the file opens as the kind it is.
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : "";
  constexpr int kTries = 100;
  for (int n = 1; n <= kTries; ++n) {
    const std::string candidate = stem + ".partial" + (n > 1 ? "-" + std::to_string(n) : "") + extension;
    bool taken = false;
    if (MakeNewFile(candidate, &taken, error)) {
      *beside = candidate;
      return true;
    }
    if (!taken) return false;
  }
  *error = "no free name beside " + name + " (" + stem + ".partial" + extension + " and " + std::to_string(kTries - 1) +
           " more are taken)";
  return false;
}
