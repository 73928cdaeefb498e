# zyl_core.discovery: the estimator and its formulas in Python, over the
# engine's natives in zyl_core._discovery. The package documents itself with
# the estimator's docstring and exports what the estimator's module exports.
from zyl_core._discovery import _fit, _Formula

from . import estimator
from .estimator import FormulaRegressor
from .formula import Formula
from .front import Front

__doc__ = estimator.__doc__
__all__ = estimator.__all__
