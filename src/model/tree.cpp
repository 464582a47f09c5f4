// load_model: name resolution, the single root, breadth-first layout, link and joint
// conversion, DOF tables.

#include <Eigen/Eigenvalues>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "model.hpp"
#include "urdf.hpp"

namespace vormek {

namespace {

Error invalid(std::string description) { return errors::InvalidModel{std::move(description)}; }

bool all_finite(const urdf::Origin& o) {
    for (const double v : o.xyz) if (!std::isfinite(v)) return false;
    for (const double v : o.rpy) if (!std::isfinite(v)) return false;
    return true;
}

Quaterniond rotation_of(const urdf::Origin& o) { return quaternion_from_rpy(o.rpy[0], o.rpy[1], o.rpy[2]); }

}  // namespace

// Link conversion: checks in order mass, inertial origin, inertia values, semi-definiteness.
Result<Link> robot_link(const urdf::Link& u) {
    const urdf::Inertial in = u.inertial.value_or(urdf::Inertial{});
    if (!std::isfinite(in.mass) || in.mass < 0)
        return fail(invalid("link " + u.name + " mass must be finite and non-negative"));
    if (!all_finite(in.origin))
        return fail(invalid("link " + u.name + " inertial origin must contain only finite values"));
    Matrix3d inertia;
    inertia << in.ixx, in.ixy, in.ixz,
               in.ixy, in.iyy, in.iyz,
               in.ixz, in.iyz, in.izz;
    if (!inertia.allFinite())
        return fail(invalid("link " + u.name + " inertia must contain only finite values"));
    // A singular inertia (a point mass, a rod) is valid, but its zero eigenvalues come out of
    // the solver as ±(a few ulps of the largest one). Only a negative eigenvalue beyond that
    // rounding, relative to the matrix's own scale, makes it indefinite. Near the largest
    // double an eigenvalue can overflow, and the allowance with it, which would let anything
    // pass: a matrix whose spectrum is out of range is refused.
    const Eigen::SelfAdjointEigenSolver<Matrix3d> eig(inertia, Eigen::EigenvaluesOnly);
    const double rounding = 16.0 * std::numeric_limits<double>::epsilon() * eig.eigenvalues().cwiseAbs().maxCoeff();
    if (eig.info() != Eigen::Success || !eig.eigenvalues().allFinite() || (eig.eigenvalues().array() < -rounding).any())
        return fail(invalid("link " + u.name + " inertia must be positive semi-definite"));

    const Matrix3d R = rotation_of(in.origin).toRotationMatrix();
    const Vector3d com(in.origin.xyz[0], in.origin.xyz[1], in.origin.xyz[2]);
    return Link{u.name, LinkInertial::from_com(in.mass, com, R * inertia * R.transpose())};
}

// Joint conversion: type, origin, axis, limits.
Result<Joint> robot_joint(const urdf::Joint& u) {
    JointKinematics k;
    switch (u.type) {
        case urdf::JointType::Revolute:
        case urdf::JointType::Continuous: k.kind = JointKind::Revolute; break;
        case urdf::JointType::Prismatic: k.kind = JointKind::Prismatic; break;
        case urdf::JointType::Fixed: k.kind = JointKind::Fixed; break;
        case urdf::JointType::Floating:
        case urdf::JointType::Planar:
        case urdf::JointType::Spherical:
            return fail(errors::UnsupportedJointType{u.name, urdf::joint_type_word(u.type)});
    }
    // a non-finite origin would load and then turn every result NaN while reporting success
    if (!all_finite(u.origin))
        return fail(invalid("joint " + u.name + " origin must contain only finite values"));
    k.origin_rotation = rotation_of(u.origin);
    k.origin_translation = Vector3d(u.origin.xyz[0], u.origin.xyz[1], u.origin.xyz[2]);

    if (k.kind != JointKind::Fixed) {
        Vector3d a(u.axis[0], u.axis[1], u.axis[2]);
        const double s = a.squaredNorm();
        // an infinite component would divide into a NaN axis
        if (!(s > 1e-24) || !a.allFinite()) return fail(errors::InvalidJointAxis{u.name});
        // components near the overflow limit: scale first so the norm stays finite
        k.axis = std::isfinite(s) ? Vector3d(a / std::sqrt(s)) : Vector3d((a / a.cwiseAbs().maxCoeff()).normalized());
    }

    Joint j{u.name, k, u.limit.lower, u.limit.upper};
    if (u.type == urdf::JointType::Continuous) {
        j.continuous = true;
        j.lower = -std::numeric_limits<double>::infinity();
        j.upper = std::numeric_limits<double>::infinity();
    }
    return j;
}

// The graph stage: names, root, breadth-first walk, connectivity, then the dense tables.
Result<std::shared_ptr<const Model>> assemble(const urdf::Robot& robot) {
    const std::size_t L = robot.links.size(), K = robot.joints.size();

    std::unordered_map<std::string_view, std::size_t> link_table;
    link_table.reserve(L);
    for (std::size_t i = 0; i < L; ++i)
        if (!link_table.emplace(robot.links[i].name, i).second) return fail(invalid("link names must be unique"));

    std::unordered_map<std::string_view, std::size_t> joint_names;
    joint_names.reserve(K);
    std::vector<char> has_parent(L, 0);
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> children(L);  // (child link, joint)
    for (std::size_t j = 0; j < K; ++j) {
        const urdf::Joint& v = robot.joints[j];
        if (!joint_names.emplace(v.name, j).second) return fail(invalid("joint names must be unique"));
        const auto parent = link_table.find(v.parent);
        if (parent == link_table.end()) return fail(invalid("joint " + v.name + " references a missing parent link"));
        const auto child = link_table.find(v.child);
        if (child == link_table.end()) return fail(invalid("joint " + v.name + " references a missing child link"));
        if (has_parent[child->second]) return fail(invalid("link " + v.child + " is reached more than once"));
        has_parent[child->second] = 1;
        children[parent->second].emplace_back(child->second, j);
    }

    std::size_t roots = 0, root = 0;
    for (std::size_t i = 0; i < L; ++i)
        if (!has_parent[i]) { ++roots; root = i; }
    if (roots != 1) return fail(invalid("expected one root link, found " + std::to_string(roots)));

    // breadth-first from the root: queue position = model link index; each child link is
    // converted before the joint that reaches it
    auto model = std::make_shared<Model>();
    model->links.reserve(L);
    model->joints.reserve(K);
    model->joint_parents.reserve(K);
    std::vector<std::size_t> queue;
    queue.reserve(L);
    queue.push_back(root);
    VORMEK_TRY(root_link, robot_link(robot.links[root]));
    model->links.push_back(std::move(root_link));
    for (std::size_t p = 0; p < queue.size(); ++p) {
        for (const auto& [c, j] : children[queue[p]]) {
            queue.push_back(c);
            VORMEK_TRY(link, robot_link(robot.links[c]));
            model->links.push_back(std::move(link));
            VORMEK_TRY(joint, robot_joint(robot.joints[j]));
            model->joints.push_back(std::move(joint));
            model->joint_parents.push_back(p);
        }
    }
    if (model->links.size() < L || model->joints.size() < K)
        return fail(invalid("joint graph is disconnected or cyclic"));

    const std::uint64_t id = NEXT_MODEL_ID.fetch_add(1, std::memory_order_seq_cst);
    if (id == 0) panic("robot model identifier overflow");
    model->id = id;
    model->name = robot.name;

    model->joint_kinematics.reserve(K);
    model->joint_dofs.assign(K, Model::no_dof);
    for (std::size_t j = 0; j < K; ++j) {
        model->joint_kinematics.push_back(model->joints[j].kinematics);
        if (model->joints[j].kinematics.kind != JointKind::Fixed) {
            model->joint_dofs[j] = model->dof_joints.size();
            model->dof_joints.push_back(j);
        }
    }
    model->link_inertials.reserve(L);
    for (const Link& link : model->links) model->link_inertials.push_back(link.inertial);
    model->fold_fixed_joints();
    return std::shared_ptr<const Model>(std::move(model));
}

Result<std::shared_ptr<const Model>> load_model_from_string(std::string_view text) {
    VORMEK_TRY(robot, urdf::parse(text));
    return assemble(robot);
}

Result<std::shared_ptr<const Model>> load_model(const std::filesystem::path& path) {
    VORMEK_TRY(text, urdf::read_file(path));
    return load_model_from_string(text);
}

}  // namespace vormek
