// Writes never go through a link planted in the folder, and never replace what is there
// unless asked to.
#include "platform/file_ops.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// A folder holding a victim file outside it and links to it at the names a writer may use.
struct PlantedFolder {
    TempDir dir;
    std::string victim = dir.write("outside/victim.txt", "keep me");
    std::string folder = dir / "folder";
    PlantedFolder() { fs::create_directories(folder); }
    std::string plant(const std::string& name) const
    {
        const std::string at = folder + "/" + name;
        fs::create_symlink(victim, at);
        return at;
    }
    bool victimIntact() const { return readFile(victim) == "keep me"; }
};

} // namespace

TEST(FileOps, NewFilesAndReplacementsNeverFollowALink)
{
    PlantedFolder f;
    // A new file at a link's name is refused, dangling link or not.
    EXPECT_EQ(files::createNew(f.plant("shot.jpg")), -EEXIST);
    fs::create_symlink(f.folder + "/nowhere", f.folder + "/dangling.jpg");
    EXPECT_EQ(files::createNew(f.folder + "/dangling.jpg"), -EEXIST);
    EXPECT_FALSE(fs::exists(f.folder + "/nowhere"));

    // Replacing the program's own file that became a link is refused; the link stays.
    const std::string config = f.plant("config.txt");
    EXPECT_EQ(files::writeFileAtomically(config, "PATH x\n", true), ELOOP);
    EXPECT_TRUE(files::isLink(config));
    // Publishing without replacing keeps whatever holds the name.
    EXPECT_EQ(files::writeFileAtomically(f.plant("clip.avi"), "data", false), EEXIST);
    EXPECT_TRUE(f.victimIntact());

    // Temporary names are unpredictable, exclusive and hidden, and nothing is left behind.
    const files::TempFile a = files::createTemp(f.folder + "/shot.jpg", ".part");
    const files::TempFile b = files::createTemp(f.folder + "/shot.jpg", ".part");
    ASSERT_GE(a.fd, 0);
    ASSERT_GE(b.fd, 0);
    EXPECT_NE(a.path, b.path);
    EXPECT_EQ(fs::path(a.path).filename().string().rfind(".shot.jpg.part.", 0), 0u);
    ::close(a.fd);
    ::close(b.fd);
    ::unlink(a.path.c_str());
    ::unlink(b.path.c_str());

    // A plain write lands whole, with the usual mode, and a second one replaces it.
    const std::string own = f.folder + "/log.cfg";
    const mode_t mask = ::umask(022);
    ASSERT_EQ(files::writeFileAtomically(own, "one", false), 0);
    ASSERT_EQ(files::writeFileAtomically(own, "two", true), 0);
    EXPECT_EQ(readFile(own), "two");
    struct stat st {
    };
    ASSERT_EQ(::stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ::umask(mask);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(f.folder))
        ++entries;
    EXPECT_EQ(entries, 5u); // the four links and the file: no temporary left
}

TEST(FileOps, TheLogOpensOnlyARegularFile)
{
    PlantedFolder f;
    EXPECT_EQ(files::openLogFile(f.plant("log.txt")), -ELOOP);
    EXPECT_TRUE(f.victimIntact());

    // A FIFO nobody reads would block a plain open for good.
    const std::string fifo = f.folder + "/fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(files::openLogFile(fifo), -ENXIO);
    EXPECT_EQ(files::openLogFile(f.folder), -EISDIR);

    // A real log elsewhere (the planted link still holds the name in the folder).
    const std::string log = f.dir.write("own/log.txt", "old lines");
    const int fd = files::openLogFile(log);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFile(log), "");
    EXPECT_EQ(files::writeAll(fd, "new\n", 4), 0);
    ::close(fd);
    EXPECT_EQ(readFile(log), "new\n");
}

TEST(FileOps, RenameNeverReplaces)
{
    TempDir dir;
    const std::string file = dir.write("taken", std::string(43, 'x'));
    fs::create_directories(dir / "folder");
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    EXPECT_EQ(files::renameNoReplace(dir / "folder", file), EEXIST);
    EXPECT_EQ(readFile(file), std::string(43, 'x'));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    struct stat st {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(files::renameNoReplace(dir / "folder", dir / "renamed"), 0);
    EXPECT_TRUE(fs::is_directory(dir / "renamed"));
}
