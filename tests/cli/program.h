// Runs the quenlix program of this build for the end-to-end tests, each run with an empty registry of
// its own: the filter then comes from quenlix.ax beside the program, whatever the machine has registered.
#pragma once
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/core/section_builder.h"

namespace qxtest {

using nlohmann::json;

// The program sits beside the test programs' folder in the build tree.
inline std::string ProgramPath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    path = path.substr(0, path.rfind('/'));
    return path.substr(0, path.rfind('/')) + "/tools/quenlix";
}

inline std::string TempPath(const std::string& name) {
    const char* dir = getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/quenlix_cli_" + std::to_string(getpid()) + "_" +
           name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Outcome {
    int status = -1; // exit status; -1 when the program did not exit normally (a crash)
    std::string out, err;
};

// Runs the program with the arguments (already quoted for the shell), optionally feeding stdin. The
// output goes through files, as large as it is.
inline Outcome Quenlix(const std::string& args, const std::string& stdinPath = "") {
    const std::string out = TempPath("stdout"), err = TempPath("stderr");
    std::string cmd = "QUENLIX_REGISTRY='" + TempPath("registry.reg") + "' '" + ProgramPath() + "' " + args +
                      " >'" + out + "' 2>'" + err + "'";
    if (!stdinPath.empty()) {
        cmd += " <'" + stdinPath + "'";
    }
    const int raw = system(cmd.c_str());
    Outcome r;
    r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    remove(out.c_str());
    remove(err.c_str());
    return r;
}

// Scans the stream from a file with the given options.
inline Outcome Scan(const Bytes& ts, const std::string& options) {
    const std::string path = TempPath("in.ts");
    WriteFile(path, ts);
    Outcome r = Quenlix("scan " + options + " '" + path + "'");
    remove(path.c_str());
    return r;
}

// A scan that must succeed quietly, as JSON.
inline json ScanJson(const Bytes& ts, const std::string& options = "") {
    const Outcome r = Scan(ts, "--json " + options);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    return json::parse(r.out);
}

} // namespace qxtest
