#pragma once

#include <string>

#include "settings/preferences.h"

class QWidget;

namespace moraven {

// The questions and messages of the settings' deletion as message boxes titled "Moraven", modal over
// `parent`. Window thread only.
class SettingsMessageBoxes final : public SettingsDialogs {
public:
    explicit SettingsMessageBoxes(QWidget* parent) : m_parent(parent) {}

    bool askYesNo(const std::string& text) override;
    void warn(const std::string& text) override;
    void inform(const std::string& text) override;

private:
    QWidget* m_parent;
};

}  // namespace moraven
