#pragma once
// Gaussian elimination with partial pivoting for the small dense systems of
// the constant fits and the linear fits (a handful of unknowns).
#include <cstddef>
#include <vector>

namespace zyl::regress {

// Solves a x = b for the k x k row-major a (both overwritten); false when a
// pivot is not above `min_pivot` in size or a solution is not finite.
bool solve_pivoted(std::vector<double>& a, std::vector<double>& b, std::size_t k, double min_pivot,
                   std::vector<double>& x);

}  // namespace zyl::regress
