#pragma once
// RobotBatch and FloatingRobotBatch: one model, one core handle (and so one workspace) per
// worker, a fixed pool of threads, and the one path every batch method takes.
//
// A method names its arguments, converts them (each check raises at once, before any work),
// then hands a row function to run(), which takes the borrows and the batch lock, releases the
// interpreter lock, sweeps the rows in chunks on the pool, and raises the lowest failed row's
// error or returns the outputs:
//
//   template <class Handle>
//   PyObject* mass_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
//       static auto sig = method_signature<Handle, 1>("mass_matrix", {"Q", "out"}, 1);
//       Method<Handle, 1> c(self);  // floating: takes `frames` first
//       BatchInput q;
//       BatchOutput out;
//       const npy_intp m = c.generalized_count();
//       if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), m, m}))
//           return nullptr;
//       return c.run({&q}, {&out}, [&](Handle& h, const Row& r, const auto&... base) {
//           return lift(h.mass_matrix(base..., r.in(0, c.joint_count()), r.out(0, m * m)));
//       });
//   }

#include <cxxabi.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include <unistd.h>

#include "binding.hpp"
#include "models.hpp"
#include "operands.hpp"
#include "pool.hpp"
#include "robot.hpp"

namespace vormek::py::batch {

// Rows per chunk: small enough that an interrupt or a fault stops the sweep within a fraction
// of a millisecond on the largest robots, large enough that taking a chunk costs nothing.
inline constexpr std::size_t chunk_rows = 64;

// The interpreter's main thread, the only one that runs signal handlers; set at module
// execution.
extern unsigned long main_thread_ident;

// What went wrong in one row, kept as a value until the interpreter lock is back.
struct NoMemory {};
using RowError = std::variant<std::monostate, Error, Failure, std::string /* panic text */, NoMemory>;
using RowResult = std::expected<void, RowError>;

template <class T>
RowResult lift(Result<T>&& r) {
    if (r) return {};
    return std::unexpected(RowError(std::move(r.error())));
}

template <class Handle>
inline constexpr bool floating_base = std::is_same_v<Handle, FloatingRobot>;

template <class Handle>
struct BatchState {
    std::string name;              // robot name from the URDF
    std::vector<LinkId> link_ids;  // entry i identifies link i; Python link indices go through it
    std::uint64_t joint_count = 0;
    std::uint64_t generalized_count = 0;  // joint_count plus the base coordinates
    std::uint64_t link_count = 0;
    std::size_t threads = 0;              // workers, the calling thread included
    ModelQueries queries;                 // names, parents, limits, mass: Python objects built at load

    RobotLock mutex;                      // one batch at a time; held for the whole sweep
    std::atomic<std::thread::id> owner;   // the thread holding `mutex`, to refuse re-entry
    std::atomic<bool> open{false};        // readable without the lock, for the properties
    std::vector<Handle> handles;          // one per worker; worker 0 is the calling thread
    std::vector<double> scratch;          // per worker: chunk copies of the inputs, then one row
    std::size_t scratch_per_worker = 0;
    std::vector<std::pair<std::size_t, RowError>> faults;  // per worker: its first failed row
    std::unique_ptr<Pool> pool;           // threads - 1 helpers, started by process `pid`
    pid_t pid = 0;
};

// Starts the pool's threads-1 helpers, the caller being the first worker; RuntimeError naming
// how many the system let start when it refuses one.
bool start_pool(std::unique_ptr<Pool>& pool, std::size_t threads);

// A child made by fork() has the parent's pool but none of its threads: it starts helpers of
// its own and leaves the parent's pool unjoined (those threads are not its to join). Called
// with the batch locked; false with a Python error set, to be retried by the next call.
template <class Handle>
bool adopt_after_fork(BatchState<Handle>& st) {
    if (st.pid == getpid()) return true;
    (void)st.pool.release();
    if (!start_pool(st.pool, st.threads)) return false;
    st.pid = getpid();
    return true;
}

// Whether the calling thread runs a batch of `st` (a signal handler calling back in). The
// owner of a lock held in a process this one was forked from is a thread of that process.
template <class Handle>
bool running_here(const BatchState<Handle>& st) {
    return st.owner.load(std::memory_order_relaxed) == std::this_thread::get_id() && st.mutex.held_here();
}

template <class Handle>
struct BatchObject {
    PyObject_HEAD
    BatchState<Handle> state;  // constructed in place after tp_alloc, destroyed in dealloc
};

template <class Handle>
BatchState<Handle>& batch_of(PyObject* self) {
    return reinterpret_cast<BatchObject<Handle>*>(self)->state;
}

// One row's arguments: where its values are in every input and where its results go.
class Row {
public:
    std::span<const double> in(std::size_t k, std::size_t n) const { return {in_[k], n}; }
    std::span<double> out(std::size_t k, std::size_t n) const { return {out_[k], n}; }
    const double* in(std::size_t k) const { return in_[k]; }
    double* out(std::size_t k) const { return out_[k]; }
    // Room for one row of results written elsewhere first (6 × generalized count values).
    std::span<double> scratch(std::size_t n) const { return {scratch_, n}; }

private:
    template <class, int>
    friend class Method;
    static constexpr std::size_t max_operands = 6;
    std::array<const double*, max_operands> in_{};
    std::array<double*, max_operands> out_{};
    double* scratch_ = nullptr;
};

// The floating base of one row from `frames` (the translation, then x, y, z, w), `velocities`
// and `accelerations` (angular then linear; zero when the method takes none): the pose intake
// and the core's checks of the single-state `base` argument.
RowResult base_state(const double* frame, const double* velocity, const double* acceleration,
                     std::optional<BaseState>& out);

// Names of the floating-base arrays in argument order; a method takes the first BaseArgs.
inline constexpr const char* base_names[3] = {"frames", "velocities", "accelerations"};
inline constexpr std::size_t base_widths[3] = {7, 6, 6};

template <class Handle, int BaseArgs, std::size_t N>
auto method_signature(const char* function, const char* const (&names)[N], std::size_t required) {
    constexpr std::size_t b = floating_base<Handle> ? BaseArgs : 0;
    std::array<const char*, b + N> all{};
    for (std::size_t i = 0; i < b; ++i) all[i] = base_names[i];
    for (std::size_t i = 0; i < N; ++i) all[b + i] = names[i];
    return Signature<b + N>(function, all, required + b);
}

// Raises the row's error as the single-state call would, its message led by "row {i}: ".
PyObject* raise_row(std::size_t row, RowError&& error);

// Takes the batch lock, waiting for it with the interpreter lock released; RuntimeError when
// closed or when this thread already holds it (a signal handler calling back in).
template <class Handle>
bool lock_batch(BatchState<Handle>& st) {
    if (running_here(st)) {
        PyErr_SetString(PyExc_RuntimeError, "a batch of this robot is already running on this thread");
        return false;
    }
    lock_releasing_gil(st.mutex);
    if (!st.open.load(std::memory_order_acquire)) {
        st.mutex.unlock();
        PyErr_SetString(PyExc_RuntimeError, "robot is closed");
        return false;
    }
    if (!adopt_after_fork(st)) {
        st.mutex.unlock();
        return false;
    }
    st.owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
}

template <class Handle>
void unlock_batch(BatchState<Handle>& st) {
    st.owner.store(std::thread::id(), std::memory_order_relaxed);
    st.mutex.unlock();
}

// BaseArgs: how many of frames, velocities, accelerations the floating-base method takes.
template <class Handle, int BaseArgs>
class Method {
public:
    static constexpr std::size_t base_count = floating_base<Handle> ? BaseArgs : 0;

    explicit Method(PyObject* self) : st_(batch_of<Handle>(self)) {}

    npy_intp rows() const { return rows_; }
    std::size_t joint_count() const { return st_.joint_count; }
    std::size_t generalized_count() const { return st_.generalized_count; }
    std::size_t link_count() const { return st_.link_count; }
    const char* name(std::size_t k) const { return names_[k + base_count]; }
    // Argument k after the base arrays, once bound; nullptr when omitted.
    PyObject* arg(std::size_t k) const { return argv_[k + base_count]; }

    // Binds the arguments, then converts the base arrays, the first of which fixes B.
    template <std::size_t N>
    bool bind(Signature<N>& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        static_assert(N <= max_arguments);
        if (!require_open(st_.open) || !sig.bind(args, nargs, kwnames, argv_)) return false;
        names_ = sig.names();
        for (std::size_t i = 0; i < base_count; ++i)
            if (!base_[i].convert(argv_[i], names_[i], base_widths[i], rows_)) return false;
        return true;
    }
    // Argument k after the base arrays: (B, width), width the joint count unless given.
    bool input(std::size_t k, BatchInput& in) { return input(k, in, st_.joint_count); }
    bool input(std::size_t k, BatchInput& in, std::size_t width) {
        return in.convert(argv_[k + base_count], name(k), width, rows_);
    }
    bool output(std::size_t k, BatchOutput& out, std::initializer_list<npy_intp> shape) {
        return out.convert(argv_[k + base_count], name(k), shape);
    }
    // A pair of outputs given as one tuple, named "out[0]" and "out[1]".
    bool outputs(std::size_t k, BatchOutput& first, std::initializer_list<npy_intp> first_shape,
                 BatchOutput& second, std::initializer_list<npy_intp> second_shape);
    // Three outputs given as one tuple, "out[0]" to "out[2]".
    bool outputs(std::size_t k, BatchOutput& first, std::initializer_list<npy_intp> first_shape,
                 BatchOutput& second, std::initializer_list<npy_intp> second_shape, BatchOutput& third,
                 std::initializer_list<npy_intp> third_shape);
    // A link index: TypeError or OverflowError naming the argument, ValueError past the last link.
    bool target(std::size_t k, LinkId& out);

    // Runs f(handle, row[, base]) -> RowResult on every row; returns the one output or a tuple
    // of them, or raises.
    template <std::size_t NI, std::size_t NO, class F>
    PyObject* run(const std::array<BatchInput*, NI>& inputs, const std::array<BatchOutput*, NO>& outputs, F&& f);

private:
    static constexpr std::size_t max_arguments = 11;

    BatchState<Handle>& st_;
    PyObject* argv_[max_arguments] = {};
    const char* const* names_ = nullptr;
    npy_intp rows_ = -1;  // fixed by the first array argument
    std::array<BatchInput, 3> base_;
};

template <class Handle, int BaseArgs>
bool Method<Handle, BaseArgs>::outputs(std::size_t k, BatchOutput& first, std::initializer_list<npy_intp> first_shape,
                                       BatchOutput& second, std::initializer_list<npy_intp> second_shape) {
    PyObject* obj = argv_[k + base_count];
    if (!obj || obj == Py_None) return first.convert(nullptr, "out[0]", first_shape) &&
                                       second.convert(nullptr, "out[1]", second_shape);
    if (!PyTuple_Check(obj) || PyTuple_GET_SIZE(obj) != 2) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a tuple of two arrays, got %s", name(k),
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    return first.convert(PyTuple_GET_ITEM(obj, 0), "out[0]", first_shape) &&
           second.convert(PyTuple_GET_ITEM(obj, 1), "out[1]", second_shape);
}

template <class Handle, int BaseArgs>
bool Method<Handle, BaseArgs>::outputs(std::size_t k, BatchOutput& first, std::initializer_list<npy_intp> first_shape,
                                       BatchOutput& second, std::initializer_list<npy_intp> second_shape,
                                       BatchOutput& third, std::initializer_list<npy_intp> third_shape) {
    PyObject* obj = argv_[k + base_count];
    if (!obj || obj == Py_None)
        return first.convert(nullptr, "out[0]", first_shape) && second.convert(nullptr, "out[1]", second_shape) &&
               third.convert(nullptr, "out[2]", third_shape);
    if (!PyTuple_Check(obj) || PyTuple_GET_SIZE(obj) != 3) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a tuple of three arrays, got %s", name(k),
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    return first.convert(PyTuple_GET_ITEM(obj, 0), "out[0]", first_shape) &&
           second.convert(PyTuple_GET_ITEM(obj, 1), "out[1]", second_shape) &&
           third.convert(PyTuple_GET_ITEM(obj, 2), "out[2]", third_shape);
}

template <class Handle, int BaseArgs>
bool Method<Handle, BaseArgs>::target(std::size_t k, LinkId& out) {
    std::uint64_t index = 0;
    if (!convert_index(argv_[k + base_count], name(k), index)) return false;
    if (auto failed = target_link(st_.link_ids, index, out)) {
        failed->raise();
        return false;
    }
    return true;
}

template <class Handle, int BaseArgs>
template <std::size_t NI, std::size_t NO, class F>
PyObject* Method<Handle, BaseArgs>::run(const std::array<BatchInput*, NI>& inputs,
                                        const std::array<BatchOutput*, NO>& outputs, F&& f) {
    constexpr std::size_t ni = base_count + NI;
    static_assert(ni <= Row::max_operands && NO <= Row::max_operands);
    std::array<BatchInput*, ni> in{};
    for (std::size_t i = 0; i < base_count; ++i) in[i] = &base_[i];
    for (std::size_t i = 0; i < NI; ++i) in[base_count + i] = inputs[i];

    // borrows: shared for the inputs, then exclusive for the outputs, so that an `out` that
    // overlaps an input of the same call is refused
    struct Release {
        const std::array<BatchInput*, ni>& in;
        const std::array<BatchOutput*, NO>& out;
        ~Release() {
            for (BatchInput* i : in) i->release();
            for (BatchOutput* o : out) o->release();
        }
    } release{in, outputs};
    for (BatchInput* i : in)
        if (!i->borrow()) return nullptr;
    for (BatchOutput* o : outputs)
        if (!o->borrow()) return nullptr;

    const auto build = [&]() -> PyObject* {
        if constexpr (NO == 1) return outputs[0]->result();
        else {
            PyObject* items = PyTuple_New(NO);
            if (!items) return nullptr;
            for (std::size_t o = 0; o < NO; ++o) PyTuple_SET_ITEM(items, o, outputs[o]->result());
            return items;
        }
    };
    const auto rows = static_cast<std::size_t>(rows_);
    if (rows == 0) return build();

    // where each input's chunk copy goes in a worker's scratch; the row scratch follows
    std::array<std::size_t, ni> offset{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < ni; ++i) {
        offset[i] = at;
        at += chunk_rows * in[i]->width();
    }
    if (!lock_batch(st_)) return nullptr;
    // a thread ended by the interpreter's shutdown unwinds from here: it leaves the batch
    // unlocked for the finalizers that may still close it
    struct Unlock {
        BatchState<Handle>* st;
        ~Unlock() {
            if (st) unlock_batch(*st);
        }
    } unlock{&st_};
    for (auto& fault : st_.faults) fault.first = rows;

    Chunks chunks(rows, chunk_rows);
    PyThreadState* saved = PyEval_SaveThread();
    PyObject *interrupt_type = nullptr, *interrupt_value = nullptr, *interrupt_traceback = nullptr;
    auto next_poll = std::chrono::steady_clock::now();
    constexpr auto poll_period = std::chrono::milliseconds(5);
    // elsewhere no handler would run, and taking the interpreter lock back can wait for
    // another thread's whole switch interval (a Dask worker's event loop, say)
    const bool signals_here = PyThread_get_thread_ident() == main_thread_ident;
    auto poll = [&] {
        if (!signals_here) return;
        const auto now = std::chrono::steady_clock::now();
        if (now < next_poll || interrupt_type) return;
        next_poll = now + poll_period;
        take_gil(saved);
        if (PyErr_CheckSignals() < 0) {
            PyErr_Fetch(&interrupt_type, &interrupt_value, &interrupt_traceback);
            chunks.stop();
        }
        saved = PyEval_SaveThread();
    };
    auto work = [&](std::size_t w) VORMEK_CATCHES_THREAD_END {
        Handle& h = st_.handles[w];
        double* scratch = st_.scratch.data() + w * st_.scratch_per_worker;
        Row row;
        row.scratch_ = scratch + at;
        std::array<const double*, 3> base{};  // this row's frame, velocity, acceleration
        std::size_t first = 0, last = 0, r = 0;
        std::array<const double*, ni> start{};
        try {
            while (chunks.take(first, last)) {
                if (w == 0) poll();
                for (std::size_t i = 0; i < ni; ++i) start[i] = in[i]->rows(first, last, scratch + offset[i]);
                for (r = first; r < last; ++r) {
                    for (std::size_t i = 0; i < base_count; ++i) base[i] = start[i] + (r - first) * in[i]->width();
                    for (std::size_t i = base_count; i < ni; ++i)
                        row.in_[i - base_count] = start[i] + (r - first) * in[i]->width();
                    for (std::size_t o = 0; o < NO; ++o) row.out_[o] = outputs[o]->data() + r * outputs[o]->row_width();
                    RowResult result = [&] {
                        if constexpr (floating_base<Handle>) {
                            std::optional<BaseState> state;
                            if (RowResult b = base_state(base[0], base[1], base[2], state); !b) return b;
                            return f(h, row, *state);
                        } else {
                            return f(h, row);
                        }
                    }();
                    if (!result) {
                        st_.faults[w] = {r, std::move(result.error())};
                        chunks.stop();
                        return;
                    }
                }
            }
        } catch (abi::__forced_unwind&) {
            chunks.stop();
            throw;
        } catch (const std::bad_alloc&) {
            st_.faults[w] = {r, NoMemory{}};
            chunks.stop();
        } catch (const std::exception& e) {
            st_.faults[w] = {r, std::string(e.what())};
            chunks.stop();
        } catch (...) {
            st_.faults[w] = {r, std::string()};
            chunks.stop();
        }
    };
    st_.pool->run(std::min(st_.threads, chunks.count()) - 1, work, poll, poll_period);
    take_gil(saved);

    // the lowest failed row, whichever worker ran it
    std::size_t failed = rows, worker = 0;
    for (std::size_t w = 0; w < st_.faults.size(); ++w)
        if (st_.faults[w].first < failed) failed = st_.faults[w].first, worker = w;
    std::optional<RowError> fault;
    if (failed < rows) fault.emplace(std::move(st_.faults[worker].second));
    unlock_batch(st_);
    unlock.st = nullptr;

    if (interrupt_type) {
        PyErr_Restore(interrupt_type, interrupt_value, interrupt_traceback);
        return nullptr;
    }
    if (fault) return raise_row(failed, std::move(*fault));
    return build();
}

// Type objects, created once by create_batch_types (module execution). Borrowed references.
bool create_batch_types();
PyTypeObject* robot_batch_type();
PyTypeObject* floating_robot_batch_type();

}  // namespace vormek::py::batch
