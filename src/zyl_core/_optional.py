"""The optional packages some features of zyl_core need, checked when a
feature first asks for one: an absent package, or one older than the
feature was built and tested against, raises ImportError saying which
package, which version was found, and the pip command that installs what
the feature needs (the extras of pyproject.toml)."""
import importlib
import itertools

# The oldest version of each that the features are tested with; the extras
# of pyproject.toml ask for the same.
MINIMUM = {"numpy": "2.0", "sympy": "1.13", "pandas": "2.2"}


def _release(version):
    """The leading numeric part of a version string as a tuple of ints, without
    trailing zeros so that 2, 2.0 and 2.0.0 compare equal: '2.1.0rc1' -> (2, 1)."""
    parts = []
    for part in version.split("."):
        digits = "".join(itertools.takewhile(str.isdigit, part))
        if not digits:
            break
        parts.append(int(digits))
        if digits != part:
            break
    while parts and parts[-1] == 0:
        parts.pop()
    return tuple(parts)


# Packages that passed the check: installing one fixes the next call without
# a restart, as failures are not kept.
_checked = {}


def require(package, feature, extra):
    """The imported `package`, or an ImportError telling `feature`'s user how
    to get it: `pip install 'zyl_core[extra]'`."""
    if package in _checked:
        return _checked[package]
    minimum = MINIMUM[package]
    try:
        module = importlib.import_module(package)
    except ModuleNotFoundError as missing:
        if missing.name != package:
            raise  # the package is there but something it needs is not: its own error says what
        raise ImportError(
            f"{feature} needs {package} {minimum} or newer, which is not installed; "
            f"install it with: pip install 'zyl_core[{extra}]'",
            name=package,
        ) from missing
    found = getattr(module, "__version__", "")
    if _release(found) < _release(minimum):
        raise ImportError(
            f"{feature} needs {package} {minimum} or newer, but {package} {found or '(unknown version)'} "
            f"is installed; upgrade it with: pip install --upgrade 'zyl_core[{extra}]'",
            name=package,
        )
    _checked[package] = module
    return module
