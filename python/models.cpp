#include "models.hpp"

#include "arrays.hpp"

namespace vormek::py {

namespace {

PyObject* text_of(const std::string& s) {
    return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

const char* kind_word(const Joint& joint) {
    switch (joint.kinematics.kind) {
        case JointKind::Revolute: return joint.continuous ? "continuous" : "revolute";
        case JointKind::Prismatic: return "prismatic";
        case JointKind::Fixed: break;
    }
    return "fixed";
}

// A float64 array of n values that nobody can write to, shared by every caller.
PyObject* read_only_array(std::size_t n, auto&& value) {
    npy_intp dims[1] = {static_cast<npy_intp>(n)};
    PyObject* array = PyArray_SimpleNew(1, dims, NPY_DOUBLE);
    if (!array) return nullptr;
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
    for (std::size_t k = 0; k < n; ++k) data[k] = value(k);
    PyArray_CLEARFLAGS(reinterpret_cast<PyArrayObject*>(array), NPY_ARRAY_WRITEABLE);
    return array;
}

}  // namespace

bool build_queries(const Model& m, ModelQueries& out) {
    const std::size_t L = m.link_count(), n = m.dof_count();
    out.link_names = Ref(PyTuple_New(static_cast<Py_ssize_t>(L)));
    out.link_parents = Ref(PyTuple_New(static_cast<Py_ssize_t>(L)));
    out.tree = Ref(PyTuple_New(static_cast<Py_ssize_t>(L)));
    out.joint_names = Ref(PyTuple_New(static_cast<Py_ssize_t>(n)));
    out.joint_entries = Ref(PyDict_New());
    if (!out.link_names || !out.link_parents || !out.tree || !out.joint_names || !out.joint_entries) return false;

    double mass = 0.0;
    for (std::size_t i = 0; i < L; ++i) {
        const Link& link = m.links[i];
        mass += link.inertial.mass;
        // link i > 0 hangs from joint i − 1
        const Joint* joint = i == 0 ? nullptr : &m.joints[i - 1];
        const long parent = i == 0 ? -1 : static_cast<long>(m.joint_parents[i - 1]);
        const Vector3d axis = joint ? joint->kinematics.axis : Vector3d::Zero();
        PyObject* name = text_of(link.name);
        if (!name) return false;
        PyTuple_SET_ITEM(out.link_names.get(), static_cast<Py_ssize_t>(i), name);
        PyObject* parent_index = PyLong_FromLong(parent);
        if (!parent_index) return false;
        PyTuple_SET_ITEM(out.link_parents.get(), static_cast<Py_ssize_t>(i), parent_index);
        PyObject* row = Py_BuildValue("(N s (ddd) d)", joint ? text_of(joint->name) : PyUnicode_FromString(""),
                                      joint ? kind_word(*joint) : "root", axis.x(), axis.y(), axis.z(),
                                      link.inertial.mass);
        if (!row) return false;
        PyTuple_SET_ITEM(out.tree.get(), static_cast<Py_ssize_t>(i), row);
    }
    for (std::size_t j = 0; j < m.joint_count(); ++j) {
        Ref name(text_of(m.joints[j].name));
        const std::optional<std::size_t> dof = m.joint_dof(j);
        Ref entry(dof ? PyLong_FromSize_t(*dof) : Py_NewRef(Py_None));
        if (!name || !entry || PyDict_SetItem(out.joint_entries.get(), name.get(), entry.get()) < 0) return false;
        if (dof) PyTuple_SET_ITEM(out.joint_names.get(), static_cast<Py_ssize_t>(*dof), name.release());
    }
    out.lower_limits = Ref(read_only_array(n, [&](std::size_t k) { return m.joints[m.dof_joints[k]].lower; }));
    out.upper_limits = Ref(read_only_array(n, [&](std::size_t k) { return m.joints[m.dof_joints[k]].upper; }));
    out.total_mass = Ref(PyFloat_FromDouble(mass));
    return out.lower_limits && out.upper_limits && out.total_mass;
}

PyObject* joint_index(const ModelQueries& queries, PyObject* name) {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "argument 'name': expected str, got %s", Py_TYPE(name)->tp_name);
        return nullptr;
    }
    PyObject* entry = PyDict_GetItemWithError(queries.joint_entries.get(), name);  // borrowed
    if (entry == Py_None) {
        PyErr_Format(PyExc_ValueError, "joint %U is fixed and has no coordinate", name);
        return nullptr;
    }
    if (!entry) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "unknown joint %U", name);
        return nullptr;
    }
    return Py_NewRef(entry);
}

PyObject* query(const QueryView& view, Query which) {
    if (!require_open(view.open)) return nullptr;
    const ModelQueries& q = view.queries;
    switch (which) {
        case Query::link_names: return Py_NewRef(q.link_names.get());
        case Query::link_parents: return Py_NewRef(q.link_parents.get());
        case Query::joint_names: return Py_NewRef(q.joint_names.get());
        case Query::lower_limits: return Py_NewRef(q.lower_limits.get());
        case Query::upper_limits: return Py_NewRef(q.upper_limits.get());
        case Query::total_mass: return Py_NewRef(q.total_mass.get());
    }
    return raise_panic("unknown model query");
}

bool positional_at_most(const char* function, Py_ssize_t nargs, Py_ssize_t most) {
    if (nargs <= most) return true;
    // the binder's own message: to a caller a keyword-only parameter is simply not positional
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zd argument%s (%zd given)", function, most,
                 most == 1 ? "" : "s", nargs);
    return false;
}

bool convert_root_mass(PyObject* obj, RootMass& out) {
    if (!obj || obj == Py_False) {
        out = RootMass::Link;
        return true;
    }
    if (obj == Py_True) {
        out = RootMass::Body;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "argument 'massless_root': expected bool, got %s", Py_TYPE(obj)->tp_name);
    return false;
}

bool convert_text(PyObject* obj, std::string_view& out) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "argument 'text': expected str, got %s", Py_TYPE(obj)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!utf8) return false;
    out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert_gravity(PyObject* obj, Vector3d& out) {
    double g[3];
    if (!convert_numbers(obj, "g", g, 3)) return false;
    out = Vector3d(g[0], g[1], g[2]);
    return true;
}

PyObject* gravity_tuple(const Vector3d& g) { return Py_BuildValue("(ddd)", g.x(), g.y(), g.z()); }

PyObject* describe_robot(PyObject* self, const std::string& name, bool open, std::uint64_t links, std::uint64_t joints,
                     bool floating, const char* extra) {
    Ref text(text_of(name));
    if (!text) return nullptr;
    const char* type = Py_TYPE(self)->tp_name;
    if (!open) return PyUnicode_FromFormat("<%s %R (closed)>", type, text.get());
    return PyUnicode_FromFormat("<%s %R: %llu links, %llu joint coordinates%s%s>", type, text.get(),
                                static_cast<unsigned long long>(links), static_cast<unsigned long long>(joints),
                                floating ? " + 6 base" : "", extra);
}

}  // namespace vormek::py
