#include "pair.hpp"

#include "format/number_format.hpp"

namespace zyl {

std::string pair_repr(Pair p) {
    bool minus = p.imag < 0.0 || std::isnan(p.imag);
    std::string out = "ZYLPair(";
    append_fixed(out, p.real, 6);
    out += minus ? " - " : " + ";
    append_fixed(out, std::fabs(p.imag), 6);
    out += "i)";
    return out;
}

}  // namespace zyl
