// What the program logged during one test. Made bare, it gives the program a log of its own
// in a temporary file for as long as it lives; made with where to look, it reads the log the
// program keeps there itself (a frame opens its own at start, closing any other, and its
// place is known only then).
#pragma once

#include "app/data_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

class LogCapture
{
public:
    LogCapture()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orvex-log-XXXXXX").string();
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        m_ownPath = tmpl;
        m_path = [p = tmpl] { return p; };
        m_old = g_LogFile;
        g_LogFile = ::fdopen(fd, "w+");
    }
    explicit LogCapture(std::function<std::string()> path) : m_path(std::move(path)) {}
    ~LogCapture()
    {
        if (m_ownPath.empty())
            return;
        if (g_LogFile)
            std::fclose(g_LogFile);
        g_LogFile = m_old;
        ::unlink(m_ownPath.c_str());
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const
    {
        if (g_LogFile)
            std::fflush(g_LogFile);
        return readFile(m_path());
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::string t = text();
        size_t pos = 0;
        while (pos < t.size()) {
            size_t e = t.find('\n', pos);
            out.push_back(t.substr(pos, e - pos));
            if (e == std::string::npos)
                break;
            pos = e + 1;
        }
        return out;
    }
    // How many whole lines are exactly line.
    size_t count(const std::string& line) const
    {
        size_t n = 0;
        for (const std::string& l : lines())
            n += l == line;
        return n;
    }
    bool has(const std::string& line) const { return count(line) > 0; }
    // What was logged since the last call.
    std::string newText()
    {
        const std::string all = text();
        const std::string fresh = all.substr(std::min(m_read, all.size()));
        m_read = all.size();
        return fresh;
    }

private:
    std::function<std::string()> m_path;
    std::string m_ownPath; // set when the capture gave the program this log
    FILE* m_old = nullptr;
    size_t m_read = 0;
};
