#pragma once

#include <string>

namespace moraven {

// The state of a small choice dialog (a radio group whose last entry enables an edit box), kept between its
// uses for the whole run: the next use opens with the previous choice and text.
struct ChoiceDialogState {
    int selected = -1;  // entry of the radio group; none before the first use
    std::string text;   // the edit box
    bool editEnabled = false;
};

}  // namespace moraven
