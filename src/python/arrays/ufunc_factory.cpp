#include "ufunc_factory.hpp"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace zyl::py::arrays {
namespace {

constexpr int kMaxOperands = 8;

PyArray_DTypeMeta* dtype_of(char letter) {
    switch (letter) {
        case 'q': return &PyArray_Int64DType;
        case 'Q': return &PyArray_UInt64DType;
        default: return &PyArray_DoubleDType;
    }
}

bool has_integers(const UfuncRecipe& recipe) { return std::strchr(recipe.dtypes, 'q') != nullptr; }

// A recipe's integer operands have a second loop taking uint64: cast to
// int64, 2**64 - 1 would arrive as -1. It is chosen when every integer
// operand comes as uint64.
char loop_letter(const UfuncRecipe& recipe, int k, bool unsigned_integers) {
    return recipe.dtypes[k] == 'q' && unsigned_integers ? 'Q' : recipe.dtypes[k];
}

// Which recipe each ufunc was made from, for the promoter. The ufuncs are held
// here for good, so no other object can ever reuse their addresses.
std::vector<std::pair<PyObject*, const UfuncRecipe*>>& made_ufuncs() {
    static std::vector<std::pair<PyObject*, const UfuncRecipe*>> made;
    return made;
}

// Every operand takes the loop's dtype, unless the caller fixed it with
// dtype= or signature=, in which case numpy finds no loop and says so.
int promote_to_loop_dtypes(PyObject* ufunc, PyArray_DTypeMeta* const op_dtypes[],
                           PyArray_DTypeMeta* const signature[], PyArray_DTypeMeta* new_op_dtypes[]) {
    const UfuncRecipe* recipe = nullptr;
    for (const auto& [made, s] : made_ufuncs())
        if (made == ufunc) recipe = s;
    if (recipe == nullptr) {
        PyErr_SetString(PyExc_SystemError, "zyl_core.arrays: promoter called for an unknown ufunc");
        return -1;
    }
    bool unsigned_integers = has_integers(*recipe);
    for (int k = 0; k < recipe->nin; ++k)
        if (recipe->dtypes[k] == 'q' && op_dtypes[k] != &PyArray_UInt64DType) unsigned_integers = false;
    for (int k = 0; k < recipe->nin + recipe->nout; ++k) {
        PyArray_DTypeMeta* dtype =
            signature[k] != nullptr ? signature[k] : dtype_of(loop_letter(*recipe, k, unsigned_integers));
        Py_INCREF(dtype);
        new_op_dtypes[k] = dtype;
    }
    return 0;
}

bool add_loop(PyObject* ufunc, const UfuncRecipe& recipe, bool unsigned_integers) {
    std::array<PyArray_DTypeMeta*, kMaxOperands> dtypes{};
    for (int k = 0; k < recipe.nin + recipe.nout; ++k)
        dtypes[static_cast<std::size_t>(k)] = dtype_of(loop_letter(recipe, k, unsigned_integers));
    PyType_Slot slots[] = {{NPY_METH_strided_loop, reinterpret_cast<void*>(recipe.loop)}, {0, nullptr}};
    // The element rules never raise floating-point exceptions on purpose:
    // overflow, division by zero and invalid operations are part of their
    // results, so numpy is told not to turn the flags into warnings.
    PyArrayMethod_Spec method = {recipe.name,
                                 recipe.nin,
                                 recipe.nout,
                                 NPY_NO_CASTING,
                                 NPY_METH_NO_FLOATINGPOINT_ERRORS,
                                 dtypes.data(),
                                 slots};
    return PyUFunc_AddLoopFromSpec(ufunc, &method) == 0;
}

bool add_promoter(PyObject* ufunc, const UfuncRecipe& recipe) {
    PyObject* key = PyTuple_New(recipe.nin + recipe.nout);
    if (key == nullptr) return false;
    // The DType base class matches every DType.
    for (int k = 0; k < recipe.nin + recipe.nout; ++k)
        PyTuple_SET_ITEM(key, k, Py_NewRef(reinterpret_cast<PyObject*>(&PyArrayDescr_Type)));
    PyObject* promoter = PyCapsule_New(reinterpret_cast<void*>(&promote_to_loop_dtypes), "numpy._ufunc_promoter",
                                       nullptr);
    bool ok = promoter != nullptr && PyUFunc_AddPromoter(ufunc, key, promoter) == 0;
    Py_XDECREF(promoter);
    Py_DECREF(key);
    return ok;
}

}  // namespace

PyObject* make_ufunc(const UfuncRecipe& recipe) {
    if (recipe.nin + recipe.nout > kMaxOperands || std::strlen(recipe.dtypes) != static_cast<std::size_t>(recipe.nin + recipe.nout)) {
        PyErr_Format(PyExc_SystemError, "zyl_core.arrays: malformed ufunc recipe %s", recipe.name);
        return nullptr;
    }
    PyObject* ufunc = PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, recipe.nin, recipe.nout,
                                                          PyUFunc_None, recipe.name, recipe.doc, 0,
                                                          recipe.core_signature);
    if (ufunc == nullptr) return nullptr;
    made_ufuncs().emplace_back(Py_NewRef(ufunc), &recipe);
    if (!add_loop(ufunc, recipe, false) || (has_integers(recipe) && !add_loop(ufunc, recipe, true)) ||
        !add_promoter(ufunc, recipe)) {
        Py_DECREF(made_ufuncs().back().first);
        made_ufuncs().pop_back();
        Py_DECREF(ufunc);
        return nullptr;
    }
    return ufunc;
}

}  // namespace zyl::py::arrays
