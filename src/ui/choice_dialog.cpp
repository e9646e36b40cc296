#include "ui/choice_dialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace moraven {

namespace {

// Texts are written with CR LF between their lines; labels and tool tips break lines at LF.
QString withLineBreaks(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

}  // namespace

ChoiceDialog::ChoiceDialog(const ChoiceDialogTexts& texts, QWidget* parent) : QDialog(parent) {
    setWindowTitle(texts.title);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(new QLabel(withLineBreaks(texts.intro), this));

    auto* group = new QGroupBox(this);
    group->setObjectName(texts.choicesName);
    group->setToolTip(withLineBreaks(texts.choicesHint));
    auto* groupLayout = new QVBoxLayout(group);
    m_choices = new QButtonGroup(this);
    for (int entry = 0; entry < texts.entries.size(); ++entry) {
        auto* button = new QRadioButton(texts.entries[entry], group);
        groupLayout->addWidget(button);
        m_choices->addButton(button, entry);
    }
    layout->addWidget(group);
    connect(m_choices, &QButtonGroup::idToggled, this, [this](int entry, bool checked) {
        if (checked) entrySelected(entry);
    });

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("le"));
    m_edit->setToolTip(withLineBreaks(texts.editHint));
    auto* editLabel = new QLabel(texts.editLabel, this);
    editLabel->setBuddy(m_edit);
    layout->addWidget(editLabel);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(m_edit);
    editRow->addWidget(new QLabel(texts.editSuffix, this));
    editRow->addStretch();
    layout->addLayout(editRow);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setToolTip(withLineBreaks(texts.okHint));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // QDialog already rejects on Esc, which therefore presses Cancel.
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    cancel->setToolTip(withLineBreaks(texts.cancelHint));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(ok);
    buttonRow->addWidget(cancel);
    layout->addLayout(buttonRow);
}

bool ChoiceDialog::run(ChoiceDialogState& state) {
    load(state);
    if (exec() != QDialog::Accepted) return false;
    state.selected = m_choices->checkedId();
    state.text = m_edit->text().toStdString();
    state.editEnabled = m_edit->isEnabled();
    return true;
}

void ChoiceDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_edit->isEnabled())
        m_edit->setFocus();
}

void ChoiceDialog::load(const ChoiceDialogState& state) {
    // The state says whether the edit box is enabled; checking its entry here must not decide it.
    const QSignalBlocker blocker(m_choices);
    if (QAbstractButton* button = m_choices->button(state.selected)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = m_choices->checkedButton()) {
        // An exclusive group cannot uncheck its last checked button.
        m_choices->setExclusive(false);
        checked->setChecked(false);
        m_choices->setExclusive(true);
    }
    m_edit->setText(QString::fromStdString(state.text));
    m_edit->setEnabled(state.editEnabled);
}

void ChoiceDialog::entrySelected(int entry) {
    m_edit->setEnabled(isOwnValueEntry(entry));
    if (isVisible() && m_edit->isEnabled()) m_edit->setFocus();
}

bool ChoiceDialog::isOwnValueEntry(int entry) const { return entry == m_choices->buttons().size() - 1; }

}  // namespace moraven
