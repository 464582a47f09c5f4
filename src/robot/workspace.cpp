#include "workspace.hpp"

namespace vormek {

Workspace::Workspace(std::size_t J, std::size_t n)
    : frames(J, Pose::identity()),
      angular_velocity(J, Vector3d::Zero()),
      angular_acceleration(J, Vector3d::Zero()),
      origin_acceleration(J, Vector3d::Zero()),
      link_acceleration(J, Vector3d::Zero()),
      loads(J, Vector6d::Zero()),
      composite_mass(J, 0.0),
      composite_first_moment(J, Vector3d::Zero()),
      composite_inertia(J, Matrix3d::Zero()),
      v(J, Vector6d::Zero()),
      c(J, Vector6d::Zero()),
      a(J, Vector6d::Zero()),
      IA(J, Matrix6d::Zero()),
      pA(J, Vector6d::Zero()),
      U(J, Vector6d::Zero()),
      D(J, 0.0),
      u(J, 0.0),
      jdot_linear_velocity(J, Vector3d::Zero()),
      jacobian(6 * n, 0.0),
      jacobian_derivative(6 * n, 0.0),
      ik_q(n, 0.0),
      ik_step(n, 0.0),
      ancestor_path(J, 0),
      transforms(J),
      ik_best(n, 0.0),
      ik_lower(n, 0.0),
      ik_upper(n, 0.0),
      ik_bound(n, 0) {}

}  // namespace vormek
