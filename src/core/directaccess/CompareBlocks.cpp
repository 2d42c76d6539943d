#include "directaccess/CompareBlocks.h"

#include "projector/Messages.h"

namespace ombrix {
namespace {

const DescriptionParameter* FindParameter(const Description& d, int32_t number) {
    for (const DescriptionParameter& p : d.parameters) {
        if (p.paramNumber == number) return &p;
    }
    return nullptr;
}

std::string ByteAt(const BlockBody& body, int32_t place) {
    if (place < 0 || place >= kBlockBodySize) return kNoReferenceValue;
    return std::to_string(body[static_cast<size_t>(place)]);
}

}  // namespace

std::vector<std::string> BlockComparisonHeadings() {
    return {"Adjustment", "Selected Block", "Min", "Max", "Reference Block", "Min", "Max"};
}

bool BlocksComparable(int adjustmentSpecialKind, int referenceSpecialKind) {
    return adjustmentSpecialKind == 0 || adjustmentSpecialKind == referenceSpecialKind;
}

bool FillBlockComparison(ProgramState& s, const SettingsPane& pane, ListModel* list,
                         const std::function<void(int, int)>& progress) {
    list->headings = BlockComparisonHeadings();
    list->rows.clear();
    const BlockSelection& ref = s.blocks.reference;
    if (!BlocksComparable(pane.block.specialKind, ref.specialKind)) {
        ShowError(s.env, 44);
        return false;
    }
    Description refDescription;
    const bool refLoaded =
        ref.row >= 0 && LoadDescription(s.env, s.startDirectory, ref.projectorType, ref.alphaId, &refDescription);
    const int total = static_cast<int>(pane.page.size());
    for (int i = 0; i < total; ++i) {
        const DescriptionParameter& p = pane.page[static_cast<size_t>(i)];
        std::vector<std::string> row = {FieldText(p.paramName),
                                        p.placeInBlock < pane.block.length ? ByteAt(pane.block.display, p.placeInBlock)
                                                                           : kNoReferenceValue,
                                        std::to_string(p.min), std::to_string(p.max)};
        const DescriptionParameter* r = refLoaded ? FindParameter(refDescription, p.paramNumber) : nullptr;
        if (r && r->placeInBlock < refDescription.blockLength) {
            row.push_back(ByteAt(ref.body, r->placeInBlock));
            row.push_back(std::to_string(r->min));
            row.push_back(std::to_string(r->max));
        } else {
            row.insert(row.end(), 3, kNoReferenceValue);
        }
        list->rows.push_back(std::move(row));
        if (progress) progress(i + 1, total);
    }
    if (refLoaded) ReleaseDescription(&refDescription);
    return true;
}

bool ConvertBlockComparison(const Env& env, const ListModel& list, const std::string& path) {
    return ConvertListToText(env, list, 30, "Comparison of two blocks", "Not implemented yet", path);
}

}  // namespace ombrix
