#pragma once
// The command-line tool's Ui: boxes go to standard error as "CAPTION: TEXT"; questions
// are answered from the terminal when asked to, else with the default; the search's
// progress and the check's "Projector with address ..." lines can be echoed to
// standard output. Worker threads call it too, so every write holds the lock.
#include <atomic>
#include <iostream>
#include <mutex>
#include <string>

#include "platform/Ui.h"

namespace ombrix::cli {

class StreamUi final : public Ui {
public:
    StreamUi(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void ShowBox(const std::string& caption, const std::string& text, BoxIcon) override {
        std::lock_guard<std::mutex> lock(mutex_);
        err_ << caption << ": " << text << '\n';
        err_.flush();
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        // Answered beforehand on the command line: nothing to ask.
        if (assumeYes && !askTerminal) return true;
        ShowBox(caption, text, BoxIcon::Question);
        bool yes = assumeYes;
        if (askTerminal) {
            std::lock_guard<std::mutex> lock(mutex_);
            err_ << "[y/N] ";
            err_.flush();
            std::string answer;
            if (std::getline(std::cin, answer) && !answer.empty()) yes = answer[0] == 'y' || answer[0] == 'Y';
        }
        return yes;
    }
    void ProgressLine(int line, const std::string& text) override {
        if (line == 2 && echoProgress) Print(text);
    }
    bool ProgressCancelled() override { return cancel && cancel->load(); }
    void TipLine(int line, const std::string& text) override {
        if (line == 2 && echoCheck && text.rfind("Projector with address ", 0) == 0) Print(text);
    }
    void Print(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        Line(out_, text);
    }

    bool assumeYes = false;
    bool askTerminal = false;
    bool echoProgress = false;
    bool echoCheck = false;
    const std::atomic<bool>* cancel = nullptr;

private:
    static void Line(std::ostream& o, const std::string& text) {
        o << text << '\n';
        o.flush();
    }

    std::ostream& out_;
    std::ostream& err_;
    std::mutex mutex_;
};

}  // namespace ombrix::cli
