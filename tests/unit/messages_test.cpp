// Numbered boxes with texts from the type library, and the fixed-text boxes.
#include <gtest/gtest.h>

#include "link/Frame.h"
#include "platform/RecordingUi.h"
#include "projector/Messages.h"
#include "projector/Projector.h"

namespace ombrix {
namespace {

class Boxes : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = DlLibraryLoader().Load("kelvaneproj", nullptr);
        ASSERT_NE(library_, nullptr);
        env_.ui = &ui_;
        env_.strings = library_.get();
    }
    RecordedBox Only() {
        const auto boxes = ui_.Boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? RecordedBox{} : boxes[0];
    }
    std::unique_ptr<Library> library_;
    RecordingUi ui_;
    Env env_;
};

struct NumberedCase {
    const char* label;
    bool warning;
    int n;
    const char* caption;
    const char* text;
};

class NumberedBoxes : public Boxes, public ::testing::WithParamInterface<NumberedCase> {};

TEST_P(NumberedBoxes, CaptionTextAndIcon) {
    const NumberedCase& c = GetParam();
    if (c.warning) {
        ShowWarning(env_, c.n);
    } else {
        ShowError(env_, c.n);
    }
    const RecordedBox box = Only();
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.icon, c.warning ? BoxIcon::Exclamation : BoxIcon::Stop);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, NumberedBoxes,
    ::testing::Values(
        NumberedCase{"error_3", false, 3, "Error  3", "Connection failed (in create)"},
        NumberedCase{"error_0", false, 0, "Error  0", "Can't open file user_adr.cfg"},
        NumberedCase{"error_41_quotes", false, 41, "Error  41", "Can't load \"kelvanebmp.dll\""},
        NumberedCase{"error_49_trailing_blank", false, 49, "Error  49", "Unknown alpha id detected "},
        NumberedCase{"error_unused", false, 60, "Error  60", "Can't"},
        NumberedCase{"error_last", false, 100, "Error  100", "Can't"},
        NumberedCase{"warning_38", true, 38, "Warning  38", "Connection already opened"},
        NumberedCase{"warning_9_two_blanks", true, 9, "Warning  9",
                     "Only overwrite contents from a projector with corresponding type  "},
        NumberedCase{"warning_45", true, 45, "Warning  45", "Can't open \"options.cfg\", default options loaded"},
        NumberedCase{"warning_unused", true, 60, "Warning  60", "unknown"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Boxes, LongTextIsCutToTheBuffer) {
    // Warning 14 is longer than the 100-character buffer: 99 characters remain.
    ShowWarning(env_, 14);
    const RecordedBox box = Only();
    EXPECT_EQ(box.text.size(), 99u);
    EXPECT_EQ(box.text.substr(0, 30), "Can't copy the selected blocks");
}

TEST_F(Boxes, NumbersOutsideTheTablesShowNothing) {
    for (int n : {-1, 101, 500}) {
        ShowError(env_, n);
        ShowWarning(env_, n);
    }
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(Boxes, WithoutTheLibraryNothingIsShown) {
    env_.strings = nullptr;
    ShowError(env_, 3);
    ShowWarning(env_, 38);
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(Boxes, FixedTextBoxes) {
    ShowMemoryError(env_);
    ShowFileDialogError(env_, 0);
    ShowFileDialogError(env_, 0x3002);
    ShowFileDialogError(env_, 0xFFFF);
    ShowFileDialogError(env_, 13);
    ReportCommError(env_, 1);
    ReportCommError(env_, 3);
    const auto boxes = ui_.Boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "Memory Allocation Failure ");
    EXPECT_EQ(boxes[0].text, "Unable to allocate memory!");
    EXPECT_EQ(boxes[1].caption, "File error");
    EXPECT_EQ(boxes[1].text, "Invalid filename !");
    EXPECT_EQ(boxes[2].text, "Failed to create the dialog box !");
    EXPECT_EQ(boxes[3].caption, "Error in communication");
    EXPECT_EQ(boxes[3].text, "Projector does send ACK, but doesn't answer the question !");
}

TEST_F(Boxes, ModelAndFamilyNames) {
    // An unknown pair names model string 49.
    EXPECT_EQ(ModelText(env_, 34, 'G'), ModelText(env_, -1, 0));
    EXPECT_FALSE(ModelText(env_, 5, 'V').empty());
    EXPECT_NE(ModelText(env_, 5, 'V'), ModelText(env_, 5, 'D'));
    // The program's own letter export reads the model name's second character.
    for (int model = 2; model <= 50; ++model) {
        const char letter = AlphaIdOfModel(env_, model);
        EXPECT_TRUE(IsKnownAlphaId(letter)) << model;
    }
    EXPECT_EQ(AlphaIdOfModel(env_, 1), '9');  // string 1 is "49"
    EXPECT_EQ(AlphaIdOfModel(env_, 400), 0);
    int twelves = 0;
    for (int code = 0; code <= 35; ++code) twelves += FamilyText(env_, code).rfind("12", 0) == 0;
    EXPECT_GE(twelves, 2);
}

}  // namespace
}  // namespace ombrix
