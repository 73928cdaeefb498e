#pragma once
// Duplicate detection: an expression is reduced to its exact values at five
// fixed probe points, and a set of those keys rejects repeats.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "expr.hpp"

namespace zyl::discover {

inline constexpr std::size_t kProbeCount = 5;

// Per probe k: element 2k is the upper half of the value's bit pattern as a
// signed 32-bit number, element 2k + 1 the lower half as an unsigned one.
using Fingerprint = std::array<std::int64_t, 2 * kProbeCount>;
using ProbeValues = std::array<double, kProbeCount>;

Fingerprint fingerprint_of(const ProbeValues& values);

// Value of variable j at probe k. Variable 0 sits at the probe constant;
// the others at pseudo-random points in [0.5, 2.5), so that no variable is a
// multiple of another (y - x would otherwise collide with x).
double probe_coordinate(std::size_t j, std::size_t k);

// The probe points of a problem with n_vars variables.
class Probes {
public:
    explicit Probes(std::size_t n_vars);

    // Values at the five probes, or nothing when the expression fails or
    // gives a non-finite value at any of them.
    std::optional<ProbeValues> values(const Expr& expr, ColumnEvaluator& evaluator) const;

private:
    std::vector<ProbeValues> coordinates_;  // one column of five values per variable
    std::vector<const double*> columns_;
};

std::optional<Fingerprint> fingerprint(const Expr& expr, std::size_t n_vars);

// Insert-only hash set of fingerprints for one search: a table of small
// slots (32 bits of the key's hash and the key's place) over the keys in
// insertion order, so that the table, probed at random, stays within the
// caches. Not locked: the search admits candidates on its calling thread
// only, between the parallel phases.
class DuplicateSet {
public:
    DuplicateSet();

    // A key: the bit patterns of the probe values, and its hash.
    using Key = std::array<std::uint64_t, kProbeCount>;
    static Key key_of(const double* probe_values);
    static std::uint64_t hash_of(const Key& key);

    // Records fp. True when it is new; false when it was already present, in
    // which case the set is unchanged.
    bool insert(const Fingerprint& fp);
    bool insert(const Key& key, std::uint64_t hash);

    // Asks for the memory an insert of a key with this hash starts at, so
    // that a run of inserts overlaps its cache misses.
    void prefetch(std::uint64_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }

    std::size_t size() const { return keys_.size(); }
    // The key inserted k-th.
    const Key& key(std::size_t k) const { return keys_[k]; }
    // Makes room for `more` keys at once.
    void reserve(std::size_t more) { keys_.reserve(keys_.size() + more); }

private:
    struct Slot {
        std::uint32_t hash;  // the key's hash's low 32 bits, which also place it
        std::uint32_t key;   // index into keys_ plus one; 0 marks an empty slot
    };
    void grow();

    std::vector<Key> keys_;
    std::vector<Slot> slots_;  // open addressing, linear probing, power-of-two size
};

}  // namespace zyl::discover
