#pragma once
// Joint-space arrays in and out, and the process-wide registry of borrowed array memory that
// keeps an array written by one call (with the interpreter lock released) away from every
// other call.

#include <pthread.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "binding.hpp"
#include "model/model.hpp"

namespace vormek::py {

// A borrowed range in the registry. `live` is the only field written outside the registry's
// lock: its owner clears it to release the borrow, so a release costs one store and no lock.
struct BorrowEntry {
    const char* lo = nullptr;
    const char* hi = nullptr;
    bool exclusive = false;
    std::uintptr_t owner = 0;  // the borrowing thread (this_thread): a forked child drops the others' borrows
    std::atomic<bool> live{false};
};

// A memory range recorded in the registry; released when the owner goes.
class Borrow {
public:
    Borrow() = default;
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    Borrow(Borrow&& o) noexcept;
    Borrow& operator=(Borrow&& o) noexcept;
    ~Borrow() { release(); }

    // Shared borrows coexist; an exclusive one excludes every overlapping borrow. False on
    // conflict ("The given array is already borrowed" for the caller to raise).
    bool acquire(PyArrayObject* array, bool exclusive);
    // The same for an array the caller has just found one-dimensional float64: its range is
    // had without walking the dimensions.
    bool acquire_vector(PyArrayObject* array, bool exclusive);
    void release() {
        // the call's reads and writes of the array happen before the range is free again
        if (entry_) std::exchange(entry_, nullptr)->live.store(false, std::memory_order_release);
    }

private:
    BorrowEntry* entry_ = nullptr;  // the registry's record while held
};

// The registry is one per process although every extension module links these sources:
// _vormek publishes its own (borrow_registry_capsule, as _vormek._borrow_registry) and the
// others adopt it when they are executed, before their first borrow. False with a Python
// error set when `capsule` is not that capsule.
PyObject* borrow_registry_capsule();
bool adopt_borrow_registry(PyObject* capsule);
// Keeps the registry whole across fork() and, in the child, frees the borrows of the threads
// it does not have. For the module that owns the registry; False with a Python error set when
// the system refuses the handlers.
bool carry_borrow_registry_across_fork();

// What an array may lose after it was checked: dtype, dimensions and byte order can all be
// reassigned, its type cannot.
inline bool is_float64_layout(PyArrayObject* a) {
    return PyArray_NDIM(a) == 1 && PyArray_TYPE(a) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(a);
}

inline bool is_float64_vector(PyObject* obj) {
    return PyArray_Check(obj) && is_float64_layout(reinterpret_cast<PyArrayObject*>(obj));
}

// A joint-space input vector: converted at binding time, re-checked and read (in place or
// through a copy) under a shared borrow for the rest of the call.
class InputVector {
public:
    InputVector() = default;
    InputVector(const InputVector&) = delete;  // values_ may point into this object
    InputVector& operator=(const InputVector&) = delete;

    // Converts to a one-dimensional float64 array; TypeError naming the argument otherwise.
    // A vector longer than `limit` (the robot's generalized count, which no computation
    // exceeds) is only measured: its values are never needed, since the core rejects its
    // length before reading anything.
    bool convert(PyObject* obj, const char* argument, std::size_t limit) {
        argument_ = argument;
        limit_ = limit;
        if (!is_float64_vector(obj)) return convert_other(obj);
        array_ = Ref(Py_NewRef(obj));
        return true;
    }
    // Runs after every conversion, so after all user code: re-checks the array, takes the
    // shared borrow and exposes the values, copying a strided or unaligned array.
    Check read() {
        // inline for the vector every call passes, contiguous and short enough; its checks
        // come ahead of the borrow here only because they cannot fail, and anything else
        // takes read_other's steps in their order
        auto* a = reinterpret_cast<PyArrayObject*>(array_.get());
        if (!a || !is_float64_layout(a) || static_cast<std::size_t>(PyArray_DIM(a, 0)) > limit_ ||
            !PyArray_ISALIGNED(a) || !PyArray_IS_C_CONTIGUOUS(a))
            return read_other();
        if (!fresh_ && !borrow_.acquire_vector(a, false))
            return Failure{PyExc_ValueError, "The given array is already borrowed"};
        values_ = {static_cast<const double*>(PyArray_DATA(a)), static_cast<std::size_t>(PyArray_DIM(a, 0))};
        return {};
    }
    void release() { borrow_.release(); }

    std::span<const double> values() const { return values_; }
    std::size_t size() const { return values_.size(); }

private:
    // Every object but a one-dimensional float64 array.
    bool convert_other(PyObject* obj);
    // Every case read() does not take inline.
    Check read_other();

    enum class Gathered { all, not_numbers, raised };
    // Every item of a sequence through float(), into scratch; not_numbers (no exception set)
    // leaves the object to NumPy.
    Gathered gather(PyObject* seq);
    // Room for n values that are not read in place; short vectors stay inline.
    double* scratch(std::size_t n);
    // A span of the right length that nobody reads (see convert).
    void measure(std::size_t n) { values_ = {inline_.data(), n}; }

    Ref array_;           // the array read at call time; empty when gathered or measured
    bool fresh_ = false;  // allocated by the conversion: nobody else can see it, no borrow needed
    const char* argument_ = nullptr;
    std::size_t limit_ = 0;
    Borrow borrow_;
    std::array<double, 16> inline_;
    std::vector<double> heap_;
    std::span<const double> values_;
};

// The `out=` argument, or a new array when none was given.
class OutputVector {
public:
    OutputVector() = default;
    // For a result of rows `columns` wide (link poses: 7 a link): the array is two-dimensional,
    // (length / columns, columns), C-contiguous, and still written as one flat span;
    // `wrong_shape` is the ValueError's message, with %llu for the row count.
    OutputVector(std::size_t columns, const char* wrong_shape) : columns_(columns), wrong_shape_(wrong_shape) {}

    // Binding: None or omitted makes the new array of `length` elements now, before the robot
    // is locked; otherwise a one-dimensional float64 array (TypeError naming `out`).
    bool convert(PyObject* obj, std::size_t length) {
        length_ = length;
        if (columns_ || !obj || obj == Py_None || !is_float64_vector(obj)) return convert_other(obj);
        array_ = Ref(Py_NewRef(obj));
        given_ = true;
        return true;
    }
    // After the robot is locked: the type again (user code may have changed it since), the
    // length, writeability, the exclusive borrow, contiguity.
    Check prepare() {
        // inline for a given `out` that passes every check, as InputVector::read
        auto* a = reinterpret_cast<PyArrayObject*>(array_.get());
        if (!given_ || columns_ || !is_float64_layout(a) || static_cast<std::size_t>(PyArray_DIM(a, 0)) != length_ ||
            !PyArray_ISWRITEABLE(a) || length_ == 0 || !PyArray_ISALIGNED(a) || !PyArray_ISONESEGMENT(a) ||
            !PyArray_DATA(a))
            return prepare_other();
        if (!borrow_.acquire_vector(a, true)) return Failure{PyExc_ValueError, "The given array is already borrowed"};
        values_ = {static_cast<double*>(PyArray_DATA(a)), length_};
        return {};
    }
    void release() { borrow_.release(); }

    std::span<double> values() const { return values_; }
    // The array to return: the caller's own `out` or the new one. New reference.
    PyObject* result() { return Py_NewRef(array_.get()); }

private:
    // None, omitted, or anything that is no one-dimensional float64 array.
    bool convert_other(PyObject* obj);
    // Every case prepare() does not take inline.
    Check prepare_other();

    Ref array_;
    std::size_t length_ = 0;
    std::size_t columns_ = 0;  // 0: one-dimensional
    const char* wrong_shape_ = nullptr;
    bool given_ = false;
    Borrow borrow_;
    std::span<double> values_;
};

// The core identifier of Python link index `index`; "invalid link id {}" past the last link.
Check target_link(std::span<const LinkId> link_ids, std::uint64_t index, LinkId& out);

// The `loads=` argument: None or a sequence (not a str) of Load objects, resolved against the
// robot's link identifiers into core loads.
class LoadList {
public:
    // Binding: TypeError naming `loads` for a str, a non-sequence or an item that is no Load,
    // then a snapshot of the items (later user code may change the caller's list).
    bool convert(PyObject* obj) { return !obj || obj == Py_None || snapshot(obj); }
    // The step "convert loads", load by load: "invalid link id {}", then "load contains a
    // non-finite value".
    Check resolve(std::span<const LinkId> link_ids) { return items_ ? resolve_items(link_ids) : Check{}; }

    std::span<const Load> loads() const { return loads_; }

private:
    // Most calls pass no loads: only a given sequence leaves the inline checks above.
    bool snapshot(PyObject* obj);
    Check resolve_items(std::span<const LinkId> link_ids);

    Ref items_;  // a tuple of Load objects, or empty for None
    std::vector<Load> loads_;
};

// "q and {} must have the same length".
inline Check require_same_length(const InputVector& q, const InputVector& other, const char* label) {
    if (q.size() == other.size()) return {};
    return Failure{PyExc_ValueError, "q and %s must have the same length", label};
}

}  // namespace vormek::py
