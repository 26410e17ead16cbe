// Light scanning of Oracle statement text that OCI needs before any server is involved:
// the statement type right after prepare and the placeholder names for binding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ocisqlite {

// OCI_ATTR_STMT_TYPE from the first keyword.
std::uint16_t classifyStatement(std::string_view text);

// Placeholder names (":name"), upper case without the colon, distinct, in order of first appearance.
// Text inside quotes and comments is skipped; ":=" is not a placeholder.
std::vector<std::string> scanPlaceholders(std::string_view text);

std::string upperAscii(std::string_view s);

} // namespace ocisqlite
