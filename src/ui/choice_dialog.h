#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "window/choice_dialog_state.h"

class QButtonGroup;
class QEvent;
class QLineEdit;

namespace moraven {

// The texts of a choice dialog. The intro and the hints may hold CR LF, shown as a line break.
struct ChoiceDialogTexts {
    QString title;
    QString intro;        // above the choices
    QString choicesName;  // object name of the radio group
    QString choicesHint;
    QStringList entries;  // the last entry stands for "type your own value"
    QString editLabel;
    QString editHint;
    QString editSuffix;  // right of the edit box
    QString okHint;
    QString cancelHint;
};

// A small modal dialog: a radio group whose last entry enables an edit box, OK and Cancel. It shows a
// ChoiceDialogState and, on OK, writes the choice back; which entry is preselected, what the text means and
// whether it is valid are decided by the caller. Window thread only.
class ChoiceDialog : public QDialog {
    Q_OBJECT

public:
    // Opens the dialog modally on `state` (checked entry, edit text, whether the edit box is enabled). On OK
    // the entry (-1 when none is checked), the text and the edit box's state are copied into `state` and the
    // answer is true; Cancel, Esc or closing the window answer false and leave `state` as it was.
    bool run(ChoiceDialogState& state);

protected:
    ChoiceDialog(const ChoiceDialogTexts& texts, QWidget* parent);
    void changeEvent(QEvent* event) override;

private:
    void load(const ChoiceDialogState& state);
    void entrySelected(int entry);
    bool isOwnValueEntry(int entry) const;

    QButtonGroup* m_choices = nullptr;
    QLineEdit* m_edit = nullptr;
};

}  // namespace moraven
