# How formulas, fronts and estimators show in a notebook: typeset math and
# HTML tables. Every piece of text that came from the user (variable names,
# parameter values) is escaped, so a name never becomes markup.
from .estimator import _changed


def _latex_display(formula):
    """The formula as display math, or None (plain text) without sympy.

    Names that are identifiers are written as sympy writes them (alpha as a
    Greek letter, rate_max with a subscript); any other name upright, with the
    characters TeX reserves escaped, so that no name ends the math or runs a macro.
    """
    try:
        import sympy
    except ImportError:
        return None
    import re

    names = {
        sympy.Symbol(name): "\\mathrm{" + "".join(_TEX_ESCAPES.get(c, c) for c in name) + "}"
        for name in formula.feature_names if not re.fullmatch(r"[A-Za-z][A-Za-z0-9_]*", name)
    }
    return f"$\\displaystyle {sympy.latex(formula.sympy(), symbol_names=names)}$"


_TEX_ESCAPES = {
    "\\": "\\backslash{}", "{": "\\{", "}": "\\}", "$": "\\$", "%": "\\%", "&": "\\&", "#": "\\#",
    "_": "\\_", "^": "\\wedge{}", "~": "\\sim{}", " ": "\\ ",
}


def _front_html(front):
    """The front as an HTML table with its scores, the selected row marked."""
    from html import escape

    head = "".join(f"<th>{title}</th>" for title in ("", "complexity", "rmse", "mdl", "bic", "formula"))
    body = []
    for complexity, rmse, length, bic, text, selected in front.rows():
        cells = [
            "\u2605" if selected else "", str(complexity), f"{rmse:.6g}", _html_score(length), _html_score(bic),
            f"<code>{escape(text)}</code>",
        ]
        style = ' style="font-weight: bold; background: rgba(214, 39, 40, 0.12)" title="selected"' if selected else ""
        body.append(f"<tr{style}>" + "".join(f"<td>{cell}</td>" for cell in cells) + "</tr>")
    return (
        '<table class="zyl-front">'
        f"<caption>Pareto front ({len(front)} formulas, \u2605 = selected){_units_note(front, escape)}</caption>"
        f"<thead><tr>{head}</tr></thead><tbody>{''.join(body)}</tbody></table>"
    )


def _units_note(front, escape):
    units = front.best.units
    return "" if units is None else f", y in [{escape(units)}]"


def _html_score(value):
    """A score cell: '-' where a formula may not be selected by it."""
    if value != value or abs(value) == float("inf"):
        return "-"
    return f"{value:.2f}" if abs(value) < 1e7 else f"{value:.3e}"


def _estimator_html(estimator):
    """The estimator's parameters (those changed from the default in bold) and,
    once fitted, its selected formula, that formula's summary and the front."""
    from html import escape

    name = type(estimator).__name__
    fitted = estimator.__sklearn_is_fitted__()
    defaults = type(estimator)().get_params()
    rows = []
    for key, value in estimator.get_params().items():
        changed = _changed(value, defaults[key])
        cell = f"<code>{escape(repr(value))}</code>"
        rows.append(f"<tr><td>{escape(key)}</td><td>{f'<b>{cell}</b>' if changed else cell}</td></tr>")
    parts = [
        f'<div class="zyl-estimator"><p><b>{escape(name)}</b> ({"fitted" if fitted else "not fitted"})</p>',
        f"<details><summary>parameters</summary><table>{''.join(rows)}</table></details>",
    ]
    if fitted:
        best = estimator.best_
        parts += [
            f"<p>selected formula: <code>{escape(str(best))}</code></p>",
            f"<pre>{escape(best.summary())}</pre>",
            f"<details><summary>front</summary>{_front_html(estimator.front_)}</details>",
        ]
    parts.append("</div>")
    return "".join(parts)
