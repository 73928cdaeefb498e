#pragma once
// Ordering keys of the reading form's nodes: the first tokens of a node's
// serialisation, which order small formulas the way they read, and a hash of
// the whole serialisation, which settles what the tokens leave open. Both
// are built bottom-up from the children's keys, so a key costs the same at
// any depth.
#include <array>
#include <cstdint>

namespace zyl::regress::tidy {

inline constexpr std::size_t kKeyTokens = 16;

struct Key {
    std::array<std::uint64_t, kKeyTokens> tokens{};
    std::uint8_t size = 0;
    bool complete = true;  // tokens hold the whole serialisation
    std::uint64_t hash = 0;
};

// Tokens in lexicographic order, then the hash.
bool operator<(const Key& a, const Key& b);

// Unsigned images in the order of the values.
std::uint64_t ordered(double v);
std::uint64_t ordered(std::int64_t v);

std::uint64_t mix(std::uint64_t hash, std::uint64_t v);

class KeyBuilder {
public:
    void token(std::uint64_t t);
    // Counts in the hash only.
    void hashed(std::uint64_t t);
    void child(const Key& c);
    const Key& key() const { return key_; }

private:
    void put(std::uint64_t t);
    Key key_;
};

}  // namespace zyl::regress::tidy
