# Type-checked (mypy --strict) against the shipped stubs, never executed:
# zyl_core.arrays and the list API taking arrays.
import array

import numpy as np
from numpy.typing import NDArray

import zyl_core as z
import zyl_core.arrays as za

x = np.linspace(0.0, 1.0, 5)
e: NDArray[np.float64] = za.exp_n(x)
scalar: np.float64 = za.exp_n(1.0)
t: NDArray[np.float64] = za.tension_n(x, [1.0, 2.0, 3.0, 4.0, 5.0], out=np.empty(5))
s: NDArray[np.float64] = za.add_n.accumulate(x)
b: NDArray[np.float64] = za.boost_n(np.ones((5, 2)), x, 1.0)
g: NDArray[np.float64] = za.geometric_product_n(np.ones((3, 4)), np.ones((3, 4)), [1, -1])
path: NDArray[np.float64] = za.simulate_pulses_n(0.0, 1.0, 10)
name: str = za.octonion_mul_n.__name__
listed: list[float] = z.exp_n(x) + z.sin_n(array.array("d", [1.0])) + z.cos_n(memoryview(b"ab"))
products: list[list[float]] = z.octonion_mul_n(np.ones((2, 8)), [[1.0] * 8])
same_module: NDArray[np.float64] = z.arrays.sqrt_n(x)
isa: str = za.vector_kernels()["exp"]

za.exp_n(x, casting="sometimes")  # type: ignore[call-overload]
za.simulate_pulses_n(0.0, 1.0, 2.5)  # type: ignore[arg-type]
bad: list[float] = za.exp_n(x)  # type: ignore[assignment]

x32 = x.astype(np.float32)
single: NDArray[np.float32] = za.exp_n(x32)
single_sum: NDArray[np.float32] = za.add_n(x32, 2.0)
single_left: NDArray[np.float32] = za.pow_n(2.0, x32)
narrowed: NDArray[np.float32] = za.sin_n(x, dtype=np.float32)
octonions32: NDArray[np.float32] = za.octonion_mul_n(np.ones((2, 8), np.float32), np.ones(8, np.float32))
boosted32: NDArray[np.float32] = za.boost_n(np.ones((5, 2), np.float32), 0.5, 1.0)
widened: NDArray[np.float64] = za.add_n(x32, x)
not_single: NDArray[np.float32] = za.exp_n(x)  # type: ignore[assignment]
za.vector_kernels("exp")  # type: ignore[call-arg]
