#pragma once
// Joint-space arrays in and out, and the process-wide registry of borrowed array memory that
// keeps an array written by one call (with the interpreter lock released) away from every
// other call.

#include <cstddef>
#include <span>
#include <vector>

#include "binding.hpp"

namespace vormek::py {

// A memory range recorded in the registry; released when the owner goes.
class Borrow {
public:
    Borrow() = default;
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    Borrow(Borrow&& o) noexcept;
    Borrow& operator=(Borrow&& o) noexcept;
    ~Borrow() { release(); }

    // Shared borrows coexist; an exclusive one excludes every overlapping borrow. On conflict
    // ValueError "The given array is already borrowed".
    bool acquire(PyArrayObject* array, bool exclusive);
    void release();

private:
    const char* lo_ = nullptr;
    const char* hi_ = nullptr;
    bool exclusive_ = false;
    bool held_ = false;
};

// A joint-space input vector: converted at binding time, read (in place or through a copy)
// under a shared borrow for the rest of the call.
class InputVector {
public:
    // Converts to a one-dimensional float64 array; TypeError naming the argument otherwise.
    bool convert(PyObject* obj, const char* argument);
    // Takes the shared borrow and exposes the values, copying a strided or unaligned array.
    bool read();

    std::span<const double> values() const { return values_; }
    std::size_t size() const { return values_.size(); }

private:
    Ref array_;
    bool owned_ = false;  // made by the conversion: nobody else can see it, no borrow needed
    Borrow borrow_;
    std::vector<double> copy_;
    std::span<const double> values_;
};

// The `out=` argument, or a new array when none was given.
class OutputVector {
public:
    // Binding-time check: None/omitted, or a one-dimensional float64 array (TypeError naming
    // `out` otherwise).
    bool convert(PyObject* obj);
    // After the robot is locked: length, exclusive borrow, contiguity; or a fresh array.
    bool prepare(std::size_t length);

    std::span<double> values() const { return values_; }
    // The array to return: the caller's own `out` or the new one. New reference.
    PyObject* result() { return Py_NewRef(array_.get()); }

private:
    Ref array_;
    bool given_ = false;
    Borrow borrow_;
    std::span<double> values_;
};

// "q and {} must have the same length".
bool require_same_length(const InputVector& q, const InputVector& other, const char* label);

}  // namespace vormek::py
