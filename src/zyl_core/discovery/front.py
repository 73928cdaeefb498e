# What a fit shows: the front as a table (text, or a pandas DataFrame), and
# the progress of a running search on stderr and to a callback.
from zyl_core._optional import require


class Front(tuple):
    """The front of a fit: for each complexity, in increasing complexity, the
    formula with the best score by the fit's model_selection (description
    length, or the error for "bic" and "accuracy"), kept when its training
    error is smaller than that of every simpler one kept, and always kept when
    it is the one the fit chose. `selected` is that one's index (best_).

    print(front) shows it as a table with each formula's rmse, description
    length in nats ("mdl"; "-" where the formula may not be selected: a fitted
    constant within two standard errors of zero, or not identifiable) and BIC;
    front.to_pandas() gives a DataFrame. A fit with units notes y's unit
    under the table.
    """

    def __new__(cls, formulas, selected):
        front = super().__new__(cls, formulas)
        if not 0 <= selected < len(front):
            raise ValueError(f"selected index {selected} is outside a front of {len(front)} formulas")
        front.selected = selected
        return front

    def __reduce__(self):
        return (Front, (tuple(self), self.selected))

    @property
    def best(self):
        """The selected formula."""
        return self[self.selected]

    def rows(self):
        """(complexity, rmse, description_length, bic, text, selected) for each formula."""
        return [
            (f.complexity, f.rmse, f.description_length, f.bic, str(f), i == self.selected)
            for i, f in enumerate(self)
        ]

    def __str__(self):
        rows = self.rows()
        width = max(len("complexity"), *(len(str(row[0])) for row in rows))
        lines = [f"  {'complexity':>{width}}  {'rmse':>12}  {'mdl':>9}  {'bic':>9}  formula"]
        for complexity, rmse, length, bic, text, selected in rows:
            lines.append(
                f"{'*' if selected else ' '} {complexity:>{width}}  {rmse:>12.6g}  {_score(length)}  {_score(bic)}  {text}"
            )
        if self.best.units is not None:
            lines.append(f"(y in [{self.best.units}]; every formula is dimensionally consistent)")
        return "\n".join(lines)

    __repr__ = __str__

    def to_pandas(self):
        """The front as a pandas DataFrame with columns complexity, rmse,
        description_length, bic, formula, selected."""
        pandas = require("pandas", "Front.to_pandas", "all")

        return pandas.DataFrame(
            self.rows(), columns=["complexity", "rmse", "description_length", "bic", "formula", "selected"]
        )

    def plot(self, ax=None):
        """Draws complexity against rmse, the selected formula marked and
        labelled (matplotlib, the 'plot' extra); a log scale when the errors
        span decades. Returns the axes (a new figure's when ax is None)."""
        from .plotting import _plot_front

        return _plot_front(self, ax)

    def _repr_html_(self):
        from .display import _front_html

        return _front_html(self)


def _score(value):
    """A score column entry: '-' where a formula may not be selected by it."""
    return f"{value:>9.5g}" if value == value and value not in (float("inf"), float("-inf")) else f"{'-':>9}"


class _Progress:
    """Receives the engine's figures after each level: writes a line to `stream`
    when `show`, and hands the same figures to `callback`."""

    def __init__(self, show, callback, stream):
        self._show = show
        self._callback = callback
        self._stream = stream
        self._overwrite = show and _is_terminal(stream)
        self._written = False

    @property
    def wanted(self):
        return self._show or self._callback is not None

    def __call__(self, figures):
        if self._show:
            line = (
                f"level {figures['level']:>3}  candidates {figures['candidates']:>12,}  "
                f"best rmse {figures['best_rmse']:<11.4g}  {figures['elapsed']:7.2f} s"
            )
            self._stream.write(f"\r{line}\x1b[K" if self._overwrite else line + "\n")
            self._stream.flush()
            self._written = True
        if self._callback is not None:
            return bool(self._callback(dict(figures)))
        return False

    def close(self):
        if self._overwrite and self._written:
            self._stream.write("\n")
            self._stream.flush()


def _is_terminal(stream):
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False
