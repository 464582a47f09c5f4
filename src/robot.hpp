#pragma once
// Robot handles: a shared, immutable Model paired with the workspace every computation writes.
// A handle is used by one thread at a time.

#include <filesystem>
#include <memory>
#include <span>

#include "model/model.hpp"
#include "robot/workspace.hpp"

namespace vormek {

// Fixed base: the root link sits in the world at a stored base frame.
class Robot {
public:
    explicit Robot(std::shared_ptr<const Model> model);
    static Result<Robot> from_urdf(const std::filesystem::path& path);

    const Model& model() const { return *model_; }
    const Pose& base_frame() const { return base_frame_; }
    Workspace& workspace() { return workspace_; }

    // Stores the pose as given (callers normalise the quaternion); a non-finite number keeps
    // the old frame and reports the base state error.
    Result<void> set_base_frame(const Pose& frame);

    Result<Pose> forward_kinematics(std::span<const double> q, LinkId target);

private:
    Workspace workspace_;
    std::shared_ptr<const Model> model_;
    Pose base_frame_;
};

// Free-floating root: every call takes the base pose, velocity and acceleration.
class FloatingRobot {
public:
    // The root link must have positive mass, or the base dynamics would be singular.
    static Result<FloatingRobot> make(std::shared_ptr<const Model> model);
    static Result<FloatingRobot> from_urdf(const std::filesystem::path& path);

    const Model& model() const { return *model_; }
    Workspace& workspace() { return workspace_; }

    Result<Pose> forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target);

private:
    explicit FloatingRobot(std::shared_ptr<const Model> model);
    Workspace workspace_;
    std::shared_ptr<const Model> model_;
};

}  // namespace vormek
