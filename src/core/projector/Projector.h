#pragma once
// What the program knows of each connected projector, the table that holds them, and
// how a projector's identity is asked for and named.
#include <array>
#include <cstdint>
#include <string>

#include "link/Commands.h"
#include "platform/Env.h"

namespace ombrix {

struct BlockTypeEntry {
    uint8_t header[4] = {0, 0, 0, 0};
    uint32_t count = 0;
    char name[32] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};  // ten blanks when unused
};

struct ProjectorRecord {
    uint8_t address = 0;
    uint8_t greenConvergence = 0;
    uint8_t standby = 0;
    uint8_t pause = 0;
    uint8_t operating = 0;
    uint8_t textOn = 0;
    uint8_t pcMode = 0;
    uint8_t soundAvailable = 0;
    uint8_t convergenceStripped = 0;
    uint8_t magneticFocus = 0;
    uint8_t orbit = 0;
    uint8_t softEdge = 0;
    uint8_t contrastModulation = 0;
    uint8_t nsOnConvergence = 0;
    uint8_t asic = 0;
    uint8_t iris = 0;
    std::array<BlockTypeEntry, 5> blockTypes{};
    uint32_t blockTotal = 0;
    uint8_t specialBlocks[3] = {0, 0, 0};
    uint32_t stateImage = 0;
    uint32_t displayValues[2] = {0, 0};
    char alphaId = 0;
    uint8_t softwareVersion = 0xFF;
    int32_t idNumber = -1;
    int32_t projectorType = -1;
};

constexpr int kProjectorTableSize = 256;

struct ProjectorTable {
    std::array<ProjectorRecord, kProjectorTableSize> records{};
    int connectedCount = 0;
    int currentProjectorIndex = 0;
};

constexpr int kModelTextSize = 30;

// Model name of a type code and letter (string StringID + 2 of the type library).
std::string ModelText(const Env& env, int projectorType, char alphaId, int size = kModelTextSize);
// Short family name of a type code (string 305 + code).
std::string FamilyText(const Env& env, int typeCode, int size = kModelTextSize);
// The program's own export's rule: the second character of model string modelNumber.
char AlphaIdOfModel(const Env& env, int modelNumber);
bool IsKnownAlphaId(char letter);

// The version text read back as a number: leading blanks skipped, decimal digits up to
// the point, truncated to 8 bits.
uint8_t VersionNumber(const std::string& versionText);
// ReadIdNumber's text back into a 32-bit value.
int32_t IdNumberValue(const std::string& text);

void CopyStatusFlags(const StatusFlags& flags, ProjectorRecord* record);

// Status, then (unless in standby) identity and id number, into the record. Returns the
// first failing command result, or 3. A projector in standby gets the unknown values.
int DeriveIdentity(Link& link, uint8_t address, StatusFlags* flags, ProjectorRecord* record,
                   bool fromBackground = false);

}  // namespace ombrix
