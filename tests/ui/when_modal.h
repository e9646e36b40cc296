#pragma once

#include <functional>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace moraven::test {

// Runs `action` on the modal window of type Window once it is open (call it just before the call that
// opens the window; several may wait in turn for windows of different types). The action must close the
// window. Fails the test when no such window opens.
template <class Window>
void whenModal(std::function<void(Window& window)> action, int attemptsLeft = 500) {
    QTimer::singleShot(attemptsLeft == 500 ? 0 : 10, [action = std::move(action), attemptsLeft]() mutable {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (window != nullptr && window->isVisible()) {
            action(*window);
        } else if (attemptsLeft > 0) {
            whenModal<Window>(std::move(action), attemptsLeft - 1);
        } else {
            ADD_FAILURE() << "no modal " << Window::staticMetaObject.className() << " opened";
        }
    });
}

}  // namespace moraven::test
