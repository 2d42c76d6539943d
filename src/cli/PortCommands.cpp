// ombrix-cli ports: where each COM port leads and which serial devices are present, and
// the same change of comports.cfg the Communication Settings dialog makes.
#include <ostream>

#include "Cli.h"
#include "link/CommSettings.h"
#include "link/PortList.h"

namespace ombrix::cli {

const char* PortCommandsUsage() {
    return "Ports (comports.cfg of the working directory):\n"
           "  ports                               each COM port with the device it leads to,\n"
           "                                      then the serial devices present\n"
           "  ports COMn DEVICE                   lead COMn to DEVICE (a device path, a\n"
           "                                      pseudo-terminal or tcp://HOST:PORT)\n"
           "  ports COMn default                  lead COMn back to /dev/ttyS{n-1}\n";
}

void WarnPortMap(const ComPortMap& map, std::ostream& err) {
    err << "ombrix-cli: warning: " << map.Problem()
        << "; a port it was meant to lead elsewhere is not opened at its default\n";
}

int RunPortsCommand(const std::vector<std::string>& args, const CliPorts& ports) {
    std::ostream& out = *ports.out;
    std::ostream& err = *ports.err;
    if (args.size() == 1) {
        ComPortMap map;
        if (!map.LoadFile(kComPortMapFileName)) WarnPortMap(map, err);
        for (const std::string& line : DescribePorts(map, ListSerialDevices())) out << line << '\n';
        return kExitDone;
    }
    if (args.size() != 3) return UsageError(err, "ports takes nothing, or COMn and a device");
    ComPortMap probe;
    std::string why;
    const std::string device = args[2] == "default" ? std::string() : args[2];
    if (!probe.Parse(args[1] + " = " + (device.empty() ? "x" : device), &why))
        return UsageError(err, "ports needs COM1 to COM255, then a device");
    int port = 0;
    for (size_t i = 3; i < args[1].size(); ++i) port = port * 10 + (args[1][i] - '0');
    SysError error;
    std::string kept;
    if (!SetComPortMapping(kComPortMapFileName, port, device, &error, &kept)) {
        err << "ombrix-cli: cannot write " << kComPortMapFileName << ": " << error.text << '\n';
        return kExitFailed;
    }
    if (!kept.empty()) {
        err << "ombrix-cli: " << kComPortMapFileName << " had lines that cannot be read; it was kept as " << kept
            << " and its readable lines were carried over\n";
    }
    ComPortMap map;
    map.LoadFile(kComPortMapFileName);
    out << ComPortName(port) << " = " << map.Resolve(port) << (map.Mapped(port) ? "" : "   (default)") << '\n';
    return kExitDone;
}

}  // namespace ombrix::cli
