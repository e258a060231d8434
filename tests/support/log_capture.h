// The program log of one test, in a temporary file, and what was written to it.
#pragma once

#include "app/data_files.h"

#include <cstdio>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture()
    {
        m_old = g_LogFile;
        g_LogFile = std::tmpfile();
    }
    ~LogCapture()
    {
        if (g_LogFile)
            std::fclose(g_LogFile);
        g_LogFile = m_old;
    }
    std::string text() const
    {
        std::fflush(g_LogFile);
        std::string s;
        std::rewind(g_LogFile);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, g_LogFile)) > 0)
            s.append(buf, n);
        std::fseek(g_LogFile, 0, SEEK_END);
        return s;
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
    bool has(const std::string& line) const
    {
        for (const std::string& l : lines())
            if (l == line)
                return true;
        return false;
    }
    void clear()
    {
        std::fclose(g_LogFile);
        g_LogFile = std::tmpfile();
    }

private:
    FILE* m_old = nullptr;
};
