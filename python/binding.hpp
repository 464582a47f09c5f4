#pragma once
// The reusable pieces every method of the extension is built from: owned references, the
// argument binder, error conversion, the robot slot with its lock, and the released-GIL call.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL vormek_ARRAY_API
#ifndef VORMEK_IMPORT_ARRAY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

#include <cxxabi.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <new>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "error.hpp"

namespace vormek::py {

// Set once the interpreter, shutting down, has ended a thread inside one of our calls (see
// take_gil). That thread's stack then unwinds without the interpreter lock, and a reference
// count changed without it could free an object under the finalizing thread: from then on the
// process is ending, and Ref leaves its references alone.
inline std::atomic<bool> interpreter_ended_a_thread{false};

// Owns one strong reference.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) : p_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_ && !interpreter_ended_a_thread.load(std::memory_order_relaxed)) Py_DECREF(p_);
    }
    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// ---- exceptions ------------------------------------------------------------------------------

enum class ExceptionClass { VormekError, ModelError, SolverError, PanicError };
// Created once per process; VormekError first. Borrowed reference. Each extension module
// defines it: _vormek creates the classes, _batch takes _vormek's.
PyObject* exception_class(ExceptionClass which);

// The class a core error is raised as. Borrowed reference; nullptr with an exception set when
// the class cannot be had.
PyObject* error_class(ErrorKind kind);

// Sets the Python exception for a core error and returns nullptr.
PyObject* core_error(Error error);
// Sets PanicError with the text (or the generic text when null or empty) and returns nullptr.
PyObject* raise_panic(const char* text);

// A binding-level error kept as a value: raised only once the robot lock is released, since
// creating an exception object may run a finalizer that calls into the same robot.
struct Failure {
    PyObject* type;               // the exception class (a built-in, never freed)
    const char* format;           // the message, with at most one %s (label) or %llu (number)
    const char* label = nullptr;
    unsigned long long number = 0;

    // Sets the exception and returns nullptr.
    PyObject* raise() const;
};
// No value: the check passed.
using Check = std::optional<Failure>;

// Marks a function that catches abi::__forced_unwind&. That unwinding carries no object, so the
// reference the catch binds is null, which the undefined-behaviour sanitizer would stop on.
#define VORMEK_CATCHES_THREAD_END __attribute__((no_sanitize_undefined))

// Takes the interpreter lock back after running without it. During shutdown CPython ends a
// daemon thread right here with pthread_exit, which unwinds the thread's stack with
// abi::__forced_unwind: every catch-all on the way must rethrow that, or the process aborts.
VORMEK_CATCHES_THREAD_END inline void take_gil(PyThreadState* saved) {
    try {
        PyEval_RestoreThread(saved);
    } catch (abi::__forced_unwind&) {
        interpreter_ended_a_thread.store(true, std::memory_order_relaxed);
        throw;
    }
}

// Takes `lock`, waiting for it with the interpreter lock released when contended; a thread
// ended on the way back leaves the lock free for the finalizers that may still need it.
template <class Lock>
VORMEK_CATCHES_THREAD_END void lock_releasing_gil(Lock& lock) {
    if (lock.try_lock()) return;
    PyThreadState* saved = PyEval_SaveThread();
    lock.lock();
    try {
        take_gil(saved);
    } catch (abi::__forced_unwind&) {
        lock.unlock();
        throw;
    }
}

// The boundary every entry point runs behind: no C++ exception reaches the interpreter, but
// the unwinding that ends a thread passes through (and so none of these is noexcept).
template <class F>
VORMEK_CATCHES_THREAD_END PyObject* guarded(F&& f) {
    try {
        return f();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        return raise_panic(e.what());
    } catch (...) {
        return raise_panic(nullptr);
    }
}

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// A fast-call method behind the boundary.
template <FastMethod F>
PyObject* entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&] { return F(self, args, nargs, kwnames); });
}

// A tp_new behind the boundary.
template <newfunc F>
PyObject* entry_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&] { return F(type, args, kwargs); });
}

// ---- argument binding -----------------------------------------------------------------------

// Positional-or-keyword parameters of one callable, names interned on first use. Binding fills
// `out` with borrowed references, nullptr for omitted optional parameters.
template <std::size_t N>
class Signature {
public:
    constexpr Signature(const char* function, std::array<const char*, N> names, std::size_t required)
        : function_(function), names_(names), required_(required) {}

    // Fast-call convention: args[0..nargs) positional, then one value per name in kwnames;
    // `out` holds N entries.
    bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
        if (!intern()) return false;
        if (!positional(args, nargs, out)) return false;
        const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t k = 0; k < nkw; ++k)
            if (!keyword(PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
        return complete(out);
    }

    // tp_new convention: a tuple and an optional dict.
    bool bind(PyObject* args, PyObject* kwargs, PyObject* (&out)[N]) {
        if (!intern()) return false;
        if (!positional(&PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), out)) return false;
        if (kwargs) {
            Py_ssize_t pos = 0;
            PyObject *key, *value;
            while (PyDict_Next(kwargs, &pos, &key, &value))
                if (!keyword(key, value, out)) return false;
        }
        return complete(out);
    }

    const char* function() const { return function_; }
    const char* const* names() const { return names_.data(); }

private:
    bool intern() {
        // std::call_once sets two thread-locals on every call, and a thread-local of a shared
        // library is a __tls_get_addr call each: the flag keeps that off every call but the first
        if (interned_ready_.load(std::memory_order_acquire)) return true;
        std::call_once(interned_once_, [this] {
            for (std::size_t i = 0; i < N; ++i) interned_[i] = PyUnicode_InternFromString(names_[i]);
        });
        for (PyObject* name : interned_)
            if (!name) {
                PyErr_SetString(PyExc_MemoryError, "cannot intern argument names");
                return false;
            }
        // set only once every name is there, so a failed interning fails every call alike
        interned_ready_.store(true, std::memory_order_release);
        return true;
    }

    bool positional(PyObject* const* args, Py_ssize_t nargs, PyObject** out) {
        if (static_cast<std::size_t>(nargs) > N) {
            PyErr_Format(PyExc_TypeError, "%s() takes at most %zu argument%s (%zd given)", function_, N,
                         N == 1 ? "" : "s", nargs);
            return false;
        }
        for (std::size_t i = 0; i < N; ++i) out[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
        return true;
    }

    bool keyword(PyObject* key, PyObject* value, PyObject** out) {
        std::size_t i = 0;
        // interned keys match by identity; anything else falls back to a string comparison
        while (i < N && key != interned_[i]) ++i;
        if (i == N) {
            for (i = 0; i < N; ++i)
                if (PyUnicode_Check(key) && PyUnicode_Compare(key, interned_[i]) == 0) break;
            if (PyErr_Occurred()) return false;
        }
        if (i == N) {
            if (PyUnicode_Check(key))
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function_, key);
            else
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", function_);
            return false;
        }
        if (out[i]) {
            PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%zu)", function_,
                         names_[i], i + 1);
            return false;
        }
        out[i] = value;
        return true;
    }

    bool complete(PyObject** out) const {
        for (std::size_t i = 0; i < required_; ++i)
            if (!out[i]) {
                PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)", function_, names_[i],
                             i + 1);
                return false;
            }
        return true;
    }

    const char* function_;
    std::array<const char*, N> names_;
    std::size_t required_;
    std::once_flag interned_once_;
    std::atomic<bool> interned_ready_{false};
    std::array<PyObject*, N> interned_{};
};

// Replaces a current TypeError by one that names the argument and keeps the original text:
// "argument 'q': ...". Any other exception is left as it is.
void retag_type_error(const char* argument);

// ---- conversions of small arguments --------------------------------------------------------

// An unsigned 64-bit index (anything with __index__): TypeError naming the argument for a
// non-integer, OverflowError for negative or too large.
bool convert_index(PyObject* obj, const char* argument, std::uint64_t& out);

// A sequence of exactly `count` numbers: TypeError naming the argument for a non-sequence or a
// non-number item, ValueError "expected a sequence of length {} (got {})" for another length.
bool convert_numbers(PyObject* obj, const char* argument, double* out, std::size_t count);

// ---- robots ---------------------------------------------------------------------------------

// Counts the forks this process descends from: bumped in each child (count_forks). A lock
// held, or an array borrowed, under an older count belongs to a thread the child does not have.
inline std::atomic<std::uint32_t> fork_generation{0};

// Registers, once per module, the handler that bumps fork_generation in a forked child.
// False with a Python error set when the system refuses it.
bool count_forks();

// A lock whose uncontended take and release are one atomic instruction each, inline: every
// method call takes one, and std::mutex spends two calls into libc on it. A waiter sleeps on
// the word (futex) rather than spinning, since the holder may run a long computation.
//
// The word holds the fork generation of its holder beside the state, so that a lock copied
// into a child by fork() while another thread of the parent held it (a thread that does not
// exist there and will never release it) is free to the child's threads.
class RobotLock {
public:
    bool try_lock() {
        std::uint32_t expected = free_;
        return state_.compare_exchange_strong(expected, generation() | held_, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void lock() {
        const std::uint32_t contended = generation() | contended_;
        std::uint32_t s = state_.load(std::memory_order_relaxed);
        for (;;) {
            // free, or held in a process this one was forked from: take it. It is marked
            // contended, as this thread cannot tell whether others still wait
            if (s == free_ || (s & ~state_bits_) != generation()) {
                if (state_.compare_exchange_weak(s, contended, std::memory_order_acquire, std::memory_order_relaxed))
                    return;
                continue;
            }
            // held here: mark it contended, so the holder's unlock knows to wake someone, and sleep
            if (s != contended && !state_.compare_exchange_weak(s, contended, std::memory_order_relaxed)) continue;
            state_.wait(contended, std::memory_order_relaxed);
            s = state_.load(std::memory_order_relaxed);
        }
    }
    void unlock() {
        if ((state_.exchange(free_, std::memory_order_release) & state_bits_) == contended_) state_.notify_one();
    }
    // The same two for a caller that holds the interpreter lock, which then orders every change
    // of the word but unlock()'s (a holder's release, atomic, wherever it runs): the uncontended
    // take and release are a plain load and store, where the atomic instructions cost a tenth
    // of the quickest method calls. A waiter marks the word under the interpreter lock, sleeps
    // with it released, and looks again once it has it back. A free-threaded build has no such
    // lock and takes the atomic ones.
    void lock_holding_gil() {
#ifdef Py_GIL_DISABLED
        lock_releasing_gil(*this);
#else
        const std::uint32_t s = state_.load(std::memory_order_acquire);
        if (s == free_ || (s & ~state_bits_) != generation()) state_.store(generation() | held_, std::memory_order_relaxed);
        else wait_holding_gil();
#endif
    }
    void unlock_holding_gil() {
#ifdef Py_GIL_DISABLED
        unlock();
#else
        const std::uint32_t s = state_.load(std::memory_order_relaxed);
        state_.store(free_, std::memory_order_release);
        if ((s & state_bits_) == contended_) state_.notify_one();
#endif
    }
    // Whether a thread of this process holds it (the lock may be held by the caller).
    bool held_here() const {
        const std::uint32_t s = state_.load(std::memory_order_relaxed);
        return s != free_ && (s & ~state_bits_) == generation();
    }

private:
    // lock_holding_gil's contended path.
    void wait_holding_gil();

    static std::uint32_t generation() { return fork_generation.load(std::memory_order_relaxed) << 2; }
    static constexpr std::uint32_t free_ = 0, held_ = 1, contended_ = 2, state_bits_ = 3;
    std::atomic<std::uint32_t> state_{free_};
};

// The native handle of a Python robot object, serialised by its own lock.
template <class Handle>
struct RobotSlot {
    RobotLock mutex;
    std::optional<Handle> handle;  // empty once closed
    std::atomic<bool> open{false};  // readable without the lock, for the properties

    // Take and release the lock with the interpreter lock held, waiting for it with the
    // interpreter lock released when contended. No Python code runs while a thread holds it,
    // so the holder never asks for it again.
    void lock() { mutex.lock_holding_gil(); }
    void unlock() { mutex.unlock_holding_gil(); }
};

// A new immutable heap type "vormek.X" from its slots. The docstring slot holds only the text
// signature, so __doc__ reads None, like the methods', while __text_signature__ keeps working.
PyTypeObject* create_heap_type(const char* name, std::size_t basicsize, PyType_Slot* slots);

// Checks without locking that a robot is open; RuntimeError otherwise.
bool require_open(const std::atomic<bool>& open);

}  // namespace vormek::py
