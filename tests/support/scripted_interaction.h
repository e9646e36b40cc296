#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/interaction.h"

namespace moraven::test {

// Answers the questions from a script, in order, and records everything it was asked and shown. A question
// beyond the script fails the test's expectations by throwing.
class ScriptedInteraction final : public Interaction {
public:
    void answer(std::initializer_list<Answer> answers) { m_answers.insert(m_answers.end(), answers); }
    std::size_t answersLeft() const { return m_answers.size(); }

    bool askYesNo(const std::string& text) override {
        yesNoQuestions.push_back(text);
        const Answer a = next();
        if (a != Answer::Yes && a != Answer::No) throw std::logic_error("Yes/No question answered otherwise");
        return a == Answer::Yes;
    }
    Answer askYesNoCancelAll(const std::string& text) override {
        severalQuestions.push_back(text);
        return next();
    }
    void showMessage(const std::string& text, MessageKind kind) override { messages.push_back({text, kind}); }
    void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void setBusyCursor(bool busy) override { busyCursor = busy; }
    void showProgress() override {
        progressShown = true;
        ++progressShows;
    }
    void setProgress(int percent) override { progress = percent; }
    void hideProgress() override { progressShown = false; }
    void processPendingEvents() override {
        ++pendingEventRounds;
        if (onPendingEvents) onPendingEvents(pendingEventRounds);
    }

    struct Message {
        std::string text;
        MessageKind kind;
    };
    std::vector<std::string> yesNoQuestions;
    std::vector<std::string> severalQuestions;
    std::vector<Message> messages;
    std::vector<std::string> statusTexts;
    bool busyCursor = false;
    bool progressShown = false;
    int progressShows = 0;
    int progress = 0;
    int pendingEventRounds = 0;
    // Runs at each round of pending events with its number (1 first): where a test presses Esc.
    std::function<void(int)> onPendingEvents;

private:
    Answer next() {
        if (m_answers.empty()) throw std::logic_error("a question beyond the script");
        const Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    std::deque<Answer> m_answers;
};

}  // namespace moraven::test
