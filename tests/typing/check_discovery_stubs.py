# Type-checked (mypy --strict) against the shipped stubs, never executed.
import numpy as np
from numpy.typing import NDArray

from zyl_core.discovery import Formula, FormulaRegressor, Front, Progress


def report(figures: Progress) -> None:
    print(figures["level"], figures["best_rmse"])


model = FormulaRegressor(max_complexity=9, feature_names=["conc"], callback=report).fit([[1.0], [2.0]], [1.0, 2.0])
best: Formula = model.best_
front: Front = model.front_
text: str = str(best) + best.latex() + best.to_numpy_source("rate")
size: int = best.complexity + front.selected + model.n_features_in_
error: float = best.rmse + model.score([[1.0]], [1.0])
same: FormulaRegressor = model.set_params(max_evaluations=10_000)
fit_axes, residual_axes = best.plot([[1.0], [2.0]], [1.0, 2.0])
front_axes = front.plot(ax=fit_axes)
shown: str = front._repr_html_() + model._repr_html_() + (best._repr_latex_() or str(best))

FormulaRegressor(5)  # type: ignore[call-arg]
FormulaRegressor(max_complexity="9")  # type: ignore[arg-type]

values: NDArray[np.float64] = model.predict(np.ones((3, 1))) + best.predict([[1.0], [2.0]])
function_value = best.to_function()(np.ones(3))
expression = best.sympy()
table = front.to_pandas()
model.predict(None)  # type: ignore[arg-type]

with_units = FormulaRegressor(dimensional_constants=True).fit([[1.0], [2.0]], [1.0, 2.0], X_units=["m"], y_units="m/s")
unit: str | None = with_units.best_.units
constant_units: tuple[str, ...] = with_units.best_.constant_units
