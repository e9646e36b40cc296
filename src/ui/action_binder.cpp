#include "ui/action_binder.h"

#include <QAction>
#include <QWidget>

#include "ui/action_icons.h"
#include "ui/ui_text.h"

namespace moraven {

namespace {

// A caption as a menu shows it: "&" is the mnemonic marker in Qt.
QString menuText(const std::string& caption) { return uiText(caption).replace('&', "&&"); }

// Actions that show a check mark: the two panels.
bool isCheckable(std::string_view name) { return name == "afOptions" || name == "afApropos"; }

}  // namespace

QKeySequence shortcutFromText(std::string_view text) {
    QString keys = uiText(text).trimmed();
    if (keys.isEmpty()) return {};
    // Keys of the numeric keypad: "Num +" is the keypad's plus.
    if (keys.startsWith("Num ", Qt::CaseInsensitive)) keys = "Num+" + keys.mid(4).trimmed();
    keys.replace("PgDn", "PgDown", Qt::CaseInsensitive);
    keys.replace("Enter", "Return", Qt::CaseInsensitive);
    return QKeySequence::fromString(keys, QKeySequence::PortableText);
}

ActionBinder::ActionBinder(ActionList& al, QWidget* owner, std::function<void(const std::string&)> onTrigger)
    : QObject(owner), m_al(al), m_owner(owner), m_onTrigger(std::move(onTrigger)) {
    sync();
}

void ActionBinder::create(const Action& action) {
    auto* qaction = new QAction(m_owner);
    qaction->setObjectName(uiText(action.name));
    qaction->setCheckable(isCheckable(action.name));
    qaction->setShortcutContext(Qt::WindowShortcut);
    qaction->setIcon(actionIcon(action.name));
    const std::string name = action.name;
    connect(qaction, &QAction::triggered, this, [this, name, qaction] {
        if (Action* target = m_al.find(name)) target->checked = qaction->isChecked();
        if (m_onTrigger) m_onTrigger(name);
    });
    m_owner->addAction(qaction);
    m_actions.emplace(action.name, qaction);
}

void ActionBinder::sync() {
    for (const Action& action : m_al.actions()) {
        auto found = m_actions.find(action.name);
        if (found == m_actions.end()) {
            create(action);
            found = m_actions.find(action.name);
        }
        QAction* qaction = found->second;
        const QString text = menuText(action.caption);
        if (qaction->text() != text) qaction->setText(text);
        QList<QKeySequence> shortcuts;
        if (const QKeySequence first = shortcutFromText(action.shortcut); !first.isEmpty())
            shortcuts << first;
        for (const std::string& secondary : action.secondaryShortcuts) {
            if (const QKeySequence key = shortcutFromText(secondary); !key.isEmpty()) shortcuts << key;
        }
        if (qaction->shortcuts() != shortcuts) qaction->setShortcuts(shortcuts);
        const QString hint = uiText(action.hint);
        if (qaction->toolTip() != hint && !hint.isEmpty()) qaction->setToolTip(hint);
        if (qaction->isVisible() != action.visible) qaction->setVisible(action.visible);
        if (qaction->isEnabled() != action.enabled) qaction->setEnabled(action.enabled);
        if (qaction->isCheckable() && qaction->isChecked() != action.checked)
            qaction->setChecked(action.checked);
    }
}

QAction* ActionBinder::action(std::string_view name) const {
    const auto found = m_actions.find(name);
    return found == m_actions.end() ? nullptr : found->second;
}

}  // namespace moraven
