#include "fingerprint.hpp"

#include <bit>
#include <cmath>

#include "splitmix.hpp"

namespace zyl::discover {
namespace {

constexpr std::array<double, kProbeCount> kProbeConstants{
    0.5772156649015328,  // Euler-Mascheroni gamma
    1.2824271291006226,  // Glaisher-Kinkelin A
    1.618033988749895,   // golden ratio
    0.6931471805599453,  // ln 2
    1.2020569031595942,  // Apery's zeta(3)
};

}  // namespace

Fingerprint fingerprint_of(const ProbeValues& values) {
    Fingerprint fp;
    for (std::size_t k = 0; k < kProbeCount; ++k) {
        auto bits = std::bit_cast<std::uint64_t>(values[k]);
        fp[2 * k] = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32));
        fp[2 * k + 1] = static_cast<std::uint32_t>(bits);
    }
    return fp;
}

double probe_coordinate(std::size_t j, std::size_t k) {
    if (j == 0) return kProbeConstants[k];
    std::uint64_t z = splitmix64(5 * static_cast<std::uint64_t>(j) + k);
    double u = static_cast<double>(z >> 11) * 0x1p-53;
    return 0.5 + 2.0 * u;
}

Probes::Probes(std::size_t n_vars) : coordinates_(n_vars) {
    columns_.reserve(n_vars);
    for (std::size_t j = 0; j < n_vars; ++j) {
        for (std::size_t k = 0; k < kProbeCount; ++k) coordinates_[j][k] = probe_coordinate(j, k);
        columns_.push_back(coordinates_[j].data());
    }
}

std::optional<ProbeValues> Probes::values(const Expr& expr, ColumnEvaluator& evaluator) const {
    // Evaluating all probes together and checking afterwards gives the same
    // verdict as stopping at the first failing probe.
    if (!evaluator.run(expr, columns_, kProbeCount, {})) return std::nullopt;
    ProbeValues v;
    auto out = evaluator.values();
    for (std::size_t k = 0; k < kProbeCount; ++k) {
        // A lone leaf is not checked by evaluation.
        if (!std::isfinite(out[k])) return std::nullopt;
        v[k] = out[k];
    }
    return v;
}

std::optional<Fingerprint> fingerprint(const Expr& expr, std::size_t n_vars) {
    ColumnEvaluator evaluator;
    auto v = Probes(n_vars).values(expr, evaluator);
    if (!v) return std::nullopt;
    return fingerprint_of(*v);
}

DuplicateSet::DuplicateSet() : slots_(1024, Slot{0, 0}) {}

DuplicateSet::Key DuplicateSet::key_of(const double* probe_values) {
    Key key;
    for (std::size_t k = 0; k < kProbeCount; ++k) key[k] = std::bit_cast<std::uint64_t>(probe_values[k]);
    return key;
}

std::uint64_t DuplicateSet::hash_of(const Key& key) {
    std::uint64_t h = 0x243F6A8885A308D3ull;
    for (std::uint64_t w : key) {
        h = (h + w) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return splitmix64(h);
}

bool DuplicateSet::insert(const Fingerprint& fp) {
    Key key;
    for (std::size_t k = 0; k < kProbeCount; ++k)
        key[k] = std::uint64_t{static_cast<std::uint32_t>(fp[2 * k])} << 32 | static_cast<std::uint32_t>(fp[2 * k + 1]);
    return insert(key, hash_of(key));
}

bool DuplicateSet::insert(const Key& key, std::uint64_t hash) {
    const auto h = static_cast<std::uint32_t>(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (s.key == 0) {
            keys_.push_back(key);
            s = Slot{h, static_cast<std::uint32_t>(keys_.size())};
            if (2 * keys_.size() > slots_.size()) grow();
            return true;
        }
        if (s.hash == h && keys_[s.key - 1] == key) return false;
    }
}

void DuplicateSet::grow() {
    // Slots place keys by 32 bits of their hash, so the table stops at 2^32
    // slots; a search's memory budget ends long before.
    std::vector<Slot> bigger(2 * slots_.size(), Slot{0, 0});
    const std::size_t mask = bigger.size() - 1;
    for (const Slot& s : slots_) {
        if (s.key == 0) continue;
        std::size_t i = s.hash & mask;
        while (bigger[i].key != 0) i = (i + 1) & mask;
        bigger[i] = s;
    }
    slots_.swap(bigger);
}

}  // namespace zyl::discover
