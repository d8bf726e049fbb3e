#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "ui/UserDialogs.h"

namespace quillon {

// Answers the windows' dialogs from the test and records what they were asked.
class FakeUserDialogs : public IUserDialogs {
  public:
    void ShowMessage(QWidget*, const QString& text) override {
        Messages.push_back(text);
        if (WhileMessageShows) {
            WhileMessageShows(text);
        }
    }

    bool Confirm(QWidget*, const QString& text) override {
        Confirmations.push_back(text);
        if (ConfirmAnswers.empty()) {
            return DefaultConfirmAnswer;
        }
        const bool answer = ConfirmAnswers.front();
        ConfirmAnswers.pop_front();
        return answer;
    }

    QString GetOpenFileName(QWidget*, const FileDialogOptions& options) override {
        OpenRequests.push_back(options);
        return OpenAnswer;
    }

    QString GetSaveFileName(QWidget*, const FileDialogOptions& options) override {
        SaveRequests.push_back(options);
        return SaveAnswer;
    }

    void UseWorkingFolderByDefault() override { WorkingFolderByDefault = true; }

    std::vector<QString> Messages;
    // Runs while a message box would be open, as the events a real one lets through.
    std::function<void(const QString&)> WhileMessageShows;
    std::vector<QString> Confirmations;
    std::deque<bool> ConfirmAnswers;  // used first, then DefaultConfirmAnswer
    bool DefaultConfirmAnswer = true;
    std::vector<FileDialogOptions> OpenRequests;
    std::vector<FileDialogOptions> SaveRequests;
    QString OpenAnswer;  // empty: the user cancels
    QString SaveAnswer;
    bool WorkingFolderByDefault = false;
};

}  // namespace quillon
