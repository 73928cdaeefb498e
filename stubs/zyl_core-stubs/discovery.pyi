from collections.abc import Buffer, Callable, Sequence
from typing import TYPE_CHECKING, Any, Literal, TypedDict, final

import numpy as np
from numpy.typing import ArrayLike, NDArray

# Needed only by sympy(), latex() and to_pandas(): the types, not the packages.
if TYPE_CHECKING:
    import pandas
    import sympy

__all__ = ["FormulaRegressor", "Formula", "Front"]

class Progress(TypedDict):
    level: int
    candidates: int
    best_rmse: float
    elapsed: float

_Basis = Literal["1", "pi", "pi**2", "e", "sqrt(2*pi)", "sqrt(2)", "sqrt(pi)"]
_Exact = tuple[int, int, _Basis]
_Node = tuple[Literal["var"], int] | tuple[Literal["const"], float, _Exact | None] | tuple[Literal["op"], str]

@final
class _Formula:
    def __init__(self, nodes: Sequence[_Node], rmse: float) -> None: ...
    @property
    def nodes(self) -> tuple[_Node, ...]: ...
    @property
    def constants(self) -> tuple[float, ...]: ...
    @property
    def complexity(self) -> int: ...
    @property
    def rmse(self) -> float: ...
    def to_text(self, names: Sequence[str], /) -> str: ...
    def _evaluate(self, columns: Buffer, /) -> bytearray: ...
    def __reduce__(self) -> tuple[Any, ...]: ...

# The native search. options (all optional): "max_complexity": int (terms of a searched structure,
# before the outer scale and offset; default 12, sizes past 10 only while they still lower the best
# error), "max_evaluations": int (deterministic work budget,
# default 4000000), "time_limit": float | None (seconds, machine-dependent), "use_trig": bool
# (default True), "max_constants": int (fitted constant leaves per structure, 0-4, default 2),
# "model_selection": "mdl" | "bic" | "accuracy" (default "mdl"), "exact_constants": bool (default
# True), "dimensions": one row per column and a last one for y, each seven (numerator, denominator)
# int pairs of the exponents of m, s, kg, A, K, mol, cd, or None (default) for a search without units,
# "dimensional_constants": bool (default False; with "dimensions" only); and two that FormulaRegressor
# does not pass: "use_zyl": bool (default False) and
# "beam_width": int (structures kept per complexity, default 80).
def _fit(
    columns: Buffer,
    y: Buffer,
    sample_weight: Buffer | None,
    options: dict[str, object] | None,
    progress: Callable[[dict[str, float]], object] | None,
    /,
) -> tuple[list[tuple[_Formula, dict[str, Any]]], int, BaseException | None]: ...

_Selection = Literal["mdl", "bic", "accuracy"]
_Loss = Literal["auto", "absolute", "relative"]

class Formula:
    def __init__(
        self, native: _Formula, feature_names: Sequence[str], statistics: dict[str, Any] | None = None
    ) -> None: ...
    @property
    def feature_names(self) -> tuple[str, ...]: ...
    @property
    def nodes(self) -> tuple[_Node, ...]: ...
    @property
    def complexity(self) -> int: ...
    @property
    def rmse(self) -> float: ...
    @property
    def constants(self) -> tuple[float, ...]: ...
    @property
    def fitted_constants(self) -> tuple[float, ...]: ...
    @property
    def standard_errors(self) -> tuple[float, ...]: ...
    @property
    def covariance(self) -> NDArray[np.float64]: ...
    @property
    def free_constants(self) -> tuple[int, ...]: ...
    @property
    def description_length(self) -> float: ...
    @property
    def bic(self) -> float: ...
    @property
    def r2(self) -> float: ...
    @property
    def units(self) -> str | None: ...
    @property
    def constant_units(self) -> tuple[str, ...]: ...
    def summary(self) -> str: ...
    def predict(self, X: ArrayLike) -> NDArray[np.float64]: ...
    def sympy(self) -> sympy.Expr: ...
    def latex(self) -> str: ...
    def to_numpy_source(self, name: str = "f") -> str: ...
    def to_function(self) -> Callable[..., float | NDArray[np.float64]]: ...
    def plot(self, X: ArrayLike, y: ArrayLike, ax: Any = None) -> tuple[Any, Any]: ...
    def _repr_latex_(self) -> str | None: ...

class Front(tuple[Formula, ...]):
    selected: int
    def __new__(cls, formulas: Sequence[Formula], selected: int) -> Front: ...
    @property
    def best(self) -> Formula: ...
    def rows(self) -> list[tuple[int, float, float, float, str, bool]]: ...
    def to_pandas(self) -> pandas.DataFrame: ...
    def plot(self, ax: Any = None) -> Any: ...
    def _repr_html_(self) -> str: ...

class FormulaRegressor:
    max_complexity: int | None
    max_evaluations: int | None
    time_limit: float | None
    use_trig: bool | None
    max_constants: int | None
    model_selection: _Selection
    exact_constants: bool
    dimensional_constants: bool
    loss: _Loss
    feature_names: Sequence[str] | None
    drop_nonfinite: bool
    verbose: bool | None
    callback: Callable[[Progress], object] | None
    best_: Formula
    front_: Front
    n_features_in_: int
    feature_names_in_: NDArray[np.object_]
    def __init__(
        self,
        *,
        max_complexity: int | None = None,
        max_evaluations: int | None = None,
        time_limit: float | None = None,
        use_trig: bool | None = None,
        max_constants: int | None = None,
        model_selection: _Selection = "mdl",
        exact_constants: bool = True,
        dimensional_constants: bool = False,
        loss: _Loss = "auto",
        feature_names: Sequence[str] | None = None,
        drop_nonfinite: bool = False,
        verbose: bool | None = None,
        callback: Callable[[Progress], object] | None = None,
    ) -> None: ...
    def get_params(self, deep: bool = True) -> dict[str, Any]: ...
    def set_params(self, **params: Any) -> FormulaRegressor: ...
    def fit(
        self,
        X: ArrayLike,
        y: ArrayLike,
        sample_weight: ArrayLike | None = None,
        X_units: Sequence[str] | None = None,
        y_units: str | None = None,
    ) -> FormulaRegressor: ...
    def predict(self, X: ArrayLike) -> NDArray[np.float64]: ...
    def score(self, X: ArrayLike, y: ArrayLike, sample_weight: ArrayLike | None = None) -> float: ...
    def _repr_html_(self) -> str: ...
