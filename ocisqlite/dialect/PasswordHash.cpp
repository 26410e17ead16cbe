#include "PasswordHash.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <sys/random.h>

namespace ocisqlite {

namespace {

// Enough to make guessing slow without making every log-on of the tests slow.
constexpr unsigned kIterations = 4096;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
constexpr std::string_view kScheme = "pbkdf2-sha256";

class Sha256 {
public:
    Sha256() { reset(); }
    void reset() {
        state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
        length_ = 0;
        used_ = 0;
    }
    void update(const std::uint8_t* p, std::size_t n) {
        length_ += n;
        while (n > 0) {
            const std::size_t take = std::min(n, block_.size() - used_);
            std::memcpy(block_.data() + used_, p, take);
            used_ += take;
            p += take;
            n -= take;
            if (used_ == block_.size()) {
                compress(block_.data());
                used_ = 0;
            }
        }
    }
    std::array<std::uint8_t, 32> finish() {
        const std::uint64_t bits = length_ * 8;
        const std::uint8_t one = 0x80;
        update(&one, 1);
        const std::uint8_t zero = 0;
        while (used_ != 56)
            update(&zero, 1);
        std::uint8_t len[8];
        for (int i = 0; i < 8; ++i)
            len[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
        update(len, 8);
        std::array<std::uint8_t, 32> out{};
        for (int i = 0; i < 8; ++i)
            for (int b = 0; b < 4; ++b)
                out[static_cast<std::size_t>(4 * i + b)] =
                    static_cast<std::uint8_t>(state_[static_cast<std::size_t>(i)] >> (24 - 8 * b));
        return out;
    }

private:
    static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress(const std::uint8_t* p) {
        static const std::uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (std::uint32_t(p[4 * i]) << 24) | (std::uint32_t(p[4 * i + 1]) << 16) |
                   (std::uint32_t(p[4 * i + 2]) << 8) | std::uint32_t(p[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4],
                      f = state_[5], g = state_[6], h = state_[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
            const std::uint32_t ch = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + ch + k[i] + w[i];
            const std::uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
            const std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            const std::uint32_t t2 = s0 + maj;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
        state_[4] += e;
        state_[5] += f;
        state_[6] += g;
        state_[7] += h;
    }

    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> block_{};
    std::uint64_t length_ = 0;
    std::size_t used_ = 0;
};

const std::uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// HMAC-SHA-256 with the key's inner and outer states computed once (PBKDF2 reuses them every round).
class Hmac {
public:
    explicit Hmac(std::string_view key) {
        std::array<std::uint8_t, 64> k{};
        if (key.size() > k.size()) {
            Sha256 h;
            h.update(bytes(key), key.size());
            const auto d = h.finish();
            std::memcpy(k.data(), d.data(), d.size());
        } else {
            std::memcpy(k.data(), key.data(), key.size());
        }
        std::array<std::uint8_t, 64> pad{};
        for (std::size_t i = 0; i < pad.size(); ++i)
            pad[i] = k[i] ^ 0x36;
        inner_.update(pad.data(), pad.size());
        for (std::size_t i = 0; i < pad.size(); ++i)
            pad[i] = k[i] ^ 0x5c;
        outer_.update(pad.data(), pad.size());
    }
    std::array<std::uint8_t, 32> mac(const std::uint8_t* p, std::size_t n) const {
        Sha256 in = inner_;
        in.update(p, n);
        const auto d = in.finish();
        Sha256 out = outer_;
        out.update(d.data(), d.size());
        return out.finish();
    }

private:
    Sha256 inner_, outer_;
};

std::string hex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool unhex(std::string_view s, std::vector<std::uint8_t>& out) {
    if (s.size() % 2)
        return false;
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    out.clear();
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return true;
}

struct Parsed {
    unsigned iterations = 0;
    std::vector<std::uint8_t> salt, key;
};

bool parse(std::string_view stored, Parsed& p) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t d = stored.find('$', start);
        parts.push_back(
            stored.substr(start, d == std::string_view::npos ? std::string_view::npos : d - start));
        if (d == std::string_view::npos)
            break;
        start = d + 1;
    }
    if (parts.size() != 4 || parts[0] != kScheme || parts[1].empty() || parts[1].size() > 7)
        return false;
    unsigned iterations = 0;
    for (char c : parts[1]) {
        if (c < '0' || c > '9')
            return false;
        iterations = iterations * 10 + static_cast<unsigned>(c - '0');
    }
    p.iterations = iterations;
    return iterations > 0 && unhex(parts[2], p.salt) && unhex(parts[3], p.key) && !p.salt.empty() &&
           !p.key.empty();
}

} // namespace

std::vector<std::uint8_t> sha256(std::string_view data) {
    Sha256 h;
    h.update(bytes(data), data.size());
    const auto d = h.finish();
    return {d.begin(), d.end()};
}

std::vector<std::uint8_t> pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned iterations,
                                       std::size_t keyLength) {
    const Hmac prf(password);
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> first(salt.begin(), salt.end());
    first.resize(salt.size() + 4);
    for (std::uint32_t block = 1; out.size() < keyLength; ++block) {
        for (int i = 0; i < 4; ++i)
            first[salt.size() + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(block >> (24 - 8 * i));
        auto u = prf.mac(first.data(), first.size());
        auto t = u;
        for (unsigned i = 1; i < iterations; ++i) {
            u = prf.mac(u.data(), u.size());
            for (std::size_t j = 0; j < t.size(); ++j)
                t[j] ^= u[j];
        }
        out.insert(out.end(), t.begin(), t.end());
    }
    out.resize(keyLength);
    return out;
}

std::string hashPassword(std::string_view password) {
    std::uint8_t salt[kSaltBytes];
    std::size_t got = 0;
    while (got < sizeof salt) {
        const ssize_t n = ::getrandom(salt + got, sizeof salt - got, 0);
        if (n <= 0)
            throw std::runtime_error("no random bytes for a password salt");
        got += static_cast<std::size_t>(n);
    }
    const std::string_view saltView(reinterpret_cast<const char*>(salt), sizeof salt);
    const auto key = pbkdf2Sha256(password, saltView, kIterations, kKeyBytes);
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + hex(salt, sizeof salt) + "$" +
           hex(key.data(), key.size());
}

bool verifyPassword(std::string_view password, std::string_view stored) {
    Parsed p;
    if (!parse(stored, p))
        return false;
    const std::string_view saltView(reinterpret_cast<const char*>(p.salt.data()), p.salt.size());
    const auto key = pbkdf2Sha256(password, saltView, p.iterations, p.key.size());
    std::uint8_t diff = 0;
    for (std::size_t i = 0; i < key.size(); ++i)
        diff |= static_cast<std::uint8_t>(key[i] ^ p.key[i]);
    return diff == 0;
}

bool isPasswordHash(std::string_view stored) {
    Parsed p;
    return parse(stored, p);
}

} // namespace ocisqlite
