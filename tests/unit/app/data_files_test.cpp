#include "app/data_files.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class DataFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* h = std::getenv("HOME");
        m_oldHome = h ? h : "";
        ::setenv("HOME", home.str().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        resetDataFileValues();
        g_ProgramDir = wxString::FromUTF8(program.str());
    }
    void TearDown() override
    {
        closeLogFile();
        ::setenv("HOME", m_oldHome.c_str(), 1);
    }
    std::string dataDir() const { return home / "Tavlinview"; }
    // A second start of the program: values reset, files read again.
    void restart()
    {
        resetDataFileValues();
        g_ProgramDir = wxString::FromUTF8(program.str());
        readStringsFile();
        openDataFiles();
    }

    TempDir home, program;
    std::string m_oldHome;
};

}  // namespace

TEST_F(DataFiles, FreshUserGetsFoldersLogAndConfig)
{
    openDataFiles();
    EXPECT_TRUE(fs::is_directory(dataDir()));
    EXPECT_TRUE(fs::is_directory(dataDir() + "/DCIM"));
    EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM");
    EXPECT_EQ(toUtf8(g_ConfigPath), dataDir() + "/config.txt");
    EXPECT_EQ(readFile(dataDir() + "/log.txt"), "Frame createGUIControls() Open logFile OK\n");
    EXPECT_EQ(readFile(dataDir() + "/config.txt"), "PATH " + dataDir() + "/DCIM\n");
    EXPECT_EQ(g_TimeStamp, 0);
    // Nothing but the config itself is left in the folder.
    int entries = 0;
    for (auto& e : fs::directory_iterator(dataDir()))
        entries += e.path().filename() != "DCIM" && e.path().filename() != "log.txt";
    EXPECT_EQ(entries, 1);
}

TEST_F(DataFiles, SecondStartReadsSettingsBack)
{
    openDataFiles();
    fs::create_directories(home / "captures");
    g_StoragePath = wxString::FromUTF8(home / "captures");
    g_TimeStamp = 2;
    ASSERT_TRUE(writeSettings());
    EXPECT_EQ(readFile(dataDir() + "/config.txt"), "PATH " + (home / "captures") + "\nTIMESTAMP 2\n");

    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), home / "captures");
    EXPECT_EQ(g_TimeStamp, 2);
    // The log starts afresh at every start.
    EXPECT_EQ(readFile(dataDir() + "/log.txt"), "Frame createGUIControls() Open logFile OK\n");
}

TEST_F(DataFiles, BadSettingsFallBackToDefaults)
{
    home.write("Tavlinview/config.txt", "PATH " + (home / "gone") + "\nTIMESTAMP soon\n");
    openDataFiles();
    EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM");
    EXPECT_EQ(g_TimeStamp, 0);
    // The file is left as it was until the settings are saved.
    EXPECT_EQ(readFile(dataDir() + "/config.txt"), "PATH " + (home / "gone") + "\nTIMESTAMP soon\n");

    home.write("Tavlinview/config.txt", "TIMESTAMP 3\n");
    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM");
    EXPECT_EQ(g_TimeStamp, 3);
}

TEST_F(DataFiles, LongStoragePathSurvivesRestart)
{
    std::string deep = home.str();
    for (int i = 0; i < 6; ++i)
        deep += "/" + std::string(60, static_cast<char>('a' + i));
    deep += "/Bilder \xc3\xa4 Scope";
    fs::create_directories(deep);
    openDataFiles();
    g_StoragePath = wxString::FromUTF8(deep);
    ASSERT_TRUE(writeSettings());
    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), deep);
}

TEST_F(DataFiles, FailedSaveKeepsPreviousSettings)
{
    openDataFiles();
    g_TimeStamp = 1;
    ASSERT_TRUE(writeSettings());
    const std::string before = readFile(dataDir() + "/config.txt");

    // A disk that fills up during the save: writes beyond 8 bytes fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &tiny);
    g_TimeStamp = 3;
    const bool saved = writeSettings();
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(dataDir() + "/config.txt"), before);
    for (auto& e : fs::directory_iterator(dataDir()))
        EXPECT_EQ(e.path().filename().string().find("config.txt."), std::string::npos) << e.path();
}

TEST_F(DataFiles, NoDocumentsFolderMeansNoFiles)
{
    ::unsetenv("HOME");
    openDataFiles();
    EXPECT_EQ(toUtf8(g_StoragePath), program.str() + "/DCIM");
    EXPECT_FALSE(fs::exists(program / "DCIM"));
    EXPECT_TRUE(g_ConfigPath.empty());
    EXPECT_EQ(g_LogFile, nullptr);
    EXPECT_FALSE(writeSettings());
    logLine("Frame x() %d\n", 1);  // no log: nothing happens
}

TEST_F(DataFiles, StringsFileSetsTitleAndDataFolder)
{
    program.write("res/values/strings.txt", "EXENAME Foo\nTITLE My Scope");
    readStringsFile();
    EXPECT_EQ(g_Title, "My Scope");
    EXPECT_EQ(g_AppName, "Foo");
    openDataFiles();
    EXPECT_TRUE(fs::is_directory(home / "Foo/DCIM"));

    // Titles are text: format directives show as they are, "%%" stays one percent sign.
    program.write("res/values/strings.txt", "TITLE %s%n%x\r\nEXENAME 100%% Scope\r\n");
    readStringsFile();
    EXPECT_EQ(g_Title, "%s%n%x");
    EXPECT_EQ(g_AppName, "100% Scope");
}

TEST_F(DataFiles, MissingStringsFileKeepsDefaults)
{
    readStringsFile();
    EXPECT_EQ(g_Title, "Tavlin");
    EXPECT_EQ(g_AppName, "Tavlinview");
}

TEST_F(DataFiles, LogLinesAreWrittenAndOverlongOnesCut)
{
    openDataFiles();
    logLine("Preview onTimer() initState(%d)\n", 1);
    logLine("Frame x() %s\n", std::string(1000, 'y').c_str());
    logLine("Frame y() after\n");
    const std::string log = readFile(dataDir() + "/log.txt");
    EXPECT_NE(log.find("Preview onTimer() initState(1)\n"), std::string::npos);
    const size_t cut = log.find("Frame x() ");
    ASSERT_NE(cut, std::string::npos);
    const size_t end = log.find('\n', cut);
    EXPECT_EQ(end - cut, 254u);
    EXPECT_EQ(log.substr(end + 1), "Frame y() after\n");
}
