# One discovered formula with the names of its variables, and its exports:
# sympy, LaTeX and a self-contained numpy function. The exports are built from
# the engine's postfix nodes, never from the text, so they mean exactly what
# the engine evaluated. sympy and numpy are imported only when asked for.

from zyl_core._discovery import _Formula
from zyl_core._optional import require

from .data import _as_samples, _checked_names, _numpy


class Formula:
    """A formula found by FormulaRegressor, written with the data's variable names.

    str(formula) is its text; `complexity` its node count; `rmse` its
    root-mean-square error on the training data; `constants` its constants,
    `standard_errors` and `covariance` their uncertainties; summary() shows
    them with the fit's figures. predict(X) evaluates it natively; sympy(),
    latex() and to_numpy_source() / to_function() export it.
    """

    __slots__ = ("_native", "_names", "_stats")

    def __init__(self, native, feature_names, statistics=None):
        if not isinstance(native, _Formula):
            raise TypeError(f"Formula wraps a native formula (_Formula), not {type(native).__name__}")
        if isinstance(feature_names, str):
            raise TypeError("feature_names must be a sequence of strings, not a single string")
        names = _checked_names(feature_names, "feature_names")
        used = 1 + max((node[1] for node in native.nodes if node[0] == "var"), default=-1)
        if len(names) < used:
            raise ValueError(f"feature_names has {len(names)} names but the formula uses {used} variables")
        self._native = native
        self._names = names
        self._stats = None if statistics is None else dict(statistics)

    @property
    def feature_names(self):
        """The variable names, one per input column."""
        return self._names

    @property
    def nodes(self):
        """The postfix nodes, as the engine evaluates them."""
        return self._native.nodes

    @property
    def complexity(self):
        """The number of nodes."""
        return self._native.complexity

    @property
    def rmse(self):
        """Root-mean-square error on the training data."""
        return self._native.rmse

    @property
    def constants(self):
        """The constants as written, in the order they appear in the nodes."""
        return self._native.constants

    @property
    def fitted_constants(self):
        """The constants as fitted, one per entry of `constants`: for one written
        exactly, the fitted value the exact number replaced."""
        return self._statistic("estimates", self.constants)

    @property
    def standard_errors(self):
        """The standard error of each fitted constant, one per entry of
        `constants`, as a least-squares fit reports it (sigma^2 (J'WJ)^-1 at the
        fit, sigma^2 the residual variance); for one written exactly, the error
        of the value it replaced. NaN where the data cannot tell the constant
        (or the fit was interrupted), 0.0 for a constant that was never fitted."""
        return self._statistic("std_errors", (float("nan"),) * len(self.constants))

    @property
    def covariance(self):
        """The covariance matrix (numpy) of the free constants: those of
        `constants` not written exactly, listed by `free_constants`."""
        np = _numpy()
        rows = self._statistic("covariance", ())
        k = len(self.free_constants)
        return np.array(rows, dtype=np.float64).reshape(k, k) if rows else np.full((k, k), np.nan)

    @property
    def free_constants(self):
        """Indices into `constants` of the constants the fit left free (not
        written exactly), the order of `covariance`."""
        if self._stats is not None:
            return tuple(self._stats["free"])
        return tuple(i for i, node in enumerate(n for n in self.nodes if n[0] == "const") if node[2] is None)

    @property
    def description_length(self):
        """The fit's description length in nats (what model_selection="mdl"
        minimises); inf when the formula may not be selected by it."""
        return self._statistic("description_length", float("nan"))

    @property
    def bic(self):
        """The Bayesian information criterion with every node counted."""
        return self._statistic("bic", float("nan"))

    @property
    def units(self):
        """The unit of y the fit was given (y_units), or None for a fit without units."""
        return self._statistic("units", None)

    @property
    def constant_units(self):
        """The unit of each entry of `constants` in SI base units ("1" for a
        pure number), or () for a fit without units."""
        return self._statistic("constant_units", ())

    @property
    def r2(self):
        """Coefficient of determination on the training data."""
        return self._statistic("r2", float("nan"))

    def _statistic(self, key, default):
        if self._stats is None or key not in self._stats:
            return default
        value = self._stats[key]
        return tuple(value) if isinstance(value, (list, tuple)) else value

    def summary(self):
        """The formula, each constant with its standard error, and the fit's
        figures (rmse, R^2, description length, BIC), as printable text.

        A constant written exactly shows the fitted value it replaced: it was
        written exactly because that value lies within about 1.5 standard
        errors of the exact number and the exact number is the shorter
        description (its cost in nats: ln 2 for the sign, ln(m (m + 1)) for
        each of the integers p and q, and ln 2 for a plain p/q, ln 4 with pi,
        ln 100 with pi**2, e, sqrt(2*pi), sqrt(2) or sqrt(pi); against
        ln(|c| / d) + ln 2 for writing the fitted value c to the precision d
        the data give it)."""
        lines = [str(self), ""]
        if self.units is not None:
            lines += [f"units: [{self.units}]", ""]
        written = [_constant_text(node) for node in self.nodes if node[0] == "const"]
        free = set(self.free_constants)
        units = [f"  [{u}]" for u in self._statistic("constant_units", ())] or [""] * len(written)
        if written:
            lines.append("constants (value \u00b1 standard error):")
            for i, (text, fitted, error) in enumerate(zip(written, self.fitted_constants, self.standard_errors)):
                if i in free:
                    lines.append(f"  {_with_error(fitted, error)}{units[i]}")
                elif error == 0.0:
                    lines.append(f"  {text}  (exact){units[i]}")
                else:
                    lines.append(f"  {text}  (exact; fitted {_with_error(fitted, error)}){units[i]}")
            lines.append("")
        lines.append(f"rmse {_short(self.rmse, 6)}   R^2 {_short(self.r2, 6)}   "
                     f"description length {_short(self.description_length, 5)} nats   BIC {_short(self.bic, 5)}")
        return "\n".join(lines)

    def __str__(self):
        return self._native.to_text(self._names)

    def __repr__(self):
        return f"Formula({str(self)!r}, complexity={self.complexity}, rmse={self.rmse!r})"

    def __eq__(self, other):
        if not isinstance(other, Formula):
            return NotImplemented
        return (self.nodes, self.rmse, self._names) == (other.nodes, other.rmse, other._names)

    def __hash__(self):
        return hash((self.nodes, self._names))

    def __reduce__(self):
        return (Formula, (self._native, self._names, self._stats))

    def predict(self, X):
        """Values of the formula for each row of X (n_samples, n_features), computed natively.

        NaN where the formula is undefined for a row (log or sqrt of a negative
        number, division by zero, overflow) or the row holds NaN.
        """
        return self._evaluate(_as_samples(X, "this formula", len(self._names)))

    def _evaluate(self, array):
        # Read in place, whatever the layout: a copy of a large X would be
        # work that Ctrl-C cannot stop.
        np = _numpy()
        values = self._native._evaluate(np.asarray(array, dtype=np.float64).T)
        return np.frombuffer(values, dtype=np.float64)

    def sympy(self):
        """The formula as a sympy expression over symbols named like the variables.

        Constants the engine recognised as exact (3/5, pi/4, 1/(4*pi), sqrt(2*pi), ...)
        are exact sympy numbers; other constants are sympy Floats holding the
        fitted double. zyl(a, b) is written exp(a) - log(b), its value wherever
        b > 0 and a <= 709.78.
        """
        sympy = require("sympy", "Formula.sympy", "discovery")

        variables = [sympy.Symbol(name) for name in self._names]
        # The engine writes each basis as a product of pi, e, square roots and integers.
        known = {"pi": sympy.pi, "e": sympy.E, "sqrt": sympy.sqrt}
        unary = {
            "neg": lambda a: -a, "inv": lambda a: 1 / a, "exp": sympy.exp, "log": sympy.log, "sqrt": sympy.sqrt,
            "sin": sympy.sin, "cos": sympy.cos, "abs": sympy.Abs, "square": lambda a: a**2,
        }
        binary = {
            "add": lambda a, b: a + b, "sub": lambda a, b: a - b, "mul": lambda a, b: a * b,
            "div": lambda a, b: a / b, "zyl": lambda a, b: sympy.exp(a) - sympy.log(b),
        }

        def constant(value, exact):
            if exact is None:
                return sympy.Float(value)
            numerator, denominator, basis = exact
            return sympy.Rational(numerator, denominator) * sympy.sympify(basis, locals=known)

        def leaf(node):
            return variables[node[1]] if node[0] == "var" else constant(node[1], node[2])

        return _in_sympy(self, lambda: _fold_postfix(self.nodes, leaf, unary, binary))

    def latex(self):
        """The formula in LaTeX, as sympy writes it (sympy is needed)."""
        sympy = require("sympy", "Formula.latex", "discovery")

        expression = self.sympy()
        return _in_sympy(self, lambda: sympy.latex(expression))

    def to_numpy_source(self, name="f"):
        """Python source of a function `name(x0, x1, ...)` computing the formula with numpy.

        It needs nothing but numpy, takes one argument per input column (scalars
        or arrays, broadcast together), and gives the same values as predict:
        the guards of the engine included, NaN where the formula is undefined.
        A scalar call returns a float. The arguments are the variable names made
        into distinct Python identifiers (the docstring keeps the names as given).
        """
        _check_function_name(name)
        arguments = _identifiers(self._names)
        used = set()
        steps = []

        def spilled(operand):
            # Python's parser refuses deeply nested calls: an operand nested
            # as deep as allowed is computed into a temporary first.
            text, depth = operand
            if depth < _MAX_NESTING:
                return operand
            steps.append(f"        _t{len(steps)} = {text}")
            return f"_t{len(steps) - 1}", 0

        def leaf(node):
            return (arguments[node[1]] if node[0] == "var" else _float_literal(node[1])), 0

        def call(op):
            def emit(*operands):
                used.add(op)
                operands = [spilled(operand) for operand in operands]
                depth = 1 + max(depth for _, depth in operands)
                return f"_{op}({', '.join(text for text, _ in operands)})", depth

            return emit

        unary = {op: call(op) for op in ("neg", "inv", "exp", "log", "sqrt", "sin", "cos", "abs", "square")}
        binary = {op: call(op) for op in ("add", "sub", "mul", "div", "zyl")}
        expression, _ = _fold_postfix(self.nodes, leaf, unary, binary)
        shapes = ", ".join(f"{argument}.shape" for argument in arguments)
        lines = [
            "import numpy as np",
            "",
            "",
            f"def {name}({', '.join(arguments)}):",
            f'    """{_docstring_text(str(self))}',
            "",
            "    Generated by zyl_core.discovery: NaN where the formula is undefined,",
            "    like Formula.predict. Takes scalars or arrays (broadcast together).",
            '    """',
            *(f"    {argument} = np.asarray({argument}, dtype=np.float64)" for argument in arguments),
            '    with np.errstate(all="ignore"):',
            *steps,
            f"        value = np.asarray({expression}, dtype=np.float64)",
            f"    value = np.broadcast_to(value, np.broadcast_shapes({shapes})).copy()",
            "    return float(value) if value.ndim == 0 else value",
            "",
            "",
            "def _finite(r):",
            "    return np.where(np.isfinite(r), r, np.nan)",
        ]
        for op in sorted(used):
            lines += ["", "", _NUMPY_HELPERS[op]]
        return "\n".join(lines) + "\n"

    def to_function(self):
        """The formula as a Python function of the variables (see to_numpy_source)."""
        namespace = {}
        exec(compile(self.to_numpy_source(), "<zyl_core.discovery formula>", "exec"), namespace)
        return namespace["f"]

    def plot(self, X, y, ax=None):
        """Draws the formula against data X, y (matplotlib, the 'plot' extra);
        returns (axes, residual axes).

        With one input: the data, the formula's curve across and a little
        beyond their range, and the 95% confidence band of the curve (1.96
        standard deviations, propagated from `covariance`; none where that is
        unknown). With several: measured against predicted values and the
        identity line. Residuals go on a second axes beneath `ax` (a new
        figure when ax is None). A log scale is used where the values span
        three decades or more, with relative residuals for such targets.
        """
        from .plotting import _plot_formula

        return _plot_formula(self, X, y, ax)

    def _repr_latex_(self):
        from .display import _latex_display

        return _latex_display(self)


def _in_sympy(formula, work):
    """work(), with sympy's RecursionError on a deeply nested formula told as such."""
    try:
        return work()
    except RecursionError:
        raise ValueError(f"this formula of {formula.complexity} nodes is nested too deeply for sympy") from None


def _fold_postfix(nodes, leaf, unary, binary):
    """Evaluates the postfix nodes over any value type: leaf(node) for var and
    const nodes, unary[name](a) and binary[name](a, b) for operations."""
    stack = []
    for node in nodes:
        if node[0] != "op":
            stack.append(leaf(node))
        elif node[1] in binary:
            b = stack.pop()
            stack.append(binary[node[1]](stack.pop(), b))
        else:
            stack.append(unary[node[1]](stack.pop()))
    if len(stack) != 1:
        raise ValueError(f"malformed formula nodes: {nodes!r}")
    return stack[0]


def _constant_text(node):
    """A constant node as the text writes it: p/q*basis, or the fitted digits."""
    value, exact = node[1], node[2]
    if exact is None:
        return repr(value)
    p, q, basis = exact
    number = str(p) if q == 1 else f"{p}/{q}"
    if basis == "1":
        return number
    if p == 1 and q == 1:
        return basis
    return f"{basis}/{q}" if p == 1 else f"{p}*{basis}" if q == 1 else f"{number}*{basis}"


def _with_error(value, error):
    """value +- error, both to the second significant digit of the error."""
    import math

    if not (math.isfinite(error) and error > 0):
        return f"{value!r} \u00b1 {error}"
    decimals = 1 - math.floor(math.log10(error))
    if decimals <= 0 or decimals > 15:
        return f"{value:.6g} \u00b1 {error:.2g}"
    return f"{value:.{decimals}f} \u00b1 {error:.{decimals}f}"


def _short(value, digits=2):
    """A figure to `digits` significant digits."""
    return f"{value:.{digits}g}"


# Calls nested deeper than this in generated source go through temporaries.
_MAX_NESTING = 32

# Names the generated module itself uses: numpy, the local result and the
# builtin that makes it a float. Its helpers and temporaries start with "_",
# which no argument does.
_SOURCE_NAMES = frozenset({"np", "value", "float"})


def _float_literal(value):
    text = repr(float(value))
    return text if text not in ("nan", "inf", "-inf") else f"float({text!r})"


def _docstring_text(text):
    """`text` for a triple-quoted docstring: backslashes and quotes escaped,
    characters that are not printable written as escapes."""
    escaped = text.replace("\\", "\\\\").replace('"', '\\"')
    return "".join(c if c.isprintable() else repr(c)[1:-1] for c in escaped)


def _is_stable_identifier(text):
    """Whether Python reads `text` as an identifier that is `text` itself:
    the parser normalises identifiers (NFKC), so "ｎｐ" would be read as np."""
    import keyword
    import unicodedata

    return text.isidentifier() and not keyword.iskeyword(text) and unicodedata.normalize("NFKC", text) == text


def _check_function_name(name):
    if not isinstance(name, str) or not _is_stable_identifier(name):
        raise ValueError(f"name must be a Python identifier that is not a keyword, got {name!r}")
    if name in _SOURCE_NAMES or name.startswith("_"):
        raise ValueError(f"name {name!r} is taken by the generated module: use another name")


def _identifiers(names):
    """Distinct Python identifiers for the variable names, as close to them as
    possible, that the parser reads as they are written and that shadow none
    of the generated module's own names."""
    import unicodedata

    taken = set()
    result = []
    for j, name in enumerate(names):
        normal = unicodedata.normalize("NFKC", name)
        ident = "".join(c if ("a" + c).isidentifier() else "_" for c in normal)
        if not _is_stable_identifier(ident) or ident.startswith("_") or ident in _SOURCE_NAMES:
            ident = "v_" + ident
        if not _is_stable_identifier(ident):
            ident = f"v_{j}"
        base, k = ident, 1
        while ident in taken:
            ident, k = f"{base}_{k}", k + 1
        taken.add(ident)
        result.append(ident)
    return result


# The engine's guards, written with numpy: every operation's result that is not
# finite becomes NaN, and so does a rejected operand.
_NUMPY_HELPERS = {
    "neg": "def _neg(a):\n    return _finite(np.negative(a))",
    "inv": "def _inv(a):\n    return _finite(np.where(np.abs(a) < 1e-300, np.nan, np.divide(1.0, a)))",
    "exp": "def _exp(a):\n    return _finite(np.exp(a))",
    "log": "def _log(a):\n    return _finite(np.where(a <= 0, np.nan, np.log(a)))",
    "sqrt": "def _sqrt(a):\n    return _finite(np.where(a < 0, np.nan, np.sqrt(a)))",
    "sin": "def _sin(a):\n    return _finite(np.sin(a))",
    "cos": "def _cos(a):\n    return _finite(np.cos(a))",
    "abs": "def _abs(a):\n    return _finite(np.abs(a))",
    "square": "def _square(a):\n    return _finite(np.multiply(a, a))",
    "add": "def _add(a, b):\n    return _finite(np.add(a, b))",
    "sub": "def _sub(a, b):\n    return _finite(np.subtract(a, b))",
    "mul": "def _mul(a, b):\n    return _finite(np.multiply(a, b))",
    "div": "def _div(a, b):\n    return _finite(np.where(np.abs(b) < 1e-300, np.nan, np.divide(a, b)))",
    "zyl": (
        "def _zyl(a, b):\n"
        "    # exp(a) - ln(b); above a = 709.78 the exponential is taken of ln(a), and b is\n"
        "    # replaced by max(|b|, 1e-300) unless it is positive.\n"
        "    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)\n"
        "    big = a > 709.78\n"
        "    e = np.where(big, np.exp(np.log(np.where(big, a, 1.0))), np.exp(a))\n"
        "    b = np.where((b > 0) | np.isnan(b), b, np.maximum(np.abs(b), 1e-300))\n"
        "    return _finite(e - np.log(b))"
    ),
}
