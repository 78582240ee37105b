// Running the qrkit tool as a separate process from a test.
#ifndef QRKIT_TESTS_TOOL_RUN_H
#define QRKIT_TESTS_TOOL_RUN_H

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tooltest {

struct ToolRun {
    int status;       // exit status, -1 when the tool did not exit normally
    std::string out;  // standard output, then standard error when folded
};

// Runs a shell command; its standard output and exit status.
inline ToolRun runShell(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    ToolRun run{-1, ""};
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs the tool with arguments (a shell fragment); standard error is folded into the output unless
// stderrPath names a file for it.
inline ToolRun runTool(const std::string& arguments, const std::string& stderrPath = "") {
    return runShell(std::string(QRKIT_CLI_PATH) + " " + arguments +
                    (stderrPath.empty() ? " 2>&1" : " 2>" + stderrPath));
}

// Runs a shell fragment that names the tool $Q (so that it may stand in pipes and after redirections)
// in folder, with its standard error in stderrPath.
inline ToolRun runFragment(const std::string& fragment, const std::string& folder,
                           const std::string& stderrPath) {
    return runShell("cd '" + folder + "' && Q='" + QRKIT_CLI_PATH + "' && ( " + fragment + " ) 2>'" +
                    stderrPath + "'");
}

// Splits text into lines at line feeds (no empty last line for a final line feed).
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace tooltest

#endif
