#pragma once
// What the Communication Settings dialog shows and what its OK does; the window only
// draws these lists and hands back the selected rows.
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/PortList.h"

namespace ombrix {

struct CommDialogItem {
    std::string text;
    uint32_t value = 0;
};

struct CommDialogList {
    std::string label;
    std::vector<CommDialogItem> items;
    int selected = -1;  // -1: the setting matches no item
    bool enabled = true;
};

struct CommDialogModel {
    CommDialogList port, baud, dataBits, parity, stopBits;
    std::string devicePath;  // where the chosen COM port leads
};

CommDialogModel BuildCommDialog(const Link& link);
// The device path a port row leads to, for showing beside the list.
std::string CommDialogPortPath(const Link& link, int portRow);
// OK: takes the selected rows into the settings, writes comm.cfg. currentAddress is left
// as it is. False when comm.cfg could not be written (the settings still take effect).
bool ApplyCommDialog(Link& link, const CommDialogModel& model, const std::string& commFilePath);

// The devices offered for a port row: where it leads now first, then the devices present
// (each once). The list is editable: any path or tcp://HOST:PORT may be typed in.
std::vector<std::string> CommDialogDeviceChoices(const Link& link, int portRow,
                                                 const std::vector<SerialCandidate>& present);
// Leads a port to a device in comports.cfg and in the link's mapping; nothing is written
// when it leads there already. An empty device returns the port to its default.
bool ApplyPortDevice(Link& link, int port, const std::string& device, const std::string& mapFilePath,
                     SysError* error);

}  // namespace ombrix
