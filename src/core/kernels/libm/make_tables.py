"""Writes the tables of tables.hpp as a C++ source file (arguments: its path
and that of bench/log_table/offsets.txt, the log table's search result).

Each entry is the double nearest a value defined by exact arithmetic, found
with integers and 60-digit decimals from the rule written beside it, so the
result never depends on the machine that builds. The log table's 1/c values
are the exception: a search over 2^30 candidates each (bench/log_table)
finds them, and here they are checked against the rule that chose them. The
kernels' self-test checks the tables against the C library at run time.
"""

import math
import struct
import sys
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 60
N = 128

LOG_OFFSET = 0x3FE6000000000000
POW_LOG_OFFSET = 0x3FE6955500000000
SIN_COS_N = 64
PI = Fraction("3.14159265358979323846264338327950288419716939937510582097494459")


def sine_cosine(a):
    """sin(a) and cos(a) of an exact Fraction |a| < 1 to 60 digits, by their
    series."""
    a = Decimal(a.numerator) / Decimal(a.denominator)
    s, c, term, k = Decimal(0), Decimal(0), Decimal(1), 0
    while abs(term) > Decimal(10) ** -70 or k < 2:
        if k % 2 == 0:
            c += term if k % 4 == 0 else -term
        else:
            s += term if k % 4 == 1 else -term
        k += 1
        term = term * a / k
    return s, c


def nearest(value):
    """The double nearest an exact Decimal or Fraction, ties to even."""
    return float(Fraction(value))


def bits_of(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def double_of(b):
    return struct.unpack("<d", struct.pack("<Q", b))[0]


def exp_tables():
    """2^(j/N) ~= scale * (1 + tail), scale the nearest double."""
    tails, scale_bits = [], []
    for j in range(N):
        power = Decimal(2) ** (Decimal(j) / N)
        scale = nearest(power)
        tails.append(nearest((power - Decimal(scale)) / Decimal(scale)))
        scale_bits.append((bits_of(scale) - (j << 52) // N) % 2**64)
    return tails, scale_bits


def subintervals(offset):
    """The N subintervals of z's bit range [offset, 2 offset) that the top
    seven bits of its fraction pick, as exact (low, high)."""
    for i in range(N):
        yield (Fraction(double_of(offset + (i << 45))), Fraction(double_of(offset + ((i + 1) << 45))))


def split_log(invc):
    """log(c) for c = 1/invc as a multiple of 2^-43 (so that adding k ln2hi
    is exact) and the double nearest the rest."""
    log_c = -Decimal(invc).ln()
    logc = float(Fraction(round(log_c * 2**43), 2**43))
    return logc, nearest(log_c - Decimal(logc))


def pow_log_tables():
    """1/c from the centre of each subinterval, rounded to 1/N (1/(2N) above
    1); log(c) split by split_log."""
    invcs, logcs, tails = [], [], []
    for low, high in subintervals(POW_LOG_OFFSET):
        centre = (low + high) / 2
        steps = N if centre < 1 else 2 * N
        invc = float(Fraction(round(steps / centre), steps))
        logc, tail = split_log(invc)
        invcs.append(invc)
        logcs.append(logc)
        tails.append(tail)
    return invcs, logcs, tails


def read_offsets(path):
    """The search's result: one offset in ulps a line, entry by entry."""
    with open(path) as f:
        offsets = [int(line) for line in f if line.strip()]
    assert len(offsets) == N, f"{path}: {len(offsets)} offsets, not {N}"
    return offsets


def log_table(offsets):
    """The C library's (invc, logc) pairs by its rule: invc is the double
    nearest 1/centre moved by the search's offset, logc the double nearest
    log(c) = -log(invc). The three conditions the search chose invc by are
    checked again here, exactly."""
    rows = []
    for (low, high), offset in zip(subintervals(LOG_OFFSET), offsets):
        assert abs(offset) <= 2**29
        start = nearest(2 / (low + high))
        invc = double_of(bits_of(start) + offset)
        assert math.frexp(invc)[1] == math.frexp(start)[1]  # whole ulps of one binade
        log_c = -Decimal(invc).ln()
        logc = nearest(log_c)
        # (1) logc is a multiple of 2^-43, so k ln2hi + logc is exact.
        assert Fraction(logc) * 2**43 == round(Fraction(logc) * 2**43)
        # (2) Without FMA, r = (z - chi - clo) invc, c = 1/invc as chi + clo:
        # z - chi is exact and subtracting clo rounds to the ulp grid of the
        # largest |z - c| over the subinterval (the finer grids hold its
        # points), which with chi + clo's own error adds below 2^-66 to r.
        c = 1 / Fraction(invc)
        chi = nearest(c)
        clo = nearest(c - Fraction(chi))
        top = Fraction(double_of(bits_of(float(high)) - 1))
        widest = max(abs(low - c), abs(top - c))
        grid = Fraction(2) ** (exponent(widest) - 52)
        rounding = abs(Fraction(clo) - grid * round(Fraction(clo) / grid))
        assert (rounding + abs(c - Fraction(chi) - Fraction(clo))) * Fraction(invc) < Fraction(2) ** -66
        # (3) logc is within 2^-66 of log(c) (the search took the nearest).
        assert abs(log_c - Decimal(logc)) < Decimal(2) ** -66
        rows.append((invc, logc))
    return rows


def exponent(value):
    """e with 2^e <= value < 2^(e+1), for an exact positive Fraction."""
    e = value.numerator.bit_length() - value.denominator.bit_length()
    return e if Fraction(2) ** e <= value else e - 1


def split(value):
    """The double nearest value and the double nearest what it leaves."""
    high = nearest(value)
    return high, nearest(value - Decimal(high))


def sin_cos_table():
    """sin(k/64) and cos(k/64), each as a double and the rest, for k < 64."""
    rows = []
    for k in range(SIN_COS_N):
        s, c = sine_cosine(Fraction(k, SIN_COS_N))
        rows.append((*split(s), *split(c)))
    return rows


def half_pi_parts():
    """pi/2 as p1 + p2 + p3: p1 and p2 of 33 significant bits each, so that
    n p1 and n p2 are exact for n below 2^20, and p3 the double nearest the
    rest."""
    parts, rest = [], PI / 2
    for _ in range(2):
        scale = Fraction(2) ** (32 - (rest.numerator.bit_length() - rest.denominator.bit_length()))
        part = Fraction(round(rest * scale)) / scale
        parts.append(float(part))
        rest -= part
    return parts + [float(rest)]


def table(ctype, name, entries, fields):
    """One initialiser line per entry; `fields` turns an entry into literals."""
    rows = ",\n    ".join("{" + ", ".join(fields(entry)) + "}" for entry in entries)
    return f"const {ctype} {name}[kTableSize] = {{\n    {rows}}};\n\n"


def main(path, offsets_path):
    hexf = float.hex
    parts = [
        "// Generated by make_tables.py at build time.\n",
        '#include "kernels/libm/tables.hpp"\n\n',
        "namespace zyl::kernels::libm {\n\n",
        table("ExpEntry", "kExpTable", zip(*exp_tables()), lambda e: (hexf(e[0]), f"0x{e[1]:016x}")),
        table("PowLogEntry", "kPowLogTable", zip(*pow_log_tables()), lambda e: [*map(hexf, e), "0.0"]),
        table("SinCosEntry", "kSinCosTable", sin_cos_table(), lambda e: map(hexf, e)).replace(
            "[kTableSize]", "[kSinCosTableSize]"),
        "const double kHalfPiParts[3] = {" + ", ".join(map(hexf, half_pi_parts())) + "};\n\n",
        table("LogEntry", "kLogTable", log_table(read_offsets(offsets_path)), lambda e: map(hexf, e)),
        "}  // namespace zyl::kernels::libm\n",
    ]
    with open(path, "w") as out:
        out.write("".join(parts))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
