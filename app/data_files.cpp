#include "app/data_files.h"

#include "app/key_value_file.h"
#include "platform/bounded_file.h"
#include "platform/paths.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

wxString g_ProgramDir;
// The names the program ships in strings.txt, so a lost or damaged copy keeps the data folder.
const char* const kBuiltInTitle = "Orvex";
const char* const kBuiltInAppName = "Orvex";

wxString g_Title = kBuiltInTitle;
wxString g_AppName = kBuiltInAppName;
wxString g_DataDir;
wxString g_StoragePath;
wxString g_ConfigPath;
int g_TimeStamp = 0;
FILE* g_LogFile = nullptr;
char g_LogLine[256];

namespace
{

// What start-up refused before the log was open; written to it once it is.
std::vector<std::string> s_startNotes;

void noteAtStart(const std::string& line)
{
    s_startNotes.push_back(files::printable(line) + "\n");
}

void writeStartNotes()
{
    for (const std::string& note : s_startNotes) {
        if (g_LogFile)
            logLine("%s", note.c_str());
        else
            std::fputs(("orvex: " + note).c_str(), stderr);
    }
    s_startNotes.clear();
}

bool isDirectory(const std::string& path)
{
    struct stat st {
    };
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void makeDirectory(const std::string& path)
{
    if (!isDirectory(path))
        mkdir(path.c_str(), 0777);
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes text to a temporary file beside path and moves it into place. With noReplace an
// existing file is kept (and false returned).
bool replaceFile(const std::string& path, const std::string& text, bool noReplace)
{
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) {
        if (noReplace) {
            ok = link(tmp.c_str(), path.c_str()) == 0;
            unlink(tmp.c_str());
            return ok;
        }
        ok = rename(tmp.c_str(), path.c_str()) == 0;
    }
    if (!ok)
        unlink(tmp.c_str());
    return ok;
}

} // namespace

std::string toUtf8(const wxString& s)
{
    return std::string(s.utf8_str());
}

wxString resourcePath(const char* name)
{
    return g_ProgramDir + "/res/" + wxString::FromUTF8(name);
}

wxString unescapePercent(const std::string& utf8)
{
    wxString s = wxString::FromUTF8(utf8.data(), utf8.size());
    if (s.empty() && !utf8.empty())
        s = wxString(utf8.data(), wxConvISO8859_1,
                     utf8.size()); // not UTF-8: keep the bytes readable
    s.Replace("%%", "%");
    return s;
}

void resetDataFileValues()
{
    closeLogFile();
    g_ProgramDir.clear();
    g_Title = kBuiltInTitle;
    g_AppName = kBuiltInAppName;
    s_startNotes.clear();
    g_DataDir.clear();
    g_StoragePath.clear();
    g_ConfigPath.clear();
    g_TimeStamp = 0;
    g_LogLine[0] = '\0';
}

void readStringsFile()
{
    const std::string path = toUtf8(g_ProgramDir + "/res/values/strings.txt");
    std::string why;
    const KeyValueList entries = readKeyValueFile(path, &why);
    // A missing file keeps the built-in names quietly; one that is there but refused is told.
    if (entries.empty() && !why.empty() && access(path.c_str(), F_OK) == 0)
        noteAtStart("Frame readStringsFile() " + files::refusal(path, why));
    for (const auto& [key, value] : entries) {
        if (key == "TITLE") {
            g_Title = unescapePercent(value);
        } else if (key == "EXENAME") {
            const wxString name = unescapePercent(value);
            const std::string problem = exeNameProblem(toUtf8(name));
            if (problem.empty()) {
                g_AppName = name;
                continue;
            }
            // The name becomes a folder: one that would land elsewhere is never taken.
            noteAtStart("Frame readStringsFile() EXENAME " + value + " ignored (" + problem +
                        "), using " + toUtf8(g_AppName));
        }
    }
}

namespace
{

// A folder the data folder can live in: made if needed, and writable.
bool holdsDataFolder(const std::string& dataDir)
{
    makeDirectory(dataDir);
    return isDirectory(dataDir) && access(dataDir.c_str(), W_OK | X_OK) == 0;
}

} // namespace

void openDataFiles()
{
    std::string documents = platform::documentsFolder();
    if (documents.empty()) {
        g_StoragePath = g_ProgramDir + "/DCIM";
        writeStartNotes();
        return;
    }
    std::string dataDir = documents + "/" + toUtf8(g_AppName);
    const std::string home = platform::homeFolder();
    if (!holdsDataFolder(dataDir) && !home.empty() && home != documents) {
        noteAtStart("Frame createGUIControls() documents folder " + documents +
                    " cannot hold the data folder, using " + home);
        documents = home;
        dataDir = documents + "/" + toUtf8(g_AppName);
        makeDirectory(dataDir);
    }
    g_DataDir = wxString::FromUTF8(dataDir);

    closeLogFile();
    g_LogFile = std::fopen((dataDir + "/log.txt").c_str(), "w+");
    // Line-buffered, so the log holds every line up to a crash or a kill.
    if (g_LogFile)
        std::setvbuf(g_LogFile, nullptr, _IOLBF, 0);
    logLine("Frame createGUIControls() Open logFile %s\n", "OK");
    writeStartNotes();

    g_ConfigPath = g_DataDir + "/config.txt";
    std::string storage = dataDir + "/DCIM";
    g_StoragePath = wxString::FromUTF8(storage);
    makeDirectory(storage);

    std::string configPath = toUtf8(g_ConfigPath);
    if (access(configPath.c_str(), F_OK) != 0) {
        replaceFile(configPath, "PATH " + storage + "\n", true);
        return;
    }
    std::string why;
    const KeyValueList entries = readKeyValueFile(configPath, &why);
    if (!why.empty()) {
        // Present but unreadable: leave it and the defaults alone.
        logLine("Frame createGUIControls() %s\n", files::refusal(configPath, why).c_str());
        return;
    }
    std::string path = storage;
    for (const auto& [key, value] : entries) {
        if (key == "PATH")
            path = value;
        else if (key == "TIMESTAMP")
            parseTimeStampValue(value, g_TimeStamp);
    }
    if (isDirectory(path))
        g_StoragePath = wxString::FromUTF8(path);
}

void closeLogFile()
{
    if (g_LogFile) {
        std::fclose(g_LogFile);
        g_LogFile = nullptr;
    }
}

bool writeSettings()
{
    if (g_ConfigPath.empty())
        return false;
    std::string text = "PATH " + toUtf8(g_StoragePath) + "\n";
    text += "TIMESTAMP " + std::to_string(g_TimeStamp) + "\n";
    return replaceFile(toUtf8(g_ConfigPath), text, false);
}

void logLine(const char* format, ...)
{
    if (!g_LogFile)
        return;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(g_LogLine, sizeof g_LogLine, format, args);
    va_end(args);
    if (n < 0)
        return;
    // A cut line still ends its line, so the next one starts on its own.
    if (static_cast<size_t>(n) >= sizeof g_LogLine)
        g_LogLine[sizeof g_LogLine - 2] = '\n';
    std::fputs(g_LogLine, g_LogFile);
}
