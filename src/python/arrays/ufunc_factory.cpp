#include "ufunc_factory.hpp"

#include <array>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "inner_loop.hpp"
#include "single_precision.hpp"

namespace zyl::py::arrays {
namespace {

// The two loops of every ufunc, by the dtype that its 'd' operands take.
constexpr char kFamilies[] = {'f', 'd'};

PyArray_DTypeMeta* dtype_of(char letter) {
    switch (letter) {
        case 'q': return &PyArray_Int64DType;
        case 'Q': return &PyArray_UInt64DType;
        case 'f': return &PyArray_FloatDType;
        default: return &PyArray_DoubleDType;
    }
}

char letter_in(char family, char recipe_letter) { return recipe_letter == 'd' ? family : recipe_letter; }

bool has_integers(const UfuncRecipe& recipe) { return std::strchr(recipe.dtypes, 'q') != nullptr; }

// A recipe's integer operands also have a float64 loop taking uint64: cast
// to int64, 2**64 - 1 would arrive as -1. It is chosen when every integer
// operand comes as uint64.
char loop_letter(const UfuncRecipe& recipe, int k, char family, bool unsigned_integers) {
    const char letter = letter_in(family, recipe.dtypes[k]);
    return letter == 'q' && unsigned_integers ? 'Q' : letter;
}

// Which recipe each ufunc was made from, for the promoter and the float32
// loop. The ufuncs are held here for good, so no other object can ever reuse
// their addresses.
std::vector<std::pair<PyObject*, const UfuncRecipe*>>& made_ufuncs() {
    static std::vector<std::pair<PyObject*, const UfuncRecipe*>> made;
    return made;
}

bool is_complex(PyArray_DTypeMeta* dtype) {
    return dtype == &PyArray_PyComplexDType || dtype->type_num == NPY_CFLOAT || dtype->type_num == NPY_CDOUBLE ||
           dtype->type_num == NPY_CLONGDOUBLE;
}

// float32 when the caller's dtype= or signature= names float32 for a real
// operand, or when numpy promotes the real inputs to float32; else float64.
char family_of(const UfuncRecipe& recipe, PyArray_DTypeMeta* const op_dtypes[],
               PyArray_DTypeMeta* const signature[]) {
    const int nargs = recipe.nin + recipe.nout;
    for (int k = 0; k < nargs; ++k)
        if (recipe.dtypes[k] == 'd' && signature[k] != nullptr)
            return signature[k] == &PyArray_FloatDType ? 'f' : 'd';
    std::array<PyArray_DTypeMeta*, kMaxOperands> real{};
    int n = 0;
    for (int k = 0; k < recipe.nin; ++k)
        if (recipe.dtypes[k] == 'd' && op_dtypes[k] != nullptr) real[static_cast<std::size_t>(n++)] = op_dtypes[k];
    if (n == 0) return 'd';
    PyArray_DTypeMeta* common = PyArray_PromoteDTypeSequence(n, real.data());
    if (common == nullptr) {
        PyErr_Clear();  // no common dtype (strings, say): numpy's cast to float64 says why
        return 'd';
    }
    const char family = common == &PyArray_FloatDType ? 'f' : 'd';
    Py_DECREF(common);
    return family;
}

int promote_to_loop_dtypes(PyObject* ufunc, PyArray_DTypeMeta* const op_dtypes[],
                           PyArray_DTypeMeta* const signature[], PyArray_DTypeMeta* new_op_dtypes[]) {
    const UfuncRecipe* recipe = recipe_of(ufunc);
    if (recipe == nullptr) {
        PyErr_SetString(PyExc_SystemError, "zyl_core.arrays: promoter called for an unknown ufunc");
        return -1;
    }
    for (int k = 0; k < recipe->nin; ++k) {
        if (op_dtypes[k] != nullptr && is_complex(op_dtypes[k])) {
            PyErr_Format(PyExc_TypeError,
                         "%s takes real numbers only, but input %d is complex: its rule is defined on the real "
                         "line and has no complex form; pass the real and imaginary parts (x.real, x.imag) "
                         "separately if that is what you mean",
                         recipe->name, k);
            return -1;
        }
    }
    bool unsigned_integers = has_integers(*recipe);
    for (int k = 0; k < recipe->nin; ++k)
        if (recipe->dtypes[k] == 'q' && op_dtypes[k] != &PyArray_UInt64DType) unsigned_integers = false;
    const char family = unsigned_integers ? 'd' : family_of(*recipe, op_dtypes, signature);
    // An operand the caller fixed keeps its dtype: when no loop has it, numpy
    // says so.
    for (int k = 0; k < recipe->nin + recipe->nout; ++k) {
        PyArray_DTypeMeta* dtype =
            signature[k] != nullptr ? signature[k] : dtype_of(loop_letter(*recipe, k, family, unsigned_integers));
        new_op_dtypes[k] = NPY_DT_NewRef(dtype);
    }
    return 0;
}

bool add_loop(PyObject* ufunc, const UfuncRecipe& recipe, char family, bool unsigned_integers) {
    std::array<PyArray_DTypeMeta*, kMaxOperands> dtypes{};
    for (int k = 0; k < recipe.nin + recipe.nout; ++k)
        dtypes[static_cast<std::size_t>(k)] = dtype_of(loop_letter(recipe, k, family, unsigned_integers));
    PyArrayMethod_StridedLoop* loop = family == 'd' ? recipe.loop : &guarded<single_precision_loop>;
    PyType_Slot slots[] = {{NPY_METH_strided_loop, reinterpret_cast<void*>(loop)}, {0, nullptr}};
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

// numpy lists a ufunc's loops (ufunc.types) from its legacy table, and knows
// nothing of loops registered through the array-method API. A table given at creation would be
// registered as loops of its own, clashing with those, so the ufunc is made
// without one and is given it afterwards, for the listing. It names the same
// two loops; a call that numpy ever routed through it goes to the registered
// loop of that family.
template <char Family>
void listed_loop(char** args, const npy_intp* dims, const npy_intp* steps, void* ufunc) {
    PyArrayMethod_Context context{};
    context.caller = static_cast<PyObject*>(ufunc);
    PyArrayMethod_StridedLoop* loop =
        Family == 'd' ? recipe_of(context.caller)->loop : &guarded<single_precision_loop>;
    loop(&context, args, dims, steps, nullptr);
}

struct LegacyTable {
    std::array<PyUFuncGenericFunction, 2> functions{&listed_loop<'f'>, &listed_loop<'d'>};
    std::array<void*, 2> data{};
    std::array<char, 2 * kMaxOperands> types{};
};

// One table per ufunc, never freed: numpy keeps pointers into it.
LegacyTable& new_legacy_table(const UfuncRecipe& recipe) {
    static std::deque<LegacyTable> tables;
    LegacyTable& table = tables.emplace_back();
    const int nargs = recipe.nin + recipe.nout;
    for (std::size_t f = 0; f < std::size(kFamilies); ++f)
        for (int k = 0; k < nargs; ++k)
            table.types[f * static_cast<std::size_t>(nargs) + static_cast<std::size_t>(k)] =
                static_cast<char>(dtype_of(letter_in(kFamilies[f], recipe.dtypes[k]))->type_num);
    return table;
}

}  // namespace

const UfuncRecipe* recipe_of(PyObject* ufunc) {
    for (const auto& [made, recipe] : made_ufuncs())
        if (made == ufunc) return recipe;
    return nullptr;
}

PyObject* make_ufunc(const UfuncRecipe& recipe) {
    if (recipe.nin + recipe.nout > kMaxOperands || std::strlen(recipe.dtypes) != static_cast<std::size_t>(recipe.nin + recipe.nout)) {
        PyErr_Format(PyExc_SystemError, "zyl_core.arrays: malformed ufunc recipe %s", recipe.name);
        return nullptr;
    }
    PyObject* ufunc = PyUFunc_FromFuncAndDataAndSignature(nullptr, nullptr, nullptr, 0, recipe.nin, recipe.nout,
                                                          PyUFunc_None, recipe.name, recipe.doc, 0,
                                                          recipe.core_signature);
    if (ufunc == nullptr) return nullptr;
    auto* made = reinterpret_cast<PyUFuncObject*>(ufunc);
    for (int k = 0; made->core_enabled != 0 && k < recipe.nin + recipe.nout; ++k) {
        if (made->core_num_dims[k] > 1) {
            PyErr_Format(PyExc_SystemError, "zyl_core.arrays: %s has an operand of more than one core axis",
                         recipe.name);
            Py_DECREF(ufunc);
            return nullptr;
        }
    }
    made_ufuncs().emplace_back(Py_NewRef(ufunc), &recipe);
    if (!add_loop(ufunc, recipe, 'f', false) || !add_loop(ufunc, recipe, 'd', false) ||
        (has_integers(recipe) && !add_loop(ufunc, recipe, 'd', true)) || !add_promoter(ufunc, recipe)) {
        Py_DECREF(made_ufuncs().back().first);
        made_ufuncs().pop_back();
        Py_DECREF(ufunc);
        return nullptr;
    }
    LegacyTable& table = new_legacy_table(recipe);
    table.data.fill(ufunc);
    made->functions = table.functions.data();
    made->data = table.data.data();
    made->types = table.types.data();
    made->ntypes = static_cast<int>(std::size(kFamilies));
    return ufunc;
}

}  // namespace zyl::py::arrays
