import sys
import weakref

import pytest

import zyl_core

ALL_NAMES = [
    "ZYLPoint", "ZYLPair", "ZYLKnot", "schrodinger_step_n", "rotate_phase_n", "simulate_pulses_n",
    "boost_n", "exp_n", "ln_n", "add_n", "sub_n", "mul_n", "div_n", "sqrt_n", "sin_n", "cos_n",
    "tension_n", "pow_n", "christoffel_batch_n", "octonion_mul_n", "geometric_product_n",
    "PySearchResult", "find_formula",
]

FUNCTION_SIGNATURES = {
    "schrodinger_step_n": "(psi, v, dt, hbar)",
    "rotate_phase_n": "(pairs, angles)",
    "simulate_pulses_n": "(x0, y0, n_pulses)",
    "boost_n": "(points, phis, c)",
    "exp_n": "(xs)", "ln_n": "(ys)", "sqrt_n": "(xs)", "sin_n": "(xs)", "cos_n": "(xs)",
    "add_n": "(as_, bs)", "sub_n": "(as_, bs)", "mul_n": "(as_, bs)", "div_n": "(as_, bs)",
    "tension_n": "(xs, ys)", "pow_n": "(bases, exps)",
    "christoffel_batch_n": "(points, lam, mu, nu, rs)",
    "octonion_mul_n": "(a_batch, b_batch)",
    "geometric_product_n": "(a_batch, b_batch, signature)",
    "find_formula": "(x_data, y_data, max_complexity=8, beam_width=2000, precision_goal=1e-10, "
                    "use_trig=True, use_zyl=True, complexity_penalty=0.001)",
}

DOCSTRINGS = {
    "exp_n": "Batch exp: [exp(x) for x in xs] — Rayon parallel.",
    "ln_n": "Batch ln: [ln(y) for y in ys] — Rayon parallel, frame-shift guard applied.",
    "add_n": "Batch add: [a + b for (a, b) in zip(as_, bs)] — Rayon parallel.",
    "div_n": "Batch div: [a / b] — NaN for |b| < 1e-300 — Rayon parallel.",
    "pow_n": "Batch pow: [|base|^exp for (base, exp) in zip(bases, exps)] — Rayon parallel.",
    "tension_n": "Batch zyl_tension: [zyl(x, y) for (x, y) in zip(xs, ys)] — Rayon parallel.",
    "boost_n": "Batch Lorentz boost: apply boost(phi_i, c) to each (x_i, y_i) point in parallel.\n"
               "Returns Vec of (x', y') tuples.",
}


def registered_functions():
    return [n for n in FUNCTION_SIGNATURES if n in zyl_core.__all__]


def test_names_in_registration_order():
    present = [n for n in ALL_NAMES if hasattr(zyl_core, n)]
    assert zyl_core.__all__ == present
    assert zyl_core.__doc__ == ""


def test_reimport_returns_same_module():
    first = zyl_core
    del sys.modules["zyl_core"]
    import zyl_core as second
    assert second is first
    assert second.__all__ == first.__all__


@pytest.mark.parametrize("name", registered_functions())
def test_function_surface(name):
    fn = getattr(zyl_core, name)
    assert fn.__module__ == "zyl_core"
    assert fn.__name__ == name
    assert fn.__text_signature__ == FUNCTION_SIGNATURES[name]
    if name in DOCSTRINGS:
        assert fn.__doc__ == DOCSTRINGS[name]


def test_subinterpreter_import_refused():
    import _interpreters

    for config in ("legacy", "isolated"):
        interp = _interpreters.create(config)
        try:
            failure = _interpreters.run_string(interp, "import zyl_core")
        finally:
            _interpreters.destroy(interp)
        assert failure is not None and failure.type.__name__ == "ImportError", config
        assert "subinterpreters" in failure.msg
    assert zyl_core.exp_n([0.0]) == [1.0]


def test_panic_type_is_a_base_exception_only():
    assert zyl_core.ZYLPanic.__bases__ == (BaseException,)
    assert "ZYLPanic" not in zyl_core.__all__


CLASSES = [n for n in ("ZYLPoint", "ZYLPair", "ZYLKnot", "PySearchResult") if hasattr(zyl_core, n)]


@pytest.mark.parametrize("name", CLASSES)
def test_class_properties(name):
    cls = getattr(zyl_core, name)
    assert cls.__module__ == "zyl_core"
    assert cls.__name__ == name
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def sample_instances():
    out = []
    if hasattr(zyl_core, "ZYLPoint"):
        out.append(zyl_core.ZYLPoint(1.0, 2.0))
    if hasattr(zyl_core, "ZYLPair"):
        out.append(zyl_core.ZYLPair(1.0, 2.0))
    if hasattr(zyl_core, "ZYLKnot"):
        out.append(zyl_core.ZYLKnot(zyl_core.ZYLPoint(1.0, 2.0)))
    if hasattr(zyl_core, "find_formula"):
        out.append(zyl_core.find_formula([[1.0, 2.0]], [1.0, 2.0]))
    return out


@pytest.mark.parametrize("obj", sample_instances(), ids=lambda o: type(o).__name__)
def test_instances_have_no_dict_or_weakrefs(obj):
    with pytest.raises(AttributeError):
        obj.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
