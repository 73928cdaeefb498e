#include "kept_values.hpp"

#include <atomic>

namespace zyl::discover {
namespace {

std::atomic<std::size_t> g_budget{kDefaultKeptValuesBudget};

}  // namespace

std::size_t kept_values_budget() { return g_budget.load(std::memory_order_relaxed); }

void set_kept_values_budget(std::size_t bytes) { g_budget.store(bytes, std::memory_order_relaxed); }

double* ColumnStore::take() {
    const std::size_t bytes = samples_ * sizeof(double);
    if (bytes > budget_ - used_ || used_ > budget_) return nullptr;
    used_ += bytes;
    columns_.push_back(std::make_unique_for_overwrite<double[]>(samples_));
    return columns_.back().get();
}

}  // namespace zyl::discover
