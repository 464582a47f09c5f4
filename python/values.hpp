#pragma once
// The immutable value classes Pose, Twist, BaseState, Load and IkOptions: plain numbers,
// equality only (Pose also composes, inverts and converts to and from matrices). Construction
// converts without checking; checks happen where values are used.

#include <array>
#include <cstdint>
#include <optional>

#include "base.hpp"
#include "binding.hpp"

namespace vormek::py {

struct PoseValue {
    std::array<double, 3> translation{0, 0, 0};
    std::array<double, 4> rotation_xyzw{0, 0, 0, 1};
    bool operator==(const PoseValue&) const = default;  // IEEE equality: NaN ≠ NaN, +0 = −0
};

struct TwistValue {
    std::array<double, 3> angular{0, 0, 0};
    std::array<double, 3> linear{0, 0, 0};
    bool operator==(const TwistValue&) const = default;
};

struct BaseStateValue {
    PoseValue frame;
    TwistValue velocity;
    TwistValue acceleration;
    bool operator==(const BaseStateValue&) const = default;
};

struct LoadValue {
    std::uint64_t link_id = 0;  // a link index of whichever robot the load is given to
    std::array<double, 3> torque{0, 0, 0};
    std::array<double, 3> force{0, 0, 0};
    bool operator==(const LoadValue&) const = default;
};

struct IkOptionsValue {
    std::uint64_t max_iterations = 100;
    double translation_tolerance = 1.0e-6;
    double rotation_tolerance = 1.0e-6;
    double damping = 1.0e-3;
    double max_step_norm = 0.5;
    bool operator==(const IkOptionsValue&) const = default;
};

// The Python object of each value class: the header, then the value.
template <class V>
struct ValueObject {
    PyObject_HEAD
    V value;
};

// Type objects, created once by create_value_types (module execution). Borrowed references.
template <class V>
PyTypeObject* value_type();
bool create_value_types();

// The value inside `obj` when it is an instance of V's class, else nullptr.
template <class V>
const V* value_of(PyObject* obj) {
    return Py_IS_TYPE(obj, value_type<V>()) ? &reinterpret_cast<ValueObject<V>*>(obj)->value : nullptr;
}

// New Python values from core results.
PyObject* new_pose(const Pose& pose);
PyObject* new_twist(const Twist& twist);

// Every pose arriving from Python: finite translation, finite quaternion with squared norm
// above 1e-24, which is then normalised. ValueError otherwise.
Check pose_intake(const PoseValue& value, Pose& out);

// The `base` argument of every floating-base computation: BaseState type (TypeError naming
// `base`), pose intake of its frame, then the core's finiteness checks of frame, velocity and
// acceleration. Raises directly: it runs before the robot is locked.
bool convert_base(PyObject* obj, std::optional<BaseState>& out);

}  // namespace vormek::py
