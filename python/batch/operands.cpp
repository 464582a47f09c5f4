#include "operands.hpp"

#include <algorithm>
#include <cstring>

namespace vormek::py::batch {

namespace {

bool is_native_float64(PyObject* obj) {
    if (!PyArray_Check(obj)) return false;
    auto* a = reinterpret_cast<PyArrayObject*>(obj);
    return PyArray_TYPE(a) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(a);
}

// TypeError "argument 'Q': expected a float64 numpy.ndarray, got list" (or "got array of int32").
bool refuse_type(PyObject* obj, const char* name) {
    if (PyArray_Check(obj)) {
        Ref dtype(PyObject_Str(reinterpret_cast<PyObject*>(PyArray_DESCR(reinterpret_cast<PyArrayObject*>(obj)))));
        if (!dtype) return false;
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a float64 numpy.ndarray, got array of %U", name,
                     dtype.get());
    } else {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a float64 numpy.ndarray, got %s", name,
                     Py_TYPE(obj)->tp_name);
    }
    return false;
}

bool refuse_shape(const char* name, const std::string& expected, PyArrayObject* a) {
    const std::string got = shape_text(PyArray_DIMS(a), PyArray_NDIM(a));
    PyErr_Format(PyExc_ValueError, "%s must have shape %s, got %s", name, expected.c_str(), got.c_str());
    return false;
}

bool already_borrowed() {
    PyErr_SetString(PyExc_ValueError, "The given array is already borrowed");
    return false;
}

}  // namespace

std::string shape_text(const npy_intp* dims, int ndim) {
    std::string s = "(";
    for (int d = 0; d < ndim; ++d) {
        if (d > 0) s += ", ";
        s += dims[d] < 0 ? std::string("B") : std::to_string(dims[d]);
    }
    return s + (ndim == 1 ? ",)" : ")");
}

bool BatchInput::convert(PyObject* obj, const char* name, std::size_t width, npy_intp& rows) {
    if (!is_native_float64(obj)) return refuse_type(obj, name);
    auto* a = reinterpret_cast<PyArrayObject*>(obj);
    const npy_intp expected[2] = {rows, static_cast<npy_intp>(width)};
    if (PyArray_NDIM(a) != 2 || (rows >= 0 && PyArray_DIM(a, 0) != rows) || PyArray_DIM(a, 1) != expected[1])
        return refuse_shape(name, shape_text(expected, 2), a);
    rows = PyArray_DIM(a, 0);
    array_ = Ref(Py_NewRef(obj));
    data_ = PyArray_BYTES(a);
    row_stride_ = PyArray_STRIDE(a, 0);
    column_stride_ = PyArray_STRIDE(a, 1);
    width_ = width;
    // a single row or an empty batch has no meaningful row stride; C order then holds anyway
    in_place_ = PyArray_ISALIGNED(a) && (width <= 1 || column_stride_ == sizeof(double)) &&
                (rows <= 1 || row_stride_ == static_cast<npy_intp>(width * sizeof(double)));
    return true;
}

bool BatchInput::borrow() {
    return borrow_.acquire(reinterpret_cast<PyArrayObject*>(array_.get()), false) || already_borrowed();
}

const double* BatchInput::copy(std::size_t first, std::size_t last, double* scratch) const {
    // column by column, so that a Fortran-ordered batch is read along its memory
    const std::size_t count = last - first;
    for (std::size_t j = 0; j < width_; ++j) {
        const char* p = data_ + static_cast<npy_intp>(first) * row_stride_ + static_cast<npy_intp>(j) * column_stride_;
        for (std::size_t r = 0; r < count; ++r, p += row_stride_)
            std::memcpy(&scratch[r * width_ + j], p, sizeof(double));
    }
    return scratch;
}

bool BatchOutput::convert(PyObject* obj, const char* name, std::initializer_list<npy_intp> shape) {
    const int ndim = static_cast<int>(shape.size());
    row_width_ = 1;
    for (auto d = shape.begin() + 1; d != shape.end(); ++d) row_width_ *= static_cast<std::size_t>(*d);
    if (!obj || obj == Py_None) {
        array_ = Ref(PyArray_SimpleNew(ndim, const_cast<npy_intp*>(shape.begin()), NPY_DOUBLE));
        if (!array_) return false;
        data_ = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array_.get())));
        return true;
    }
    if (!is_native_float64(obj)) return refuse_type(obj, name);
    auto* a = reinterpret_cast<PyArrayObject*>(obj);
    if (PyArray_NDIM(a) != ndim || !std::equal(shape.begin(), shape.end(), PyArray_DIMS(a)))
        return refuse_shape(name, shape_text(shape.begin(), ndim), a);
    if (!(PyArray_IS_C_CONTIGUOUS(a) && PyArray_ISALIGNED(a))) {
        PyErr_Format(PyExc_ValueError, "%s must be a C-contiguous float64 array", name);
        return false;
    }
    if (!PyArray_ISWRITEABLE(a)) {
        PyErr_SetString(PyExc_ValueError, "The given array is not writeable");
        return false;
    }
    array_ = Ref(Py_NewRef(obj));
    given_ = true;
    data_ = static_cast<double*>(PyArray_DATA(a));
    return true;
}

bool BatchOutput::borrow() {
    // a new array is private to the call
    if (!given_) return true;
    return borrow_.acquire(reinterpret_cast<PyArrayObject*>(array_.get()), true) || already_borrowed();
}

}  // namespace vormek::py::batch
