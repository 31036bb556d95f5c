#pragma once

#include <optional>
#include <utility>

namespace kq::testing {

// Runs f and hands back the exception of type Ex it threw, or nothing if it
// returned. Exceptions of other types pass through and fail the test.
template<typename Ex, typename F>
std::optional<Ex> capture(F&& f)
{
    try {
        std::forward<F>(f)();
    } catch (const Ex& e) {
        return e;
    }
    return std::nullopt;
}

} // namespace kq::testing
