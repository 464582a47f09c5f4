#include "arrays.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "values.hpp"

namespace vormek::py {

namespace {

// Byte range [lo, hi) an array's elements span, negative strides included. Empty arrays get one
// byte at their data pointer so that passing the same empty array twice still collides. The
// element count is not asked of NumPy (PyArray_SIZE is a call through its API table): any
// zero extent makes the array empty.
std::pair<const char*, const char*> memory_range(PyArrayObject* a) {
    const char* base = PyArray_BYTES(a);
    const char* lo = base;
    const char* hi = base + PyArray_ITEMSIZE(a);
    for (int d = 0; d < PyArray_NDIM(a); ++d) {
        if (PyArray_DIM(a, d) == 0) return {base, base + 1};
        const npy_intp extent = (PyArray_DIM(a, d) - 1) * PyArray_STRIDE(a, d);
        if (extent < 0) lo += extent; else hi += extent;
    }
    return {lo, hi};
}

// The calling thread, as long as it lives: its thread pointer, read inline where pthread_self
// would be a call into libc on every borrow.
std::uintptr_t this_thread() {
#if defined(__x86_64__) || defined(__aarch64__)
    return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
    return std::uintptr_t(pthread_self());
#endif
}

#ifdef Py_GIL_DISABLED
// A spin lock: the registry's critical sections are a few dozen instructions, held by one
// thread in the common case, and a mutex would double the cost of every call.
class RegistryLock {
public:
    void lock() {
        while (flag_.test_and_set(std::memory_order_acquire))
            while (flag_.test(std::memory_order_relaxed)) std::this_thread::yield();
    }
    void unlock() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag flag_;
};
#else
// The interpreter lock already keeps borrows apart: every one is taken by a thread that holds
// it, from conversion to registration, and a forked child goes on running Python only when the
// forking thread held it (PyOS_BeforeFork), so no borrow was half taken at the fork. A lock of
// the registry's own would add an atomic exchange to every array of every call.
class RegistryLock {
public:
    void lock() {}
    void unlock() {}
};
#endif

// Guarded by the interpreter lock, or by its own lock in a free-threaded build, which has
// none. Few borrows are alive at once, so a flat scan beats any map. Entries are never
// freed: a released one is reused by a later borrow, and none moves as the registry grows, so
// an owner can clear its entry while others add theirs. The first entries sit in a fixed array
// that the scan walks as a plain loop; only a process with more borrows alive at once than
// that ever reaches the deque.
class Registry {
public:
    BorrowEntry* add(const char* lo, const char* hi, bool exclusive) {
        std::lock_guard guard(lock_);
        BorrowEntry* free = nullptr;
        const std::size_t near = std::min(used_, first_.size());
        for (std::size_t i = 0; i < near; ++i)
            if (!admit(first_[i], lo, hi, exclusive, free)) return nullptr;
        if (used_ > first_.size())
            for (BorrowEntry& e : more_)
                if (!admit(e, lo, hi, exclusive, free)) return nullptr;
        if (!free) {
            free = used_ < first_.size() ? &first_[used_] : &more_.emplace_back();
            ++used_;
        }
        free->lo = lo;
        free->hi = hi;
        free->exclusive = exclusive;
        free->owner = this_thread();
        free->live.store(true, std::memory_order_relaxed);  // published by the lock's release
        return free;
    }

    // fork(): the registry is copied whole into the child, where only the forking thread lives.
    void before_fork() { lock_.lock(); }
    void after_fork_in_parent() { lock_.unlock(); }
    void after_fork_in_child() {
        const std::uintptr_t self = this_thread();
        const auto drop_others = [self](BorrowEntry& e) {
            if (e.owner != self) e.live.store(false, std::memory_order_relaxed);
        };
        std::for_each(first_.begin(), first_.begin() + std::min(used_, first_.size()), drop_others);
        std::for_each(more_.begin(), more_.end(), drop_others);
        lock_.unlock();
    }

private:
    // False when `e` is alive and conflicts with the new range; notes the first free entry.
    static bool admit(BorrowEntry& e, const char* lo, const char* hi, bool exclusive, BorrowEntry*& free) {
        if (!e.live.load(std::memory_order_acquire)) {
            if (!free) free = &e;
            return true;
        }
        return !(e.lo < hi && lo < e.hi && (exclusive || e.exclusive));
    }

    RegistryLock lock_;
    std::size_t used_ = 0;  // entries ever handed out: first_ fills before more_
    std::array<BorrowEntry, 32> first_;
    std::deque<BorrowEntry> more_;
};

// Made when the module is loaded, before any call can borrow, so a borrow reads a pointer
// rather than testing a guard; never destroyed, since borrows may outlive static teardown.
// Each extension module links these sources and so makes its own; all but _vormek adopt
// _vormek's when they are executed (adopt_borrow_registry), so that the process has one.
Registry* registry_instance = new Registry();

Registry& registry() { return *registry_instance; }

constexpr const char* registry_capsule_name = "_vormek._borrow_registry";

PyArrayObject* as_array(const Ref& r) { return reinterpret_cast<PyArrayObject*>(r.get()); }


}  // namespace

PyObject* borrow_registry_capsule() { return PyCapsule_New(registry_instance, registry_capsule_name, nullptr); }

bool adopt_borrow_registry(PyObject* capsule) {
    auto* shared = static_cast<Registry*>(PyCapsule_GetPointer(capsule, registry_capsule_name));
    if (!shared) return false;
    // the module's own is left unused rather than freed: a module executed a second time (a
    // reload, another interpreter) finds the shared one already in place, which must live on
    registry_instance = shared;
    return true;
}

bool carry_borrow_registry_across_fork() {
    static const int registered = pthread_atfork([] { registry().before_fork(); },
                                                 [] { registry().after_fork_in_parent(); },
                                                 [] { registry().after_fork_in_child(); });
    if (registered == 0) return true;
    errno = registered;
    PyErr_SetFromErrno(PyExc_OSError);
    return false;
}

Borrow::Borrow(Borrow&& o) noexcept : entry_(std::exchange(o.entry_, nullptr)) {}

Borrow& Borrow::operator=(Borrow&& o) noexcept {
    release();
    entry_ = std::exchange(o.entry_, nullptr);
    return *this;
}

bool Borrow::acquire(PyArrayObject* array, bool exclusive) {
    const auto [lo, hi] = memory_range(array);
    entry_ = registry().add(lo, hi, exclusive);
    return entry_ != nullptr;
}

bool Borrow::acquire_vector(PyArrayObject* array, bool exclusive) {
    const char* base = PyArray_BYTES(array);
    const npy_intp n = PyArray_DIM(array, 0);
    const npy_intp extent = n > 0 ? (n - 1) * PyArray_STRIDE(array, 0) : 0;
    // as memory_range: a negative stride reaches below the data pointer, and an empty
    // vector still holds the one byte at it
    const char* lo = extent < 0 ? base + extent : base;
    const char* hi = (extent < 0 ? base : base + extent) + (n > 0 ? sizeof(double) : 1);
    entry_ = registry().add(lo, hi, exclusive);
    return entry_ != nullptr;
}

bool InputVector::convert_other(PyObject* obj) {
    const char* argument = argument_;
    const std::size_t limit = limit_;
    if (PyArray_Check(obj)) {
        // arrays of another dtype go straight to NumPy's cast, which is what float() per item
        // would give, only faster; one too long to be accepted is not cast at all
        auto* a = reinterpret_cast<PyArrayObject*>(obj);
        if (PyArray_NDIM(a) == 1 && static_cast<std::size_t>(PyArray_DIM(a, 0)) > limit) {
            measure(static_cast<std::size_t>(PyArray_DIM(a, 0)));
            return true;
        }
    } else if (!PyUnicode_Check(obj) && PySequence_Check(obj)) {
        // a str is never a sequence of numbers and is left to NumPy
        const Gathered g = gather(obj);
        if (g != Gathered::not_numbers) return g == Gathered::all;
    }
    Ref cast(PyArray_FromAny(obj, PyArray_DescrFromType(NPY_DOUBLE), 0, 0, NPY_ARRAY_FORCECAST | NPY_ARRAY_DEFAULT,
                             nullptr));
    if (!cast) {
        // NumPy's complaint about an object it cannot cast does not say which argument it was
        retag_type_error(argument);
        return false;
    }
    if (!is_float64_vector(cast.get())) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a one-dimensional array of numbers, got %d dimensions",
                     argument, PyArray_NDIM(as_array(cast)));
        return false;
    }
    // NumPy hands back the caller's own memory for an array subclass, a buffer, or an object
    // whose __array__ returns an existing array; only an array this conversion allocated, that
    // nobody else references, is private to the call
    PyArrayObject* c = as_array(cast);
    fresh_ = cast.get() != obj && Py_REFCNT(cast.get()) == 1 && PyArray_CHKFLAGS(c, NPY_ARRAY_OWNDATA) &&
             PyArray_BASE(c) == nullptr;
    array_ = std::move(cast);
    return true;
}

double* InputVector::scratch(std::size_t n) {
    if (n <= inline_.size()) return inline_.data();
    heap_.resize(n);
    return heap_.data();
}

InputVector::Gathered InputVector::gather(PyObject* seq) {
    const Py_ssize_t n = PySequence_Size(seq);
    if (n < 0) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return Gathered::raised;
        PyErr_Clear();
        return Gathered::not_numbers;
    }
    if (static_cast<std::size_t>(n) > limit_) {
        measure(static_cast<std::size_t>(n));
        return Gathered::all;
    }
    double* data = scratch(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        // plain floats in a list or tuple are read without a new reference; anything else may
        // run Python code (even change the list), so it takes the general path
        if (PyList_CheckExact(seq) && i < PyList_GET_SIZE(seq) && PyFloat_CheckExact(PyList_GET_ITEM(seq, i))) {
            data[i] = PyFloat_AS_DOUBLE(PyList_GET_ITEM(seq, i));
            continue;
        }
        if (PyTuple_CheckExact(seq) && PyFloat_CheckExact(PyTuple_GET_ITEM(seq, i))) {
            data[i] = PyFloat_AS_DOUBLE(PyTuple_GET_ITEM(seq, i));
            continue;
        }
        Ref item(PySequence_GetItem(seq, i));
        const double v = item ? PyFloat_AsDouble(item.get()) : -1.0;
        if (v == -1.0 && PyErr_Occurred()) {
            // an item that is no number (or a sequence that shrank meanwhile) leaves the object
            // to NumPy; an interrupt or the caller's own exception is not that
            if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
                !PyErr_ExceptionMatches(PyExc_IndexError))
                return Gathered::raised;
            PyErr_Clear();
            return Gathered::not_numbers;
        }
        data[i] = v;
    }
    values_ = {data, static_cast<std::size_t>(n)};
    return Gathered::all;
}

Check InputVector::read_other() {
    if (!array_) return {};  // gathered or measured at conversion: private to this call
    PyArrayObject* a = as_array(array_);
    // user code of the later conversions may have changed dtype, shape or byte order since
    if (!is_float64_layout(a))
        return Failure{PyExc_TypeError, "argument '%s': no longer a one-dimensional float64 array", argument_};
    const auto n = static_cast<std::size_t>(PyArray_DIM(a, 0));
    if (n > limit_) {
        measure(n);
        return {};
    }
    if (!fresh_ && !borrow_.acquire_vector(a, false))
        return Failure{PyExc_ValueError, "The given array is already borrowed"};
    if (n == 0 || (PyArray_ISALIGNED(a) && PyArray_IS_C_CONTIGUOUS(a))) {
        values_ = {static_cast<const double*>(PyArray_DATA(a)), n};
        return {};
    }
    // strided or reversed views are copied in index order
    double* copy = scratch(n);
    const char* p = PyArray_BYTES(a);
    const npy_intp stride = PyArray_STRIDE(a, 0);
    for (std::size_t i = 0; i < n; ++i, p += stride) std::memcpy(&copy[i], p, sizeof(double));
    values_ = {copy, n};
    return {};
}

namespace {

bool is_float64_rows(PyArrayObject* a) {
    return PyArray_NDIM(a) == 2 && PyArray_TYPE(a) == NPY_DOUBLE && PyArray_ISNOTSWAPPED(a);
}

}  // namespace

// A result of rows (columns_ set) takes the same steps with a two-dimensional array, which must
// be C-contiguous: it is written as one flat span, row after row.
bool OutputVector::convert_other(PyObject* obj) {
    const std::size_t length = length_, columns = columns_;
    if (!obj || obj == Py_None) {
        npy_intp dims[2] = {static_cast<npy_intp>(columns ? length / columns : length), static_cast<npy_intp>(columns)};
        array_ = Ref(PyArray_SimpleNew(columns ? 2 : 1, dims, NPY_DOUBLE));
        if (!array_) return false;
        values_ = {static_cast<double*>(PyArray_DATA(as_array(array_))), length};
        return true;
    }
    const bool fits =
        columns ? PyArray_Check(obj) && is_float64_rows(reinterpret_cast<PyArrayObject*>(obj)) : is_float64_vector(obj);
    if (!fits) {
        PyErr_Format(PyExc_TypeError, "argument 'out': expected a %s float64 numpy.ndarray, got %s",
                     columns ? "two-dimensional" : "one-dimensional", Py_TYPE(obj)->tp_name);
        return false;
    }
    array_ = Ref(Py_NewRef(obj));
    given_ = true;
    return true;
}

Check OutputVector::prepare_other() {
    if (!given_) return {};
    PyArrayObject* a = as_array(array_);
    if (columns_ ? !is_float64_rows(a) : !is_float64_layout(a))
        return Failure{PyExc_TypeError, columns_ ? "argument 'out': no longer a two-dimensional float64 numpy.ndarray"
                                                 : "argument 'out': no longer a one-dimensional float64 numpy.ndarray"};
    const std::size_t rows = columns_ ? length_ / columns_ : length_;
    if (static_cast<std::size_t>(PyArray_DIM(a, 0)) != rows ||
        (columns_ && static_cast<std::size_t>(PyArray_DIM(a, 1)) != columns_))
        return columns_ ? Failure{PyExc_ValueError, wrong_shape_, nullptr, rows}
                        : Failure{PyExc_ValueError, "out must contain exactly %llu elements", nullptr, length_};
    if (!PyArray_ISWRITEABLE(a)) return Failure{PyExc_ValueError, "The given array is not writeable"};
    if (!(columns_ ? borrow_.acquire(a, true) : borrow_.acquire_vector(a, true)))
        return Failure{PyExc_ValueError, "The given array is already borrowed"};
    if (length_ > 0 && !(PyArray_ISALIGNED(a) && (columns_ ? PyArray_IS_C_CONTIGUOUS(a) : PyArray_ISONESEGMENT(a)) &&
                         PyArray_DATA(a))) {
        borrow_.release();
        const char* message =
            columns_ ? "out must be a C-contiguous float64 array" : "out must be a contiguous float64 array";
        return Failure{PyExc_ValueError, message};
    }
    values_ = {static_cast<double*>(PyArray_DATA(a)), length_};
    return {};
}

Check target_link(std::span<const LinkId> link_ids, std::uint64_t index, LinkId& out) {
    if (index >= link_ids.size()) return Failure{PyExc_ValueError, "invalid link id %llu", nullptr, index};
    out = link_ids[index];
    return {};
}

bool LoadList::snapshot(PyObject* obj) {
    if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
        Failure{PyExc_TypeError, "argument 'loads': expected None or a sequence of Load"}.raise();
        return false;
    }
    // a tuple of our own: user code run by a later conversion cannot swap the items
    items_ = Ref(PySequence_Tuple(obj));
    if (!items_) return false;
    const Py_ssize_t n = PyTuple_GET_SIZE(items_.get());
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!value_of<LoadValue>(PyTuple_GET_ITEM(items_.get(), i))) {
            Failure{PyExc_TypeError, "argument 'loads': item %llu is not a Load", nullptr,
                    static_cast<unsigned long long>(i)}.raise();
            return false;
        }
    return true;
}

Check LoadList::resolve_items(std::span<const LinkId> link_ids) {
    const Py_ssize_t n = PyTuple_GET_SIZE(items_.get());
    loads_.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        const LoadValue& v = *value_of<LoadValue>(PyTuple_GET_ITEM(items_.get(), i));
        LinkId link;
        if (auto failed = target_link(link_ids, v.link_id, link)) return failed;
        const Vector3d torque(v.torque[0], v.torque[1], v.torque[2]);
        const Vector3d force(v.force[0], v.force[1], v.force[2]);
        if (!torque.allFinite() || !force.allFinite())
            return Failure{PyExc_ValueError, "load contains a non-finite value"};
        loads_.push_back(Load{link, torque, force});
    }
    return {};
}

}  // namespace vormek::py
