#pragma once

#include <functional>
#include <string>

#include "window/interaction.h"

class QWidget;

namespace moraven {

// The program's name as the title of its message boxes.
inline constexpr const char* kMessageBoxTitle = "Moraven";

// The questions, message boxes and progress of the core, shown by the window: warning boxes with Yes/No
// or Yes/No/Cancel/All, message boxes with OK, the status bar's text, the busy cursor, and the progress
// gauge of the information panel. Window thread only.
class WidgetInteraction final : public Interaction {
public:
    struct Hooks {
        std::function<void(const std::string&)> setStatusText;
        std::function<void()> showProgress;
        std::function<void(int)> setProgress;
        std::function<void()> hideProgress;
    };

    WidgetInteraction(QWidget* parent, Hooks hooks) : m_parent(parent), m_hooks(std::move(hooks)) {}
    ~WidgetInteraction() override;

    bool askYesNo(const std::string& text) override;
    Answer askYesNoCancelAll(const std::string& text) override;
    void showMessage(const std::string& text, MessageKind kind) override;
    void setStatusText(const std::string& text) override;
    void setBusyCursor(bool busy) override;
    void showProgress() override;
    void setProgress(int percent) override;
    void hideProgress() override;
    void processPendingEvents() override;

    // Called after each round of pending events (the window refreshes what a long loop changed).
    std::function<void()> afterPendingEvents;

private:
    QWidget* m_parent;
    Hooks m_hooks;
    bool m_busy = false;
};

}  // namespace moraven
