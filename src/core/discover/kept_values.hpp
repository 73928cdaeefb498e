#pragma once
// Memory for the values that a search keeps per pool member, bounded by a
// process-wide budget. Members beyond the budget keep nothing and are
// evaluated from their node lists when needed; results are the same either
// way, only slower.
#include <cstddef>
#include <memory>
#include <vector>

namespace zyl::discover {

// 1 GiB unless changed: at 10,000 samples a default search keeps every
// member (about 3,500); at 10^7 samples only the first dozen or so.
inline constexpr std::size_t kDefaultKeptValuesBudget = std::size_t{1} << 30;

// Bytes one search may spend on kept values. Read when a search starts.
std::size_t kept_values_budget();
void set_kept_values_budget(std::size_t bytes);

// Hands out columns of `samples` doubles while the budget lasts; owns them
// until it is destroyed.
class ColumnStore {
public:
    ColumnStore(std::size_t samples, std::size_t budget_bytes) : samples_(samples), budget_(budget_bytes) {}

    // A fresh uninitialised column, or null once it would exceed the budget.
    double* take();

private:
    std::size_t samples_;
    std::size_t budget_;
    std::size_t used_ = 0;
    std::vector<std::unique_ptr<double[]>> columns_;
};

}  // namespace zyl::discover
