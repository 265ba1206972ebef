// Binding a module's shared state to a plain function, so that the function can be handed
// to a class builder as a method: with_context(ctx, &f) is a callable taking f's arguments
// after the first, which receives *ctx.
#pragma once

#include <memory>
#include <utility>

namespace pyglue {

template <typename Context, typename Result, typename... Args>
auto with_context(std::shared_ptr<const Context> context,
                  Result (*function)(const Context &, Args...)) {
    return [context = std::move(context), function](Args... args) -> Result {
        return function(*context, std::forward<Args>(args)...);
    };
}

} // namespace pyglue
