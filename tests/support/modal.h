// Answering modal boxes and dialogs in tests.
//
// ScopedModalAnswers installs a set of answers for one test and puts the previous ones back.
// ModalScript is the usual way: it records every request and answers each kind from a queue
// the test fills beforehand. A request that finds its queue empty fails the test and is
// answered with Cancel, so an unexpected question never passes unnoticed. Error boxes (the
// default error box, the help viewer's message) only have OK: they are recorded and answered
// without taking an answer from the queue.
#pragma once

#include "dialogs.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

class ScopedModalAnswers {
public:
    explicit ScopedModalAnswers(tk::ModalAnswers answers) : previous_(tk::CurrentModalAnswers())
    {
        tk::SetModalAnswers(std::move(answers));
    }
    ~ScopedModalAnswers() { tk::SetModalAnswers(previous_); }
    ScopedModalAnswers(const ScopedModalAnswers&) = delete;
    ScopedModalAnswers& operator=(const ScopedModalAnswers&) = delete;

private:
    tk::ModalAnswers previous_;
};

struct ModalScript {
    using FontAnswer = std::function<bool(TFont&)>;

    // Answers, taken from the front. messageAnswers: mrOk/mrCancel for warnings,
    // mrYes/mrNo for information boxes; inputAnswers and fileAnswers: the typed text, or
    // nullopt for Cancel; printAnswers: the PDF file, or nullopt for Cancel.
    std::deque<int> messageAnswers;
    std::deque<std::optional<AnsiString>> inputAnswers;
    std::deque<std::optional<AnsiString>> fileAnswers;
    std::deque<FontAnswer> fontAnswers;
    std::deque<std::optional<std::string>> printAnswers;

    // Every request, in the order it came.
    std::vector<tk::MessageBoxRequest> messages;
    std::vector<tk::InputBoxRequest> inputs;
    std::vector<tk::FileDialogRequest> fileDialogs;
    int fontDialogs = 0;
    int printDialogs = 0;

    ModalScript() : scope_(Answers()) {}

    // The message boxes of one kind that were shown.
    std::vector<tk::MessageBoxRequest> MessagesOf(tk::MessageBoxRequest::Kind kind) const
    {
        std::vector<tk::MessageBoxRequest> found;
        for (const auto& m : messages)
            if (m.kind == kind)
                found.push_back(m);
        return found;
    }

private:
    template <class Queue, class Value>
    static Value Take(Queue& queue, Value whenEmpty, const char* what)
    {
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected " << what << " (no answer queued)";
            return whenEmpty;
        }
        Value value = std::move(queue.front());
        queue.pop_front();
        return value;
    }

    tk::ModalAnswers Answers()
    {
        tk::ModalAnswers answers;
        answers.messageBox = [this](const tk::MessageBoxRequest& request) {
            messages.push_back(request);
            switch (request.kind) {
            case tk::MessageBoxRequest::Kind::Error:
                return mrOk;
            case tk::MessageBoxRequest::Kind::Information:
                return Take(messageAnswers, mrNo, "information box");
            default:
                return Take(messageAnswers, mrCancel, "warning box");
            }
        };
        answers.inputBox = [this](const tk::InputBoxRequest& request) {
            inputs.push_back(request);
            return Take(inputAnswers, std::optional<AnsiString>(), "input box");
        };
        answers.fileDialog = [this](const tk::FileDialogRequest& request) {
            fileDialogs.push_back(request);
            return Take(fileAnswers, std::optional<AnsiString>(), "file dialog");
        };
        answers.fontDialog = [this](TFont& font) {
            ++fontDialogs;
            const FontAnswer answer = Take(fontAnswers, FontAnswer(), "font dialog");
            return answer ? answer(font) : false;
        };
        answers.printDialog = [this]() {
            ++printDialogs;
            return Take(printAnswers, std::optional<std::string>(), "print dialog");
        };
        return answers;
    }

    ScopedModalAnswers scope_;
};
