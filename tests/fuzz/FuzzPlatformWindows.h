// What the Windows replay of the harnesses reports back to its test.
#pragma once

#include <string>
#include <vector>

namespace camtag::fuzz {

// The broken expectations of the inputs run so far, in order.
extern std::vector<std::string> findings;

} // namespace camtag::fuzz
