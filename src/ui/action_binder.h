#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <QKeySequence>
#include <QList>
#include <QObject>

#include "window/action_list.h"

class QAction;
class QWidget;

namespace moraven {

// A shortcut as the action list writes it ("Ctrl+D", "Ctrl+PgDn", "Alt+Enter", "Num +") as a Qt key sequence.
QKeySequence shortcutFromText(std::string_view text);

// The Qt actions of the window's action list: one QAction for each Action, owned by `owner` (so its
// shortcuts work anywhere in the window), whose text, shortcuts, hint, visibility, state and check mark
// follow the Action at each sync(). A triggered action calls `onTrigger` with its name.
class ActionBinder : public QObject {
    Q_OBJECT

public:
    ActionBinder(ActionList& al, QWidget* owner, std::function<void(const std::string& name)> onTrigger);

    // Creates the QActions of actions added to the list since the last call, then copies every Action's
    // state into its QAction.
    void sync();

    // The QAction of an action of the list, or none.
    QAction* action(std::string_view name) const;

private:
    void create(const Action& action);

    ActionList& m_al;
    QWidget* m_owner;
    std::function<void(const std::string&)> m_onTrigger;
    std::map<std::string, QAction*, std::less<>> m_actions;
};

}  // namespace moraven
