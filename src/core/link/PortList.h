#pragma once
// The serial devices a person can pick for a COM port, and the one place that changes
// comports.cfg, so the program's dialog and ombrix-cli offer and write the same thing.
#include <string>
#include <vector>

#include "link/CommSettings.h"
#include "platform/SystemError.h"

namespace ombrix {

struct SerialCandidate {
    std::string path;   // what goes into comports.cfg
    std::string note;   // what it is: the adapter's name, or where a link leads
};

// Stable names first (/dev/serial/by-id, which survive re-plugging), then USB adapters
// (ttyUSB*, ttyACM*), then on-board UARTs (ttyS* that have a UART behind them), each
// group in numeric order. devRoot and sysRoot are "/dev" and "/sys" but for tests.
std::vector<SerialCandidate> ListSerialDevices(const std::string& devRoot = "/dev",
                                               const std::string& sysRoot = "/sys");

// Sets the line "COMn = DEVICE" of comports.cfg (an empty device removes it, so the port
// goes back to its default), keeping every other line and comment as it is. A file with
// a line that cannot be read is first kept aside as comports.cfg.refused (*keptAs) and
// its readable lines go on into the new file.
bool SetComPortMapping(const std::string& path, int port, const std::string& device, SysError* error,
                       std::string* keptAs = nullptr);

// The lines of `ombrix-cli ports`: each COM port with where it leads, then the devices.
std::vector<std::string> DescribePorts(const ComPortMap& map, const std::vector<SerialCandidate>& devices);

}  // namespace ombrix
