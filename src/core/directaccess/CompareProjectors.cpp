#include "directaccess/CompareProjectors.h"

#include <algorithm>
#include <array>

#include "data/Description.h"
#include "link/Frame.h"
#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr int kErrorFillCompare = 12;

// The active block of one target, zero-filled to the image size; false when the
// description is missing or the location cannot be read.
bool ReadImage(ProgramState& state, const TargetEntry& t, std::array<uint8_t, kCompareImageSize>* image) {
    image->fill(0);
    Description d;
    if (!LoadDescription(state.env, DescriptionDirectoryOf(state), t.projectorType, t.alphaId, &d)) return false;
    const size_t length = static_cast<size_t>(std::clamp<int32_t>(d.blockLength, 0, static_cast<int32_t>(kCompareImageSize)));
    ReleaseDescription(&d);
    uint8_t where[4] = {0, 0, 0, 0};
    const int r = ReadLocation(state.link, t.address, where);
    ReportCommError(state.env, state.link, r);
    if (r != 3) return false;
    // A projector gone into standby since the list was made answers its location but not
    // its block: its values are unknown, not zero.
    return length == 0 ||
           ReadBlockData(state.link, t.address, image->data(), where[0], where[1], where[2], where[3], length) == 3;
}

}  // namespace

std::vector<std::string> ComparisonHeadings(const std::vector<TargetEntry>& targets) {
    std::vector<std::string> h{"Adjustment"};
    for (const TargetEntry& t : targets) {
        h.push_back("Projector [" + std::to_string(t.address) + "]");
        h.push_back("Min");
        h.push_back("Max");
    }
    return h;
}

bool FillProjectorComparison(ProgramState& state, int page, ListModel* list, const ProgressHooks& hooks) {
    const std::vector<TargetEntry> targets = state.direct.targets;
    list->headings = ComparisonHeadings(targets);
    list->rows.clear();
    std::vector<std::array<uint8_t, kCompareImageSize>> images(targets.size());
    // With a group chosen a member in standby or without an answer shows "-" and the
    // others are still compared; its failure was told when its location was asked.
    const bool group = state.direct.selection.kind != SelectionKind::Default;
    std::vector<bool> read(targets.size(), true);
    for (size_t j = 0; j < targets.size(); ++j) {
        if (group && targets[j].standby) {
            read[j] = false;
            continue;
        }
        if (!ReadImage(state, targets[j], &images[j])) {
            if (group) {
                read[j] = false;
                continue;
            }
            ShowError(state.env, kErrorFillCompare);
            return false;
        }
    }
    const int first = PageFirstIndex(page), count = PageParameterCount(page);
    hooks.Begin(count * static_cast<int>(targets.size()), "Processing ...");
    for (int index = first; index < first + count; ++index) {
        const DirectAccessParameter& p = kDirectAccessParameters[static_cast<size_t>(index)];
        // Every cell keeps its column whatever a projector's description lacks.
        std::vector<std::string> row(list->headings.size());
        bool named = false;
        for (size_t j = 0; j < targets.size(); ++j) {
            const TargetEntry& t = targets[j];
            Description d;
            int32_t place = 0;
            if (LoadDescription(state.env, DescriptionDirectoryOf(state), t.projectorType, t.alphaId, &d)) {
                const DescriptionParameter* dp = FindDescriptionParameter(d, p.number);
                if (!named) {
                    row[0] = dp ? FieldText(dp->paramName) : "unknown";
                    named = true;
                }
                place = dp ? dp->placeInBlock : 0;
                ReleaseDescription(&d);
            }
            const size_t at = place >= 0 && static_cast<size_t>(place) < kCompareImageSize ? static_cast<size_t>(place) : 0;
            row[1 + 3 * j] = read[j] ? std::to_string(images[j][at]) : "-";
            LookupLimits(state, p.number, t.projectorType, t.alphaId);
            row[2 + 3 * j] = std::to_string(state.direct.currentMin);
            row[3 + 3 * j] = std::to_string(state.direct.currentMax);
            hooks.Step();
        }
        if (!named) row[0] = "unknown";
        list->rows.push_back(std::move(row));
    }
    hooks.End();
    return true;
}

}  // namespace ombrix
