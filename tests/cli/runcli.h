#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs a program with arguments (no shell) and collects what it printed and
// its exit code: the built command-line tool, or a compiler a test checks its
// output with.
struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string slurpFd(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        s.append(buf, static_cast<std::size_t>(n));
    return s;
}

struct CliOptions {
    int stdoutFd = -1;                // the tool's standard output (else collected in out)
    int stderrFd = -1;                // the same for its standard error
    rlim_t fileLimit = RLIM_INFINITY; // files may not grow past this: a full disk
    rlim_t memoryLimit = RLIM_INFINITY; // address space: a tool needing more fails
    int timeoutSeconds = 30;          // a tool that hangs is killed: code -1
};

// exe is looked up on PATH when it names no folder; code 127 when not found.
inline CliRun runProgram(const std::string& program, const std::vector<std::string>& args,
                         const CliOptions& opts = {}) {
    CliRun r;
    char outName[] = "/tmp/vmcli-outXXXXXX";
    char errName[] = "/tmp/vmcli-errXXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(opts.stdoutFd >= 0 ? opts.stdoutFd : outFd, 1);
        ::dup2(opts.stderrFd >= 0 ? opts.stderrFd : errFd, 2);
        if (opts.memoryLimit != RLIM_INFINITY) {
            const rlimit rl{opts.memoryLimit, opts.memoryLimit};
            ::setrlimit(RLIMIT_AS, &rl);
        }
        if (opts.fileLimit != RLIM_INFINITY) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{opts.fileLimit, opts.fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        std::vector<char*> argv;
        std::string exe = program;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(exe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited >= opts.timeoutSeconds * 100) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::lseek(outFd, 0, SEEK_SET);
    ::lseek(errFd, 0, SEEK_SET);
    r.out = slurpFd(outFd);
    r.err = slurpFd(errFd);
    ::close(outFd);
    ::close(errFd);
    ::unlink(outName);
    ::unlink(errName);
    return r;
}

#ifdef VM_CLI_PATH
inline CliRun runCli(const std::vector<std::string>& args, const CliOptions& opts = {}) {
    return runProgram(VM_CLI_PATH, args, opts);
}
#endif

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
