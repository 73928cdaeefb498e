# Turning what users pass as X and y into the float64 arrays the engine reads,
# with errors that say which row, column or shape is wrong. numpy is imported
# on first use, never when zyl_core is imported.
from zyl_core._optional import require


def _numpy():
    return require("numpy", "zyl_core.discovery", "discovery")


class _FeatureNameError(ValueError, TypeError):
    """Names that are not strings: a bad value (ValueError) of the wrong type (TypeError, as scikit-learn says)."""


def _checked_names(names, label):
    """`names` as a tuple of str, or ValueError naming the entries that are not
    strings, are empty or blank, or repeat an earlier one."""
    names = tuple(names)

    def listed(entries):
        shown = ", ".join(entries[:5])
        return shown + (f" and {len(entries) - 5} more" if len(entries) > 5 else "")

    not_strings = [f"{label}[{i}] = {name!r} ({type(name).__name__})" for i, name in enumerate(names)
                   if not isinstance(name, str)]
    if not_strings:
        raise _FeatureNameError(f"{label} must all be strings; these are not: {listed(not_strings)}")
    blank = [f"{label}[{i}] = {name!r}" for i, name in enumerate(names) if not name.strip()]
    if blank:
        raise ValueError(f"{label} must not be empty or blank: {listed(blank)}")
    unencodable = [f"{label}[{i}] = {name!r}" for i, name in enumerate(names) if not _is_unicode_text(name)]
    if unencodable:
        raise ValueError(f"{label} must be Unicode text; these hold lone surrogates: {listed(unencodable)}")
    first = {}
    repeated = []
    for i, name in enumerate(names):
        if name in first:
            repeated.append(f"{label}[{i}] = {name!r} (as {label}[{first[name]}])")
        first.setdefault(name, i)
    if repeated:
        raise ValueError(f"{label} must be distinct: {listed(repeated)}")
    return tuple(str(name) for name in names)


def _is_unicode_text(text):
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def _frame_names(X):
    """The column names of a pandas DataFrame, checked as feature names are;
    None for other inputs and for frames without string column names (as
    scikit-learn, which then takes them as unnamed)."""
    if type(X).__module__.partition(".")[0] != "pandas" or not hasattr(X, "columns"):
        return None
    names = list(X.columns)
    if not any(isinstance(name, str) for name in names):
        return None
    return list(_checked_names(names, "X's column names"))


def _as_samples(X, who, n_features=None):
    """X as a 2-D float64 array of shape (n_samples, n_features), or a ValueError/TypeError saying why not."""
    np = _numpy()
    if type(X).__module__.startswith("scipy.sparse") or hasattr(X, "tocsr"):
        raise TypeError(f"{who} does not accept sparse input: pass a dense array, for example X.toarray()")
    if X is None:
        raise ValueError(f"{who} needs an X of shape (n_samples, n_features), got None")
    array = np.asarray(X)
    if array.dtype.kind == "c":
        raise ValueError("Complex data not supported")
    if array.dtype.kind in "US":
        raise ValueError(
            "dtype='numeric' is not compatible with arrays of bytes/strings. "
            "Convert your data to numeric values explicitly instead."
        )
    array = np.asarray(array, dtype=np.float64)
    if array.ndim == 0:
        raise ValueError(f"Expected a 2-D X of shape (n_samples, n_features), got a scalar: {X!r}")
    if array.ndim == 1:
        raise ValueError(
            f"Expected a 2-D X of shape (n_samples, n_features), got a 1-D array of shape {array.shape}. "
            "Reshape your data either using array.reshape(-1, 1) if your data has a single feature "
            "or array.reshape(1, -1) if it contains a single sample."
        )
    if array.ndim > 2:
        raise ValueError(f"Expected a 2-D X of shape (n_samples, n_features), got an array of shape {array.shape}")
    if array.shape[0] == 0:
        raise ValueError(f"Found array with 0 sample(s) (shape={array.shape}) while a minimum of 1 is required.")
    if array.shape[1] == 0:
        raise ValueError(f"Found array with 0 feature(s) (shape={array.shape}) while a minimum of 1 is required.")
    if n_features is not None and array.shape[1] != n_features:
        raise ValueError(
            f"X has {array.shape[1]} features, but {who} is expecting {n_features} features as input."
        )
    return array


def _as_targets(y, X):
    """y as a 1-D float64 array with one target per row of X."""
    np = _numpy()
    if y is None:
        raise ValueError("FormulaRegressor requires y to be passed, but the target y is None.")
    array = np.asarray(y)
    if array.dtype.kind == "c":
        raise ValueError("Complex data not supported")
    array = np.asarray(array, dtype=np.float64)
    if array.ndim == 2 and array.shape[1] == 1:
        import warnings

        warnings.warn(
            "A column-vector y was passed when a 1d array was expected. "
            "Please change the shape of y to (n_samples,), for example using ravel().",
            _data_conversion_warning(),
            stacklevel=3,
        )
        array = array[:, 0]
    if array.ndim != 1:
        raise ValueError(
            f"y must be one target per sample, of shape (n_samples,); got shape {array.shape} "
            "(FormulaRegressor fits one target at a time)"
        )
    if array.shape[0] != X.shape[0]:
        raise ValueError(
            f"X and y have different numbers of samples: X has shape {X.shape}, y has shape {array.shape}"
        )
    return array


def _as_weights(sample_weight, y):
    """sample_weight as a 1-D float64 array with one weight per target of y."""
    array = _numpy().asarray(sample_weight, dtype=_numpy().float64)
    if array.ndim != 1:
        raise ValueError(
            f"sample_weight must be 1-D with one weight per sample, of shape {y.shape}; got shape {array.shape}"
        )
    if array.shape != y.shape:
        raise ValueError(f"sample_weight has shape {array.shape} but y has shape {y.shape}")
    return array


def _data_conversion_warning():
    try:
        from sklearn.exceptions import DataConversionWarning
    except ImportError:
        return UserWarning
    return DataConversionWarning


def _nonfinite_word(value):
    return "NaN" if value != value else "infinity"


# Rows checked for NaN and infinity at a time: the check's scratch memory is
# that of one block, whatever the row count.
_CHECK_ROWS = 65536


def _row_blocks(array):
    for start in range(0, array.shape[0], _CHECK_ROWS):
        yield start, array[start : start + _CHECK_ROWS]


def _finite_row_mask(array):
    """True for each row of a 2-D array whose values are all finite."""
    np = _numpy()
    keep = np.empty(array.shape[0], dtype=bool)
    for start, block in _row_blocks(array):
        np.isfinite(block).all(axis=1, out=keep[start : start + block.shape[0]])
    return keep


def _first_nonfinite(array):
    """(row, column) of the first non-finite entry in row order, or None."""
    np = _numpy()
    for start, block in _row_blocks(array):
        bad = np.argwhere(~np.isfinite(block))
        if bad.shape[0] > 0:
            return start + int(bad[0][0]), int(bad[0][1])
    return None


def _check_finite(X, names, label="X"):
    where = _first_nonfinite(X)
    if where is not None:
        row, column = where
        raise ValueError(
            f"{label} contains {_nonfinite_word(X[row, column])} at row {row}, column {column} "
            f"({names[column]!r}); remove such rows or pass drop_nonfinite=True"
        )


def _finite_rows(X, y, names, drop):
    """The rows of X and y whose values are all finite, and which rows those
    are (None for all). Without `drop`, a non-finite value raises ValueError
    naming its row and column; with it, those rows are left out and a warning
    says how many."""
    np = _numpy()
    keep = _finite_row_mask(X) & np.isfinite(y)
    if keep.all():
        return X, y, None
    if not drop:
        _check_finite(X, names)
        row = int(np.argmin(np.isfinite(y)))
        raise ValueError(
            f"y contains {_nonfinite_word(y[row])} at row {row}; remove such rows or pass drop_nonfinite=True"
        )
    dropped = np.flatnonzero(~keep)
    if dropped.size == X.shape[0]:
        raise ValueError(f"every one of the {X.shape[0]} rows holds NaN or infinity: nothing is left to fit")
    import warnings

    shown = ", ".join(str(int(i)) for i in dropped[:10]) + (", ..." if dropped.size > 10 else "")
    warnings.warn(
        f"dropped {dropped.size} of {X.shape[0]} rows holding NaN or infinity (rows {shown})",
        UserWarning,
        stacklevel=3,
    )
    return X[keep], y[keep], keep


# loss="auto" takes relative errors for targets of one sign whose sizes span
# at least this factor: measurements over decades carry errors in proportion
# to their size, and absolute errors would fit the largest values alone.
_DECADES_FOR_RELATIVE = 1e4


def _resolved_loss(loss, y):
    """'absolute' or 'relative' for the loss parameter and the targets."""
    np = _numpy()
    if loss not in ("auto", "absolute", "relative"):
        raise ValueError(f"loss must be 'auto', 'absolute' or 'relative', got {loss!r}")
    if loss != "auto":
        return loss
    positive = negative = other = False
    smallest, largest = np.inf, 0.0
    for _, block in _row_blocks(y):
        finite = block[np.isfinite(block)]
        if finite.size == 0:
            continue
        positive, negative = positive or bool((finite > 0).any()), negative or bool((finite < 0).any())
        other = other or bool((finite == 0).any())
        size = np.abs(finite)
        smallest, largest = min(smallest, size.min()), max(largest, size.max())
    one_sign = positive != negative and not other
    return "relative" if one_sign and largest >= _DECADES_FOR_RELATIVE * smallest else "absolute"


def _sample_weights(sample_weight, y, loss):
    """The weight of each row in the fit: sample_weight (None: all 1) and, for
    a relative loss, 1/y**2, so that each residual counts relative to its
    target. ValueError naming the row for a weight that is negative, not
    finite or not one per row, and for y == 0 under the relative loss."""
    np = _numpy()
    loss = _resolved_loss(loss, y)
    if sample_weight is None:
        weights = None
    else:
        weights = np.asarray(sample_weight, dtype=np.float64)
        if weights.ndim == 0:
            weights = np.full(y.shape, float(weights))
        if weights.shape != y.shape:
            raise ValueError(f"sample_weight has shape {weights.shape} but y has shape {y.shape}")
        bad = ~(np.isfinite(weights) & (weights >= 0))
        if bad.any():
            row = int(np.argmax(bad))
            raise ValueError(f"sample_weight[{row}] is {float(weights[row])!r}: weights must be finite and not negative")
        if not (weights > 0).any():
            raise ValueError("sample_weight is zero for every row: nothing is left to fit")
    if loss == "relative":
        finite = np.isfinite(y)
        zero = finite & (y == 0)
        if zero.any():
            row = int(np.argmax(zero))
            raise ValueError(f"y is 0 at row {row}: a relative error needs nonzero targets (use loss='absolute')")
        relative = np.where(finite, 1.0 / np.where(finite, y, 1.0) ** 2, 1.0)
        weights = relative if weights is None else weights * relative
    return weights


def _feature_names(given, frame_names, n_features):
    """The variable names formulas are written with: `given` (the feature_names
    parameter), else a DataFrame's column names, else x0, x1, ..."""
    if given is None:
        names = frame_names if frame_names is not None else [f"x{j}" for j in range(n_features)]
        return tuple(names)
    if isinstance(given, str):
        raise TypeError("feature_names must be a sequence of strings, one per column of X, not a single string")
    try:
        names = tuple(given)
    except TypeError:
        raise TypeError(f"feature_names must be a sequence of strings, not {type(given).__name__}") from None
    if len(names) != n_features:
        raise ValueError(f"feature_names has {len(names)} names but X has {n_features} columns")
    return _checked_names(names, "feature_names")
