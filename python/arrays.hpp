#pragma once
// Joint-space arrays in and out, and the process-wide registry of borrowed array memory that
// keeps an array written by one call (with the interpreter lock released) away from every
// other call.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "binding.hpp"
#include "model/model.hpp"

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
    InputVector() = default;
    InputVector(const InputVector&) = delete;  // values_ may point into this object
    InputVector& operator=(const InputVector&) = delete;

    // Converts to a one-dimensional float64 array; TypeError naming the argument otherwise.
    bool convert(PyObject* obj, const char* argument);
    // Takes the shared borrow and exposes the values, copying a strided or unaligned array.
    bool read();

    std::span<const double> values() const { return values_; }
    std::size_t size() const { return values_.size(); }

private:
    // Every item of a sequence through float(), into scratch; false (no exception set) when
    // some item is no number, leaving the object to NumPy; true with an exception set when an
    // item raised anything else.
    bool gather(PyObject* seq);
    // Room for n values that are not read in place; short vectors stay inline.
    double* scratch(std::size_t n);

    Ref array_;           // the array read at call time; empty when the values were gathered
    bool owned_ = false;  // made by the conversion: nobody else can see it, no borrow needed
    Borrow borrow_;
    std::array<double, 16> inline_{};
    std::vector<double> heap_;
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

// The core identifier of Python link index `index`; ValueError "invalid link id {}" past the
// last link.
bool target_link(std::span<const LinkId> link_ids, std::uint64_t index, LinkId& out);

// The `loads=` argument: None or a sequence (not a str) of Load objects, resolved against the
// robot's link identifiers into core loads.
class LoadList {
public:
    // Binding-time type check; TypeError naming `loads`.
    bool convert(PyObject* obj);
    // In sequence order: "invalid link id {}", then "load contains a non-finite value".
    bool resolve(std::span<const LinkId> link_ids);

    std::span<const Load> loads() const { return loads_; }

private:
    Ref items_;  // the sequence as a list or tuple, or empty for None
    std::vector<Load> loads_;
};

// "q and {} must have the same length".
bool require_same_length(const InputVector& q, const InputVector& other, const char* label);

}  // namespace vormek::py
