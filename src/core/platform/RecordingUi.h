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
};

class RecordingUi : public Ui {
public:
    void ShowBox(const std::string& caption, const std::string& text, BoxIcon icon) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, icon, false});
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back({caption, text, BoxIcon::Question, true});
        if (answers_.empty()) return false;
        const bool a = answers_.front();
        answers_.pop_front();
        return a;
    }
    void QueueAnswer(bool yes) {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back(yes);
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
    mutable std::mutex mutex_;
    std::vector<RecordedBox> boxes_;
    std::deque<bool> answers_;
};

}  // namespace ombrix
