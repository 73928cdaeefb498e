"""Writes the tables of tables.hpp as a C++ source file (argument: its path).

Each entry is the double nearest a value defined by exact arithmetic, found
with integers and 60-digit decimals, so the result never depends on the
machine that builds. The log table's 1/c values are the one exception: the
algorithm picked them by a search for a c whose log rounds well, which
cannot be repeated here, so they are listed as the algorithm has them; the
log(c) beside them is computed. The kernels' self-test checks the whole set
against the C library at run time.
"""

import struct
import sys
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 60
N = 128

LOG_INVC = [
    '0x1.734f0c3e0de9fp+0', '0x1.713786a2ce91fp+0', '0x1.6f26008fab5a0p+0', '0x1.6d1a61f138c7dp+0',
    '0x1.6b1490bc5b4d1p+0', '0x1.69147332f0cbap+0', '0x1.6719f18224223p+0', '0x1.6524f99a51ed9p+0',
    '0x1.63356aa8f24c4p+0', '0x1.614b36b9ddc14p+0', '0x1.5f66452c65c4cp+0', '0x1.5d867b5912c4fp+0',
    '0x1.5babccb5b90dep+0', '0x1.59d61f2d91a78p+0', '0x1.5805612465687p+0', '0x1.56397cee76bd3p+0',
    '0x1.54725e2a77f93p+0', '0x1.52aff42064583p+0', '0x1.50f22dbb2bddfp+0', '0x1.4f38f4734ded7p+0',
    '0x1.4d843cfde2840p+0', '0x1.4bd3ec078a3c8p+0', '0x1.4a27fc3e0258ap+0', '0x1.4880524d48434p+0',
    '0x1.46dce1b192d0bp+0', '0x1.453d9d3391854p+0', '0x1.43a2744b4845ap+0', '0x1.420b54115f8fbp+0',
    '0x1.40782da3ef4b1p+0', '0x1.3ee8f5d57fe8fp+0', '0x1.3d5d9a00b4ce9p+0', '0x1.3bd60c010c12bp+0',
    '0x1.3a5242b75dab8p+0', '0x1.38d22cd9fd002p+0', '0x1.3755bc5847a1cp+0', '0x1.35dce49ad36e2p+0',
    '0x1.34679984dd440p+0', '0x1.32f5cceffcb24p+0', '0x1.3187775a10d49p+0', '0x1.301c8373e3990p+0',
    '0x1.2eb4ebb95f841p+0', '0x1.2d50a0219a9d1p+0', '0x1.2bef9a8b7fd2ap+0', '0x1.2a91c7a0c1babp+0',
    '0x1.293726014b530p+0', '0x1.27dfa5757a1f5p+0', '0x1.268b39b1d3bbfp+0', '0x1.2539d838ff5bdp+0',
    '0x1.23eb7aac9083bp+0', '0x1.22a012ba940b6p+0', '0x1.2157996cc4132p+0', '0x1.201201dd2fc9bp+0',
    '0x1.1ecf4494d480bp+0', '0x1.1d8f5528f6569p+0', '0x1.1c52311577e7cp+0', '0x1.1b17c74cb26e9p+0',
    '0x1.19e010c2c1ab6p+0', '0x1.18ab07bb670bdp+0', '0x1.1778a25efbcb6p+0', '0x1.1648d354c31dap+0',
    '0x1.151b990275fddp+0', '0x1.13f0ea432d24cp+0', '0x1.12c8b7210f9dap+0', '0x1.11a3028ecb531p+0',
    '0x1.107fbda8434afp+0', '0x1.0f5ee0f4e6bb3p+0', '0x1.0e4065d2a9fcep+0', '0x1.0d244632ca521p+0',
    '0x1.0c0a77ce2981ap+0', '0x1.0af2f83c636d1p+0', '0x1.09ddb98a01339p+0', '0x1.08cabaf52e7dfp+0',
    '0x1.07b9f2f4e28fbp+0', '0x1.06ab58c358f19p+0', '0x1.059eea5ecf92cp+0', '0x1.04949cdd12c90p+0',
    '0x1.038c6c6f0ada9p+0', '0x1.02865137932a9p+0', '0x1.0182427ea7348p+0', '0x1.008040614b195p+0',
    '0x1.fe01ff726fa1ap-1', '0x1.fa11cc261ea74p-1', '0x1.f6310b081992ep-1', '0x1.f25f63ceeadcdp-1',
    '0x1.ee9c8039113e7p-1', '0x1.eae8078cbb1abp-1', '0x1.e741aa29d0c9bp-1', '0x1.e3a91830a99b5p-1',
    '0x1.e01e009609a56p-1', '0x1.dca01e577bb98p-1', '0x1.d92f20b7c9103p-1', '0x1.d5cac66fb5ccep-1',
    '0x1.d272caa5ede9dp-1', '0x1.cf26e3e6b2ccdp-1', '0x1.cbe6da2a77902p-1', '0x1.c8b266d37086dp-1',
    '0x1.c5894bd5d5804p-1', '0x1.c26b533bb9f8cp-1', '0x1.bf583eeece73fp-1', '0x1.bc4fd75db96c1p-1',
    '0x1.b951e0c864a28p-1', '0x1.b65e2c5ef3e2cp-1', '0x1.b374867c9888bp-1', '0x1.b094b211d304ap-1',
    '0x1.adbe885f2ef7ep-1', '0x1.aaf1d31603da2p-1', '0x1.a82e63fd358a7p-1', '0x1.a5740ef09738bp-1',
    '0x1.a2c2a90ab4b27p-1', '0x1.a01a01393f2d1p-1', '0x1.9d79f24db3c1bp-1', '0x1.9ae2505c7b190p-1',
    '0x1.9852ef297ce2fp-1', '0x1.95cbaeea44b75p-1', '0x1.934c69de74838p-1', '0x1.90d4f2f6752e6p-1',
    '0x1.8e6528effd79dp-1', '0x1.8bfce9fcc007cp-1', '0x1.899c0dabec30ep-1', '0x1.87427aa2317fbp-1',
    '0x1.84f00acb39a08p-1', '0x1.82a49e8653e55p-1', '0x1.8060195f40260p-1', '0x1.7e22563e0a329p-1',
    '0x1.7beb377dcb5adp-1', '0x1.79baa679725c2p-1', '0x1.77907f2170657p-1', '0x1.756cadbd6130cp-1',
]
POW_LOG_OFFSET = 0x3FE6955500000000


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


def log_tables():
    invc = [float.fromhex(v) for v in LOG_INVC]
    return invc, [nearest(-Decimal(v).ln()) for v in invc]


def pow_log_tables():
    """1/c from the centre of each subinterval of z's bit range, rounded to
    1/N (1/(2N) above 1); log(c) as a multiple of 2^-43 plus a tail."""
    invcs, logcs, tails = [], [], []
    for i in range(N):
        low = Fraction(double_of(POW_LOG_OFFSET + (i << 45)))
        high = Fraction(double_of(POW_LOG_OFFSET + ((i + 1) << 45)))
        centre = (low + high) / 2
        steps = N if centre < 1 else 2 * N
        invc = float(Fraction(round(steps / centre), steps))
        log_c = -Decimal(invc).ln()
        logc = float(Fraction(round(log_c * 2**43), 2**43))
        invcs.append(invc)
        logcs.append(logc)
        tails.append(nearest(log_c - Decimal(logc)))
    return invcs, logcs, tails


def table(ctype, name, entries, fields):
    """One initialiser line per entry; `fields` turns an entry into literals."""
    rows = ",\n    ".join("{" + ", ".join(fields(entry)) + "}" for entry in entries)
    return f"const {ctype} {name}[kTableSize] = {{\n    {rows}}};\n\n"


def main(path):
    hexf = float.hex
    parts = [
        "// Generated by make_tables.py at build time.\n",
        '#include "kernels/libm/tables.hpp"\n\n',
        "namespace zyl::kernels::libm {\n\n",
        table("ExpEntry", "kExpTable", zip(*exp_tables()), lambda e: (hexf(e[0]), f"0x{e[1]:016x}")),
        table("LogEntry", "kLogTable", zip(*log_tables()), lambda e: map(hexf, e)),
        table("PowLogEntry", "kPowLogTable", zip(*pow_log_tables()), lambda e: [*map(hexf, e), "0.0"]),
        "}  // namespace zyl::kernels::libm\n",
    ]
    with open(path, "w") as out:
        out.write("".join(parts))


if __name__ == "__main__":
    main(sys.argv[1])
