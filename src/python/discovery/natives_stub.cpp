// TEMPORARY stand-in for the engine's natives until the engine branch is merged.
#include "discovery/natives.hpp"

namespace zyl::py {
namespace {
const char* kStub = R"stub(
import math as _m
class _Formula:
    def __init__(self, nodes, rmse):
        self._nodes = tuple(tuple(n) for n in nodes)
        self._rmse = float(rmse)
    nodes = property(lambda self: self._nodes)
    rmse = property(lambda self: self._rmse)
    complexity = property(lambda self: len(self._nodes))
    constants = property(lambda self: tuple(n[1] for n in self._nodes if n[0] == "const" and n[2] is None))
    def __reduce__(self):
        return (_Formula, (self._nodes, self._rmse))
    def _evaluate(self, columns):
        import numpy as np
        cols = np.asarray(memoryview(columns))
        n = cols.shape[1]
        st = []
        with np.errstate(all="ignore"):
            for node in self._nodes:
                if node[0] == "var": st.append(cols[node[1]].copy())
                elif node[0] == "const": st.append(np.full(n, node[1]))
                else:
                    op = node[1]
                    if op in ("add", "sub", "mul", "div", "zyl"):
                        b = st.pop(); a = st.pop()
                        if op == "add": r = a + b
                        elif op == "sub": r = a - b
                        elif op == "mul": r = a * b
                        elif op == "div": r = np.where(np.abs(b) < 1e-300, np.nan, a / b)
                        else:
                            e = np.where(a > 709.78, np.exp(np.log(np.where(a > 709.78, a, 1.0))), np.exp(a))
                            bb = np.where((b > 0) | np.isnan(b), b, np.maximum(np.abs(b), 1e-300))
                            r = e - np.log(bb)
                    else:
                        a = st.pop()
                        r = {"neg": lambda: -a, "inv": lambda: np.where(np.abs(a) < 1e-300, np.nan, 1.0 / a),
                             "exp": lambda: np.exp(a), "log": lambda: np.where(a <= 0, np.nan, np.log(a)),
                             "sqrt": lambda: np.where(a < 0, np.nan, np.sqrt(a)), "sin": lambda: np.sin(a),
                             "cos": lambda: np.cos(a), "abs": lambda: np.abs(a), "square": lambda: a * a}[op]()
                    st.append(np.where(np.isfinite(r), r, np.nan))
        return bytearray(st[-1].astype(np.float64).tobytes())
    def to_text(self, names):
        st = []
        for node in self._nodes:
            if node[0] == "var": st.append(names[node[1]])
            elif node[0] == "const": st.append(repr(node[1]))
            elif node[1] in ("add", "sub", "mul", "div"):
                b = st.pop(); a = st.pop()
                st.append("(%s %s %s)" % (a, {"add": "+", "sub": "-", "mul": "*", "div": "/"}[node[1]], b))
            elif node[1] == "zyl":
                b = st.pop(); a = st.pop(); st.append("zyl(%s, %s)" % (a, b))
            else: st.append("%s(%s)" % (node[1], st.pop()))
        return st[-1]
def _fit(columns, y, options, progress):
    import numpy as np
    for k in options:
        if k not in ("max_complexity", "max_evaluations", "time_limit", "use_trig", "max_constants"):
            raise TypeError("unknown option %r" % k)
    X = np.asarray(memoryview(columns)); y = np.asarray(memoryview(y))
    m = float(np.mean(y))
    front = [_Formula([("const", m, None)], float(np.sqrt(np.mean((y - m) ** 2))))]
    best = None
    for j in range(X.shape[0]):
        A = np.c_[X[j], np.ones_like(X[j])]
        (a, b), *_ = np.linalg.lstsq(A, y, rcond=None)
        r = float(np.sqrt(np.mean((a * X[j] + b - y) ** 2)))
        if best is None or r < best[0]: best = (r, j, float(a), float(b))
    if best[0] < front[0].rmse:
        front.append(_Formula([("const", best[2], None), ("var", best[1]), ("op", "mul"), ("const", best[3], None), ("op", "add")], best[0]))
    if progress is not None:
        progress({"level": 1, "candidates": X.shape[0], "best_rmse": front[-1].rmse, "elapsed": 0.0})
    return front, len(front) - 1
)stub";
}  // namespace

bool add_discovery_natives(PyObject* module) {
    PyObject* globals = PyModule_GetDict(module);
    PyObject* builtins = PyEval_GetFrameBuiltins();
    PyDict_SetItemString(globals, "__builtins__", builtins);
    Py_XDECREF(builtins);
    PyObject* r = PyRun_String(kStub, Py_file_input, globals, globals);
    Py_XDECREF(r);
    return r != nullptr;
}
}  // namespace zyl::py
