#pragma once

#include <fstream>
#include <string>

// The resident memory of this process in KiB (Linux), -1 when unknown.
inline long residentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}
