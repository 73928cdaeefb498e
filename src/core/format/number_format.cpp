#include "number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zyl {
namespace {

// Writes the special values; returns false for a finite v.
bool append_special(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return true;
    }
    return false;
}

}  // namespace

void append_fixed(std::string& out, double v, int decimals) {
    if (append_special(out, v)) return;
    // glibc's printf converts the exact binary value and rounds ties to even.
    // The buffer holds any double with the usual 4 or 6 decimals; a longer
    // request is written straight into `out` instead of being truncated.
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::size_t len = static_cast<std::size_t>(n);
    if (len < sizeof buf) {
        out.append(buf, len);
        return;
    }
    std::size_t start = out.size();
    out.resize(start + len + 1);
    std::snprintf(out.data() + start, len + 1, "%.*f", decimals, v);
    out.resize(start + len);
}

std::string format_fixed(double v, int decimals) {
    std::string out;
    append_fixed(out, v, decimals);
    return out;
}

std::string format_exp2(double v) {
    std::string out;
    if (append_special(out, v)) return out;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2e", v);
    // buf is "[-]d.dde[+-]XX": keep the mantissa, rewrite the exponent.
    const char* e = std::strchr(buf, 'e');
    out.append(buf, static_cast<std::size_t>(e - buf));
    out += 'e';
    out += std::to_string(std::atoi(e + 1));
    return out;
}

std::string format_shortest(double v) {
    std::string out;
    if (append_special(out, v)) return out;
    // Shortest round-trip digits in scientific layout: "[-]d[.ddd]e[+-]X".
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string sci(buf, res.ptr);
    std::size_t epos = sci.find('e');
    int exp10 = std::atoi(sci.c_str() + epos + 1);
    std::string mant = sci.substr(0, epos);
    bool negative = mant[0] == '-';
    if (negative) mant.erase(0, 1);
    std::string digits;
    for (char c : mant)
        if (c != '.') digits += c;

    if (negative) out += '-';
    double mag = std::fabs(v);
    if (mag == 0.0 || (mag >= 1e-4 && mag < 1e16)) {
        if (mag == 0.0) {
            out += "0.0";
        } else if (exp10 < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exp10 - 1), '0');
            out += digits;
        } else {
            std::size_t int_len = static_cast<std::size_t>(exp10) + 1;
            if (digits.size() <= int_len) {
                out += digits;
                out.append(int_len - digits.size(), '0');
                out += ".0";
            } else {
                out.append(digits, 0, int_len);
                out += '.';
                out.append(digits, int_len, std::string::npos);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out.append(digits, 1, std::string::npos);
    }
    out += 'e';
    out += std::to_string(exp10);
    return out;
}

}  // namespace zyl
