#pragma once
// Adapters that turn plain native functions into the C entry points of method
// tables, getters and type slots: read the receiver's native value, bind and
// convert the call's arguments into the function's own parameter types, call
// it, and convert what it returns. Where an adapter is installed it is still
// wrapped in Guard (or fastcall), like every entry point.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "convert.hpp"
#include "panic.hpp"

namespace zyl::py {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// Class values become new instances of their class; an empty optional means
// the function has set an exception; everything else goes through to_python.
template <class T>
PyObject* to_result(const T& v) {
    if constexpr (IsOptional<T>::value)
        return v ? to_result(*v) : nullptr;
    else if constexpr (std::is_same_v<T, std::int64_t>)
        return PyLong_FromLongLong(v);
    else if constexpr (std::is_same_v<T, std::string>)
        return PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
    else if constexpr (requires { ClassOf<T>::name; })
        return wrap(v);
    else
        return to_python(v);
}

template <class F>
struct ParamsOf;

template <class R, class... A>
struct ParamsOf<R (*)(A...)> {
    using type = std::tuple<std::remove_cvref_t<A>...>;
};

// Converts what `parse` binds into Op's parameters that follow the `lead`
// values, then converts the result of Op(lead..., converted...).
template <auto Op, class Parse, class... Lead>
PyObject* convert_and_call(Parse parse, const Lead&... lead) {
    using All = typename ParamsOf<decltype(Op)>::type;
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> PyObject* {
        std::tuple<std::tuple_element_t<sizeof...(Lead) + I, All>...> args{};
        if (!std::apply(parse, args)) return nullptr;
        return to_result(std::apply([&](const auto&... a) { return Op(lead..., a...); }, args));
    }(std::make_index_sequence<std::tuple_size_v<All> - sizeof...(Lead)>{});
}

// Op(receiver): a unary type slot.
template <class Native, auto Op>
PyObject* of_self(PyObject* self) {
    return to_result(Op(native_value<Native>(self)));
}

template <class Native, auto Op>
PyObject* noargs_method(PyObject* self, PyObject*) {
    return of_self<Native, Op>(self);
}

template <class Native, auto Op>
PyObject* getter(PyObject* self, void*) {
    return of_self<Native, Op>(self);
}

// Op() as a parameterless static method.
template <auto Op>
PyObject* noargs_static(PyObject*, PyObject*) {
    return to_result(Op());
}

// Op(receiver, arguments...) as a fast-call method.
template <class Native, const Signature& Sig, auto Op>
PyObject* method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto parse = [&](auto&... outs) { return parse_args(Sig, args, nargs, kwnames, outs...); };
    return convert_and_call<Op>(parse, native_value<Native>(self));
}

// Op(arguments...) as a fast-call module function or static method.
template <const Signature& Sig, auto Op>
PyObject* function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto parse = [&](auto&... outs) { return parse_args(Sig, args, nargs, kwnames, outs...); };
    return convert_and_call<Op>(parse);
}

// Op(arguments...) as tp_new of a class without subclasses, so the new object
// is always of Op's result class.
template <const Signature& Sig, auto Op>
PyObject* constructor(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    auto parse = [&](auto&... outs) { return parse_args(Sig, args, kwargs, outs...); };
    return convert_and_call<Op>(parse);
}

// A type slot entry of a PyType_Spec, guarded like every entry point.
template <auto Fn>
void* guarded_slot() {
    return reinterpret_cast<void*>(Guard<Fn>::call);
}

}  // namespace zyl::py
