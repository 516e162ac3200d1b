#pragma once

// Failures inside the engine are values: an operation that can fail returns Result<T>.

#include <expected>
#include <string>

namespace tabvoro::capture {

struct Error {
    std::string message;
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> failure(std::string message)
{
    return std::unexpected(Error{std::move(message)});
}

}  // namespace tabvoro::capture
