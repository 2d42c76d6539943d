// Type tables of kelvaneproj: model number -> type code and letter, and
// (type code, letter) -> model. The exported functions are thin wrappers
// over internal helpers so that nothing inside the library resolves through
// the dynamic symbol table (the main program exports a function with one of
// these names and different behaviour).

#include "kelvaneproj.h"

#include <cstring>

namespace kelvaneproj_detail {
const char *StringText(int number);  // kelvaneproj_strings.cpp
}  // namespace kelvaneproj_detail

namespace {

constexpr int kFirstModel = 2;
constexpr int kLastModel = 50;
constexpr int kUnknownModel = 47;  // result for pairs the model table lacks
constexpr int kTypeCount = 36;

// Type code per model number, models 2..50.
constexpr signed char kModelType[kLastModel - kFirstModel + 1] = {
    5,  2,  4,  0,  0,  3,  11, 11, 2,  1,   // 2-11
    8,  8,  6,  7,  5,  9,  10, 13, 14, 1,   // 12-21
    9,  16, 16, 15, 10, 17, 18, 19, 20, 21,  // 22-31
    21, 22, 23, 23, 25, 25, 25, 24, 24, 26,  // 32-41
    27, 28, 29, 30, 31, 32, 33, 34, 35,      // 42-50
};

// Type letter per model number, models 2..50.
constexpr char kModelLetter[] = "VVVDGDDVGGDGSDDGSGSDDGDVVVDVSSVDDGVDGDGSSDVGVVVVG";
static_assert(sizeof(kModelLetter) - 1 == kLastModel - kFirstModel + 1);

// Model table: per type code up to three (letter, result) pairs. A letter of
// '*' matches any letter; an empty row (code 34) matches nothing.
struct ModelEntry {
    char letter;
    signed char result;
};
struct ModelRow {
    ModelEntry entries[3];
};
constexpr ModelRow kModelTable[kTypeCount] = {
    {{{'G', 4}, {'D', 3}}},              // 0
    {{{'G', 9}, {'D', 19}}},             // 1
    {{{'G', 8}, {'V', 1}}},              // 2
    {{{'D', 5}}},                        // 3
    {{{'V', 2}}},                        // 4
    {{{'V', 0}, {'D', 14}}},             // 5
    {{{'G', 12}}},                       // 6
    {{{'D', 13}}},                       // 7
    {{{'G', 11}, {'D', 10}}},            // 8
    {{{'G', 15}, {'D', 20}}},            // 9
    {{{'V', 24}, {'S', 16}}},            // 10
    {{{'V', 7}, {'D', 6}}},              // 11
    {{{'*', 45}}},                       // 12
    {{{'G', 17}}},                       // 13
    {{{'S', 18}}},                       // 14
    {{{'V', 23}}},                       // 15
    {{{'G', 21}, {'D', 22}}},            // 16
    {{{'V', 25}}},                       // 17
    {{{'D', 26}}},                       // 18
    {{{'V', 27}}},                       // 19
    {{{'S', 28}}},                       // 20
    {{{'V', 30}, {'S', 29}}},            // 21
    {{{'D', 31}}},                       // 22
    {{{'G', 33}, {'D', 32}}},            // 23
    {{{'G', 38}, {'D', 37}}},            // 24
    {{{'G', 36}, {'V', 34}, {'D', 35}}}, // 25
    {{{'S', 39}}},                       // 26
    {{{'S', 40}}},                       // 27
    {{{'D', 41}}},                       // 28
    {{{'V', 42}}},                       // 29
    {{{'G', 43}}},                       // 30
    {{{'V', 44}}},                       // 31
    {{{'*', 45}}},                       // 32
    {{{'*', 46}}},                       // 33
    {{}},                                // 34
    {{{'G', 48}}},                       // 35
};

bool IsModel(int modelNumber) {
    return modelNumber >= kFirstModel && modelNumber <= kLastModel;
}

int TypeOfModel(int modelNumber) {
    return IsModel(modelNumber) ? kModelType[modelNumber - kFirstModel] : -1;
}

int ModelOf(int typeCode, int alphaId) {
    if (typeCode < 0 || typeCode >= kTypeCount) return kUnknownModel;
    for (const ModelEntry &e : kModelTable[typeCode].entries) {
        if (e.letter == 0) break;
        if (e.letter == '*' || e.letter == alphaId) return e.result;
    }
    return kUnknownModel;
}

char LetterOfModel(int modelNumber) {
    if (IsModel(modelNumber)) return kModelLetter[modelNumber - kFirstModel];
    return static_cast<char>(static_cast<unsigned char>(modelNumber & 0xFF));
}

int CopyString(int number, char *buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    const char *text = kelvaneproj_detail::StringText(number);
    if (text == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t n = std::strlen(text);
    if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace

extern "C" {

int Return_Projector_Type(int modelNumber) { return TypeOfModel(modelNumber); }

int Return_Projector_StringID(int typeCode, int alphaId) { return ModelOf(typeCode, alphaId); }

char Return_Projector_Alpha_ID(int modelNumber) { return LetterOfModel(modelNumber); }

int Return_Projector_String(int number, char *buffer, int size) {
    return CopyString(number, buffer, size);
}

}  // extern "C"
