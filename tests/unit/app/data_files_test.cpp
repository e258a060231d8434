#include "app/data_files.h"

#include "app/notice.h"
#include "support/temp_dir.h"
#include "support/viewer_globals.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace
{

class DataFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* h = std::getenv("HOME");
        m_oldHome = h ? h : "";
        ::setenv("HOME", home.str().c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        resetDataFileValues();
        g_ProgramDir = wxString::FromUTF8(program.str());
        showNotice(wxString()); // no failure left over from another test
    }
    void TearDown() override { ::setenv("HOME", m_oldHome.c_str(), 1); }
    std::string dataDir() const { return home / "Orvex"; }
    // A second start of the program: values reset, files read again.
    void restart()
    {
        resetDataFileValues();
        g_ProgramDir = wxString::FromUTF8(program.str());
        readStringsFile();
        openDataFiles();
    }

    ViewerGlobals globals;
    TempDir home, program;
    std::string m_oldHome;
};

} // namespace

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
    EXPECT_EQ(readFile(dataDir() + "/config.txt"),
              "PATH " + (home / "captures") + "\nTIMESTAMP 2\n");

    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), home / "captures");
    EXPECT_EQ(g_TimeStamp, 2);
    // The log starts afresh at every start.
    EXPECT_EQ(readFile(dataDir() + "/log.txt"), "Frame createGUIControls() Open logFile OK\n");
}

TEST_F(DataFiles, BadSettingsFallBackToDefaults)
{
    home.write("Orvex/config.txt", "PATH " + (home / "gone") + "\nTIMESTAMP soon\n");
    openDataFiles();
    EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM");
    EXPECT_EQ(g_TimeStamp, 0);
    // The file is left as it was until the settings are saved.
    EXPECT_EQ(readFile(dataDir() + "/config.txt"),
              "PATH " + (home / "gone") + "\nTIMESTAMP soon\n");

    home.write("Orvex/config.txt", "TIMESTAMP 3\n");
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
    logLine("Frame x() %d\n", 1); // no log: nothing happens
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

    // Control characters never reach the window title.
    program.write("res/values/strings.txt", "TITLE Scope\x1b]0;owned\x07\tX\n");
    readStringsFile();
    EXPECT_EQ(g_Title, "Scope\\x1b]0;owned\\x07\\x09X");
}

TEST_F(DataFiles, MissingStringsFileKeepsDefaults)
{
    readStringsFile();
    // The built-in names are the shipped ones: the data folder does not move.
    EXPECT_EQ(g_Title, "Orvex");
    EXPECT_EQ(g_AppName, "Orvex");
    EXPECT_EQ(readFile(ORVEX_SOURCE_DIR "/res/values/strings.txt"), "TITLE Orvex\nEXENAME Orvex\n");
}

TEST_F(DataFiles, LogLinesAreWrittenAndOverlongOnesCut)
{
    openDataFiles();
    logLine("Preview onTimer() initState(%d)\n", 1);
    logLine("Frame x() %s\n", std::string(1000, 'y').c_str());
    logLine("Frame y() after\n");
    // A line feed in a file name cannot forge a line of its own.
    logLine("Browse deleteFile() %s\n", "a.jpg\nFrame z() forged\r");
    const std::string log = readFile(dataDir() + "/log.txt");
    EXPECT_NE(log.find("Browse deleteFile() a.jpg\\x0aFrame z() forged\\x0d\n"), std::string::npos);
    EXPECT_NE(log.find("Preview onTimer() initState(1)\n"), std::string::npos);
    const size_t cut = log.find("Frame x() ");
    ASSERT_NE(cut, std::string::npos);
    const size_t end = log.find('\n', cut);
    EXPECT_EQ(end - cut, 254u);
    EXPECT_EQ(log.substr(end + 1, 16), "Frame y() after\n");
}

TEST_F(DataFiles, DamagedStringsFileKeepsTheDataFolderAndIsLogged)
{
    for (const char* damage : {"folder", "binary", "huge"}) {
        SCOPED_TRACE(damage);
        fs::remove_all(program / "res");
        const std::string strings = program / "res/values/strings.txt";
        if (std::string(damage) == "folder")
            fs::create_directories(strings);
        else if (std::string(damage) == "binary")
            program.write("res/values/strings.txt", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
        else
            program.write("res/values/strings.txt", std::string(2 * 1024 * 1024, 'x'));
        restart();
        EXPECT_EQ(g_AppName, "Orvex");
        EXPECT_EQ(toUtf8(g_DataDir), home / "Orvex");
        closeLogFile();
        const std::string log = readFile(dataDir() + "/log.txt");
        if (std::string(damage) == "folder")
            EXPECT_NE(
                log.find("Frame readStringsFile() " + strings + ": is a folder, not a file\n"),
                std::string::npos)
                << log;
        if (std::string(damage) == "huge")
            EXPECT_NE(log.find(strings + ": is larger than 1 MiB\n"), std::string::npos) << log;
    }
}

TEST_F(DataFiles, ExeNamesThatWouldMoveTheDataFolderAreIgnored)
{
    const std::string longName(65, 'n');
    for (const std::string& name :
         {std::string("../../escaped"), std::string("/tmp/abs"), std::string("a/b"),
          std::string(".."), std::string("."), longName, std::string("tab\there")}) {
        SCOPED_TRACE(name);
        program.write("res/values/strings.txt", "EXENAME " + name + "\nTITLE T\n");
        restart();
        EXPECT_EQ(g_AppName, "Orvex");
        EXPECT_EQ(toUtf8(g_DataDir), home / "Orvex");
        EXPECT_EQ(g_Title, "T");
        closeLogFile();
        const std::string log = readFile(dataDir() + "/log.txt");
        EXPECT_NE(log.find("Frame readStringsFile() EXENAME "), std::string::npos) << log;
        EXPECT_NE(log.find("ignored"), std::string::npos) << log;
    }
    EXPECT_FALSE(fs::exists(home.path().parent_path() / "escaped"));
    // Names that are only unusual are kept, up to 64 bytes.
    program.write("res/values/strings.txt", "EXENAME " + std::string(64, 'n') + "\n");
    restart();
    EXPECT_EQ(toUtf8(g_DataDir), home / std::string(64, 'n'));
    program.write("res/values/strings.txt", "EXENAME My Scope..v2\n");
    restart();
    EXPECT_EQ(g_AppName, "Orvex") << "'..' anywhere is refused";
    program.write("res/values/strings.txt", "EXENAME Scope \xc3\xa4.v2\n");
    restart();
    EXPECT_EQ(toUtf8(g_DataDir), home / "Scope \xc3\xa4.v2");
}

TEST_F(DataFiles, DocumentsFolderThatCannotHoldTheDataFolderFallsBackToHome)
{
    home.write(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/proc\"\n");
    restart();
    EXPECT_EQ(toUtf8(g_DataDir), home / "Orvex");
    EXPECT_TRUE(fs::is_directory(home / "Orvex/DCIM"));
    closeLogFile();
    const std::string log = readFile(dataDir() + "/log.txt");
    EXPECT_NE(log.find("documents folder /proc cannot hold the data folder, using " + home.str()),
              std::string::npos)
        << log;

    // A usable documents folder is still taken.
    fs::create_directories(home / "Docs");
    home.write(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    restart();
    EXPECT_EQ(toUtf8(g_DataDir), home / "Docs/Orvex");
    // An endless user-dirs file is not read.
    fs::remove(home / ".config/user-dirs.dirs");
    fs::create_symlink("/dev/zero", home / ".config/user-dirs.dirs");
    restart();
    EXPECT_EQ(toUtf8(g_DataDir), home / "Orvex");
}

TEST_F(DataFiles, TimeStampValuesAreReadWithoutOverflow)
{
    struct Case {
        const char* text;
        int expected;
    };
    const std::string nines(100, '9');
    for (const Case& c :
         {Case{"2", 2}, Case{" 3x", 3}, Case{"-1", -1}, Case{"+2", 2}, Case{"99999999999", INT_MAX},
          Case{"-99999999999", INT_MIN}, Case{"2147483647", INT_MAX}, Case{"-2147483648", INT_MIN},
          Case{nines.c_str(), INT_MAX}, Case{"soon", 0}, Case{"-", 0}, Case{"", 0}}) {
        SCOPED_TRACE(c.text);
        home.write("Orvex/config.txt", std::string("TIMESTAMP ") + c.text + "\n");
        restart();
        EXPECT_EQ(g_TimeStamp, c.expected);
    }
}

TEST_F(DataFiles, UnreadableSettingsAreLeftAloneAndLogged)
{
    fs::create_directories(home / "Orvex/config.txt");
    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM");
    EXPECT_TRUE(fs::is_directory(home / "Orvex/config.txt"));
    closeLogFile();
    EXPECT_NE(readFile(dataDir() + "/log.txt")
                  .find("Frame createGUIControls() " + dataDir() + "/config.txt: is a folder"),
              std::string::npos);
}

TEST_F(DataFiles, StoragePathsThatCannotBeUsedAreRefusedForTheDefault)
{
    // Relative to the launch folder, empty, or gone: each a different place from the one chosen.
    for (const std::string& path :
         {std::string("../.."), std::string("DCIM2"), std::string(""), home / "gone"}) {
        home.write("Orvex/config.txt", "PATH " + path + "\nTIMESTAMP 1\n");
        showNotice(wxString());
        restart();
        EXPECT_EQ(toUtf8(g_StoragePath), dataDir() + "/DCIM") << path;
        EXPECT_EQ(g_TimeStamp, 1);
        EXPECT_TRUE(noticeIsFailure()) << path;
        std::fflush(g_LogFile);
        EXPECT_NE(readFile(dataDir() + "/log.txt").find("storage folder " + path + " refused"),
                  std::string::npos)
            << path;
    }
}

TEST_F(DataFiles, StorageFolderNamesAreKeptByteForByte)
{
    // "Prüfung" written by a Latin-1 system: not UTF-8.
    const std::string latin1 = home / "Pr\xfc"
                                      "fung";
    fs::create_directories(latin1);
    home.write("Orvex/config.txt", "PATH " + latin1 + "\n");
    restart();
    EXPECT_EQ(toUtf8(g_StoragePath), latin1);
    EXPECT_FALSE(noticeIsFailure());
    ASSERT_TRUE(writeSettings());
    EXPECT_EQ(readFile(dataDir() + "/config.txt"), "PATH " + latin1 + "\nTIMESTAMP 0\n");
    EXPECT_EQ(toUtf8(fromPathBytes("caf\xc3\xa9 \xe9t\xe9")), "caf\xc3\xa9 \xe9t\xe9");
}

TEST_F(DataFiles, LinksAndFifosAtTheOwnFilesAreNeverWrittenThrough)
{
    const std::string victim = home.write("victim.txt", "precious");
    fs::create_directories(dataDir());
    fs::create_symlink(victim, dataDir() + "/log.txt");
    restart();
    EXPECT_EQ(g_LogFile, nullptr);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(dataDir() + "/log.txt"));

    // A FIFO nobody reads: the start goes on without a log instead of waiting for a reader.
    fs::remove(dataDir() + "/log.txt");
    ASSERT_EQ(::mkfifo((dataDir() + "/log.txt").c_str(), 0666), 0);
    restart();
    EXPECT_EQ(g_LogFile, nullptr);

    // config.txt planted as a link: read, but never written through.
    fs::remove(dataDir() + "/config.txt");
    fs::create_symlink(victim, dataDir() + "/config.txt");
    restart();
    EXPECT_FALSE(writeSettings());
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(fs::is_symlink(dataDir() + "/config.txt"));
}
