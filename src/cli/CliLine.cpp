#include "CliLine.h"

#include <ostream>

#include "link/CommSettings.h"

namespace ombrix::cli {

Env CliEnv(const CliPorts& ports, Ui* ui, Library* strings) {
    Env env;
    env.clock = ports.clock;
    env.ui = ui;
    env.strings = strings;
    env.descriptionFolders = &ports.descriptionFolders;
    return env;
}

CliLine::CliLine(const CliPorts& ports, std::ostream& out, std::ostream& err)
    : ui(out, err),
      strings(ports.libraries ? ports.libraries->Load("kelvaneproj", nullptr) : nullptr),
      env(CliEnv(ports, &ui, strings.get())),
      link(*ports.clock, *ports.devices),
      err_(err) {}

CliLine::~CliLine() { Close(); }

bool OpenCliLine(const Env& env, Link& link, const LineOptions& line, std::ostream& err) {
    LoadCommSettings(kCommFileName, &link.settings, &link.currentAddress);
    link.portMap = ComPortMap{};
    if (!link.portMap.LoadFile(kComPortMapFileName) && line.device.empty()) WarnPortMap(link.portMap, err);
    return OpenLine(env, link, line, err);
}

bool CliLine::Open(const LineOptions& line) {
    open_ = OpenCliLine(env, link, line, err_);
    return open_;
}

void CliLine::Close() {
    if (open_) CloseConnection(link, kOwnerTool);
    open_ = false;
}

}  // namespace ombrix::cli
