#pragma once
// The URDF subset the model consumes, as plain records in document order. Everything else in
// the file (visual, collision, transmission, gazebo, ...) is skipped without being validated.

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../error.hpp"

namespace vormek::urdf {

using Triple = std::array<double, 3>;

struct Origin {
    Triple xyz{0, 0, 0};
    Triple rpy{0, 0, 0};
};

struct Inertial {
    Origin origin;
    double mass = 0;
    double ixx = 0, ixy = 0, ixz = 0, iyy = 0, iyz = 0, izz = 0;
};

struct Link {
    std::string name;
    std::optional<Inertial> inertial;
};

enum class JointType { Revolute, Continuous, Prismatic, Fixed, Floating, Planar, Spherical };
const char* joint_type_word(JointType type);

struct Limit {
    double lower = 0, upper = 0, effort = 0, velocity = 0;
};

struct Joint {
    std::string name;
    JointType type = JointType::Fixed;
    Origin origin;
    std::string parent;
    std::string child;
    Triple axis{1, 0, 0};
    Limit limit;
};

struct Robot {
    std::string name;
    std::vector<Link> links;
    std::vector<Joint> joints;
};

// Far above the largest real URDF, and low enough that an endless stream (/dev/zero) is refused
// long before memory runs out.
inline constexpr std::size_t max_file_bytes = std::size_t{1} << 30;

// The whole file as text: a NUL in the path, an OS error, more than `max_bytes` bytes and invalid
// UTF-8 are Error::Urdf. Pipes and character devices are read to their end like regular files.
Result<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes = max_file_bytes);

// Parses the text; any syntax or structure problem is Error::Urdf whose description names
// the element, the attribute and the line where it can.
Result<Robot> parse(std::string_view text);

// Decimal-to-double as strtod does it: accepts inf/nan words and a leading sign; magnitudes out
// of range become infinities (or zero). Nothing may follow the number.
std::optional<double> parse_number(std::string_view text);

}  // namespace vormek::urdf
