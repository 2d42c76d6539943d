#pragma once
// What the Communication Settings dialog shows and what its OK does; the window only
// draws these lists and hands back the selected rows.
#include <string>
#include <vector>

#include "link/Link.h"

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

}  // namespace ombrix
