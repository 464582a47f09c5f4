#include "model.hpp"

namespace vormek {

std::atomic<std::uint64_t> NEXT_MODEL_ID{1};

LinkInertial LinkInertial::from_com(double mass, const Vector3d& com, const Matrix3d& inertia_com) {
    LinkInertial in;
    in.mass = mass;
    in.com = com;
    in.inertia_com = inertia_com;
    in.first_moment = mass * com;
    // parallel-axis theorem: move the rotational inertia from the centre of mass to the origin
    in.inertia_origin = inertia_com + mass * (com.squaredNorm() * Matrix3d::Identity() - com * com.transpose());
    const double spread[10] = {inertia_com(0, 0), inertia_com(0, 1), inertia_com(0, 2), inertia_com(1, 1),
                               inertia_com(1, 2), inertia_com(2, 2), com[0], com[1], com[2], mass};
    for (int i = 0; i < 10; ++i) in.lanes[i] = Lanes{} + spread[i];
    return in;
}

Result<LinkId> Model::link(std::size_t index) const {
    if (index >= links.size()) return fail(errors::InvalidLinkId{});
    return LinkId{id, index};
}

Result<LinkId> Model::link_by_name(std::string_view wanted) const {
    for (std::size_t i = 0; i < links.size(); ++i)
        if (links[i].name == wanted) return LinkId{id, i};
    return fail(errors::UnknownLink{std::string(wanted)});
}

Result<std::size_t> Model::check_link(LinkId link) const {
    if (link.model_id != id || link.index >= links.size()) return fail(errors::InvalidLinkId{});
    return link.index;
}

std::size_t Model::prepare_ancestor_path(std::size_t link, std::span<std::size_t> path) const {
    std::size_t m = 0;
    while (link != 0) {
        if (m >= path.size() || link > joint_parents.size())
            panic("ancestor path of link " + std::to_string(link) + " does not fit the model tables");
        const std::size_t joint = link - 1;
        path[m++] = joint;
        link = joint_parents[joint];
    }
    return m;
}

}  // namespace vormek
