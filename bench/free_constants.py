"""Whether the constants a formula writes exactly are ones the data allow.

The selected formula's structure is refitted with every constant freed (scipy's
curve_fit, started at the formula's own constants); a constant written exactly
(node ('const', value, exact) with exact not None) is consistent with the data
when it lies within 2 standard errors of its freed value. At nonzero noise an
exact constant outside that interval is a snap the data do not support.
"""
import warnings

import numpy as np
from scipy.optimize import OptimizeWarning, curve_fit

UNARY = {
    "neg": np.negative, "inv": lambda a: 1 / a, "exp": np.exp, "log": np.log, "sqrt": np.sqrt,
    "sin": np.sin, "cos": np.cos, "abs": np.abs, "square": np.square,
}
BINARY = {
    "add": np.add, "sub": np.subtract, "mul": np.multiply, "div": np.divide,
    "zyl": lambda a, b: np.exp(a) - np.log(b),
}


def freed(nodes):
    """(f(columns, *constants), constants, indices of the exact ones) for postfix nodes."""
    constants = [float(n[1]) for n in nodes if n[0] == "const"]
    exact = [i for i, n in enumerate(n for n in nodes if n[0] == "const") if n[2] is not None]

    def f(columns, *values):
        stack, k = [], 0
        with np.errstate(all="ignore"):
            for node in nodes:
                if node[0] == "var":
                    stack.append(np.asarray(columns[node[1]], dtype=float))
                elif node[0] == "const":
                    stack.append(values[k])
                    k += 1
                elif node[1] in BINARY:
                    b = stack.pop()
                    stack.append(BINARY[node[1]](stack.pop(), b))
                else:
                    stack.append(UNARY[node[1]](stack.pop()))
        (value,) = stack
        return np.broadcast_to(value, np.shape(columns[0])).astype(float)

    return f, constants, exact


def snapped_outside(nodes, x, y, sigmas=2.0):
    """(exact constants outside `sigmas` standard errors of their freed fit, exact constants).

    x: (n, d) samples, y: (n,) targets. A constant the refit cannot pin down
    (infinite variance, or a failed refit) counts as inside: the data say
    nothing against it.
    """
    f, constants, exact = freed(nodes)
    if not exact:
        return 0, 0
    with warnings.catch_warnings(), np.errstate(all="ignore"):
        warnings.simplefilter("ignore", OptimizeWarning)
        try:
            fitted, covariance = curve_fit(f, x.T, y, p0=constants, maxfev=20000)
        except (RuntimeError, ValueError, TypeError):
            return 0, len(exact)
    errors = np.sqrt(np.abs(np.diag(covariance)))
    outside = sum(1 for i in exact
                  if np.isfinite(errors[i]) and abs(constants[i] - fitted[i]) > sigmas * errors[i])
    return outside, len(exact)
