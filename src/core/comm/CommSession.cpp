#include "comm/CommSession.h"

#include "projector/Messages.h"

namespace ombrix {
namespace {

constexpr size_t Index(int i) { return static_cast<size_t>(i); }

std::string DescriptionFolder(const ProgramState& s) { return s.startDirectory.empty() ? "." : s.startDirectory; }

}  // namespace

void BeginOpening(ProgramState& s, BlockView& view) {
    s.blocks.adjustment = BlockSelection{};
    s.blocks.reference = BlockSelection{};
    view = BlockView{};
    ClearProjectorBlocks(s, view);
    s.projectors.connectedCount = 0;
    s.direct.irisBusy = false;
}

void UseDefaultDescription(ProgramState& s, ProjectorSession& session) {
    ReleaseDescription(&session.description);
    session = ProjectorSession{};
    if (LoadDescription(s.env, DescriptionFolder(s), -1, 0, &session.description)) {
        session.hasDescription = true;
        session.isDefault = true;
        SetBlockGeometry(s.blocks.geometry, session.description, nullptr);
    } else {
        ShowWarning(s.env, 17);
        ResetBlockGeometry(s.blocks.geometry);
    }
    s.blocks.geometry.noProjector = 1;
}

int ChooseCurrentProjector(ProgramState& s, ProjectorSession& session) {
    ProjectorTable& t = s.projectors;
    ReleaseDescription(&session.description);
    session = ProjectorSession{};
    for (int i = 0; i < t.connectedCount && i < kProjectorTableSize; ++i) {
        ProjectorRecord& record = t.records[Index(i)];
        const int type = record.standby ? -1 : record.projectorType;
        if (!LoadDescription(s.env, DescriptionFolder(s), type, record.alphaId, &session.description)) {
            ShowWarning(s.env, 16);
            continue;
        }
        session.hasDescription = true;
        session.isDefault = type == -1;
        session.describedIndex = i;
        t.currentProjectorIndex = i;
        s.link.currentAddress = record.address;
        // Its header table is read when its blocks are listed; one in standby would only
        // refuse the read.
        SetBlockGeometry(s.blocks.geometry, session.description, &record);
        return i;
    }
    t.currentProjectorIndex = 0;
    if (t.connectedCount > 0) s.link.currentAddress = t.records[0].address;
    UseDefaultDescription(s, session);
    return 0;
}

bool PrepareRamContainers(ProgramState& s, BlockView& view) {
    BlockTables& t = s.blocks;
    bool ok = true;
    if (t.ramRowCount == 0) {
        ok = BuildRamContainers(s, &view);
    } else {
        for (int i = 0; i < s.projectors.connectedCount && i < kProjectorTableSize; ++i) {
            ok = EnsureRamContainer(s, &view, i) && ok;
        }
    }
    if (!ok) ShowWarning(s.env, 19);
    return ok;
}

ViewCommands OpeningCommands(const ProgramState& s, bool searchSkipped) {
    ViewCommands c;
    const bool connected = !searchSkipped && s.projectors.connectedCount > 0;
    c.saveRam = c.listRam = c.listProjectorBlocks = connected;
    c.loadRam = c.appendRam = true;
    return c;
}

}  // namespace ombrix
