#pragma once

#include <array>
#include <string>

#include "../base.hpp"
#include "../sin_cos.hpp"

namespace vormek {

// Everything in the link frame (not the URDF inertial frame). h and I_o are derived at load
// so that no dynamics kernel recomputes them.
struct LinkInertial {
    double mass = 0.0;
    Vector3d com = Vector3d::Zero();                  // c
    Matrix3d inertia_com = Matrix3d::Zero();          // I_c, about c
    Vector3d first_moment = Vector3d::Zero();         // h = m·c
    Matrix3d inertia_origin = Matrix3d::Zero();       // I_o = I_c + m·(|c|²E − c·cᵀ)
    // I_c's upper triangle (00, 01, 02, 11, 12, 22), c and m, each in both lanes of a pair, for
    // kernels that carry two rows of a pose side by side and multiply by these from memory
    std::array<Lanes, 10> lanes{};

    static LinkInertial from_com(double mass, const Vector3d& com, const Matrix3d& inertia_com);
};

struct Link {
    std::string name;
    LinkInertial inertial;
};

}  // namespace vormek
