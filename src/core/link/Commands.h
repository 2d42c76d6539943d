#pragma once
// The sixteen projector commands. Each takes the line for its whole exchange (the
// background check waits), sends one request, waits its settling time, reads and
// decodes the answer, and returns the command result 0-3.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Frame.h"
#include "link/Link.h"

namespace ombrix {

struct StatusFlags {
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
    uint8_t extraBlock1 = 0;
    uint8_t extraBlock2 = 0;
};

// Command bytes.
constexpr uint8_t kCmdForceBlock = 't';
constexpr uint8_t kCmdReadIdentity = 'L';
constexpr uint8_t kCmdReadLocation = 'J';
constexpr uint8_t kCmdFreeBlock = 's';
constexpr uint8_t kCmdReadRuntime = 0x60;
constexpr uint8_t kCmdReadSerialNumber = 'M';
constexpr uint8_t kCmdReadIdNumber = 'I';
constexpr uint8_t kCmdReadStatus = 'K';
constexpr uint8_t kCmdWriteBlockData = 'q';
constexpr uint8_t kCmdReadBlockData = 'r';
constexpr uint8_t kCmdReadParameter = 'z';
constexpr uint8_t kCmdWriteParameter = 'y';
constexpr uint8_t kCmdIris = 'b';
constexpr uint8_t kCmdIrisFunction = 'Q';

// Answer decoding, d = answer bytes 3-6.
void DecodeStatus(const uint8_t d[4], StatusFlags* flags, uint32_t* optionsValid);
std::string DecodeSerialNumber(const uint8_t d[4]);
std::string DecodeRuntime(const uint8_t d[4]);
std::string DecodeIdNumber(const uint8_t d[4]);
std::string FormatVersion(uint8_t major, uint8_t minor);

int ForceBlock(Link& link, uint8_t address, uint8_t a, uint8_t b);
int KeyCommand(Link& link, uint8_t address, uint8_t key);
int ReadIdentity(Link& link, uint8_t address, std::string* letter, std::string* version, uint32_t* typeCode,
                 bool fromBackground = false);
int ReadLocation(Link& link, uint8_t address, uint8_t out[4]);
int FreeBlock(Link& link, uint8_t address, uint8_t a, uint8_t b, uint8_t c, uint8_t d);
int ReadRuntime(Link& link, uint8_t address, std::string* text, bool fromBackground = false);
int ReadSerialNumber(Link& link, uint8_t address, std::string* text, bool fromBackground = false);
int ReadIdNumber(Link& link, uint8_t address, std::string* text, bool fromBackground = false);
// Clears extraBlock1/2 first; on success rewrites every flag and optionsValid.
int ReadStatus(Link& link, uint8_t address, StatusFlags* flags, uint32_t* optionsValid, bool fromBackground = false);
int WriteBlockData(Link& link, uint8_t address, const uint8_t* data, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                   size_t n);
int ReadBlockData(Link& link, uint8_t address, uint8_t* buffer, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                  size_t n);
// value is written whenever the request was acknowledged: d3, or 0 when no answer came.
int ReadParameter(Link& link, uint8_t address, uint8_t p1, uint8_t p2, uint32_t* value);
int WriteParameter(Link& link, uint8_t address, uint8_t p1, uint8_t p2, uint8_t p3);
int IrisCommand(Link& link, uint8_t address, uint8_t c);
int ReadIrisState(Link& link, uint8_t address, uint8_t* out);
int IrisFunction(Link& link, uint8_t address, uint8_t a, uint8_t b);

}  // namespace ombrix
