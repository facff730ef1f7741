#pragma once
// Stand-ins for the message box and the file dialog, so that the windows run
// headless: every message is recorded, every dialog is answered from a script.

#include "CommonDialog.h"
#include "MessageBox.h"

#include <deque>
#include <functional>
#include <vector>

namespace platform {

struct RecordedMessage {
    QString prompt;
    int flags;
    QString title;
    QWidget* owner; // the window it appeared over; null for the main window
};

class RecordingMessageBox : public MessageBox {
public:
    void showOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override
    {
        messages.push_back({prompt, flags, title, owner});
        if (onShow)
            onShow(messages.back());
    }
    bool askOver(QWidget* owner, const QString& prompt, int flags, const QString& title) override
    {
        showOver(owner, prompt, flags, title);
        if (answers.empty()) {
            ++unexpected;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    // Every message and question, in order.
    std::vector<RecordedMessage> messages;
    // Runs while the "modal" box is up, as a user's action would.
    std::function<void(const RecordedMessage&)> onShow;
    // Answers to the next questions (true for Yes); a question with none left is answered No.
    std::deque<bool> answers;
    int unexpected = 0;
};

class ScriptedCommonDialog : public CommonDialog {
public:
    struct Shown {
        bool save;
        bool cancelError;
        QString initDir;
        QString filter;
        QString fileName;
        Purpose purpose;
        QString defaultExt;
        QString firstDir;
    };

    // Next answers, in order: a path, or nullopt for a cancel.
    std::deque<std::optional<QString>> answers;
    std::vector<Shown> shown;
    // Dialogs shown with no scripted answer left (answered with a cancel).
    int unexpected = 0;

protected:
    std::optional<QString> ask(Mode mode) override
    {
        shown.push_back({mode == Mode::Save, CancelError, InitDir, Filter, FileName, purpose, DefaultExt, FirstDir});
        if (answers.empty()) {
            ++unexpected;
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace platform
