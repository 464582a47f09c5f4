#pragma once
// What a robot or batch object tells about its model besides computing on it: names, parents,
// limits and mass (built once at load, as Python objects, so that asking costs a reference
// count), the joint look-up, the text a model is loaded from, and the robot's repr.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding.hpp"
#include "robot.hpp"

namespace vormek::py {

struct ModelQueries {
    Ref link_names;     // tuple of str, link order
    Ref link_parents;   // tuple of int, link order, −1 for the root
    Ref joint_names;    // tuple of str, the joints owning the entries of q, in q's order
    Ref joint_entries;  // dict: every joint's name → its entry of q, or None when fixed
    Ref lower_limits;   // read-only float64 arrays in q's order, as the inverse-kinematics check reads them
    Ref upper_limits;
    Ref total_mass;     // float, kg
    Ref tree;           // per link: (name of the joint leading to it, its kind, unit axis, link mass)
};

// Builds every entry from the model; false with an exception set.
bool build_queries(const Model& model, ModelQueries& out);

// The entry of q that joint `name` owns: ValueError for an unknown or a fixed joint.
PyObject* joint_index(const ModelQueries& queries, PyObject* name);

// The getters of one class, for an object whose queries and open flag `Find` gives.
struct QueryView {
    const ModelQueries& queries;
    const std::atomic<bool>& open;
};

enum class Query : std::intptr_t { link_names, link_parents, joint_names, lower_limits, upper_limits, total_mass };

PyObject* query(const QueryView& view, Query which);

template <QueryView (*Find)(PyObject*)>
PyObject* get_query(PyObject* self, void* which) {
    return query(Find(self), static_cast<Query>(reinterpret_cast<std::intptr_t>(which)));
}

// The getset entries of the queries, with their documentation.
#define VORMEK_QUERY(getter, field, doc) \
    {#field, getter, nullptr, doc, reinterpret_cast<void*>(static_cast<std::intptr_t>(::vormek::py::Query::field))}
#define VORMEK_QUERY_GETSET(getter)                                                                                 \
    VORMEK_QUERY(getter, link_names, "The link names, in link-index order (a tuple of str)."),                     \
    VORMEK_QUERY(getter, link_parents,                                                                              \
                 "The parent link index of each link, in link-index order (a tuple of int, -1 for the root)."),   \
    VORMEK_QUERY(getter, joint_names,                                                                               \
                 "The names of the joints that own the entries of q, in q's order (a tuple of str; fixed joints "  \
                 "own none). A FloatingRobot's generalized vectors put six base entries before them."),           \
    VORMEK_QUERY(getter, lower_limits,                                                                              \
                 "Lower position limits in q's order (a read-only float64 array; rad or m; -inf for continuous "   \
                 "joints), exactly the values the inverse-kinematics check uses."),                                \
    VORMEK_QUERY(getter, upper_limits,                                                                              \
                 "Upper position limits in q's order (a read-only float64 array; rad or m; +inf for continuous "   \
                 "joints), exactly the values the inverse-kinematics check uses."),                                \
    VORMEK_QUERY(getter, total_mass, "The sum of the link masses, kg.")

#define VORMEK_JOINT_INDEX_DOC                                                                                  \
    "joint_index($self, name)\n--\n\n"                                                                          \
    "The entry of q that the joint called `name` owns (add 6 for a FloatingRobot's generalized vectors).\n"   \
    "Raises ValueError 'unknown joint {name}' or 'joint {name} is fixed and has no coordinate', TypeError "   \
    "when name is not a str."
#define VORMEK_SET_GRAVITY_DOC                                                                                  \
    "set_gravity($self, g)\n--\n\n"                                                                             \
    "Sets the gravitational acceleration (gx, gy, gz), world axes, m/s^2, that every dynamics method uses "  \
    "from now on (gravity, inverse and forward dynamics; the default is 9.80665 along -z).\n"                  \
    "Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers."
#define VORMEK_GRAVITY_VECTOR_DOC \
    "The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."
#define VORMEK_TREE_DOC                                                                                        \
    "_tree($self)\n--\n\n"                                                                                     \
    "For the command line: per link, in link-index order, (name of the joint leading to it, its kind, its "   \
    "unit axis in the joint frame, the link's mass); the root's joint is '' of kind 'root'."

// Keyword-only parameters after `most` positional ones: TypeError when more were given.
bool positional_at_most(const char* function, Py_ssize_t nargs, Py_ssize_t most);
// A `massless_root` argument: omitted, True or False (TypeError otherwise).
bool convert_root_mass(PyObject* obj, RootMass& out);
// A `text` argument: a str, seen as UTF-8 for as long as the str lives.
bool convert_text(PyObject* obj, std::string_view& out);
// Three finite-or-not numbers (the handle checks finiteness).
bool convert_gravity(PyObject* obj, Vector3d& out);
PyObject* gravity_tuple(const Vector3d& g);

// "<vormek.Robot 'panda': 13 links, 9 joint coordinates>", with "+ 6 base" for a floating base
// and `extra` appended; "<vormek.Robot 'panda' (closed)>" once closed.
PyObject* describe_robot(PyObject* self, const std::string& name, bool open, std::uint64_t links, std::uint64_t joints,
                     bool floating, const char* extra = "");

}  // namespace vormek::py
