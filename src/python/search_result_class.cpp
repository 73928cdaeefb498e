// PySearchResult: the read-only outcome of find_formula.
#include "search_result_class.hpp"

#include <new>
#include <string>
#include <vector>

#include "convert.hpp"
#include "discover/render.hpp"
#include "format/number_format.hpp"
#include "panic.hpp"
#include "registry.hpp"

namespace zyl::py {
namespace {

struct Fields {
    std::string formula;
    std::vector<double> params;
    double error;
    std::size_t complexity;
};

using Object = Instance<Fields>;

const Fields& fields(PyObject* self) { return native_value<Fields>(self); }

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Object*>(self)->value.~Fields();
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* repr(PyObject* self) {
    const Fields& f = fields(self);
    std::string text = "SearchResult(formula='" + f.formula + "', error=" + format_exp2(f.error) +
                       ", complexity=" + std::to_string(f.complexity) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* unicode(const std::string& s) {
    return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* get_formula(PyObject* self, void*) { return unicode(fields(self).formula); }
PyObject* get_error(PyObject* self, void*) { return PyFloat_FromDouble(fields(self).error); }
PyObject* get_complexity(PyObject* self, void*) { return PyLong_FromSize_t(fields(self).complexity); }
PyObject* get_params(PyObject* self, void*) { return to_python(std::span<const double>(fields(self).params)); }

PyObject* latex(PyObject* self, PyObject*) { return unicode(discover::to_latex(fields(self).formula)); }
PyObject* python_source(PyObject* self, PyObject*) { return unicode(discover::to_python(fields(self).formula)); }

PyGetSetDef getset[] = {
    {"formula", Guard<&get_formula>::call, nullptr, nullptr, nullptr},
    {"error", Guard<&get_error>::call, nullptr, nullptr, nullptr},
    {"complexity", Guard<&get_complexity>::call, nullptr, nullptr, nullptr},
    {"params", Guard<&get_params>::call, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef methods[] = {
    {"to_latex", Guard<&latex>::call, METH_NOARGS, "to_latex($self)\n--\n\n"},
    {"to_python", Guard<&python_source>::call, METH_NOARGS, "to_python($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_repr, reinterpret_cast<void*>(Guard<&repr>::call)},
    {Py_tp_getset, getset},
    {Py_tp_methods, methods},
    {Py_tp_doc, const_cast<char*>("Python-facing formula discovery result.")},
    {0, nullptr},
};

PyType_Spec type_spec = {"zyl_core.PySearchResult", sizeof(Object), 0, Py_TPFLAGS_DEFAULT, slots};

PyTypeObject* g_type = nullptr;

}  // namespace

PyTypeObject* search_result_type() { return type_once(g_type, type_spec); }

PyObject* make_search_result(discover::SearchResult&& result) {
    PyTypeObject* type = search_result_type();
    if (type == nullptr) return nullptr;
    PyObject* obj = type->tp_alloc(type, 0);
    if (obj == nullptr) return nullptr;
    new (&reinterpret_cast<Object*>(obj)->value)
        Fields{std::move(result.formula), std::move(result.params), result.error, result.complexity};
    return obj;
}

}  // namespace zyl::py
