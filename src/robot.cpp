#include "robot.hpp"

namespace vormek {

Result<void> Gravity::set(const Vector3d& g) {
    if (!g.allFinite()) return not_finite("gravity");
    g_ = g;
    // 0 − g rather than −g: a zero component stays +0, so the default reproduces the kernels'
    // former constant bit for bit
    lift_ = Vector3d::Zero() - g;
    return {};
}

Robot::Robot(std::shared_ptr<const Model> model)
    : workspace_(model->joint_count(), model->dof_count()), model_(std::move(model)) {}

Result<Robot> Robot::from_urdf(const std::filesystem::path& path) {
    VORMEK_TRY(model, load_model(path));
    return Robot(std::move(model));
}

Result<void> Robot::set_base_frame(const Pose& frame) {
    if (!frame.all_finite()) return fail(errors::InvalidBaseState{"frame", reason_finite});
    base_frame_ = frame;
    return {};
}

FloatingRobot::FloatingRobot(std::shared_ptr<const Model> model)
    : workspace_(model->joint_count(), model->dof_count()), model_(std::move(model)) {}

Result<FloatingRobot> FloatingRobot::make(std::shared_ptr<const Model> model, RootMass root_mass) {
    if (model->links.empty() || model->body_inertials.empty()) panic("validated robot tree has one root link");
    const Link& root = model->links[0];
    const double mass = root_mass == RootMass::Body ? model->body_inertials[0].mass : root.inertial.mass;
    if (!(mass > 0))
        return fail(errors::InvalidModel{"floating-base root link " + root.name + " must have positive mass"});
    return FloatingRobot(std::move(model));
}

Result<FloatingRobot> FloatingRobot::from_urdf(const std::filesystem::path& path, RootMass root_mass) {
    VORMEK_TRY(model, load_model(path));
    return make(std::move(model), root_mass);
}

}  // namespace vormek
