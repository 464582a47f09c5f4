#include "values.hpp"

#include <cmath>
#include <cstddef>
#include <type_traits>

#include "docs.hpp"

namespace vormek::py {

namespace {

template <class V>
PyTypeObject*& type_slot() {
    static PyTypeObject* type = nullptr;
    return type;
}

// Poses and twists are the results of the quickest computations, made and dropped once a call:
// a few dropped values of each class wait here for the next one instead of going back through
// the allocator and the generic deallocation of heap types (as CPython keeps its floats). Only
// touched with the interpreter lock held; a free-threaded build has no such lock and keeps none.
template <class V>
struct Spares {
#ifdef Py_GIL_DISABLED
    static constexpr std::size_t capacity = 0;
#else
    static constexpr std::size_t capacity = 16;
#endif
    std::array<PyObject*, capacity> objects{};
    std::size_t count = 0;
};

template <class V>
Spares<V>& spares() {
    static Spares<V> s;
    return s;
}

template <class V>
PyObject* make(PyTypeObject* type, const V& value) {
    Spares<V>& s = spares<V>();
    ValueObject<V>* self;
    // a spare has had its reference to the class dropped: PyObject_Init takes it again
    if (s.count > 0 && type == type_slot<V>())
        self = reinterpret_cast<ValueObject<V>*>(PyObject_Init(s.objects[--s.count], type));
    else
        self = reinterpret_cast<ValueObject<V>*>(type->tp_alloc(type, 0));
    if (self) self->value = value;
    return reinterpret_cast<PyObject*>(self);
}

template <class V>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Spares<V>& s = spares<V>();
    if constexpr (Spares<V>::capacity > 0) {
        if (s.count < s.capacity) s.objects[s.count++] = self;
        else type->tp_free(self);
    } else {
        type->tp_free(self);
    }
    Py_DECREF(type);  // each instance of a heap type holds a reference to its class
}

template <std::size_t N>
PyObject* tuple_of(const std::array<double, N>& values) {
    PyObject* t = PyTuple_New(N);
    if (!t) return nullptr;
    for (std::size_t i = 0; i < N; ++i) {
        PyObject* f = PyFloat_FromDouble(values[i]);
        if (!f) {
            Py_DECREF(t);
            return nullptr;
        }
        PyTuple_SET_ITEM(t, i, f);
    }
    return t;
}

// Equality only; every other comparison and every other class is NotImplemented.
template <class V>
PyObject* richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(a) != Py_TYPE(b)) Py_RETURN_NOTIMPLEMENTED;
    const bool equal = reinterpret_cast<ValueObject<V>*>(a)->value == reinterpret_cast<ValueObject<V>*>(b)->value;
    return PyBool_FromLong(equal == (op == Py_EQ));
}

template <class V>
const V& value(PyObject* self) {
    return reinterpret_cast<ValueObject<V>*>(self)->value;
}

// A getter per field, generated from a pointer to the member.
template <class V, auto Member>
PyObject* get_field(PyObject* self, void*) {
    const auto& field = value<V>(self).*Member;
    using T = std::remove_cvref_t<decltype(field)>;
    if constexpr (std::is_same_v<T, double>) return PyFloat_FromDouble(field);
    else if constexpr (std::is_same_v<T, std::uint64_t>) return PyLong_FromUnsignedLongLong(field);
    else if constexpr (std::is_same_v<T, PoseValue>) return make(value_type<PoseValue>(), field);
    else if constexpr (std::is_same_v<T, TwistValue>) return make(value_type<TwistValue>(), field);
    else return tuple_of(field);
}

bool convert_double(PyObject* obj, const char* argument, double& out) {
    const double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) {
        retag_type_error(argument);
        return false;
    }
    out = v;
    return true;
}

// ---- constructors ---------------------------------------------------------------------------

PyObject* pose_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static Signature<2> sig("Pose", {"translation", "rotation_xyzw"}, 0);
    PyObject* argv[2];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    PoseValue v;
    if (argv[0] && !convert_numbers(argv[0], "translation", v.translation.data(), 3)) return nullptr;
    if (argv[1] && !convert_numbers(argv[1], "rotation_xyzw", v.rotation_xyzw.data(), 4)) return nullptr;
    return make(type, v);
}

PyObject* twist_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static Signature<2> sig("Twist", {"angular", "linear"}, 0);
    PyObject* argv[2];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    TwistValue v;
    if (argv[0] && !convert_numbers(argv[0], "angular", v.angular.data(), 3)) return nullptr;
    if (argv[1] && !convert_numbers(argv[1], "linear", v.linear.data(), 3)) return nullptr;
    return make(type, v);
}

// None or an instance of V's class.
template <class V>
bool member_or_default(PyObject* obj, const char* argument, const char* class_name, V& out) {
    if (!obj || obj == Py_None) return true;
    if (const V* v = value_of<V>(obj)) {
        out = *v;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': expected %s or None, got %s", argument, class_name,
                 Py_TYPE(obj)->tp_name);
    return false;
}

PyObject* base_state_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static Signature<3> sig("BaseState", {"frame", "velocity", "acceleration"}, 0);
    PyObject* argv[3];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    BaseStateValue v;
    if (!member_or_default(argv[0], "frame", "Pose", v.frame) ||
        !member_or_default(argv[1], "velocity", "Twist", v.velocity) ||
        !member_or_default(argv[2], "acceleration", "Twist", v.acceleration))
        return nullptr;
    return make(type, v);
}

PyObject* load_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static Signature<3> sig("Load", {"link_id", "torque", "force"}, 1);
    PyObject* argv[3];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    LoadValue v;
    if (!convert_index(argv[0], "link_id", v.link_id)) return nullptr;
    if (argv[1] && !convert_numbers(argv[1], "torque", v.torque.data(), 3)) return nullptr;
    if (argv[2] && !convert_numbers(argv[2], "force", v.force.data(), 3)) return nullptr;
    return make(type, v);
}

bool convert_max_iterations(PyObject* obj, std::uint64_t& out) {
    if (!obj || obj == Py_None) return true;
    long long n = 0;
    if (!PyBool_Check(obj)) {
        Ref index(PyNumber_Index(obj));
        n = index ? PyLong_AsLongLong(index.get()) : -1;
    }
    if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError))
        return false;
    if (PyBool_Check(obj) || PyErr_Occurred()) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "max_iterations must be an integer");
        return false;
    }
    if (n <= 0) {
        PyErr_SetString(PyExc_ValueError, "max_iterations must be greater than zero");
        return false;
    }
    out = static_cast<std::uint64_t>(n);
    return true;
}

PyObject* ik_options_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static Signature<5> sig(
        "IkOptions", {"max_iterations", "translation_tolerance", "rotation_tolerance", "damping", "max_step_norm"}, 0);
    PyObject* argv[5];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    IkOptionsValue v;
    // the four reals first, in signature order, then the iteration count
    double* reals[] = {&v.translation_tolerance, &v.rotation_tolerance, &v.damping, &v.max_step_norm};
    const char* names[] = {"translation_tolerance", "rotation_tolerance", "damping", "max_step_norm"};
    for (int k = 0; k < 4; ++k)
        if (argv[k + 1] && !convert_double(argv[k + 1], names[k], *reals[k])) return nullptr;
    if (!convert_max_iterations(argv[0], v.max_iterations)) return nullptr;
    return make(type, v);
}

// ---- fields --------------------------------------------------------------------------------

#define VORMEK_GETTER(V, field) \
    {#field, &get_field<V, &V::field>, nullptr, nullptr, nullptr}

// Pose has computed properties besides its fields.
template <int N>
PyObject* pose_matrix_getter(PyObject* self, void*);

PyGetSetDef pose_getset[] = {
    VORMEK_GETTER(PoseValue, translation),
    VORMEK_GETTER(PoseValue, rotation_xyzw),
    {"rotation_matrix", pose_matrix_getter<3>, nullptr, doc::pose_rotation_matrix, nullptr},
    {"matrix", pose_matrix_getter<4>, nullptr, doc::pose_matrix, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef twist_getset[] = {
    VORMEK_GETTER(TwistValue, angular),
    VORMEK_GETTER(TwistValue, linear),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef base_state_getset[] = {
    VORMEK_GETTER(BaseStateValue, frame),
    VORMEK_GETTER(BaseStateValue, velocity),
    VORMEK_GETTER(BaseStateValue, acceleration),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef load_getset[] = {
    VORMEK_GETTER(LoadValue, link_id),
    VORMEK_GETTER(LoadValue, torque),
    VORMEK_GETTER(LoadValue, force),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
PyGetSetDef ik_options_getset[] = {
    VORMEK_GETTER(IkOptionsValue, max_iterations),
    VORMEK_GETTER(IkOptionsValue, translation_tolerance),
    VORMEK_GETTER(IkOptionsValue, rotation_tolerance),
    VORMEK_GETTER(IkOptionsValue, damping),
    VORMEK_GETTER(IkOptionsValue, max_step_norm),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef VORMEK_GETTER

// ---- Pose algebra ----------------------------------------------------------------------------

// The pose as the core takes it (quaternion normalised); nullptr with ValueError set otherwise.
bool usable_pose(PyObject* obj, Pose& out) {
    if (auto failed = pose_intake(value<PoseValue>(obj), out)) {
        failed->raise();
        return false;
    }
    return true;
}

// rotation_matrix (N = 3) and matrix (N = 4): a new C-ordered N x N float64 array holding
// [[R, t], [0, 0, 0, 1]] cut to its first N rows and columns.
template <int N>
PyObject* pose_matrix_getter(PyObject* self, void*) {
    Pose pose;
    if (!usable_pose(self, pose)) return nullptr;
    npy_intp dims[2] = {N, N};
    PyObject* a = PyArray_SimpleNew(2, dims, NPY_DOUBLE);
    if (!a) return nullptr;
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(a)));
    Eigen::Map<Eigen::Matrix<double, N, N, Eigen::RowMajor>> T(data);
    T.setIdentity();
    T.template topLeftCorner<3, 3>() = pose.rotation.toRotationMatrix();
    if constexpr (N == 4) T.template topRightCorner<3, 1>() = pose.translation;
    return a;
}

PyObject* pose_inverse(PyObject* self, PyObject*) {
    Pose pose;
    return usable_pose(self, pose) ? new_pose(inverse(pose)) : nullptr;
}

// a * b: the frame b is given in, a's own frame, re-expressed in a's parent frame.
PyObject* pose_multiply(PyObject* a, PyObject* b) {
    if (!value_of<PoseValue>(a) || !value_of<PoseValue>(b)) Py_RETURN_NOTIMPLEMENTED;
    Pose pa, pb;
    if (!usable_pose(a, pa) || !usable_pose(b, pb)) return nullptr;
    return new_pose(compose(pa, pb));
}

// How far R^T R may stray from the identity (largest entry), and the last row from (0, 0, 0, 1):
// loose enough for a matrix that went through float32 or a 7-digit print, tight enough that a
// scaled or sheared block is refused.
constexpr double rotation_tolerance = 1e-6;

PyObject* pose_from_matrix(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("from_matrix", {"T"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    // a private float64 copy: nothing the caller holds can change it while it is read
    Ref array(PyArray_FromAny(argv[0], PyArray_DescrFromType(NPY_DOUBLE), 0, 0,
                              NPY_ARRAY_CARRAY | NPY_ARRAY_ENSURECOPY, nullptr));
    if (!array) {
        retag_type_error("T");
        return nullptr;
    }
    auto* a = reinterpret_cast<PyArrayObject*>(array.get());
    if (PyArray_NDIM(a) != 2 || PyArray_DIM(a, 0) != 4 || PyArray_DIM(a, 1) != 4) {
        PyErr_SetString(PyExc_ValueError, "T must be a 4 x 4 matrix");
        return nullptr;
    }
    const Eigen::Map<const Eigen::Matrix<double, 4, 4, Eigen::RowMajor>> T(static_cast<const double*>(PyArray_DATA(a)));
    if (!T.allFinite()) {
        PyErr_SetString(PyExc_ValueError, "T must contain only finite values");
        return nullptr;
    }
    if ((T.row(3) - Eigen::RowVector4d(0, 0, 0, 1)).cwiseAbs().maxCoeff() > rotation_tolerance) {
        PyErr_SetString(PyExc_ValueError, "the last row of T must be (0, 0, 0, 1)");
        return nullptr;
    }
    const Eigen::Matrix3d R = T.topLeftCorner<3, 3>();
    if ((R.transpose() * R - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() > rotation_tolerance ||
        !(R.determinant() > 0)) {
        PyErr_SetString(PyExc_ValueError, "the upper-left 3 x 3 block of T is not a rotation matrix");
        return nullptr;
    }
    Pose pose;
    pose.rotation = Quaterniond(R).normalized();
    pose.translation = T.topRightCorner<3, 1>();
    return new_pose(pose);
}

// ---- type specifications ---------------------------------------------------------------------

#define VORMEK_FASTCALL(f) \
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry<f>)), METH_FASTCALL | METH_KEYWORDS

PyMethodDef pose_methods[] = {
    {"from_matrix", VORMEK_FASTCALL(pose_from_matrix) | METH_CLASS, doc::pose_from_matrix},
    {"inverse", pose_inverse, METH_NOARGS, doc::pose_inverse},
    {nullptr, nullptr, 0, nullptr},
};

#undef VORMEK_FASTCALL

template <class V>
PyTypeObject* create_type(const char* name, const char* doc, newfunc tp_new, PyGetSetDef* getset) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_new, reinterpret_cast<void*>(tp_new)},
        {Py_tp_getset, getset},
        {Py_tp_richcompare, reinterpret_cast<void*>(&richcompare<V>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<V>)},
        // Pose alone has methods and an operator (composition); for the others the list ends here
        {std::is_same_v<V, PoseValue> ? Py_tp_methods : 0, pose_methods},
        {Py_nb_multiply, reinterpret_cast<void*>(&pose_multiply)},
        {0, nullptr},
    };
    return create_heap_type(name, sizeof(ValueObject<V>), slots);
}

template <class V>
bool ensure_type(const char* name, const char* doc, newfunc tp_new, PyGetSetDef* getset) {
    if (!type_slot<V>()) type_slot<V>() = create_type<V>(name, doc, tp_new, getset);
    return type_slot<V>() != nullptr;
}

}  // namespace

template <class V>
PyTypeObject* value_type() {
    return type_slot<V>();
}
template PyTypeObject* value_type<PoseValue>();
template PyTypeObject* value_type<TwistValue>();
template PyTypeObject* value_type<BaseStateValue>();
template PyTypeObject* value_type<LoadValue>();
template PyTypeObject* value_type<IkOptionsValue>();

bool create_value_types() {
    return ensure_type<PoseValue>("vormek.Pose", "Pose(translation=..., rotation_xyzw=...)\n--\n\n", entry_new<pose_new>,
                                  pose_getset) &&
           ensure_type<TwistValue>("vormek.Twist", "Twist(angular=..., linear=...)\n--\n\n", entry_new<twist_new>,
                                   twist_getset) &&
           ensure_type<BaseStateValue>("vormek.BaseState",
                                       "BaseState(frame=None, velocity=None, acceleration=None)\n--\n\n",
                                       entry_new<base_state_new>, base_state_getset) &&
           ensure_type<LoadValue>("vormek.Load", "Load(link_id, torque=..., force=...)\n--\n\n", entry_new<load_new>,
                                  load_getset) &&
           ensure_type<IkOptionsValue>(
               "vormek.IkOptions",
               "IkOptions(max_iterations=None, translation_tolerance=1.0e-6, rotation_tolerance=1.0e-6, "
               "damping=1.0e-3, max_step_norm=0.5)\n--\n\n",
               entry_new<ik_options_new>, ik_options_getset);
}

PyObject* new_pose(const Pose& pose) {
    PoseValue v;
    v.translation = {pose.translation.x(), pose.translation.y(), pose.translation.z()};
    v.rotation_xyzw = {pose.rotation.x(), pose.rotation.y(), pose.rotation.z(), pose.rotation.w()};
    return make(value_type<PoseValue>(), v);
}

PyObject* new_twist(const Twist& twist) {
    TwistValue v;
    v.angular = {twist.angular.x(), twist.angular.y(), twist.angular.z()};
    v.linear = {twist.linear.x(), twist.linear.y(), twist.linear.z()};
    return make(value_type<TwistValue>(), v);
}

Check pose_intake(const PoseValue& value, Pose& out) {
    const auto& t = value.translation;
    const auto& r = value.rotation_xyzw;
    const double s = r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3];
    // s is NaN or infinite whenever a quaternion component is
    if (!std::isfinite(t[0]) || !std::isfinite(t[1]) || !std::isfinite(t[2]) || !std::isfinite(s) || !(s > 1e-24))
        return Failure{PyExc_ValueError, "pose contains non-finite values or a zero quaternion"};
    const double norm = std::sqrt(s);
    out.rotation = Quaterniond(r[3] / norm, r[0] / norm, r[1] / norm, r[2] / norm);
    out.translation = Vector3d(t[0], t[1], t[2]);
    return {};
}

namespace {

Twist twist_of(const TwistValue& v) {
    return Twist{Vector3d(v.angular[0], v.angular[1], v.angular[2]), Vector3d(v.linear[0], v.linear[1], v.linear[2])};
}

}  // namespace

bool convert_base(PyObject* obj, std::optional<BaseState>& out) {
    const BaseStateValue* v = value_of<BaseStateValue>(obj);
    if (!v) {
        PyErr_Format(PyExc_TypeError, "argument 'base': expected BaseState, got %s", Py_TYPE(obj)->tp_name);
        return false;
    }
    Pose frame;
    if (auto failed = pose_intake(v->frame, frame)) {
        failed->raise();
        return false;
    }
    auto state = BaseState::make(frame, twist_of(v->velocity), twist_of(v->acceleration));
    if (!state) {
        core_error(std::move(state.error()));
        return false;
    }
    out.emplace(*state);
    return true;
}

}  // namespace vormek::py
