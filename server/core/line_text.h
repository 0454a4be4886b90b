// Lines of the table as the document keeps them (each ending in "\n"): the
// few shapes the document and the writer look for.
#pragma once

#include <string>
#include <string_view>

inline const std::string kEmptyLine = "\n";
inline const std::string kDefaultsLine = "global.defaults:\\\n";

inline bool IsComment(std::string_view line) {
    return !line.empty() && line[0] == '#';
}
