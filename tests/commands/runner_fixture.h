#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/check_list.h"
#include "commands/command_table.h"
#include "commands/runners.h"
#include "support/fake_list_record.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace moraven::test {

// A list of files in a temporary folder with fake records, the real command table, a probe command whose
// events record what they are called with, and a runner over a scripted interaction.
class RunnerFixture : public ::testing::Test {
protected:
    RunnerFixture() {
        tch.commands().push_back(probeCommand());
        al = ActionList(windowActions());
        tch.appendCommandActions(al);
        Action probe;
        probe.name = "amProbe";
        probe.category = "multi";
        probe.caption = "Probe";
        al.append(probe);
        tch.BuildCommandMenus(al);
        checkList.FillCommandList(al);
        state.listShown = true;
    }

    tFileAction probeCommand() {
        tFileAction command;
        command.Name = "Probe";
        command.Caption = "Probe";
        command.OnFileCondition = [](const TParam&, const ListRecord& f, bool& visible, bool& enabled) {
            visible = enabled = f.fileName().find("skip") == std::string::npos;
        };
        command.OnConfirmation = [](const TParam&, const ListRecord& f, std::string& msg) {
            msg = "Work on " + f.fileName() + "?";
        };
        command.OnExecution = [this](const TParam&, const ListRecord& f, std::string& newfichier,
                                     TchUpdateType& update) {
            worked.push_back(f.fileName());
            if (onExecution)
                onExecution(f, newfichier, update);
            else
                update = TchUpdateType::utNone;
        };
        return command;
    }
    tFileAction& probe() { return *tch.findByName("Probe"); }

    std::string file(const std::string& name) { return dir.write(name, {'R', 'I', 'F', 'F'}); }
    void load(const std::vector<std::string>& names) {
        list.BeginListLoad("Loading files");
        for (const auto& name : names) list.AddFile(file(name));
        list.EndListLoad();
    }
    void select(const std::vector<std::string>& names) {
        list.deselectAll();
        for (const auto& name : names) list.setSelected(list.indexOfPath(dir.file(name)), true);
        list.setItemIndex(list.indexOfPath(dir.file(names.front())));
        list.SelectionRefresh();
    }
    std::vector<std::string> selectedNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < list.rowCount(); ++i) {
            if (list.isSelected(i)) names.push_back(list.caption(i));
        }
        return names;
    }
    std::vector<std::string> captions() const {
        std::vector<std::string> names;
        for (int i = 0; i < list.rowCount(); ++i) names.push_back(list.caption(i));
        return names;
    }

    TempDir dir;
    WindowState state;
    Settings settings;
    DateFormatLocale locale = englishDateFormatLocale();
    CommandContext context{settings, locale};
    ScriptedInteraction ui;
    FakeRecordFactory records;
    FileList list{state, settings, ui, records.factory()};
    Tch tch{context};
    ActionList al;
    CommandCheckList checkList;
    CommandRunner runner{list, state, ui, al, tch, checkList};
    std::vector<std::string> worked;
    std::function<void(const ListRecord&, std::string&, TchUpdateType&)> onExecution;
};

}  // namespace moraven::test
