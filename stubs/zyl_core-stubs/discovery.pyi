from collections.abc import Buffer, Callable, Sequence
from typing import Any, Literal, final


# Native engine of the submodule; FormulaRegressor wraps it.

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

# options (all optional): "max_complexity": int (terms of a searched structure, before the outer
# scale and offset; default 10), "max_evaluations": int (deterministic work budget, default
# 4000000), "time_limit": float | None (seconds, machine-dependent), "use_trig": bool (default
# True), "use_zyl": bool (default False), "max_constants": int (fitted constant leaves per
# structure, 0-4, default 2), "beam_width": int (structures kept per complexity, default 80).
def _fit(
    columns: Buffer,
    y: Buffer,
    options: dict[str, object] | None,
    progress: Callable[[dict[str, float]], object] | None,
    /,
) -> tuple[list[_Formula], int]: ...
