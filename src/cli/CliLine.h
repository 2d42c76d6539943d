#pragma once
// What every ombrix-cli command that talks to projectors sets up the same way: the
// program's Ui and numbered strings, and the line chosen by comm.cfg, the COM mapping and
// the line options.
#include <iosfwd>
#include <memory>

#include "Cli.h"
#include "StreamUi.h"

namespace ombrix::cli {

// The environment a command's core calls take: the caller's Ui and strings, the clock and
// the description folders of the ports.
Env CliEnv(const CliPorts& ports, Ui* ui, Library* strings);

// comm.cfg and comports.cfg read into the link (an unreadable comports.cfg is a warning
// when no --device names the line), the options applied, the line opened; false when it
// could not be (said on err).
bool OpenCliLine(const Env& env, Link& link, const LineOptions& line, std::ostream& err);

class CliLine {
public:
    // Boxes go to err, echoed lines to out.
    CliLine(const CliPorts& ports, std::ostream& out, std::ostream& err);
    ~CliLine();
    CliLine(const CliLine&) = delete;
    CliLine& operator=(const CliLine&) = delete;

    // OpenCliLine on this line.
    bool Open(const LineOptions& line);
    void Close();

    StreamUi ui;
    std::unique_ptr<Library> strings;
    Env env;
    Link link;

private:
    std::ostream& err_;
    bool open_ = false;
};

}  // namespace ombrix::cli
