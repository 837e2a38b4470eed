// Work that may take a while on a long text (a conversion, prism correction)
// runs on a worker thread while the window goes on painting. Input to the
// window waits meanwhile; once the work has taken longer than a moment, a box
// says what is running and offers 取消. Cancelling drops the result: the
// command ends as if it had not been given, and the worker finishes on its own.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QWidget;

// Runs `work` off the window's thread; false when the user cancelled. `work`
// must touch nothing but what it owns.
bool RunOffWindow(QWidget* parent, const QString& what, std::function<void()> work);

template <class Result>
std::optional<Result> RunOffWindow(QWidget* parent, const QString& what,
                                   std::function<Result()> work) {
    auto result = std::make_shared<std::optional<Result>>();
    if (!RunOffWindow(parent, what, [result, work = std::move(work)] { *result = work(); }))
        return std::nullopt;
    return std::move(*result);
}

// Test hook: when set, it answers the box as soon as the work is running
// (instead of after a moment); true presses 取消. Empty: the real box.
using BusyHook = std::function<bool(const QString& what)>;
void SetBusyHook(BusyHook hook);
