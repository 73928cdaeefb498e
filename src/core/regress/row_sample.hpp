#pragma once
// A deterministic subsample of the rows: at most a given count m, one from
// each of m equal stretches of the row order, the same whatever the thread
// count. A stage that reads it spends time and memory that do not grow
// with the row count; below the count it reads every row, as given (or
// copied into columns of their own from a row-major table).
#include <cstddef>
#include <span>
#include <vector>

#include "formula.hpp"
#include "scaling.hpp"

namespace zyl::regress {

class RowSample {
public:
    RowSample(const Columns& data, std::span<const double> y, Weights w, std::size_t most);
    RowSample(const RowSample&) = delete;
    RowSample& operator=(const RowSample&) = delete;

    bool whole() const { return index_.empty(); }
    const Columns& data() const { return data_; }
    std::span<const double> y() const { return y_; }
    Weights w() const { return w_; }
    // v (one value per row of the data) on the sampled rows.
    std::vector<double> pick(std::span<const double> v) const;

private:
    std::vector<std::size_t> index_;  // empty when every row is read
    std::vector<std::vector<double>> columns_;
    std::vector<const double*> pointers_;
    std::vector<double> y_own_, w_own_;
    Columns data_;
    std::span<const double> y_;
    Weights w_;
};

}  // namespace zyl::regress
