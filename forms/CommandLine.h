// The console's command line: "--remote [user@]host[:port]" connects to the server on another machine; "--help"
// and "--version" print and end the program.
#pragma once

#include <string>

struct TCommandLine {
    std::string RemoteMachineName; // empty: this machine
    bool Help = false;
    bool Version = false;
    std::string Error; // not empty when the command line cannot be used
};

// Before the windowing toolkit has taken its own options ("-platform offscreen"), `strict` is false and only our
// own options are judged; afterwards, with `strict`, anything left that is not ours is an error.
TCommandLine ParseCommandLine(int argc, const char* const* argv, bool strict);
std::string UsageText(const std::string& program);
std::string VersionText();
// Prints the help or the version (exit code 0) or the error with a pointer to --help (exit code 2) and returns the
// exit code; -1 when the console is to start.
int AnswerCommandLine(const TCommandLine& options, const char* program);
