#include <unistd.h>

#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) {
    ombrix::SteadyClock clock;
    ombrix::SystemDeviceOpener devices;
    ombrix::DlLibraryLoader libraries;
    ombrix::cli::CliPorts ports;
    ports.clock = &clock;
    ports.devices = &devices;
    ports.libraries = &libraries;
    ports.out = &std::cout;
    ports.err = &std::cerr;
    ports.stdinIsTerminal = isatty(0) != 0;
    return ombrix::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), ports);
}
