#pragma once
// Block headers and parameters as the lists show them: the five header field texts, the
// six column texts of a block row, and the parameter listing as a table model that a
// view (or the text converter) shows as it is.
#include <array>
#include <string>
#include <vector>

#include "blocks/BlockModel.h"
#include "blocks/ListToText.h"
#include "data/Description.h"
#include "platform/Env.h"

namespace ombrix {

// Header field columns.
constexpr int kFieldFh = 1;
constexpr int kFieldFv = 2;
constexpr int kFieldSource = 3;
constexpr int kFieldType = 4;
constexpr int kFieldConfig = 5;

const char* SignalTypeText(int code, bool longHeader);
const char* InstallationText(int code, bool longHeader, bool familyFlag);
const char* KindText(int code);
const char* OptionsNeededText(int32_t code);

// The type's family text begins with "12": its installation is reported mirrored.
bool FamilyFlag(const Env& env, int projectorType);

// One header field as text; column 1-5 as above, any other column gives "".
std::string HeaderFieldText(int column, const BlockHeader& header, float fhBase, float fvBase, int longHeader,
                            bool familyFlag);
std::string FormatHeaderField(const Env& env, int column, const BlockHeader& header, float fhBase, float fvBase,
                              int longHeader, int projectorType);

// Block lists: the headings and the six cells of a row (number, Source, Type, Fh, Fv,
// Config). A RAM title row shows the type's family name and blank cells.
using BlockRowTexts = std::array<std::string, 6>;
BlockRowTexts ProjectorListHeadings();
BlockRowTexts RamListHeadings();
BlockRowTexts ProjectorRowTexts(const Env& env, const ProjectorBlock& block, int row);
BlockRowTexts RamRowTexts(const Env& env, const BlockTables& t, int row);
ListModel RamListModel(const Env& env, const BlockTables& t);

// The parameter listing's optional columns, all off at start.
struct ParameterColumnSwitches {
    bool step = false;
    bool da1 = false;
    bool da2 = false;
    bool kind = false;
    bool color = false;
    bool direction = false;
    bool direct = false;
    bool options = false;
};

enum class CellSort { Number, Text };

// One row per parameter, in file order; the table grows with the description, so a
// description with more than 320 parameters is listed whole.
struct ParameterListing {
    ListModel list;
    std::vector<CellSort> sorts;  // per column
};

// Bar position in percent of a value with its limits; 0 outside 0-127 or for an empty range.
int Barscale(int value, int32_t min, int32_t max);

// The columns alone (headings only: no description); with ramRow also Value and Barscale.
ParameterListing ParameterColumns(bool withRamRow, const ParameterColumnSwitches& switches);
// Columns and one row per parameter of d; the values from ramRow when it is given.
ParameterListing ListParameters(const Description& d, const RAMBlock* ramRow, const ParameterColumnSwitches& switches);
// Loads the description of (typeCode, alphaId) from the folder and lists it. Without a
// description: error 46 from the loader, warning 16, the headings only, and false.
bool FillParameterList(const Env& env, const std::string& directory, int typeCode, char alphaId,
                       const RAMBlock* ramRow, const ParameterColumnSwitches& switches, ParameterListing* out);

// The sort: -1, 0 or 1 for two rows in one column; numbers by their leading decimal
// number, texts with the locale's case-sensitive collation.
int CompareParameterRows(const ParameterListing& listing, int row1, int row2, int column);

}  // namespace ombrix
