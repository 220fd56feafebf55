#pragma once
// Reading a whole file as UTF-8 text, with the operating system's own error description.

#include <string>
#include <variant>

namespace rillway::formats {

struct ReadError {
    std::string description;  // e.g. "No such file or directory (os error 2)"
};

// The file's bytes when they are valid UTF-8, else the reason it could not be read.
[[nodiscard]] std::variant<std::string, ReadError> read_utf8_file(const std::string& path);

}  // namespace rillway::formats
