#pragma once
// The centre-of-mass, momentum and energy methods of RobotBatch (Handle = Robot) and
// FloatingRobotBatch (FloatingRobot), with the text of their docstrings.

#include "binding.hpp"

namespace vormek::py::batch {

#define VORMEK_BATCH_METHOD(name) \
    template <class Handle>       \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
VORMEK_BATCH_METHOD(center_of_mass);
VORMEK_BATCH_METHOD(center_of_mass_velocity);
VORMEK_BATCH_METHOD(center_of_mass_jacobian);
VORMEK_BATCH_METHOD(momentum);
VORMEK_BATCH_METHOD(centroidal_momentum_matrix);
VORMEK_BATCH_METHOD(kinetic_energy);
VORMEK_BATCH_METHOD(potential_energy);
#undef VORMEK_BATCH_METHOD

// A method table's entry, with the fast-call wrapper and the docstring macro of the table's file.
#define VORMEK_BATCH_ENTRY(name, Handle, arguments, doc) \
    {#name, VORMEK_FASTCALL(name<Handle>), VORMEK_DOC(#name "($self, " arguments ")", doc)}

// What each docstring says after its signature line (the method tables add the text on rows).
#define COM_DOC "World positions of the centre of mass of the whole robot (B, 3), every link counted."
#define COM_VELOCITY_DOC "Velocities of the centre of mass (B, 3), world axes."
#define COM_JACOBIAN_DOC "Jacobians of the centre of mass (B, 3, m), world axes."
#define MOMENTUM_DOC \
    "Centroidal momenta (B, 6): the angular momentum about the centre of mass, then the linear one, world axes."
#define MOMENTUM_MATRIX_DOC \
    "Centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: momentum = A·u."
#define KINETIC_DOC "Kinetic energies (B,), joules."
#define POTENTIAL_DOC "Gravitational potential energies -m·g·c (B,), joules."

}  // namespace vormek::py::batch
