// A registry of the test's own: QUENLIX_REGISTRY points into a fresh temporary directory for the life
// of the object, and the previous setting comes back afterwards.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace platformtest {

class ScratchRegistry {
public:
    ScratchRegistry() {
        char pattern[] = "/tmp/qx-registry-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_dir = made != nullptr ? made : "/tmp";
        // A directory that does not exist yet: the first write makes it.
        m_file = m_dir + "/nested/registry.reg";
        const char* previous = std::getenv("QUENLIX_REGISTRY");
        m_hadPrevious = previous != nullptr;
        if (m_hadPrevious) {
            m_previous = previous;
        }
        setenv("QUENLIX_REGISTRY", m_file.c_str(), 1);
    }
    ~ScratchRegistry() {
        if (m_hadPrevious) {
            setenv("QUENLIX_REGISTRY", m_previous.c_str(), 1);
        } else {
            unsetenv("QUENLIX_REGISTRY");
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    const std::string& File() const { return m_file; }
    const std::string& Dir() const { return m_dir; }
    std::string Text() const {
        std::ifstream in(m_file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(m_file).parent_path());
        std::ofstream(m_file, std::ios::binary) << text;
    }

private:
    std::string m_dir;
    std::string m_file;
    std::string m_previous;
    bool m_hadPrevious = false;
};

} // namespace platformtest
