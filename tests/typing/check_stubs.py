# Type-checked (mypy --strict) against the shipped stubs, never executed:
# typical calls must check cleanly, and misuse must be caught.
import zyl_core as z

version: str = z.__version__
xs: list[float] = z.exp_n([0.0, 1.0])
total: list[float] = z.add_n(xs, (1, 2))
boosted: list[tuple[float, float]] = z.boost_n([(1.0, 2.0)], [0.5], 1.0)
p = z.ZYLPoint(1.0, 2.0)
t: float = p.tension()
q: z.ZYLPair = p.pair() * z.ZYLPair.from_polar(1.0, 0.5)
k: int = z.ZYLKnot(p, n=3).flip().tread_yield()
trajectory: list[tuple[float, float, float]] = z.simulate_pulses_n(0.0, 1.0, 3)
products: list[list[float]] = z.octonion_mul_n([[1.0] * 8], [[0.0] * 8])
gp: list[list[float]] = z.geometric_product_n([[0.0, 1.0, 0.0, 0.0]], [[0.0, 0.0, 1.0, 0.0]], [1, 1])
gammas: list[float] = z.christoffel_batch_n([(1.0, 0.0)], 1, 0, 0, 1.0)
result = z.find_formula([[1.0, 2.0]], [2.0, 4.0], max_complexity=4)
if result is not None:
    text: str = result.formula + result.to_latex() + result.to_python()
    err: float = result.error
    params: list[float] = result.params

z.exp_n(1.0)  # type: ignore[arg-type]
z.ZYLPoint(1.0, 2.0).minkowski_delta("yes", 1.0)  # type: ignore[arg-type]

from zyl_core import discovery as zd

front, chosen, stopped_by = zd._fit(bytearray(16), bytearray(16), None, {"max_complexity": 6}, None)
formula: zd._Formula = front[chosen][0]
assert stopped_by is None or isinstance(stopped_by, BaseException)
shown: str = formula.to_text(["x", "y"])
again = zd._Formula(formula.nodes, formula.rmse)

model = zd.FormulaRegressor(model_selection="bic", exact_constants=False, loss="relative")
zd.FormulaRegressor(model_selection="aic")  # type: ignore[arg-type]
errors: tuple[float, ...] = model.best_.standard_errors
report: str = model.best_.summary()
length: float = model.front_[0].description_length
