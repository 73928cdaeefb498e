# zyl_core.arrays: the ufuncs live in the extension (zyl_core._arrays), which
# makes them, and imports numpy, on the first lookup of any of them. This
# module checks numpy first, so that an absent or old numpy is named with the
# command that fixes it, and keeps each function once it has been looked up.
import zyl_core._arrays as _natives
from zyl_core._arrays import vector_kernels
from zyl_core._optional import require

__doc__ = _natives.__doc__
__all__ = list(_natives.__all__)


def __getattr__(name):
    if name not in __all__:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    require("numpy", __name__, "arrays")
    value = globals()[name] = getattr(_natives, name)
    return value


def __dir__():
    return sorted(set(globals()) | set(__all__))
