#include "organise/safe_name.h"

#include <array>

#include "base/utf8.h"

namespace {

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isDeviceName(std::string_view component) {
    // Windows takes "NUL.txt" and "nul .zip" for the device as well.
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    std::string upper;
    for (const char c : base) {
        upper.push_back(upperAscii(c));
    }
    static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
    for (const std::string_view device : kPlain) {
        if (upper == device) {
            return true;
        }
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

bool isSafeComponent(std::string_view component) {
    if (component.empty() || component == "." || component == ".." || component.back() == '.' ||
        component.back() == ' ') {
        return false;
    }
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("<>:\"|?*\\").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return !isDeviceName(component);
}

} // namespace

bool isSafeName(std::string_view name, bool folders) {
    if (!isValidUtf8(name)) {
        return false;
    }
    if (!folders) {
        return name.find('/') == std::string_view::npos && isSafeComponent(name);
    }
    for (std::size_t start = 0;;) {
        const std::size_t slash = name.find('/', start);
        if (!isSafeComponent(name.substr(start, slash - start))) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}
