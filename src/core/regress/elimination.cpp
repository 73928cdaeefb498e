#include "elimination.hpp"

#include <cmath>
#include <utility>

namespace zyl::regress {

bool solve_pivoted(std::vector<double>& a, std::vector<double>& b, std::size_t k, double min_pivot,
                   std::vector<double>& x) {
    for (std::size_t col = 0; col < k; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < k; ++r)
            if (std::fabs(a[r * k + col]) > std::fabs(a[pivot * k + col])) pivot = r;
        if (!(std::fabs(a[pivot * k + col]) > min_pivot)) return false;
        if (pivot != col) {
            for (std::size_t c = 0; c < k; ++c) std::swap(a[col * k + c], a[pivot * k + c]);
            std::swap(b[col], b[pivot]);
        }
        for (std::size_t r = col + 1; r < k; ++r) {
            const double m = a[r * k + col] / a[col * k + col];
            for (std::size_t c = col; c < k; ++c) a[r * k + c] -= m * a[col * k + c];
            b[r] -= m * b[col];
        }
    }
    x.assign(k, 0.0);
    for (std::size_t i = k; i-- > 0;) {
        double s = b[i];
        for (std::size_t c = i + 1; c < k; ++c) s -= a[i * k + c] * x[c];
        x[i] = s / a[i * k + i];
    }
    for (double v : x)
        if (!std::isfinite(v)) return false;
    return true;
}

}  // namespace zyl::regress
