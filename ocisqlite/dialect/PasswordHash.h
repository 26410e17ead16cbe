// Account passwords as the embedded server stores them: PBKDF2-HMAC-SHA-256 with a random salt, never the
// password itself. A stored text reads "pbkdf2-sha256$<iterations>$<salt hex>$<key hex>".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ocisqlite {

// SHA-256 of bytes (FIPS 180-4), 32 bytes.
std::vector<std::uint8_t> sha256(std::string_view data);

// PBKDF2 with HMAC-SHA-256 (RFC 8018), keyLength bytes.
std::vector<std::uint8_t> pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned iterations,
                                       std::size_t keyLength);

// A new stored text for the password, with a fresh random salt.
std::string hashPassword(std::string_view password);

// True when the password matches a stored text made by hashPassword (compared in constant time).
bool verifyPassword(std::string_view password, std::string_view stored);

// True when the text has the shape hashPassword makes (a legacy plain-text password has not).
bool isPasswordHash(std::string_view stored);

} // namespace ocisqlite
