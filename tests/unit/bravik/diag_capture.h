// Collects the library's diagnostic output while it lives.
#pragma once

#include "bravik/core/diagnostics.h"

#include <mutex>
#include <string>

namespace bravik::test
{

class DiagCapture
{
public:
    DiagCapture()
    {
        m_previous = setDiagnosticSink([this](std::string_view t) {
            std::lock_guard lock(m_mutex);
            m_text.append(t);
        });
    }
    ~DiagCapture() { setDiagnosticSink(m_previous); }
    std::string text()
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    bool contains(const std::string& piece) { return text().find(piece) != std::string::npos; }

private:
    DiagnosticSink m_previous;
    std::mutex m_mutex;
    std::string m_text;
};

} // namespace bravik::test
