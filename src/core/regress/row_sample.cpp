#include "row_sample.hpp"

#include "discover/splitmix.hpp"

namespace zyl::regress {

RowSample::RowSample(const Columns& data, std::span<const double> y, Weights w, std::size_t most) {
    const std::size_t n = data.samples;
    if (n <= most) {
        data_ = data;
        y_ = y;
        w_ = w;
        return;
    }
    index_.reserve(most);
    // One row from each of `most` equal stretches, at a fixed pseudo-random
    // place within it: spread like evenly spaced rows, without lining up
    // with a period of the row order (a grid's inner variable).
    for (std::size_t i = 0; i < most; ++i) {
        const std::size_t first = i * n / most, stretch = (i + 1) * n / most - first;
        index_.push_back(first + static_cast<std::size_t>(discover::splitmix64(i) % stretch));
    }
    for (const double* c : data.columns) columns_.push_back(pick(std::span<const double>(c, n)));
    for (const auto& c : columns_) pointers_.push_back(c.data());
    data_ = {pointers_, most};
    y_own_ = pick(y);
    y_ = y_own_;
    if (!w.empty()) {
        w_own_ = pick(w);
        w_ = w_own_;
    }
}

std::vector<double> RowSample::pick(std::span<const double> v) const {
    if (index_.empty()) return {v.begin(), v.end()};
    std::vector<double> out;
    out.reserve(index_.size());
    for (std::size_t i : index_) out.push_back(v[i]);
    return out;
}

}  // namespace zyl::regress
