#include "ui/repair_dialogs.h"

#include <functional>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/when_modal.h"

namespace moraven {
namespace {

using test::whenModal;

enum class Which { Frequence, Codec };

QList<QRadioButton*> entriesOf(QWidget& dialog) {
    const char* name = dialog.objectName() == QStringLiteral("FrequenceForm") ? "rgFreq" : "rgCodec";
    auto* group = dialog.findChild<QGroupBox*>(QString::fromLatin1(name));
    return group ? group->findChildren<QRadioButton*>() : QList<QRadioButton*>{};
}

int checkedEntry(QWidget& dialog) {
    const auto entries = entriesOf(dialog);
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i]->isChecked()) return i;
    }
    return -1;
}

QLineEdit& editOf(QWidget& dialog) { return *dialog.findChild<QLineEdit*>(QStringLiteral("le")); }

// Selects an entry as a click does and checks what that does to the edit box.
void select(QWidget& dialog, int entry) {
    const auto entries = entriesOf(dialog);
    entries.at(entry)->click();
    const bool ownValue = entry == entries.size() - 1;
    EXPECT_EQ(editOf(dialog).isEnabled(), ownValue) << "entry " << entry;
    if (ownValue) {
        EXPECT_EQ(QApplication::focusWidget(), &editOf(dialog));
    }
}

void type(QWidget& dialog, const char* text) {
    editOf(dialog).clear();
    QTest::keyClicks(&editOf(dialog), QString::fromLatin1(text));
}

void press(QWidget& dialog, const char* button) {
    dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

void escape(QWidget& dialog) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &dialog, Qt::Key_Escape);
}

struct DialogCase {
    const char* name;
    Which which;
    ChoiceDialogState initial;
    std::function<void(QWidget&)> act;  // ends by closing the dialog
    bool answer;
    ChoiceDialogState expected;
};

TEST(RepairDialogs, OpenOnTheirStateAndCopyItBackOnlyOnOk) {
    const DialogCase cases[] = {
        {"choosing the own value enables the box; OK copies back",
         Which::Frequence,
         {0, "", false},
         [](QWidget& d) {
             select(d, 2);
             type(d, "23,976");
             press(d, "OKBtn");
         },
         true,
         {2, "23,976", true}},
        {"another entry disables the own value box",
         Which::Codec,
         {3, "abcd", true},
         [](QWidget& d) {
             select(d, 1);
             press(d, "OKBtn");
         },
         true,
         {1, "abcd", false}},
        {"Esc after changes leaves the state",
         Which::Frequence,
         {1, "24", false},
         [](QWidget& d) {
             select(d, 2);
             type(d, "30");
             escape(d);
         },
         false,
         {1, "24", false}},
        {"Cancel after changes leaves the state",
         Which::Codec,
         {0, "", false},
         [](QWidget& d) {
             select(d, 3);
             type(d, "ab");
             press(d, "CancelBtn");
         },
         false,
         {0, "", false}},
        {"closing the window counts as Cancel",
         Which::Codec,
         {2, "x", false},
         [](QWidget& d) { d.close(); },
         false,
         {2, "x", false}},
        // The previous frame-rate use left an entry checked; a state without a choice opens with none.
        {"no entry before the first choice",
         Which::Frequence,
         {-1, "", false},
         [](QWidget& d) { press(d, "OKBtn"); },
         true,
         {-1, "", false}},
    };

    RepairDialogs dialogs(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        whenModal<QDialog>([&c](QDialog& dialog) {
            EXPECT_EQ(checkedEntry(dialog), c.initial.selected);
            EXPECT_EQ(editOf(dialog).text().toStdString(), c.initial.text);
            EXPECT_EQ(editOf(dialog).isEnabled(), c.initial.editEnabled);
            // The focus goes into the box when the dialog becomes active and the box is enabled.
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            EXPECT_EQ(QApplication::focusWidget() == &editOf(dialog), c.initial.editEnabled);
            c.act(dialog);
        });
        ChoiceDialogState state = c.initial;
        const bool answer =
            c.which == Which::Frequence ? dialogs.runFrequenceDialog(state) : dialogs.runCodecDialog(state);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(state.selected, c.expected.selected);
        EXPECT_EQ(state.text, c.expected.text);
        EXPECT_EQ(state.editEnabled, c.expected.editEnabled);
    }
}

}  // namespace
}  // namespace moraven
