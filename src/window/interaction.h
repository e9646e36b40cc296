#pragma once

#include <string>

namespace moraven {

// The answers of the several-files question.
enum class Answer { Yes, No, Cancel, All };

enum class MessageKind { Information, Warning, Error };

// Everything the core shows or asks while it works: questions, message boxes, the status text, the busy
// cursor, the progress gauge, and the processing of pending events in long loops. The window implements it
// with dialogs and widgets; hidden mode implements it without any display. Called on the window's thread
// only.
class Interaction {
public:
    virtual ~Interaction() = default;

    // A warning with the buttons Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // A warning with the buttons Yes, No, Cancel and All.
    virtual Answer askYesNoCancelAll(const std::string& text) = 0;
    // A message box with the button OK. An Error reports a failure.
    virtual void showMessage(const std::string& text, MessageKind kind) = 0;

    // Panel 0 of the status bar.
    virtual void setStatusText(const std::string& text) = 0;
    // The hourglass cursor while bulk work runs.
    virtual void setBusyCursor(bool busy) = 0;
    // The progress gauge: shown at 0 in place of the position bar, set to a percentage, hidden again.
    virtual void showProgress() = 0;
    virtual void setProgress(int percent) = 0;
    virtual void hideProgress() = 0;

    // Lets the user's input (Esc, Shift+Esc) and repainting act during a long loop.
    virtual void processPendingEvents() = 0;
};

}  // namespace moraven
