#pragma once
// Description files (*.dsc): how the settings blocks of one or more projector types are
// laid out, and which parameters they hold. One reader and one writer; the reader refuses
// a file whose counts do not fit in it instead of reading past its end.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/SystemError.h"
#include "projector/Projector.h"

namespace ombrix {

constexpr int kMaxDescriptionTypes = 15;
constexpr size_t kLabelSize = 20;
constexpr size_t kGroupNameSize = 30;
constexpr size_t kKindNameSize = 25;
constexpr size_t kSpareTextSize = 30;
constexpr size_t kParamNameSize = 20;

constexpr size_t kSpecialGroupRecordSize = 38;
constexpr size_t kKindRecordSize = 42;
constexpr size_t kSpareRecordSize = 34;
constexpr size_t kParameterRecordSize = 57;
// Fewer records than these are followed by filler records up to the number.
constexpr int kGroupRecordsAtLeast = 3;
constexpr int kKindSparesAtLeast = 2;
constexpr int kParameterSparesAtLeast = 5;

constexpr const char* kDefaultDescriptionName = "default.dsc";

struct DescriptionSpare {
    int32_t spareValue = 0;
    std::array<uint8_t, kSpareTextSize> spareText{};
};

struct SpecialGroup {
    int32_t groupBlocks = 0;
    std::array<uint8_t, kGroupNameSize> groupName{};
    std::array<uint8_t, 4> groupHeader{};  // wire order of the type's header variant
};

struct DescriptionKind {
    uint8_t kindNumber = 0;
    std::array<uint8_t, kKindNameSize> kindName{};
    uint16_t kindWord = 0;
    uint16_t optionWord = 0;
    int32_t specialKind = 0;
    std::array<uint8_t, 4> kindBytes{};
    int32_t kindLong = 0;
    std::vector<DescriptionSpare> spares;
};

struct DescriptionParameter {
    int32_t paramNumber = 0;
    int32_t placeInBlock = 0;
    int32_t min = 0;
    int32_t max = 0;
    int32_t step = 0;
    uint8_t da1 = 0;
    uint8_t da2 = 0;
    uint8_t kind = 0;
    std::array<uint8_t, 7> paramBytes{};
    uint8_t colorDependency = 0;
    uint8_t directionDependency = 0;
    uint8_t directAccessAllowed = 0;
    int32_t optionsNeeded = 0;
    std::array<uint8_t, kParamNameSize> paramName{};
    std::vector<DescriptionSpare> spares;
};

struct Description {
    int32_t typeCount = 0;
    int32_t codeWord = 0;
    std::array<uint8_t, kMaxDescriptionTypes> typeCodes{};
    std::array<char, kMaxDescriptionTypes> alphaIds{};
    std::array<uint8_t, kLabelSize> label{};
    int32_t blockLength = 0;
    int32_t paramCount = 0;
    int32_t blockCount = 0;
    int32_t kindCount = 0;
    int32_t specialGroupCount = 0;
    int32_t kindSpareCount = 0;
    int32_t paramSpareCount = 0;
    float fhBase = 0;
    float fvBase = 0;
    int32_t headerVariant = 0;

    std::vector<SpecialGroup> groups;
    std::vector<DescriptionKind> kinds;
    std::vector<DescriptionParameter> parameters;

    // One of its type pairs has this code (as a number) and this letter.
    bool Serves(int typeCode, char alphaId) const;
};

// The bytes a description does not hold: the filler records and whatever follows the
// last record. Only the text converter keeps them, so that a file converted to text and
// back comes out byte for byte as it was.
struct DescriptionPadding {
    std::vector<uint8_t> groupFillers;                 // max(0, 3 - groups) records
    std::vector<std::vector<uint8_t>> kindFillers;     // per kind: max(0, 2 - spares) records
    std::vector<std::vector<uint8_t>> paramFillers;    // per parameter: max(0, 5 - spares) records
    std::vector<uint8_t> trailing;
};

size_t GroupFillerSize(int32_t groupCount);
size_t KindFillerSize(int32_t kindSpareCount);
size_t ParamFillerSize(int32_t paramSpareCount);

// A fixed-length text field up to its first zero, or all of it when it has none.
std::string FieldText(const uint8_t* field, size_t size);
template <size_t N>
std::string FieldText(const std::array<uint8_t, N>& field) {
    return FieldText(field.data(), N);
}
// Text into a field, cut to its width, the rest zero.
template <size_t N>
void SetFieldText(std::array<uint8_t, N>* field, const std::string& text) {
    field->fill(0);
    for (size_t i = 0; i < N && i < text.size(); ++i) (*field)[i] = static_cast<uint8_t>(text[i]);
}

// False, with the reason, for a file that lies: a type count outside 0-15, a negative
// count, or records that would run past its end. padding may be null.
bool ParseDescription(const uint8_t* data, size_t size, Description* out, DescriptionPadding* padding,
                      std::string* why);
// The counts must agree with the tables (and padding, when given, with the counts);
// without padding the fillers are zero and nothing trails.
bool SerializeDescription(const Description& d, const DescriptionPadding* padding, std::vector<uint8_t>* out,
                          std::string* why);

bool ReadDescriptionFile(const std::string& path, Description* out, DescriptionPadding* padding, std::string* why);

// The "*.dsc" files of a folder in the order they are tried: by name, so two files that
// serve the same projector always resolve the same way.
std::vector<std::string> DescriptionFiles(const std::string& directory);

// typeCode -1 reads default.dsc of the folder; any other value takes the first file (by
// name) that serves the pair and can be read whole. Error 46 when there is no "*.dsc"
// file or none serves; a missing default.dsc shows nothing (the caller warns). When the
// folder has nothing that serves, the folders of env.descriptionFolders are tried in
// turn, the same way — but not past a folder holding a "*.dsc" that cannot be read or
// lies (a folder, a FIFO, cut short): that may be the one meant, so error 46 names it
// and why instead of taking another folder's copy without a word.
// The caller owns the result and keeps it as its projector description or releases it.
bool LoadDescription(const Env& env, const std::string& directory, int typeCode, char alphaId, Description* out);
void ReleaseDescription(Description* description);

// The special blocks of a projector: blockTypes and blockTotal from the special-block
// groups, the three specialBlocks flags from the kinds and the two extra option bits.
void ApplySpecialBlocks(const Description& d, uint8_t extraBlock1, uint8_t extraBlock2, ProjectorRecord* record);

}  // namespace ombrix
