#include "projector/Projector.h"

#include <cstdlib>

#include "kelvaneproj.h"

namespace ombrix {

std::string ModelText(const Env& env, int projectorType, char alphaId, int size) {
    std::string text;
    const int id = Return_Projector_StringID(projectorType, static_cast<unsigned char>(alphaId));
    ReadLibraryString(env.strings, id + 2, size, &text);
    return text;
}

std::string FamilyText(const Env& env, int typeCode, int size) {
    std::string text;
    ReadLibraryString(env.strings, typeCode + 305, size, &text);
    return text;
}

char AlphaIdOfModel(const Env& env, int modelNumber) {
    std::string text;
    if (!ReadLibraryString(env.strings, modelNumber, 15, &text) || text.size() < 2) return 0;
    return text[1];
}

bool IsKnownAlphaId(char letter) { return letter == 'G' || letter == 'V' || letter == 'D' || letter == 'S'; }

uint8_t VersionNumber(const std::string& versionText) {
    size_t i = 0;
    while (i < versionText.size() && versionText[i] == ' ') ++i;
    unsigned value = 0;
    while (i < versionText.size() && versionText[i] >= '0' && versionText[i] <= '9') {
        value = value * 10 + static_cast<unsigned>(versionText[i] - '0');
        ++i;
    }
    return static_cast<uint8_t>(value);
}

int32_t IdNumberValue(const std::string& text) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::strtoll(text.c_str(), nullptr, 10)));
}

void CopyStatusFlags(const StatusFlags& f, ProjectorRecord* r) {
    r->greenConvergence = f.greenConvergence;
    r->standby = f.standby;
    r->pause = f.pause;
    r->operating = f.operating;
    r->textOn = f.textOn;
    r->pcMode = f.pcMode;
    r->soundAvailable = f.soundAvailable;
    r->convergenceStripped = f.convergenceStripped;
    r->magneticFocus = f.magneticFocus;
    r->orbit = f.orbit;
    r->softEdge = f.softEdge;
    r->contrastModulation = f.contrastModulation;
    r->nsOnConvergence = f.nsOnConvergence;
    r->asic = f.asic;
    r->iris = f.iris;
}

int DeriveIdentity(Link& link, uint8_t address, StatusFlags* flags, ProjectorRecord* record, bool fromBackground) {
    uint32_t optionsValid = 0;
    int r = ReadStatus(link, address, flags, &optionsValid, fromBackground);
    if (r != kDone) return r;
    record->address = address;
    CopyStatusFlags(*flags, record);
    record->alphaId = 0;
    record->softwareVersion = 0xFF;
    record->projectorType = -1;
    record->idNumber = -1;
    if (flags->standby) return kDone;

    std::string letter, version, idText;
    uint32_t typeCode = 0;
    r = ReadIdentity(link, address, &letter, &version, &typeCode, fromBackground);
    if (r != kDone) return r;
    record->alphaId = letter.empty() ? 0 : letter[0];
    record->softwareVersion = VersionNumber(version);
    record->projectorType = static_cast<int32_t>(typeCode);
    r = ReadIdNumber(link, address, &idText, fromBackground);
    if (r != kDone) return r;
    record->idNumber = IdNumberValue(idText);
    return kDone;
}

}  // namespace ombrix
