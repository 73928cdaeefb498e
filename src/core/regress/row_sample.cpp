#include "row_sample.hpp"

#include <algorithm>

#include "discover/splitmix.hpp"

namespace zyl::regress {

RowSample::RowSample(const Columns& data, std::span<const double> y, Weights w, std::size_t most) {
    const std::size_t n = data.samples;
    if (n <= most && data.stride == 1) {
        data_ = data;
        y_ = y;
        w_ = w;
        return;
    }
    const std::size_t m = std::min(n, most);
    index_.reserve(m);
    // One row from each of `most` equal stretches, at a fixed pseudo-random
    // place within it: spread like evenly spaced rows, without lining up
    // with a period of the row order (a grid's inner variable). Rows of a
    // row-major table that fit whole are all taken, in order.
    for (std::size_t i = 0; i < m; ++i) {
        if (n <= most) {
            index_.push_back(i);
            continue;
        }
        const std::size_t first = i * n / most, stretch = (i + 1) * n / most - first;
        index_.push_back(first + static_cast<std::size_t>(discover::splitmix64(i) % stretch));
    }
    for (std::size_t j = 0; j < data.columns.size(); ++j) {
        std::vector<double>& column = columns_.emplace_back();
        column.reserve(m);
        for (std::size_t i : index_) column.push_back(data.at(j, i));
    }
    for (const auto& c : columns_) pointers_.push_back(c.data());
    data_ = {pointers_, m};
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
