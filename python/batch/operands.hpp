#pragma once
// The arrays of a batch call: inputs of shape (B, width) read in place when they are
// C-contiguous and aligned and otherwise copied a chunk at a time into the worker's scratch,
// and outputs of shape (B, ...) written in place. Every check raises at once: they all run
// before the batch is locked and before any work starts.

#include <cstddef>
#include <initializer_list>
#include <string>

#include "arrays.hpp"
#include "binding.hpp"

namespace vormek::py::batch {

// "(4, 9)", or "(B, 9)" for a batch size still to be fixed by this argument.
std::string shape_text(const npy_intp* dims, int ndim);

class BatchInput {
public:
    // A float64 array (TypeError naming the argument otherwise) of shape (rows, width)
    // (ValueError "Q must have shape (B, 9), got (4, 8)" otherwise). A negative `rows` is
    // fixed by this argument.
    bool convert(PyObject* obj, const char* name, std::size_t width, npy_intp& rows);
    // A shared borrow of the memory for the call; ValueError when it is written by another.
    bool borrow();
    void release() { borrow_.release(); }

    std::size_t width() const { return width_; }
    // Row `first` of rows [first, last): in place, or copied into `scratch`, which has room for
    // (last - first) · width values.
    const double* rows(std::size_t first, std::size_t last, double* scratch) const {
        if (in_place_) return reinterpret_cast<const double*>(data_ + static_cast<npy_intp>(first) * row_stride_);
        return copy(first, last, scratch);
    }

private:
    const double* copy(std::size_t first, std::size_t last, double* scratch) const;

    Ref array_;  // keeps the memory alive while the interpreter lock is released
    const char* data_ = nullptr;
    npy_intp row_stride_ = 0;
    npy_intp column_stride_ = 0;
    std::size_t width_ = 0;
    bool in_place_ = false;
    Borrow borrow_;
};

class BatchOutput {
public:
    // None or omitted: a new array of `shape` now. Otherwise a float64 array (TypeError naming
    // the argument), of exactly `shape` (ValueError "out must have shape (4, 9), got (4, 8)"),
    // C-contiguous and aligned, writeable.
    bool convert(PyObject* obj, const char* name, std::initializer_list<npy_intp> shape);
    // The exclusive borrow: ValueError when the memory is an input of the same call or in use
    // by another.
    bool borrow();
    void release() { borrow_.release(); }

    double* data() const { return data_; }
    // Values per row: the product of the shape after B.
    std::size_t row_width() const { return row_width_; }
    // The caller's array or the new one. New reference.
    PyObject* result() const { return Py_NewRef(array_.get()); }

private:
    Ref array_;
    bool given_ = false;
    double* data_ = nullptr;
    std::size_t row_width_ = 0;
    Borrow borrow_;
};

}  // namespace vormek::py::batch
