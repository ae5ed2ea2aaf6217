#include "data/TargetPath.h"

namespace tavox {
namespace {

// A path's folder (through its last "/"), and its name's base and extension.
struct PathParts {
    std::string_view folder;
    std::string_view base;
    std::string_view extension;
};

PathParts PartsOf(std::string_view path) noexcept {
    std::size_t dot = std::string_view::npos;
    std::size_t i = path.size();
    while (i > 0 && path[i - 1] != '/') {
        --i;
        if (dot == std::string_view::npos && path[i] == '.') dot = i;
    }
    const std::string_view folder = path.substr(0, i);
    if (dot == std::string_view::npos) return {folder, path.substr(i), {}};
    return {folder, path.substr(i, dot - i), path.substr(dot + 1)};
}

void AppendReplacingStars(std::string& out, std::string_view text, std::string_view with) {
    for (std::size_t star; (star = text.find('*')) != std::string_view::npos; text.remove_prefix(star + 1)) {
        out.append(text.substr(0, star));
        out.append(with);
    }
    out.append(text);
}

}  // namespace

bool FormTargetPath(std::string& path, std::string_view source, std::string_view mask, std::int16_t exposure,
                    std::string_view suffix) {
    path.clear();
    if (exposure > MaxExposureNumber) return false;
    const PathParts from = PartsOf(source);
    const PathParts to = PartsOf(mask);
    path.append(from.folder);
    AppendReplacingStars(path, to.base, from.base);
    path.append(suffix);
    if (exposure > 0) {
        const char digits[] = {'.', static_cast<char>('0' + exposure / 100),
                               static_cast<char>('0' + exposure / 10 % 10), static_cast<char>('0' + exposure % 10)};
        path.append(digits, sizeof digits);
        return true;
    }
    const std::size_t dot = path.size();
    path += '.';
    AppendReplacingStars(path, to.extension, from.extension);
    if (path.size() == dot + 1) path.resize(dot);
    return true;
}

}  // namespace tavox
