// The port link of a simulated instrument (`jvs sim`, CPty::LinkAs): made only
// where nothing is, or where a link of an earlier simulator points at a
// pseudo-terminal that no longer exists (its simulator is gone); never over a
// file, a folder, another link or a running simulator's port. Removed only
// while it is still ours.
#pragma once

#include <string>

// Links path to the pseudo-terminal target. False with the reason in `why`.
bool MakeSimLink(const std::string& path, const std::string& target, std::string& why);
// Removes path when it still links to target.
void RemoveSimLink(const std::string& path, const std::string& target);
