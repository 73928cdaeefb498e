# zyl_core.arrays: the batch functions as numpy ufuncs. Element-wise ones
# take array-likes that broadcast together; the generalized ones work over a
# last axis of 2 (pairs), 8 (octonions) or n (multivectors). Results are
# float64 arrays, or float64 scalars for scalar inputs; float32 arrays (alone
# or with Python numbers) or dtype=np.float32 give float32.
from typing import Any, Literal, Protocol, SupportsFloat, SupportsIndex, overload

import numpy as np
from numpy.typing import ArrayLike, DTypeLike, NDArray

_F64 = NDArray[np.float64]
_F32 = NDArray[np.float32]
_AsF32 = type[np.float32] | np.dtype[np.float32] | Literal["float32", "f4", "f"]
_Scalar = float | int | np.floating[Any] | np.integer[Any]
_Out = NDArray[Any] | tuple[NDArray[Any]] | None
_Casting = Literal["no", "equiv", "safe", "same_kind", "unsafe"]
_Order = Literal["K", "A", "C", "F"] | None

__all__: list[str]

class _UfuncAttributes(Protocol):
    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> int: ...
    @property
    def nout(self) -> int: ...
    @property
    def signature(self) -> str | None: ...

class _Unary(_UfuncAttributes, Protocol):
    @overload
    def __call__(
        self, x: _F32, /, out: None = None, *, where: ArrayLike = True, casting: _Casting = "same_kind",
        order: _Order = "K", dtype: None | _AsF32 = None, subok: bool = True,
    ) -> _F32: ...
    @overload
    def __call__(
        self, x: ArrayLike, /, out: None = None, *, where: ArrayLike = True, casting: _Casting = "same_kind",
        order: _Order = "K", dtype: _AsF32, subok: bool = True,
    ) -> _F32: ...
    @overload
    def __call__(
        self, x: _Scalar, /, out: None = None, *, where: ArrayLike = True, casting: _Casting = "same_kind",
        order: _Order = "K", dtype: DTypeLike = None, subok: bool = True,
    ) -> np.float64: ...
    @overload
    def __call__(
        self, x: ArrayLike, /, out: _Out = None, *, where: ArrayLike = True, casting: _Casting = "same_kind",
        order: _Order = "K", dtype: DTypeLike = None, subok: bool = True,
    ) -> _F64: ...

class _Binary(_UfuncAttributes, Protocol):
    @overload
    def __call__(
        self, a: _F32 | float, b: _F32, /, out: None = None, *, where: ArrayLike = True,
        casting: _Casting = "same_kind", order: _Order = "K", dtype: None | _AsF32 = None, subok: bool = True,
    ) -> _F32: ...
    @overload
    def __call__(
        self, a: _F32, b: _F32 | float, /, out: None = None, *, where: ArrayLike = True,
        casting: _Casting = "same_kind", order: _Order = "K", dtype: None | _AsF32 = None, subok: bool = True,
    ) -> _F32: ...
    @overload
    def __call__(
        self, a: ArrayLike, b: ArrayLike, /, out: None = None, *, where: ArrayLike = True,
        casting: _Casting = "same_kind", order: _Order = "K", dtype: _AsF32, subok: bool = True,
    ) -> _F32: ...
    @overload
    def __call__(
        self, a: _Scalar, b: _Scalar, /, out: None = None, *, where: ArrayLike = True,
        casting: _Casting = "same_kind", order: _Order = "K", dtype: DTypeLike = None, subok: bool = True,
    ) -> np.float64: ...
    @overload
    def __call__(
        self, a: ArrayLike, b: ArrayLike, /, out: _Out = None, *, where: ArrayLike = True,
        casting: _Casting = "same_kind", order: _Order = "K", dtype: DTypeLike = None, subok: bool = True,
    ) -> _F64: ...
    def reduce(self, array: ArrayLike, /, axis: SupportsIndex | None = 0, dtype: DTypeLike = None,
               out: _Out = None, keepdims: bool = False, initial: Any = ..., where: ArrayLike = True) -> Any: ...
    def accumulate(self, array: ArrayLike, /, axis: SupportsIndex = 0, dtype: DTypeLike = None,
                   out: _Out = None) -> _F64: ...
    def outer(self, a: ArrayLike, b: ArrayLike, /, **kwargs: Any) -> _F64: ...

class _Generalized(_UfuncAttributes, Protocol):
    # Positional operands as named in each function's documentation: the
    # arrays with their core axes, then the broadcast parameters.
    @overload
    def __call__(
        self, first: _F32, /, *operands: _F32 | float, out: None = None, casting: _Casting = "same_kind",
        order: _Order = "K", dtype: None | _AsF32 = None, subok: bool = True, axes: list[Any] | None = None,
        axis: int | None = None, keepdims: bool = False,
    ) -> _F32: ...
    @overload
    def __call__(
        self, *operands: ArrayLike, out: None = None, casting: _Casting = "same_kind", order: _Order = "K",
        dtype: _AsF32, subok: bool = True, axes: list[Any] | None = None, axis: int | None = None,
        keepdims: bool = False,
    ) -> _F32: ...
    @overload
    def __call__(
        self, *operands: ArrayLike, out: _Out = None, casting: _Casting = "same_kind", order: _Order = "K",
        dtype: DTypeLike = None, subok: bool = True, axes: list[Any] | None = None, axis: int | None = None,
        keepdims: bool = False,
    ) -> _F64: ...

exp_n: _Unary
ln_n: _Unary
sqrt_n: _Unary
sin_n: _Unary
cos_n: _Unary
add_n: _Binary
sub_n: _Binary
mul_n: _Binary
div_n: _Binary
pow_n: _Binary
tension_n: _Binary
# (points (..., 2), phis, c) -> (..., 2)
boost_n: _Generalized
# (pairs (..., 2), angles) -> (..., 2)
rotate_phase_n: _Generalized
# (psi (..., 2), v, dt, hbar) -> (..., 2)
schrodinger_step_n: _Generalized
# (a (..., 8), b (..., 8)) -> (..., 8)
octonion_mul_n: _Generalized
# (a (..., n), b (..., n), signature (..., m) of integers) -> (..., n)
geometric_product_n: _Generalized
# (points (..., 2), lam, mu, nu (non-negative integers), rs) -> (...)
christoffel_batch_n: _Generalized

def simulate_pulses_n(
    x0: SupportsFloat | SupportsIndex, y0: SupportsFloat | SupportsIndex, n_pulses: SupportsIndex
) -> _F64: ...

# What runs exp, log, pow, sin and cos and the rules built on them in this
# process ("exp", "log", "pow", "sin", "cos", "exp_n", "ln_n", "pow_n",
# "tension_n", "zyl"): "avx512", "avx2" or "scalar".
def vector_kernels() -> dict[str, Literal["avx512", "avx2", "scalar"]]: ...
