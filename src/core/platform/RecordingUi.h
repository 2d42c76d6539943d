#pragma once
// A Ui that remembers every box and answers questions from a script; for tests and for
// tools that only log.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Ui.h"

namespace ombrix {

struct RecordedBox {
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::None;
    bool question = false;
    std::string dialog;  // the choice dialog's name; empty for a box
    std::string detail;  // what the system said, for a box that tells why
};

class RecordingUi : public Ui {
public:
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, icon, false, {}, {}});
    }
    void ShowBoxDetail(const std::string& caption, const std::string& text, BoxIcon icon,
                       const std::string& detail) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, icon, false, {}, detail});
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, BoxIcon::Question, true, {}, {}});
        if (answers_.empty()) return false;
        const bool a = answers_.front();
        answers_.pop_front();
        return a;
    }
    int Choose(const std::string& dialog, const std::string& caption, const std::string& text,
               const std::vector<std::pair<int, std::string>>& buttons, int defaultId, int cancelId) override {
        (void)buttons, (void)defaultId;
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, BoxIcon::Question, true, dialog, {}});
        if (choices_.empty()) return cancelId;
        const int id = choices_.front();
        choices_.pop_front();
        return id;
    }
    void ProgressOpen(const std::string& title, const std::string& note, int range) override {
        Event("open " + title + " | " + note + " | " + std::to_string(range));
    }
    void ProgressLine(int line, const std::string& text) override {
        Event("line" + std::to_string(line) + " " + text);
    }
    void ProgressStep() override { Event("step"); }
    bool ProgressCancelled() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++cancelPolls_;
        return cancelAfterPolls_ >= 0 && cancelPolls_ > cancelAfterPolls_;
    }
    void ProgressClose() override { Event("close"); }
    void TipLine(int line, const std::string& text) override { Event("tip" + std::to_string(line) + " " + text); }
    void TipCountdown(int secondsLeft, int stepsDone, int total) override {
        Event("countdown " + std::to_string(secondsLeft) + " " + std::to_string(stepsDone) + "/" +
              std::to_string(total));
    }

    // ProgressCancelled answers true from its (n+1)-th call on: Ctrl+Break after n probes.
    void CancelAfter(int polls) {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelAfterPolls_ = polls;
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    void QueueAnswer(bool yes) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(yes);
    }
    // The next Choose answers with this button id; without one it cancels.
    void QueueChoice(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        choices_.push_back(id);
    }
    std::vector<RecordedBox> Boxes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.clear();
    }

private:
    void Event(const std::string& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(e);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    int cancelPolls_ = 0;
    int cancelAfterPolls_ = -1;
    std::vector<RecordedBox> boxes_;
    std::deque<bool> answers_;
    std::deque<int> choices_;
};

}  // namespace ombrix
