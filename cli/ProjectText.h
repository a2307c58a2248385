// What `project show` prints of a project: aligned lines, or one JSON
// object. The lock shows as locked or not, never its salt or hash.
// Window-free.
#pragma once

#include <string>
#include <vector>

#include "project/Project.h"

namespace cli {

// The project saved at file (its full path) in folder; problem: what is
// wrong with its firmware files (project::DescribeFileProblem), empty when
// they are as saved.
std::vector<std::string> ProjectLines(const project::Project& p, const std::wstring& file, const std::wstring& problem);
std::string ProjectJson(const project::Project& p, const std::wstring& file, const std::wstring& folder,
                        const std::wstring& problem);

}  // namespace cli
