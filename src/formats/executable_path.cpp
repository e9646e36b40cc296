#include "formats/executable_path.h"

#include <unistd.h>

#include <vector>

namespace moraven {

std::string ownExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        if (buffer.size() >= (std::size_t{1} << 20)) return {};
        buffer.resize(buffer.size() * 2);  // the path was cut: try again with more room
    }
}

std::string ownExecutableFolder() {
    const std::string path = ownExecutablePath();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace moraven
