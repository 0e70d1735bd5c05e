#pragma once
#include <QString>
#include <functional>
#include <type_traits>
#include <utility>

namespace orv {

// The one error path of the program: what a handler throws ends that handler,
// its text goes to the error report (a message box in the program, a sink of
// their own in tests), and the program runs on.
using ErrorSink = std::function<void(const QString&)>;
void setErrorSink(ErrorSink sink);
void reportError(const QString& text);

// Runs an action and reports what it throws.
void reportErrors(const std::function<void()>& action);

namespace detail {
// Calls the handler with the signal's arguments, or with none when it takes none.
template <typename Handler, typename... Args>
void callHandler(const Handler& handler, Args&&... args) {
    if constexpr (std::is_invocable_v<const Handler&, Args...>)
        handler(std::forward<Args>(args)...);
    else
        handler();
}
}  // namespace detail

// Wraps a handler reached through a signal connection, so that no exception
// ever crosses Qt's signal machinery:
//   connect(list, &QListWidget::itemClicked, this, reported([this] { NoScpClick(); }));
// The wrapper takes the signal's arguments and passes on those the handler
// wants. The declared result and the constraint let Qt count the arguments
// without instantiating the body for every count it tries.
template <typename Handler>
auto reported(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) -> void
               requires(std::is_invocable_v<const Handler&, decltype(args)...> ||
                        std::is_invocable_v<const Handler&>) {
        reportErrors([&] { detail::callHandler(handler, std::forward<decltype(args)>(args)...); });
    };
}

}  // namespace orv
