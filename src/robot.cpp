#include "robot.hpp"

namespace vormek {

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

Result<FloatingRobot> FloatingRobot::make(std::shared_ptr<const Model> model) {
    if (model->links.empty()) panic("validated robot tree has one root link");
    const Link& root = model->links[0];
    if (!(root.inertial.mass > 0))
        return fail(errors::InvalidModel{"floating-base root link " + root.name + " must have positive mass"});
    return FloatingRobot(std::move(model));
}

Result<FloatingRobot> FloatingRobot::from_urdf(const std::filesystem::path& path) {
    VORMEK_TRY(model, load_model(path));
    return make(std::move(model));
}

}  // namespace vormek
