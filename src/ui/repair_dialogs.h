#pragma once

#include <QPointer>

#include "ui/choice_dialog.h"
#include "window/choice_dialog_state.h"

class QWidget;

namespace moraven {

// "Fix the framerate": 25, 29.97 or a frame rate of the user's own.
class TFrequenceForm : public ChoiceDialog {
    Q_OBJECT

public:
    explicit TFrequenceForm(QWidget* parent = nullptr);
};

// "Change the video codec": one of three DV codes or a code of the user's own.
class TCodecForm : public ChoiceDialog {
    Q_OBJECT

public:
    explicit TCodecForm(QWidget* parent = nullptr);
};

// The two repair dialogs, created once for the program's run as children of `parent` (the main window) and
// kept until this owner or the parent goes. Each run is modal and answers as ChoiceDialog::run does.
class RepairDialogs {
public:
    explicit RepairDialogs(QWidget* parent);
    ~RepairDialogs();
    RepairDialogs(const RepairDialogs&) = delete;
    RepairDialogs& operator=(const RepairDialogs&) = delete;

    bool runFrequenceDialog(ChoiceDialogState& state);
    bool runCodecDialog(ChoiceDialogState& state);

private:
    // Null once the parent has deleted its children.
    QPointer<TFrequenceForm> m_frequence;
    QPointer<TCodecForm> m_codec;
};

}  // namespace moraven
