// Oracle's SQL_ID of a statement text: the low 64 bits of the MD5 of the text and a terminating NUL, in
// 13 base-32 characters. "select * from dual" is a5ks9fhw2v9s1.
#pragma once

#include <string>
#include <string_view>

namespace ocisqlite {

std::string sqlId(std::string_view text);

} // namespace ocisqlite
