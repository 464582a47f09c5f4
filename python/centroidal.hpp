#pragma once
// The centre-of-mass, momentum and energy methods of Robot and FloatingRobot, with their
// docstrings (python/vormek/_vormek.pyi carries the same text).

#include "binding.hpp"
#include "robot.hpp"

namespace vormek::py {

#define VORMEK_CENTROIDAL_METHOD(name) \
    template <class Handle>            \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
VORMEK_CENTROIDAL_METHOD(center_of_mass);
VORMEK_CENTROIDAL_METHOD(center_of_mass_velocity);
VORMEK_CENTROIDAL_METHOD(center_of_mass_jacobian);
VORMEK_CENTROIDAL_METHOD(momentum);
VORMEK_CENTROIDAL_METHOD(centroidal_momentum_matrix);
VORMEK_CENTROIDAL_METHOD(kinetic_energy);
VORMEK_CENTROIDAL_METHOD(potential_energy);
#undef VORMEK_CENTROIDAL_METHOD

// A method table's entry, with the fast-call wrapper of the table's file.
#define VORMEK_CENTROIDAL_ENTRY(name, Handle) \
    PyMethodDef { #name, VORMEK_FASTCALL(name<Handle>), CentroidalDocs<Handle>::name }

// What every one of these docstrings ends with.
#define VORMEK_CENTROIDAL_ERRORS                                                                          \
    "\n\nThe whole robot counts: every link, the root link and those fixed to it included. Raises "  \
    "ValueError for an array of the wrong length or with a non-finite entry and for an unsuitable "     \
    "out, TypeError for an argument of the wrong type, RuntimeError when the robot is closed."
#define VORMEK_BASE_FRAME " base: the root link's BaseState, of which only the frame is read."
#define VORMEK_BASE_MOTION " base: the root link's BaseState, of which the frame and the velocity are read."

// The docstrings, signature line first.
template <class Handle>
struct CentroidalDocs;

template <>
struct CentroidalDocs<Robot> {
    static constexpr const char* center_of_mass =
        "center_of_mass($self, q, out=None)\n--\n\n"
        "World position of the robot's centre of mass c, in metres: 3 values, written into out (a "
        "float64 array of 3) when given. NaN for a robot without mass." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* center_of_mass_velocity =
        "center_of_mass_velocity($self, q, qd, out=None)\n--\n\n"
        "Velocity of the centre of mass in world axes, m/s: 3 values, J_c·qd. NaN for a robot without "
        "mass." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* center_of_mass_jacobian =
        "center_of_mass_jacobian($self, q, out=None)\n--\n\n"
        "The 3 x n Jacobian J_c of the centre of mass in world axes, flat column by column like "
        "jacobian(): column k, the velocity of c per unit velocity of joint coordinate k, is elements "
        "3k to 3k + 2, so J_c = result.reshape(n, 3).T. NaN for a robot without "
        "mass." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* momentum =
        "momentum($self, q, qd)\n--\n\n"
        "The centroidal momentum as a Twist, world axes: angular, the angular momentum about the "
        "centre of mass (kg m^2/s); linear, the linear momentum m·ċ (kg m/s)." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* centroidal_momentum_matrix =
        "centroidal_momentum_matrix($self, q, out=None)\n--\n\n"
        "The 6 x n centroidal momentum matrix A, world axes: [angular; linear] momentum about the "
        "centre of mass = A·qd. Flat column by column like jacobian() (elements 6k to 6k + 5, angular "
        "rows first), so A = result.reshape(n, 6).T; its linear rows are m·J_c." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* kinetic_energy =
        "kinetic_energy($self, q, qd)\n--\n\n"
        "The kinetic energy 1/2·qdᵀ·M·qd in joules, a float." VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* potential_energy =
        "potential_energy($self, q)\n--\n\n"
        "The gravitational potential energy -m·g·c in joules, a float: zero with the centre of mass at "
        "the world origin, g the gravity of the dynamics (9.80665 m/s² along world -z)." VORMEK_CENTROIDAL_ERRORS;
};

template <>
struct CentroidalDocs<FloatingRobot> {
    static constexpr const char* center_of_mass =
        "center_of_mass($self, base, q, out=None)\n--\n\n"
        "World position of the robot's centre of mass c, in metres: 3 values, written into out (a "
        "float64 array of 3) when given." VORMEK_BASE_FRAME VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* center_of_mass_velocity =
        "center_of_mass_velocity($self, base, q, qd, out=None)\n--\n\n"
        "Velocity of the centre of mass in world axes, m/s: 3 values, J_c·[ω; ṗ; qd] with the base's "
        "velocity (ω, ṗ)." VORMEK_BASE_MOTION VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* center_of_mass_jacobian =
        "center_of_mass_jacobian($self, base, q, out=None)\n--\n\n"
        "The 3 x (n + 6) Jacobian J_c of the centre of mass in world axes, flat column by column like "
        "jacobian(): six base columns (base angular velocity about world x, y, z, then base origin "
        "velocity along them), then one per joint coordinate, each 3 values, so J_c = "
        "result.reshape(n + 6, 3).T." VORMEK_BASE_FRAME VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* momentum =
        "momentum($self, base, q, qd)\n--\n\n"
        "The centroidal momentum as a Twist, world axes: angular, the angular momentum about the "
        "centre of mass (kg m^2/s); linear, the linear momentum m·ċ (kg m/s)." VORMEK_BASE_MOTION
            VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* centroidal_momentum_matrix =
        "centroidal_momentum_matrix($self, base, q, out=None)\n--\n\n"
        "The 6 x (n + 6) centroidal momentum matrix A, world axes: [angular; linear] momentum about "
        "the centre of mass = A·[ω; ṗ; qd]. Flat column by column like jacobian(), base columns first, "
        "angular rows first, so A = result.reshape(n + 6, 6).T. It is the mass matrix's six base rows "
        "with their torque moved from the base origin p to c: A = [[1, -[c - p]x], [0, 1]]·M[:6]; its "
        "linear rows are m·J_c." VORMEK_BASE_FRAME VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* kinetic_energy =
        "kinetic_energy($self, base, q, qd)\n--\n\n"
        "The kinetic energy 1/2·uᵀ·M·u in joules, a float, with u = [ω; ṗ; qd] and the base's "
        "velocity (ω, ṗ)." VORMEK_BASE_MOTION VORMEK_CENTROIDAL_ERRORS;
    static constexpr const char* potential_energy =
        "potential_energy($self, base, q)\n--\n\n"
        "The gravitational potential energy -m·g·c in joules, a float: zero with the centre of mass at "
        "the world origin, g the gravity of the dynamics (9.80665 m/s² along world -z)." VORMEK_BASE_FRAME
            VORMEK_CENTROIDAL_ERRORS;
};

#undef VORMEK_CENTROIDAL_ERRORS
#undef VORMEK_BASE_FRAME
#undef VORMEK_BASE_MOTION

}  // namespace vormek::py
