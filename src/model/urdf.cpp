#include "urdf.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vormek::urdf {

namespace {

Error urdf_error(std::string description) { return errors::Urdf{std::move(description)}; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        // URDF is almost all ASCII: skip it eight bytes at a time
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) { ++p; continue; }
        std::size_t len;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) len = 2;
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; if (c == 0xE0) lo = 0xA0; if (c == 0xED) hi = 0x9F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; if (c == 0xF0) lo = 0x90; if (c == 0xF4) hi = 0x8F; }
        else return false;
        if (static_cast<std::size_t>(end - p) < len) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if ((p[k] & 0xC0) != 0x80) return false;
        p += len;
    }
    return true;
}

// Where a node sits in the text, for error messages: "line L, column C" or nothing when the
// parser kept no offset.
class Locator {
public:
    explicit Locator(std::string_view text) : text_(text) {}

    std::string at_offset(std::ptrdiff_t offset) const {
        if (offset < 0 || static_cast<std::size_t>(offset) > text_.size()) return "";
        std::size_t line = 1, column = 1;
        for (std::ptrdiff_t i = 0; i < offset; ++i) {
            if (text_[i] == '\n') { ++line; column = 1; } else { ++column; }
        }
        return " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
    }

    // "<joint name="j1"> (line 4, column 3)": the element, its name when it has one, its place.
    std::string element(const pugi::xml_node& node) const {
        std::string out = "<";
        out += node.name();
        if (const auto name = node.attribute("name")) {
            out += " name=\"";
            out += name.value();
            out += '"';
        }
        out += '>';
        // offset_debug points just past '<'
        out += at_offset(node.offset_debug() - 1);
        return out;
    }

private:
    std::string_view text_;
};

// Reads the elements and attributes of one document; every failure names where it happened.
class Reader {
public:
    explicit Reader(std::string_view text) : where_(text) {}

    Result<pugi::xml_attribute> required_attribute(const pugi::xml_node& node, const char* name) const {
        const auto attr = node.attribute(name);
        if (!attr) return fail(urdf_error(where_.element(node) + ": missing required attribute \"" + name + "\""));
        return attr;
    }

    // XML forbids a repeated attribute, but pugixml keeps both copies and attribute() would
    // quietly answer with the first. Checked on every element the model reads; ignored
    // content is not validated.
    // Pairwise comparison serves the handful of attributes real elements carry; a wide element
    // (a hostile file) goes through a hash set so that the check stays linear.
    Result<void> distinct_attributes(const pugi::xml_node& node) const {
        constexpr std::size_t pairwise_limit = 16;
        std::size_t count = 0;
        for (auto a = node.first_attribute(); a && count <= pairwise_limit; a = a.next_attribute()) ++count;
        if (count <= pairwise_limit) {
            for (auto a = node.first_attribute(); a; a = a.next_attribute())
                for (auto b = a.next_attribute(); b; b = b.next_attribute())
                    if (std::strcmp(a.name(), b.name()) == 0) return repeated(node, a.name());
            return {};
        }
        std::unordered_set<std::string_view> seen;
        for (auto a = node.first_attribute(); a; a = a.next_attribute())
            if (!seen.insert(a.name()).second) return repeated(node, a.name());
        return {};
    }

    Result<void> repeated(const pugi::xml_node& node, const char* name) const {
        return fail(urdf_error(where_.element(node) + ": repeated attribute \"" + name + "\""));
    }

    // At most one child of this name; missing is an error only when `required`.
    Result<pugi::xml_node> single_child(const pugi::xml_node& node, const char* name, bool required) const {
        pugi::xml_node found;
        for (const auto& child : node.children(name)) {
            if (found)
                return fail(urdf_error(where_.element(child) + ": duplicate <" + name + "> inside " +
                                       where_.element(node)));
            found = child;
        }
        if (!found && required)
            return fail(urdf_error(where_.element(node) + ": missing required element <" + name + ">"));
        if (auto ok = distinct_attributes(found); !ok) return fail(std::move(ok.error()));
        return found;
    }

    Result<double> number(const pugi::xml_node& node, const pugi::xml_attribute& attr) const {
        if (const auto v = parse_number(trim(attr.value()))) return *v;
        return fail(urdf_error(where_.element(node) + ": attribute \"" + attr.name() + "\" value \"" +
                               attr.value() + "\" is not a number"));
    }

    Result<double> required_number(const pugi::xml_node& node, const char* name) const {
        auto attr = required_attribute(node, name);
        if (!attr) return fail(std::move(attr.error()));
        return number(node, *attr);
    }

    Result<double> optional_number(const pugi::xml_node& node, const char* name, double fallback) const {
        const auto attr = node.attribute(name);
        return attr ? number(node, attr) : Result<double>(fallback);
    }

    // Exactly three white-space separated numbers.
    Result<Triple> triple(const pugi::xml_node& node, const char* name, const Triple& fallback) const {
        const auto attr = node.attribute(name);
        if (!attr) return fallback;
        Triple out{};
        std::string_view rest = attr.value();
        std::size_t count = 0;
        for (;;) {
            rest = trim(rest);
            if (rest.empty()) break;
            const std::size_t end = std::min(rest.find_first_of(" \t\r\n"), rest.size());
            const auto v = parse_number(rest.substr(0, end));
            if (!v || count == 3) { count = 4; break; }
            out[count++] = *v;
            rest.remove_prefix(end);
        }
        if (count != 3)
            return fail(urdf_error(where_.element(node) + ": attribute \"" + name + "\" value \"" + attr.value() +
                                   "\" must hold exactly three numbers"));
        return out;
    }

    Result<Origin> origin(const pugi::xml_node& parent) const {
        auto node = single_child(parent, "origin", false);
        if (!node) return fail(std::move(node.error()));
        Origin out;
        if (!*node) return out;
        auto xyz = triple(*node, "xyz", out.xyz);
        if (!xyz) return fail(std::move(xyz.error()));
        auto rpy = triple(*node, "rpy", out.rpy);
        if (!rpy) return fail(std::move(rpy.error()));
        return Origin{*xyz, *rpy};
    }

    Result<std::string> name_of(const pugi::xml_node& node) const {
        auto attr = required_attribute(node, "name");
        if (!attr) return fail(std::move(attr.error()));
        return std::string(attr->value());
    }

    Result<Link> link(const pugi::xml_node& node) const;
    Result<Joint> joint(const pugi::xml_node& node) const;

    const Locator& where() const { return where_; }

private:
    static std::string_view trim(std::string_view s) {
        const auto b = s.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) return {};
        const auto e = s.find_last_not_of(" \t\r\n");
        return s.substr(b, e - b + 1);
    }

    Locator where_;
};


Result<Link> Reader::link(const pugi::xml_node& node) const {
    if (auto ok = distinct_attributes(node); !ok) return fail(std::move(ok.error()));
    VORMEK_TRY(name, name_of(node));
    VORMEK_TRY(inertial_node, single_child(node, "inertial", false));
    Link out{std::move(name), std::nullopt};
    if (!inertial_node) return out;

    Inertial in;
    VORMEK_TRY(origin_value, origin(inertial_node));
    in.origin = origin_value;
    VORMEK_TRY(mass_node, single_child(inertial_node, "mass", true));
    VORMEK_TRY(mass, required_number(mass_node, "value"));
    in.mass = mass;
    VORMEK_TRY(inertia, single_child(inertial_node, "inertia", true));
    double* fields[] = {&in.ixx, &in.ixy, &in.ixz, &in.iyy, &in.iyz, &in.izz};
    const char* names[] = {"ixx", "ixy", "ixz", "iyy", "iyz", "izz"};
    for (int k = 0; k < 6; ++k) {
        VORMEK_TRY(value, required_number(inertia, names[k]));
        *fields[k] = value;
    }
    out.inertial = in;
    return out;
}

Result<JointType> joint_type(const Locator& where, const pugi::xml_node& node, std::string_view word) {
    static constexpr JointType all[] = {JointType::Revolute, JointType::Continuous, JointType::Prismatic,
                                        JointType::Fixed,    JointType::Floating,   JointType::Planar,
                                        JointType::Spherical};
    for (const JointType t : all)
        if (word == joint_type_word(t)) return t;
    return fail(urdf_error(where.element(node) + ": unknown joint type \"" + std::string(word) + "\""));
}

Result<Joint> Reader::joint(const pugi::xml_node& node) const {
    if (auto ok = distinct_attributes(node); !ok) return fail(std::move(ok.error()));
    Joint out;
    VORMEK_TRY(name, name_of(node));
    out.name = std::move(name);
    VORMEK_TRY(type_attr, required_attribute(node, "type"));
    VORMEK_TRY(type, joint_type(where_, node, type_attr.value()));
    out.type = type;
    VORMEK_TRY(origin_value, origin(node));
    out.origin = origin_value;

    VORMEK_TRY(parent, single_child(node, "parent", true));
    VORMEK_TRY(parent_link, required_attribute(parent, "link"));
    out.parent = parent_link.value();
    VORMEK_TRY(child, single_child(node, "child", true));
    VORMEK_TRY(child_link, required_attribute(child, "link"));
    out.child = child_link.value();

    VORMEK_TRY(axis, single_child(node, "axis", false));
    if (axis) {
        VORMEK_TRY(xyz, triple(axis, "xyz", out.axis));
        out.axis = xyz;
    }
    VORMEK_TRY(limit, single_child(node, "limit", false));
    if (limit) {
        VORMEK_TRY(lower, optional_number(limit, "lower", 0.0));
        VORMEK_TRY(upper, optional_number(limit, "upper", 0.0));
        VORMEK_TRY(effort, optional_number(limit, "effort", 0.0));
        VORMEK_TRY(velocity, required_number(limit, "velocity"));
        out.limit = Limit{lower, upper, effort, velocity};
    }
    return out;
}

}  // namespace

const char* joint_type_word(JointType type) {
    switch (type) {
        case JointType::Revolute: return "revolute";
        case JointType::Continuous: return "continuous";
        case JointType::Prismatic: return "prismatic";
        case JointType::Fixed: return "fixed";
        case JointType::Floating: return "floating";
        case JointType::Planar: return "planar";
        case JointType::Spherical: return "spherical";
    }
    return "";
}

std::optional<double> parse_number(std::string_view text) {
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    // from_chars reads its own '-', which must not follow a '+' ("+-1" is not a number)
    if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value untouched here; strtod yields the ±inf or zero we want,
        // read in the C locale whatever the host program set
        static const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
        const std::string copy(text);
        return strtod_l(copy.c_str(), nullptr, c_locale);
    }
    if (ec != std::errc()) return std::nullopt;
    return value;
}

Result<std::string> read_file(const std::filesystem::path& path, std::size_t max_bytes) {
    const auto& native = path.native();
    if (native.find('\0') != std::string::npos)
        return fail(urdf_error("file name contained an unexpected NUL byte"));
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(urdf_error(std::strerror(errno)));
    const auto too_large = [&] {
        ::close(fd);
        return fail(urdf_error("file is larger than " + std::to_string(max_bytes) + " bytes, the most a URDF may hold"));
    };
    std::string text;
    // a regular file announces its size; a stream is only known to be too long once read
    struct stat st{};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        if (static_cast<std::uintmax_t>(st.st_size) > max_bytes) return too_large();
        text.reserve(static_cast<std::size_t>(st.st_size));
    }
    char chunk[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return fail(urdf_error(std::strerror(err)));
        }
        if (static_cast<std::size_t>(got) > max_bytes - text.size()) return too_large();
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!valid_utf8(text)) return fail(urdf_error("stream did not contain valid UTF-8"));
    return text;
}

Result<Robot> parse(std::string_view text) {
    pugi::xml_document doc;
    const auto parsed = doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    const Reader reader(text);
    if (!parsed)
        return fail(urdf_error(std::string("malformed XML") + reader.where().at_offset(parsed.offset) + ": " +
                               parsed.description()));

    pugi::xml_node root;
    for (const auto& node : doc.children()) {
        if (node.type() != pugi::node_element) continue;
        if (root) return fail(urdf_error(reader.where().element(node) + ": more than one root element"));
        root = node;
    }
    if (!root) return fail(urdf_error("no <robot> root element"));
    if (std::string_view(root.name()) != "robot")
        return fail(urdf_error(reader.where().element(root) + ": root element must be <robot>"));

    if (auto ok = reader.distinct_attributes(root); !ok) return fail(std::move(ok.error()));

    Robot robot;
    robot.name = root.attribute("name").value();
    for (const auto& node : root.children()) {
        const std::string_view tag = node.name();
        if (node.type() != pugi::node_element) continue;
        if (tag == "link") {
            VORMEK_TRY(link, reader.link(node));
            robot.links.push_back(std::move(link));
        } else if (tag == "joint") {
            VORMEK_TRY(joint, reader.joint(node));
            robot.joints.push_back(std::move(joint));
        }
    }
    return robot;
}

}  // namespace vormek::urdf
