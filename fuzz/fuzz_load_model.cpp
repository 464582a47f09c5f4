// libFuzzer entry: any bytes through the in-memory URDF loader. A model that loads is also
// placed once with every joint at zero, so that the tables the loader built are walked by a
// kernel as well; an internal-invariant break escapes as an exception and counts as a crash.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "robot.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto model = vormek::load_model_from_string(text);
    if (!model) {
        // building the message walks every field of the error
        if (model.error().message().empty()) __builtin_trap();
        return 0;
    }
    vormek::Robot robot(*model);
    const std::vector<double> q(robot.model().dof_count(), 0.0);
    const auto last = robot.model().link(robot.model().link_count() - 1);
    if (!last || !robot.forward_kinematics(q, *last)) __builtin_trap();
    return 0;
}
