#pragma once
// The one path every Robot and FloatingRobot method takes from Python to the core and back.
//
// A method names its arguments, converts them, runs its binding steps in the documented order,
// and hands the core call to compute(). Every step after the conversions keeps a failure as a
// value; finish() releases the borrows, then the robot lock, and only then raises or builds
// the result, so no Python object is made while the lock is held. A step after a failure does
// nothing, so a method is a plain list of steps:
//
//   template <class Handle>
//   PyObject* jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
//       static auto sig = signature<Handle>("jacobian", {"q", "target", "out"}, 2);
//       InputVector q;
//       std::uint64_t target = 0;
//       OutputVector out;
//       LinkId link;
//       Call<Handle> c(self);  // last: destroyed first, so an unwinding call unlocks first
//       c.bind(sig, args, nargs, kwnames);  // FloatingRobot: `base` first, converted here
//       c.input(0, q); c.index(1, target); c.output(2, out, 6 * c.state().generalized_count);
//       c.read(q); c.lock(); c.target(target, link); c.prepare(out);
//       c.compute([&](Handle& h, const auto&... base) {
//           return h.jacobian(base..., q.values(), link, out.values());
//       });
//       return c.finish(out);
//   }
//
// Argument numbers count from after `base`. The core function receives `base` (FloatingRobot)
// or nothing (Robot) ahead of its own arguments; it must compare a vector's length before it
// reads the vector (check_joint_vector does), since over-long inputs are only measured.

#include <array>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "arrays.hpp"
#include "binding.hpp"
#include "models.hpp"
#include "robot.hpp"
#include "values.hpp"

namespace vormek::py {

template <class Handle>
struct RobotState {
    std::string name;                     // robot name from the URDF
    std::vector<LinkId> link_ids;         // entry i identifies link i; Python link indices go through it
    std::uint64_t joint_count = 0;        // joints with a DOF
    std::uint64_t generalized_count = 0;  // joint_count plus the base coordinates
    std::uint64_t link_count = 0;
    ModelQueries queries;                 // names, parents, limits, mass: Python objects built at load
    std::string urdf;                     // the text the model was loaded from, for pickling
    RootMass root_mass = RootMass::Link;  // the floating base's mass rule it was loaded with
    RobotSlot<Handle> slot;               // the native handle behind its lock
};

template <class Handle>
struct RobotObject {
    PyObject_HEAD
    RobotState<Handle> state;  // constructed in place after tp_alloc, destroyed in dealloc
};

template <class Handle>
RobotState<Handle>& state_of(PyObject* self) {
    return reinterpret_cast<RobotObject<Handle>*>(self)->state;
}

template <class Handle>
inline constexpr bool floating_base = std::is_same_v<Handle, FloatingRobot>;

// The signature of a method of either class: FloatingRobot's takes `base` before the others.
template <class Handle, std::size_t N>
Signature<N + floating_base<Handle>> signature(const char* function, const char* const (&names)[N],
                                               std::size_t required) {
    std::array<const char*, N + floating_base<Handle>> all{};
    std::size_t k = 0;
    if constexpr (floating_base<Handle>) all[k++] = "base";
    for (const char* name : names) all[k++] = name;
    return Signature<N + floating_base<Handle>>(function, all, required + floating_base<Handle>);
}

// A `tool` or `desired` argument: its type is checked at conversion, the pose intake at the
// step the documentation gives.
struct PoseArgument {
    PyObject* object = nullptr;  // borrowed from the call's arguments; nullptr when omitted
    const char* name = nullptr;
    bool optional = false;       // None or omitted means the identity
    Pose pose = Pose::identity();
};

// An `options` argument: None, omitted or an IkOptions, checked at conversion.
struct OptionsArgument {
    PyObject* object = nullptr;
    const char* name = nullptr;
    IkOptionsValue value;  // IkOptions()'s values unless given
};

// Base: whether the method takes `base` first (every FloatingRobot computation; not link_id).
template <class Handle, bool Base = floating_base<Handle>>
class Call {
public:
    static constexpr bool floating = Base;
    static constexpr std::size_t max_arguments = 11;

    explicit Call(PyObject* self) : state_(state_of<Handle>(self)) {}
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    // Only does something when a C++ exception unwinds past finish(): unlocks before the
    // arguments (declared ahead of the Call) release their borrows and references. The atomic
    // release: a thread ended while taking the interpreter lock back unwinds without it.
    ~Call() {
        if (locked_) state_.slot.mutex.unlock();
    }

    RobotState<Handle>& state() const { return state_; }

    // ---- conversions: interpreter lock held, robot not locked, user code may run ----------

    template <std::size_t N>
    bool bind(Signature<N>& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        static_assert(N <= max_arguments);
        if (!sig.bind(args, nargs, kwnames, argv_)) return raised();
        names_ = sig.names();
        if constexpr (floating)
            if (!convert_base(argv_[0], base_)) return raised();
        return true;
    }

    // Argument k after `base`; nullptr when an optional one was omitted.
    PyObject* arg(std::size_t k) const { return argv_[k + floating]; }
    const char* name(std::size_t k) const { return names_[k + floating]; }

    bool input(std::size_t k, InputVector& v) {
        if (!ok()) return false;
        if (inputs_count_ == inputs_.size()) panic("more joint-space inputs than a computation takes");
        inputs_[inputs_count_++] = &v;
        return v.convert(arg(k), name(k), state_.generalized_count) || raised();
    }
    bool index(std::size_t k, std::uint64_t& out) {
        return ok() && (convert_index(arg(k), name(k), out) || raised());
    }
    bool output(std::size_t k, OutputVector& out, std::size_t length) {
        if (!ok()) return false;
        out_ = &out;
        return out.convert(arg(k), length) || raised();
    }
    // An `out` of several arrays: None or omitted makes each new, else a tuple of exactly
    // that many one-dimensional float64 arrays (TypeError naming `out` otherwise).
    template <std::size_t N>
    bool outputs(std::size_t k, std::array<OutputVector, N>& out, const std::array<std::size_t, N>& lengths) {
        if (!ok()) return false;
        outs_ = out;
        PyObject* given = arg(k);
        const bool none = !given || given == Py_None;
        if (!none && (!PyTuple_Check(given) || PyTuple_GET_SIZE(given) != static_cast<Py_ssize_t>(N))) {
            Failure{PyExc_TypeError, "argument 'out': expected None or a tuple of %llu arrays", nullptr, N}.raise();
            return raised();
        }
        for (std::size_t i = 0; i < N; ++i) {
            PyObject* item = none ? nullptr : PyTuple_GET_ITEM(given, static_cast<Py_ssize_t>(i));
            if (item == Py_None) {
                Failure{PyExc_TypeError, "argument 'out': expected None or a tuple of %llu arrays", nullptr, N}.raise();
                return raised();
            }
            if (!out[i].convert(item, lengths[i])) return raised();
        }
        // the result is a tuple of exactly these arrays: a tuple's items cannot change
        if (!none && PyTuple_CheckExact(given)) given_outs_ = given;
        return true;
    }
    bool loads(std::size_t k, LoadList& loads) { return ok() && (loads.convert(arg(k)) || raised()); }
    // TypeError naming the argument for anything but a Pose (or None when optional); the
    // pose intake is the later step normalise().
    bool pose(std::size_t k, PoseArgument& p, bool optional) {
        if (!ok()) return false;
        p = PoseArgument{arg(k), name(k), optional};
        if (optional && (!p.object || p.object == Py_None)) return true;
        if (value_of<PoseValue>(p.object)) return true;
        Failure{PyExc_TypeError, optional ? "argument '%s': expected Pose or None" : "argument '%s': expected Pose",
                p.name}.raise();
        return raised();
    }
    // TypeError naming the argument for anything but None or an IkOptions.
    bool options(std::size_t k, OptionsArgument& o) {
        if (!ok()) return false;
        o.object = arg(k);
        o.name = name(k);
        if (!o.object || o.object == Py_None) return true;
        const IkOptionsValue* v = value_of<IkOptionsValue>(o.object);
        if (!v) {
            Failure{PyExc_TypeError, "argument '%s': expected IkOptions or None", o.name}.raise();
            return raised();
        }
        o.value = *v;
        return true;
    }

    // ---- binding steps: a failure is kept as a value, raised by finish() --------------------

    template <class... Vectors>
    bool read(Vectors&... vectors) {
        return (... && (ok() && check(vectors.read())));
    }
    bool same_length(const InputVector& q, const InputVector& other, const char* label) {
        return ok() && check(require_same_length(q, other, label));
    }
    bool target(std::uint64_t index, LinkId& out) { return ok() && check(target_link(state_.link_ids, index, out)); }
    bool resolve(LoadList& loads) { return ok() && check(loads.resolve(state_.link_ids)); }
    // "check and normalise": the pose intake (the type was checked at conversion).
    bool normalise(PoseArgument& p) {
        if (!ok()) return false;
        if (p.optional && (!p.object || p.object == Py_None)) return true;
        return check(pose_intake(*value_of<PoseValue>(p.object), p.pose));
    }
    // "resolve options": the values go to the solver unchanged, which validates them; the type
    // was checked at conversion.
    bool resolve(OptionsArgument&) { return ok(); }

    // Takes the robot lock (waiting with the interpreter lock released); "robot is closed" when
    // the slot is empty.
    bool lock() {
        if (!ok()) return false;
        state_.slot.lock();
        locked_ = true;
        if (!state_.slot.handle) return check(Failure{PyExc_RuntimeError, "robot is closed"});
        return true;
    }
    bool prepare(OutputVector& out) { return ok() && check(out.prepare()); }
    template <std::size_t N>
    bool prepare(std::array<OutputVector, N>& out) {
        for (OutputVector& o : out)
            if (!prepare(o)) return false;
        return true;
    }

    // Runs the core function with the interpreter lock released: f(handle[, base]) returning a
    // Result. A value result is moved into `into`; every C++ exception is caught and kept.
    template <class F>
    bool compute(F&& f) {
        return run<true>(f, [](auto&&) {});
    }
    template <class T, class F>
    bool compute(T& into, F&& f) {
        return run<true>(f, [&into](auto&& value) { into = std::move(value); });
    }
    // The same with the interpreter lock held, for the quick update documented to run that way
    // (set_base_frame).
    template <class F>
    bool compute_holding_gil(F&& f) {
        return run<false>(f, [](auto&&) {});
    }
    // A failure found by the method itself after compute(), while still locked.
    bool fail(const Failure& failure) { return ok() && check(failure); }

    // ---- the end: borrows, then the lock, then Python objects -------------------------------

    // Raises the kept failure, or returns build().
    template <class Build>
    PyObject* finish_with(Build&& build) {
        release();
        switch (outcome_) {
            case Outcome::ok: return build();
            case Outcome::raised: return nullptr;
            case Outcome::failed: return failure_.raise();
            case Outcome::core_error: return core_error(std::move(*error_));
            case Outcome::panic: return raise_panic(panic_.data());
            case Outcome::no_memory: return PyErr_NoMemory();
        }
        return nullptr;
    }
    PyObject* finish(const Pose& pose) {
        return finish_with([&] { return new_pose(pose); });
    }
    PyObject* finish(const Twist& twist) {
        return finish_with([&] { return new_twist(twist); });
    }
    PyObject* finish(OutputVector& out) {
        return finish_with([&] { return out.result(); });
    }
    // The arrays of an `out` tuple, as a tuple: the one given, when it was a plain tuple.
    template <std::size_t N>
    PyObject* finish(std::array<OutputVector, N>& out) {
        return finish_with([&]() -> PyObject* {
            if (given_outs_) return Py_NewRef(given_outs_);
            PyObject* items = PyTuple_New(N);
            if (!items) return nullptr;
            for (std::size_t i = 0; i < N; ++i) PyTuple_SET_ITEM(items, i, out[i].result());
            return items;
        });
    }
    PyObject* finish_none() {
        return finish_with([] { return Py_NewRef(Py_None); });
    }

private:
    enum class Outcome : std::uint8_t { ok, raised, failed, core_error, panic, no_memory };

    bool ok() const { return outcome_ == Outcome::ok; }
    bool raised() {
        outcome_ = Outcome::raised;
        return false;
    }
    bool check(const Check& failed) {
        if (!failed) return true;
        failure_ = *failed;
        outcome_ = Outcome::failed;
        return false;
    }

    template <bool ReleaseGil, class F, class Keep>
    VORMEK_CATCHES_THREAD_END bool run(F& f, Keep&& keep) {
        if (!ok()) return false;
        if (!locked_ || !state_.slot.handle) panic("computation on a robot that is not locked and open");
        Handle& handle = *state_.slot.handle;
        PyThreadState* saved = ReleaseGil ? PyEval_SaveThread() : nullptr;
        try {
            auto result = [&] {
                if constexpr (floating) return f(handle, *base_);
                else return f(handle);
            }();
            if (!result) {
                error_.emplace(std::move(result.error()));
                outcome_ = Outcome::core_error;
            } else if constexpr (!std::is_void_v<typename decltype(result)::value_type>) {
                keep(std::move(*result));
            }
        } catch (abi::__forced_unwind&) {
            throw;  // the thread is being ended (pthread_exit, pthread_cancel): never a failure
        } catch (const std::bad_alloc&) {
            outcome_ = Outcome::no_memory;
        } catch (const std::exception& e) {
            // copied into a fixed buffer: a string could itself fail to allocate here
            outcome_ = Outcome::panic;
            std::snprintf(panic_.data(), panic_.size(), "%s", e.what());
        } catch (...) {
            outcome_ = Outcome::panic;
            panic_[0] = '\0';
        }
        // where a daemon thread is ended at shutdown; ~Call then unlocks the robot
        if (saved) take_gil(saved);
        return ok();
    }

    void release() {
        if (out_) out_->release();
        for (OutputVector& o : outs_) o.release();
        for (std::size_t i = 0; i < inputs_count_; ++i) inputs_[i]->release();
        if (locked_) state_.slot.unlock();
        locked_ = false;
    }

    RobotState<Handle>& state_;
    PyObject* argv_[max_arguments];
    const char* const* names_ = nullptr;  // the signature's, in argument order
    std::conditional_t<floating, std::optional<BaseState>, bool> base_{};
    std::array<InputVector*, 4> inputs_;  // released before the lock; at most q, qd, qdd, forces
    std::size_t inputs_count_ = 0;
    OutputVector* out_ = nullptr;
    std::span<OutputVector> outs_;  // an `out` tuple's arrays, released with out_
    PyObject* given_outs_ = nullptr;  // borrowed: the `out` tuple, when it is exactly a tuple
    bool locked_ = false;
    Outcome outcome_ = Outcome::ok;
    Failure failure_{nullptr, nullptr};  // meaningful when outcome_ == failed
    std::optional<Error> error_;
    std::array<char, 256> panic_;
};

}  // namespace vormek::py
