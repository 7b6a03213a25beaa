#include "forms/CommandLine.h"

#include "platform/ole/RemoteAddress.h"

#include <cstdio>
#include <string_view>

#ifndef NAVILONIX_VERSION
#define NAVILONIX_VERSION "1.0"
#endif

TCommandLine ParseCommandLine(int argc, const char* const* argv, bool strict) {
    TCommandLine result;
    for (int i = 1; i < argc && result.Error.empty(); ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            result.Help = true;
        } else if (argument == "--version") {
            result.Version = true;
        } else if (argument == "--remote" || argument.rfind("--remote=", 0) == 0) {
            std::string machine;
            if (argument == "--remote") {
                if (i + 1 >= argc) {
                    result.Error = "--remote needs a machine: --remote [user@]host[:port]";
                    break;
                }
                machine = argv[++i];
            } else {
                machine = std::string(argument.substr(9));
            }
            std::string address;
            if (!ole::RemoteBusAddress(machine, &address, &result.Error))
                break;
            result.RemoteMachineName = machine;
        } else if (strict) {
            result.Error =
                (argument.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + std::string(argument);
        }
    }
    return result;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " [--remote [user@]host[:port]]\n"
           "Test console for the automation interface of the Navilonix tracking server.\n"
           "\n"
           "  --remote [user@]host[:port]  connect to the server on another machine, through SSH and\n"
           "                               systemd-stdio-bridge to that user's session bus\n"
           "                               (NAVILONIX_SSH names another ssh program)\n"
           "  --help                       show this help and exit\n"
           "  --version                    show the version and exit\n";
}

std::string VersionText() {
    return "NavilonixOle " NAVILONIX_VERSION "\n";
}

int AnswerCommandLine(const TCommandLine& options, const char* program) {
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, options.Error.c_str(), program);
        return 2;
    }
    if (options.Help) {
        std::fputs(UsageText(program).c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    return -1;
}
