# Unit strings of the data's columns and target, read into exponents of the
# seven SI base units. Exponents are exact fractions so that sqrt(m^3) and
# m^(3/2) are the same dimension; the engine receives them as integer pairs.
import re
from fractions import Fraction

# The order of the exponents the engine receives.
BASE_UNITS = ("m", "s", "kg", "A", "K", "mol", "cd")


def _dimension(**exponents):
    return tuple(Fraction(exponents.get(name, 0)) for name in BASE_UNITS)


_UNITS = {
    "m": _dimension(m=1),
    "s": _dimension(s=1),
    "kg": _dimension(kg=1),
    "A": _dimension(A=1),
    "K": _dimension(K=1),
    "mol": _dimension(mol=1),
    "cd": _dimension(cd=1),
    "N": _dimension(kg=1, m=1, s=-2),
    "J": _dimension(kg=1, m=2, s=-2),
    "eV": _dimension(kg=1, m=2, s=-2),
    "W": _dimension(kg=1, m=2, s=-3),
    "C": _dimension(A=1, s=1),
    "V": _dimension(kg=1, m=2, s=-3, A=-1),
    "Hz": _dimension(s=-1),
    "Pa": _dimension(kg=1, m=-1, s=-2),
    "T": _dimension(kg=1, s=-2, A=-1),
    "Ohm": _dimension(kg=1, m=2, s=-3, A=-2),
    "F": _dimension(kg=-1, m=-2, s=4, A=2),
    "H": _dimension(kg=1, m=2, s=-2, A=-2),
    "Wb": _dimension(kg=1, m=2, s=-2, A=-1),
}

DIMENSIONLESS = _dimension()

_TOKEN = re.compile(r"\s*(?:(\*\*|[*/^()])|([A-Za-z]+)|(-?\d+(?:\.\d+)?))")


def _tokens(text):
    tokens, at = [], 0
    while at < len(text):
        match = _TOKEN.match(text, at)
        if match is None:
            if text[at:].strip():
                return None
            break
        tokens.append(match.group(1) or match.group(2) or match.group(3))
        at = match.end()
    return tokens


class _Parser:
    """product := factor (('*' | '/') factor)*; factor := atom [('^' | '**') exponent];
    atom := unit | '1' | '(' product ')'; exponent := ['-'] number | '(' ['-'] number ['/' number] ')'."""

    def __init__(self, tokens):
        self.tokens, self.at = tokens, 0

    def peek(self):
        return self.tokens[self.at] if self.at < len(self.tokens) else None

    def take(self):
        token = self.peek()
        if token is None:
            raise ValueError
        self.at += 1
        return token

    def product(self):
        total = self.factor()
        while self.peek() in ("*", "/"):
            sign = 1 if self.take() == "*" else -1
            total = _add(total, self.factor(), sign)
        return total

    def factor(self):
        base = self.atom()
        if self.peek() in ("^", "**"):
            self.take()
            power = self.exponent()
            base = tuple(e * power for e in base)
        return base

    def atom(self):
        token = self.take()
        if token == "(":
            inner = self.product()
            if self.take() != ")":
                raise ValueError
            return inner
        if token == "1":
            return DIMENSIONLESS
        if token not in _UNITS:
            raise ValueError
        return _UNITS[token]

    def exponent(self):
        grouped = self.peek() == "("
        if grouped:
            self.take()
        value = self.signed_number()
        if grouped and self.peek() == "/":
            self.take()
            denominator = self.signed_number()
            if denominator == 0:
                raise ValueError
            value /= denominator
        if grouped and self.take() != ")":
            raise ValueError
        return value

    def signed_number(self):
        # A minus sign belongs to the number (m^-2), so the grammar needs no
        # unary operator; anywhere but an exponent the number is refused.
        token = self.take()
        if not token.lstrip("-")[:1].isdigit():
            raise ValueError
        return Fraction(token)


def _add(a, b, sign):
    return tuple(x + sign * y for x, y in zip(a, b))


def parse_unit(text, where):
    """The SI base exponents of a unit string such as "kg*m^2/s^2", "m**0.5"
    or "N/(m*s)"; "" and "1" are dimensionless. ValueError names `where` and
    the string when it does not parse."""
    if not isinstance(text, str):
        raise TypeError(f"{where}: a unit is a str, not {type(text).__name__}")
    if text.strip() in ("", "1"):
        return DIMENSIONLESS
    tokens = _tokens(text)
    try:
        if tokens is None:
            raise ValueError
        parser = _Parser(tokens)
        dimension = parser.product()
        if parser.peek() is not None:
            raise ValueError
    except (ValueError, ZeroDivisionError):
        raise ValueError(f"{where}: cannot parse {text!r} as a unit") from None
    return dimension


def unit_text(dimension):
    """A dimension written in SI base units, e.g. "kg*m^2/s^2"; "1" when it has none."""
    order = ("kg", "m", "s", "A", "K", "mol", "cd")
    exponents = dict(zip(BASE_UNITS, dimension))
    up = [_power(name, exponents[name]) for name in order if exponents[name] > 0]
    down = [_power(name, -exponents[name]) for name in order if exponents[name] < 0]
    if not up and not down:
        return "1"
    text = "*".join(up) if up else "1"
    if down:
        text += "/" + (down[0] if len(down) == 1 else "(" + "*".join(down) + ")")
    return text


def _power(name, exponent):
    if exponent == 1:
        return name
    if exponent.denominator == 1:
        return f"{name}^{exponent.numerator}"
    return f"{name}^({exponent.numerator}/{exponent.denominator})"


def dimensions_option(x_units, y_units, n_features):
    """The engine's "dimensions" option for fit's X_units and y_units: one row
    per column and a last one for y, each seven (numerator, denominator)
    pairs; None when neither is given."""
    if x_units is None and y_units is None:
        return None
    if x_units is None or y_units is None:
        given, missing = ("X_units", "y_units") if y_units is None else ("y_units", "X_units")
        raise ValueError(f"{given} was given without {missing}: units need both, one per column of X and one for y")
    if isinstance(x_units, str):
        raise TypeError("X_units must be a sequence of unit strings, one per column of X, not a single string")
    x_units = list(x_units)
    if len(x_units) != n_features:
        raise ValueError(f"X_units has {len(x_units)} units but X has {n_features} columns")
    rows = [parse_unit(text, f"X_units[{j}]") for j, text in enumerate(x_units)]
    rows.append(parse_unit(y_units, "y_units"))
    return tuple(tuple((e.numerator, e.denominator) for e in row) for row in rows)


def constant_units(dimension_rows):
    """Unit strings of a result's constants from the engine's rows."""
    return tuple(unit_text(tuple(Fraction(p, q) for p, q in row)) for row in dimension_rows)
