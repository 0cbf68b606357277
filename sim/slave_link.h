// The symbolic link through which the program under test finds the
// simulated line (its configured serial device name points here).
#pragma once

#include <string>

namespace sim {

// Makes `linkPath` a symbolic link to `target`, replacing an existing
// symbolic link in one step (no moment without a link). Refuses to replace
// anything that is not a symbolic link. False with *error set on failure.
bool PointLink(const std::string& linkPath, const std::string& target, std::string* error);

// Removes `linkPath` if it is still a symbolic link to `target`; a link
// someone has since re-pointed, or a file put there, is left alone.
void RemoveLinkTo(const std::string& linkPath, const std::string& target);

}  // namespace sim
