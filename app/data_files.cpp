#include "app/data_files.h"

#include "app/key_value_file.h"
#include "app/notice.h"
#include "platform/bounded_file.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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
wxString g_ConfigPath;

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

} // namespace

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
            g_Title = unescapePercent(withoutControls(value));
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

namespace
{

// Opens log.txt afresh; without it the program runs on and says why once.
void openLog(const std::string& dataDir)
{
    closeLogFile();
    const std::string path = dataDir + "/log.txt";
    const int fd = files::openLogFile(path);
    if (fd >= 0)
        g_LogFile = ::fdopen(fd, "w");
    if (!g_LogFile) {
        if (fd >= 0)
            ::close(fd);
        const int err = fd < 0 ? -fd : errno;
        const std::string why = err == ELOOP   ? "is a link"
                                : err == ENXIO ? "is not a regular file"
                                               : std::strerror(err);
        std::fprintf(stderr, "orvex: %s; running without a log file\n",
                     files::refusal(path, why).c_str());
        return;
    }
    // Line-buffered, so the log holds every line up to a crash or a kill.
    std::setvbuf(g_LogFile, nullptr, _IOLBF, 0);
}

// Why the PATH of config.txt cannot be the storage folder, or nothing.
std::string storagePathProblem(const std::string& path)
{
    if (path.empty())
        return "it is empty";
    // Relative to wherever the program was started: a different folder at each start.
    if (path[0] != '/')
        return "it is not an absolute path";
    if (!isDirectory(path))
        return "it is not a folder";
    return {};
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
    g_DataDir = fromPathBytes(dataDir);

    openLog(dataDir);
    logLine("Frame createGUIControls() Open logFile %s\n", "OK");
    writeStartNotes();

    g_ConfigPath = g_DataDir + "/config.txt";
    std::string storage = dataDir + "/DCIM";
    g_StoragePath = fromPathBytes(storage);
    makeDirectory(storage);

    std::string configPath = toUtf8(g_ConfigPath);
    if (access(configPath.c_str(), F_OK) != 0 && !files::isLink(configPath)) {
        files::writeFileAtomically(configPath, "PATH " + storage + "\n", false);
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
    if (const std::string problem = storagePathProblem(path); !problem.empty()) {
        // Captures never go to a folder the user did not choose.
        logLine("Frame createGUIControls() storage folder %s refused (%s), using %s\n",
                files::printable(path).c_str(), problem.c_str(), files::printable(storage).c_str());
        showFailureNotice("Storage folder not usable, using " + fromPathBytes(storage));
        return;
    }
    g_StoragePath = fromPathBytes(path);
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
    const std::string path = toUtf8(g_ConfigPath);
    const int err = files::writeFileAtomically(path, text, true);
    if (err == ELOOP)
        logLine("Frame writeSettings() %s is a link: not written through\n",
                files::printable(path).c_str());
    return err == 0;
}
