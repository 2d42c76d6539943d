// The editor's rules without a window: the search step, Replace all, the file commands
// with their save question, and how the lines of a text fall on printed pages.
#include <gtest/gtest.h>

#include <filesystem>

#include "editor/EditorFile.h"
#include "editor/PrintLayout.h"
#include "editor/TextSearch.h"
#include "platform/RecordingUi.h"
#include "../support/TempDir.h"

namespace ombrix {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::u16string U(const char* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(static_cast<unsigned char>(*s));
    return out;
}

TEST(SearchStep, Cases) {
    struct Case {
        const char* label;
        const char* text;
        const char* find;
        int selStart, selEnd;
        SearchFlags flags;
        int expected;
    };
    const SearchFlags down{true, false, false};
    const SearchFlags up{false, false, false};
    const SearchFlags word{true, false, true};
    const SearchFlags exact{true, true, false};
    const Case cases[] = {
        {"from the caret", "one two one", "one", 1, 1, down, 8},
        {"a selected match is stepped over", "one two one", "one", 0, 3, down, 8},
        {"a selected match in other case is stepped over", "One two one", "one", 0, 3, down, 8},
        {"a selection that is no match is searched from its start", "one two one", "one", 0, 2, down, 0},
        {"the last match has no successor", "one two one", "one", 8, 11, down, -1},
        {"upwards from the caret", "one two one", "one", 7, 7, up, 0},
        {"upwards past a selected match", "one two one", "one", 8, 11, up, 0},
        {"case is ignored by default", "abc ABC", "ABC", 0, 0, down, 0},
        {"match case skips other case", "abc ABC", "ABC", 0, 0, exact, 4},
        {"whole word not inside a longer word", "others other", "other", 0, 0, word, 7},
        {"whole word before a comma", "another other, x", "other", 0, 0, word, 8},
        {"whole word before a full stop", "another other.", "other", 0, 0, word, 8},
        {"whole word at the end of the text", "another other", "other", 0, 0, word, 8},
        {"whole word at the start of a line", "x\nother", "other", 0, 0, word, 2},
        {"whole word before a line end", "other\r\nx", "other", 0, 0, word, 0},
        {"whole word after a tab", "a\tother", "other", 0, 0, word, 2},
        {"whole word fails after a letter", "xother", "other", 0, 0, word, -1},
        {"find string longer than the text", "ab", "abc", 0, 0, down, -1},
        {"empty find string", "abc", "", 0, 0, down, -1},
        {"selection beyond the text", "abc", "c", 9, 12, up, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SearchStep(U(c.text), U(c.find), c.selStart, c.selEnd, c.flags), c.expected) << c.label;
    }
}

TEST(ReplaceAll, Cases) {
    struct Case {
        const char* label;
        const char* text;
        const char* find;
        const char* replacement;
        bool wholeWord;
        const char* expected;
        int count;
    };
    const Case cases[] = {
        {"every occurrence", "a b a b a", "a", "x", false, "x b x b x", 3},
        {"a replacement containing the find string ends", "ab ab", "ab", "abab", false, "abab abab", 2},
        {"a replacement equal to the find string ends", "aaa", "a", "A", false, "AAA", 3},
        {"an empty replacement removes", "a-a-a", "-", "", false, "aaa", 2},
        {"only whole words", "cat catalog cat.", "cat", "dog", true, "dog catalog dog.", 2},
        {"nothing to replace", "abc", "x", "y", false, "abc", 0},
    };
    for (const Case& c : cases) {
        std::u16string text = U(c.text);
        EXPECT_EQ(ReplaceAll(&text, U(c.find), U(c.replacement), {true, false, c.wholeWord}), c.count) << c.label;
        EXPECT_EQ(text, U(c.expected)) << c.label;
    }
}

struct FakePane final : EditPane {
    std::string text;
    bool modified = false;
    std::string FileBytes() const override { return text; }
    void SetFileBytes(const std::string& bytes) override { text = bytes; }
    void ClearText() override { text.clear(); }
    bool Modified() const override { return modified; }
    void SetModified(bool m) override { modified = m; }
};

class EditorFiles : public ::testing::Test {
protected:
    EditorFiles() { env_.ui = &ui_; }
    // The save dialog answers with `answer`, or is cancelled when it is empty.
    PickPath Picker(const std::string& answer) {
        return [this, answer](std::string* path) {
            ++pickerCalls_;
            *path = answer;
            return !answer.empty();
        };
    }
    TempDir dir_;
    RecordingUi ui_;
    Env env_;
    EditorDocument doc_;
    FakePane pane_;
    int pickerCalls_ = 0;
};

TEST_F(EditorFiles, ReadSetsTitleAndNameAndClearsModified) {
    testing::WriteBytes("in.txt", {'h', 'i'});
    pane_.modified = true;
    ASSERT_TRUE(ReadTextFile(env_, doc_, pane_, dir_.Path() + "/in.txt"));
    EXPECT_EQ(pane_.text, "hi");
    EXPECT_FALSE(pane_.modified);
    EXPECT_TRUE(doc_.filenameSet);
    EXPECT_EQ(doc_.title, dir_.Path() + "/in.txt");
    EXPECT_EQ(doc_.lastDirectory, dir_.Path());

    EXPECT_FALSE(ReadTextFile(env_, doc_, pane_, dir_.Path() + "/missing.txt"));
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].text, "Error reading " + dir_.Path() + "/missing.txt.");
    EXPECT_EQ(pane_.text, "hi");
}

TEST_F(EditorFiles, SaveWithoutNameAsksForOneThenWritesOnlyChanges) {
    pane_.text = "abc";
    pane_.modified = true;
    doc_.title = kNewTextTitle;
    ASSERT_TRUE(SaveText(env_, doc_, pane_, Picker("out.txt")));
    EXPECT_EQ(pickerCalls_, 1);
    EXPECT_TRUE(doc_.filenameSet);
    EXPECT_EQ(doc_.title, "out.txt");
    EXPECT_FALSE(pane_.modified);
    EXPECT_EQ(ReadBytes("out.txt"), (std::vector<uint8_t>{'a', 'b', 'c'}));

    pane_.text = "changed but flag clear";
    ASSERT_TRUE(SaveText(env_, doc_, pane_, Picker("other.txt")));
    EXPECT_EQ(pickerCalls_, 1);
    EXPECT_EQ(ReadBytes("out.txt").size(), 3u);
}

TEST_F(EditorFiles, FailedWriteKeepsModifiedFlagAndPreviousTitle) {
    pane_.text = "abc";
    pane_.modified = true;
    doc_.title = kNewTextTitle;
    EXPECT_FALSE(SaveTextAs(env_, doc_, pane_, Picker("no-such-dir/out.txt")));
    EXPECT_TRUE(pane_.modified);
    EXPECT_EQ(doc_.title, kNewTextTitle);
    EXPECT_FALSE(doc_.filenameSet);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].caption, "OBX");
    EXPECT_EQ(ui_.Boxes()[0].text, "Cannot write to no-such-dir/out.txt.");
    EXPECT_EQ(ui_.Boxes()[0].icon, BoxIcon::Exclamation);
}

TEST_F(EditorFiles, SaveQuestionAnswers) {
    struct Case {
        const char* label;
        bool modified;
        int answer;        // -1: not asked
        std::string pick;  // the save dialog's answer
        int expected;
        bool written;
        bool stillModified;
    };
    const Case cases[] = {
        {"unmodified text is not asked about", false, -1, "", 1, false, false},
        {"Yes saves", true, kAnswerYes, "q.txt", 1, true, false},
        {"No drops", true, kAnswerNo, "", 1, false, true},
        {"Cancel keeps", true, kAnswerCancel, "", 0, false, true},
        {"Yes with the save dialog cancelled keeps", true, kAnswerYes, "", 0, false, true},
        {"Yes with a failed write keeps", true, kAnswerYes, "no-such-dir/q.txt", 0, false, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("q.txt");
        RecordingUi ui;
        env_.ui = &ui;
        EditorDocument doc;
        doc.title = kNewTextTitle;
        FakePane pane;
        pane.text = "text";
        pane.modified = c.modified;
        if (c.answer >= 0) ui.QueueChoice(c.answer);
        EXPECT_EQ(QuerySaveChanges(env_, doc, pane, Picker(c.pick)), c.expected) << c.label;
        const auto boxes = ui.Boxes();
        if (c.answer >= 0) {
            ASSERT_FALSE(boxes.empty()) << c.label;
            EXPECT_EQ(boxes[0].caption, "OBX") << c.label;
            EXPECT_EQ(boxes[0].text, "Save current changes? new.txt") << c.label;
        } else {
            EXPECT_TRUE(boxes.empty()) << c.label;
        }
        EXPECT_EQ(std::filesystem::exists("q.txt"), c.written) << c.label;
        EXPECT_EQ(pane.modified, c.stillModified) << c.label;
    }
}

TEST_F(EditorFiles, CloseAndNewStartAfreshOnlyWhenAllowed) {
    testing::WriteBytes("keep.txt", {'o', 'l', 'd'});
    ASSERT_TRUE(ReadTextFile(env_, doc_, pane_, "keep.txt"));
    pane_.text = "edited";
    pane_.modified = true;

    ui_.QueueChoice(kAnswerCancel);
    EXPECT_FALSE(CloseText(env_, doc_, pane_, Picker("")));
    EXPECT_EQ(pane_.text, "edited");
    EXPECT_EQ(doc_.title, "keep.txt");

    ui_.QueueChoice(kAnswerNo);
    EXPECT_TRUE(CloseText(env_, doc_, pane_, Picker("")));
    EXPECT_EQ(pane_.text, "");
    EXPECT_EQ(doc_.title, "   ");
    EXPECT_FALSE(doc_.filenameSet) << "a Save after Close must not write a file named by blanks";

    ASSERT_TRUE(NewText(env_, doc_, pane_, Picker("")));
    EXPECT_EQ(doc_.title, "new.txt");
    pane_.text = "fresh";
    pane_.modified = true;
    EXPECT_FALSE(SaveText(env_, doc_, pane_, Picker(""))) << "a new text is saved only under a chosen name";
    EXPECT_EQ(ReadBytes("keep.txt"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists("new.txt"));
}

TEST(EditorMenu, States) {
    EditorFacts none;
    EXPECT_FALSE(EditorCommandEnabled(1001, none));
    EXPECT_FALSE(EditorCommandEnabled(1002, none));
    EXPECT_FALSE(EditorCommandEnabled(1005, none));
    EditorFacts f;
    f.hasPane = true;
    struct Case {
        int id;
        bool EditorFacts::*fact;
        bool enabledWhenTrue;
    };
    const Case cases[] = {
        {1104, &EditorFacts::clipboardHasText, true}, {1101, &EditorFacts::canUndo, true},
        {1102, &EditorFacts::hasSelection, true},     {1103, &EditorFacts::hasSelection, true},
        {1105, &EditorFacts::hasSelection, true},     {1003, &EditorFacts::modified, true},
        {1004, &EditorFacts::textEmpty, false},       {1006, &EditorFacts::textEmpty, false},
        {1201, &EditorFacts::textEmpty, false},       {1204, &EditorFacts::textEmpty, false},
        {1202, &EditorFacts::searchStringExists, true}, {1203, &EditorFacts::searchStringExists, true},
    };
    for (const Case& c : cases) {
        EditorFacts on = f, off = f;
        on.*c.fact = true;
        off.*c.fact = false;
        EXPECT_EQ(EditorCommandEnabled(c.id, on), c.enabledWhenTrue) << c.id;
        EXPECT_EQ(EditorCommandEnabled(c.id, off), !c.enabledWhenTrue) << c.id;
    }
    EXPECT_TRUE(EditorCommandEnabled(1001, f));
}

// Pages as "page:first-last" (lines inclusive).
std::vector<std::string> Pages(const PrintRequest& r) {
    std::vector<std::string> out;
    for (const PrintedPage& p : PrintPages(r)) {
        out.push_back(std::to_string(p.page) + ":" +
                      (p.lines.empty() ? std::string("-")
                                       : std::to_string(p.lines.front()) + "-" + std::to_string(p.lines.back())));
    }
    return out;
}

TEST(PrintLayout, Pagination) {
    using V = std::vector<std::string>;
    struct Case {
        const char* label;
        PrintRequest request;
        V expected;
    };
    auto all = [](int lines, int perPage) {
        PrintRequest r;
        r.lineCount = lines;
        r.linesPerPage = perPage;
        return r;
    };
    auto pages = [&](int lines, int perPage, int from, int to) {
        PrintRequest r = all(lines, perPage);
        r.range = PrintRange::Pages;
        r.fromPage = from;
        r.toPage = to;
        return r;
    };
    auto selection = [&](int lines, int perPage, int first, int last) {
        PrintRequest r = all(lines, perPage);
        r.range = PrintRange::Selection;
        r.firstLine = first;
        r.lastLine = last;
        return r;
    };
    auto copies = [](PrintRequest r, int n, bool collate) {
        r.copies = n;
        r.collate = collate;
        return r;
    };
    const Case cases[] = {
        {"all lines, the last page short", all(25, 10), V{"0:0-9", "1:10-19", "2:20-24"}},
        {"all lines filling pages exactly prints no blank page", all(20, 10), V{"0:0-9", "1:10-19"}},
        {"a page range", pages(45, 10, 2, 3), V{"1:10-19", "2:20-29"}},
        {"a page range past the text", pages(15, 10, 2, 5), V{"1:10-14"}},
        {"a page range beyond the text prints nothing", pages(15, 10, 3, 4), V{}},
        {"a selection from mid page 2 starts at the top", selection(40, 10, 14, 27), V{"1:14-23", "2:24-27"}},
        {"a one-line selection", selection(40, 10, 5, 5), V{"0:5-5"}},
        {"collated copies repeat the range", copies(all(15, 10), 2, true), V{"0:0-9", "1:10-14", "0:0-9", "1:10-14"}},
        {"uncollated copies repeat each page", copies(all(15, 10), 2, false),
         V{"0:0-9", "0:0-9", "1:10-14", "1:10-14"}},
        {"an empty text prints nothing", all(0, 10), V{}},
    };
    for (const Case& c : cases) EXPECT_EQ(Pages(c.request), c.expected) << c.label;
}

TEST(PrintLayout, LinesPerPageAndLineText) {
    EXPECT_EQ(LinesPerPage(1000, 20), 49);
    EXPECT_EQ(LinesPerPage(10, 20), 1);
    EXPECT_EQ(LinesPerPage(1000, 0), 1);
    EXPECT_EQ(PrintedLineText(std::u16string(200, u'x')).size(), 127u);
    EXPECT_EQ(PrintedLineText(U("short")), U("short"));
}

}  // namespace
}  // namespace ombrix
