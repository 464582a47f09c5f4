#include "robots.hpp"

#include <new>
#include <string>
#include <vector>

#include "arrays.hpp"
#include "robot.hpp"
#include "values.hpp"

namespace vormek::py {

namespace {

// What differs between the two classes besides their computation methods.
template <class Handle>
struct Traits;

template <>
struct Traits<Robot> {
    static constexpr const char* class_name = "Robot";
    static constexpr std::uint64_t base_coordinates = 0;
    static PyTypeObject* type() { return robot_type(); }
    static Result<Robot> load(const std::filesystem::path& path) { return Robot::from_urdf(path); }
};

template <>
struct Traits<FloatingRobot> {
    static constexpr const char* class_name = "FloatingRobot";
    static constexpr std::uint64_t base_coordinates = 6;  // base angular then linear velocity
    static PyTypeObject* type() { return floating_robot_type(); }
    static Result<FloatingRobot> load(const std::filesystem::path& path) { return FloatingRobot::from_urdf(path); }
};

template <class Handle>
struct RobotState {
    std::string name;                       // robot name from the URDF
    std::vector<LinkId> link_ids;           // entry i identifies link i; Python link indices go through it
    std::uint64_t joint_count = 0;          // joints with a DOF
    std::uint64_t generalized_count = 0;    // joint_count plus the base coordinates
    std::uint64_t link_count = 0;
    RobotSlot<Handle> slot;                 // the native handle behind its lock
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

// A str or os.PathLike, taken as raw file-system bytes; a NUL byte is left for the loader to
// report.
bool convert_path(PyObject* obj, std::string& out) {
    Ref fs;
    if (PyUnicode_Check(obj)) {
        fs = Ref(Py_NewRef(obj));
    } else if (!PyBytes_Check(obj)) {
        fs = Ref(PyOS_FSPath(obj));
    }
    if (!fs) {
        // bytes are not a path here, so PyOS_FSPath's own message would mislead
        if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument 'path': expected str or os.PathLike object, not %s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    Ref bytes(PyUnicode_Check(fs.get()) ? PyUnicode_EncodeFSDefault(fs.get()) : fs.release());
    if (!bytes) return false;
    out.assign(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

// Loads the model (with the interpreter lock held) and builds the Python object around it.
template <class Handle>
PyObject* construct(PyObject* path_arg) {
    std::string path;
    if (!convert_path(path_arg, path)) return nullptr;
    auto handle = Traits<Handle>::load(std::filesystem::path(path));
    if (!handle) return core_error(std::move(handle.error()));

    PyTypeObject* type = Traits<Handle>::type();
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto& st = *new (&state_of<Handle>(self)) RobotState<Handle>();
    const Model& model = handle->model();
    st.name = model.name;
    st.link_ids.reserve(model.link_count());
    for (std::size_t i = 0; i < model.link_count(); ++i) {
        auto id = model.link(i);
        if (!id) panic("enumerated link is valid");
        st.link_ids.push_back(*id);
    }
    st.joint_count = model.dof_count();
    st.generalized_count = model.dof_count() + Traits<Handle>::base_coordinates;
    st.link_count = model.link_count();
    st.slot.handle.emplace(std::move(*handle));
    st.slot.open.store(true, std::memory_order_release);
    return self;
}

template <class Handle>
PyObject* robot_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    static Signature<1> sig(Traits<Handle>::class_name, {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    try {
        return construct<Handle>(argv[0]);
    } catch (const std::exception& e) {
        return raise_panic(e.what());
    }
}

// from_urdf always builds the base class, whichever class it is called on.
template <class Handle>
PyObject* robot_from_urdf(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("from_urdf", {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    try {
        return construct<Handle>(argv[0]);
    } catch (const std::exception& e) {
        return raise_panic(e.what());
    }
}

template <class Handle>
void robot_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    state_of<Handle>(self).~RobotState<Handle>();
    type->tp_free(self);
    Py_DECREF(type);
}

template <class Handle>
PyObject* robot_close(PyObject* self, PyObject*) {
    auto& slot = state_of<Handle>(self).slot;
    slot.lock();
    slot.open.store(false, std::memory_order_release);
    slot.handle.reset();  // drops the workspace and this robot's share of the model
    slot.mutex.unlock();
    Py_RETURN_NONE;
}

template <class Handle>
PyObject* robot_enter(PyObject* self, PyObject*) {
    if (!require_open(state_of<Handle>(self).slot.open)) return nullptr;
    return Py_NewRef(self);
}

template <class Handle>
PyObject* robot_exit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<3> sig("__exit__", {"_exc_type", "_exc_value", "_traceback"}, 3);
    PyObject* argv[3];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    return robot_close<Handle>(self, nullptr);
}

template <class Handle>
PyObject* robot_link_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("link_id", {"name"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    if (!PyUnicode_Check(argv[0])) {
        PyErr_Format(PyExc_TypeError, "argument 'name': expected str, got %s", Py_TYPE(argv[0])->tp_name);
        return nullptr;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(argv[0], &size);
    if (!utf8) return nullptr;
    auto& st = state_of<Handle>(self);
    Locked<Handle> robot(st.slot);
    if (!robot) return nullptr;
    auto id = robot->model().link_by_name(std::string_view(utf8, static_cast<std::size_t>(size)));
    if (!id) return core_error(std::move(id.error()));
    if (id->index >= st.link_ids.size() || st.link_ids[id->index] != *id) {
        PyErr_SetString(PyExc_ValueError, "link does not belong to this robot");
        return nullptr;
    }
    return PyLong_FromSize_t(id->index);
}

// Properties: open check, then the value recorded at load.
template <class Handle, std::uint64_t RobotState<Handle>::*Count>
PyObject* robot_count(PyObject* self, void*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return PyLong_FromUnsignedLongLong(st.*Count);
}

template <class Handle>
PyObject* robot_name(PyObject* self, void*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return PyUnicode_DecodeUTF8(st.name.data(), static_cast<Py_ssize_t>(st.name.size()), "replace");
}

// Finishes a call whose core result is a pose.
PyObject* pose_result(std::optional<Result<Pose>>&& outcome) {
    if (!outcome) return nullptr;  // panic already raised
    if (!*outcome) return core_error(std::move(outcome->error()));
    return new_pose(**outcome);
}

// ---- Robot ----------------------------------------------------------------------------------

PyObject* robot_set_base_frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("set_base_frame", {"frame"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    const PoseValue* frame = value_of<PoseValue>(argv[0]);
    if (!frame) {
        PyErr_Format(PyExc_TypeError, "argument 'frame': expected Pose, got %s", Py_TYPE(argv[0])->tp_name);
        return nullptr;
    }
    Pose pose;
    if (!pose_intake(*frame, pose)) return nullptr;
    Locked<Robot> robot(state_of<Robot>(self).slot);
    if (!robot) return nullptr;
    if (auto r = robot->set_base_frame(pose); !r) return core_error(std::move(r.error()));
    Py_RETURN_NONE;
}

PyObject* robot_forward_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<2> sig("forward_kinematics", {"q", "target"}, 2);
    PyObject* argv[2];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    InputVector q;
    std::uint64_t target = 0;
    if (!q.convert(argv[0], "q") || !convert_index(argv[1], "target", target)) return nullptr;
    auto& st = state_of<Robot>(self);
    if (!q.read()) return nullptr;
    Locked<Robot> robot(st.slot);
    LinkId link;
    if (!robot || !target_link(st.link_ids, target, link)) return nullptr;
    return pose_result(run_released([&] { return robot->forward_kinematics(q.values(), link); }));
}

// ---- FloatingRobot --------------------------------------------------------------------------

Twist twist_of(const TwistValue& v) {
    return Twist{Vector3d(v.angular[0], v.angular[1], v.angular[2]), Vector3d(v.linear[0], v.linear[1], v.linear[2])};
}

// The first step of every floating-base computation: type, pose intake, then the core's
// finiteness checks of frame, velocity and acceleration.
bool convert_base(PyObject* obj, std::optional<BaseState>& out) {
    const BaseStateValue* v = value_of<BaseStateValue>(obj);
    if (!v) {
        PyErr_Format(PyExc_TypeError, "argument 'base': expected BaseState, got %s", Py_TYPE(obj)->tp_name);
        return false;
    }
    Pose frame;
    if (!pose_intake(v->frame, frame)) return false;
    auto state = BaseState::make(frame, twist_of(v->velocity), twist_of(v->acceleration));
    if (!state) {
        core_error(std::move(state.error()));
        return false;
    }
    out.emplace(*state);
    return true;
}

PyObject* floating_forward_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<3> sig("forward_kinematics", {"base", "q", "target"}, 3);
    PyObject* argv[3];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    std::optional<BaseState> base;
    InputVector q;
    std::uint64_t target = 0;
    if (!convert_base(argv[0], base) || !q.convert(argv[1], "q") || !convert_index(argv[2], "target", target))
        return nullptr;
    auto& st = state_of<FloatingRobot>(self);
    LinkId link;
    // unlike Robot's, the floating forward kinematics checks the target before it locks
    if (!q.read() || !target_link(st.link_ids, target, link)) return nullptr;
    Locked<FloatingRobot> robot(st.slot);
    if (!robot) return nullptr;
    return pose_result(run_released([&] { return robot->forward_kinematics(*base, q.values(), link); }));
}

// ---- type specifications ---------------------------------------------------------------------

#define VORMEK_FASTCALL(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)), METH_FASTCALL | METH_KEYWORDS

template <class Handle>
PyMethodDef common_methods[] = {
    {"from_urdf", VORMEK_FASTCALL(robot_from_urdf<Handle>) | METH_CLASS, "from_urdf($cls, path)\n--\n\n"},
    {"close", robot_close<Handle>, METH_NOARGS, "close($self)\n--\n\n"},
    {"__enter__", robot_enter<Handle>, METH_NOARGS, "__enter__($self)\n--\n\n"},
    {"__exit__", VORMEK_FASTCALL(robot_exit<Handle>), "__exit__($self, _exc_type, _exc_value, _traceback)\n--\n\n"},
    {"link_id", VORMEK_FASTCALL(robot_link_id<Handle>), "link_id($self, name)\n--\n\n"},
};

template <class Handle>
PyGetSetDef robot_getset[] = {
    {"name", robot_name<Handle>, nullptr, nullptr, nullptr},
    {"joint_count", robot_count<Handle, &RobotState<Handle>::joint_count>, nullptr, nullptr, nullptr},
    {"generalized_count", robot_count<Handle, &RobotState<Handle>::generalized_count>, nullptr, nullptr, nullptr},
    {"link_count", robot_count<Handle, &RobotState<Handle>::link_count>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr std::size_t common_count = std::size(common_methods<Robot>);

// Common methods first, then the class's own, then the sentinel.
template <class Handle, std::size_t N>
std::array<PyMethodDef, common_count + N + 1> method_table(const std::array<PyMethodDef, N>& own) {
    std::array<PyMethodDef, common_count + N + 1> out{};
    std::size_t k = 0;
    for (const PyMethodDef& m : common_methods<Handle>) out[k++] = m;
    for (const PyMethodDef& m : own) out[k++] = m;
    return out;
}

auto robot_methods = method_table<Robot>(std::array{
    PyMethodDef{"set_base_frame", VORMEK_FASTCALL(robot_set_base_frame), "set_base_frame($self, frame)\n--\n\n"},
    PyMethodDef{"forward_kinematics", VORMEK_FASTCALL(robot_forward_kinematics),
                "forward_kinematics($self, q, target)\n--\n\n"},
});

auto floating_methods = method_table<FloatingRobot>(std::array{
    PyMethodDef{"forward_kinematics", VORMEK_FASTCALL(floating_forward_kinematics),
                "forward_kinematics($self, base, q, target)\n--\n\n"},
});

#undef VORMEK_FASTCALL

template <class Handle>
PyTypeObject* create_type(const char* name, const char* doc, PyMethodDef* methods) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_new, reinterpret_cast<void*>(&robot_new<Handle>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&robot_dealloc<Handle>)},
        {Py_tp_methods, methods},
        {Py_tp_getset, robot_getset<Handle>},
        {0, nullptr},
    };
    return create_heap_type(name, sizeof(RobotObject<Handle>), slots);
}

PyTypeObject* robot_type_object = nullptr;
PyTypeObject* floating_type_object = nullptr;

}  // namespace

PyTypeObject* robot_type() { return robot_type_object; }
PyTypeObject* floating_robot_type() { return floating_type_object; }

bool create_robot_types() {
    if (!robot_type_object)
        robot_type_object = create_type<Robot>("vormek.Robot", "Robot(path)\n--\n\n", robot_methods.data());
    if (!floating_type_object)
        floating_type_object = create_type<FloatingRobot>("vormek.FloatingRobot", "FloatingRobot(path)\n--\n\n",
                                                          floating_methods.data());
    return robot_type_object && floating_type_object;
}

}  // namespace vormek::py
