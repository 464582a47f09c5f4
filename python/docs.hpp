#pragma once
// The docstrings of the _vormek members that explain themselves at run time, one constant per
// method or property, so that the method tables change only by a pointer. Each callable's text
// opens with its text signature ("name($self, ...)\n--\n\n"), which is what inspect.signature
// reads; the stubs in python/vormek/_vormek.pyi carry the same text (tests/python/test_docs.py).
// The classes, their constructors and the first methods and properties publish only their
// signature; their explanations live in the stubs alone.

namespace vormek::py::doc {

// ---- Pose algebra ----------------------------------------------------------------------------

inline constexpr const char pose_rotation_matrix[] =
    "The 3 x 3 rotation matrix R (a new float64 array) of the normalised quaternion. ValueError for a "
    "non-finite pose or a zero quaternion.";
inline constexpr const char pose_matrix[] =
    "The 4 x 4 homogeneous matrix [[R, t], [0, 0, 0, 1]] (a new float64 array), so that "
    "T @ [p_B, 1] = [p_A, 1]. ValueError for a non-finite pose or a zero quaternion.";
inline constexpr const char pose_from_matrix[] =
    "from_matrix($cls, T)\n--\n\n"
    "The Pose of a 4 x 4 homogeneous matrix T (anything that converts to float64): the inverse of "
    "Pose.matrix, with the rotation as a unit quaternion of either sign.\n\n"
    "ValueError unless T is 4 x 4 and finite, its last row is (0, 0, 0, 1) and its upper-left block R "
    "is a rotation: every entry of R^T R - I within 1e-6 and det R > 0 (a slightly inexact R is "
    "accepted and its quaternion normalised; a scaled, sheared or reflecting one is refused).";
inline constexpr const char pose_inverse[] =
    "inverse($self)\n--\n\n"
    "The inverse transform: for the pose of B in A, the pose of A in B (R^T, -R^T t), with a unit "
    "quaternion. ValueError for a non-finite pose or a zero quaternion.";

}  // namespace vormek::py::doc
