#pragma once

// What the tests of crashes, concurrent writers and full disks share: folders of evaluable
// radiographs, oxel-cli started as a process of its own (to be waited for or killed), and a
// small tmpfs that can be filled.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "core/records/BinFile.h"
#include "core/series/ResultFileReader.h"
#include "support/BmpFile.h"
#include "support/ChildProcess.h"
#include "support/LeftHip.h"
#include "support/TempDir.h"

extern char **environ;

namespace EvaluationRuns {

inline constexpr std::int16_t kPictureWidth = 2000, kPictureHeight = 1600;

// Radiographs in one folder, each with its own landmark file; all of one patient, each with its
// own study id, so that a result block tells which picture it came from.
struct Corpus
{
    std::vector<std::string> pictures;
    std::vector<std::string> landmarkFiles;
    std::vector<std::string> codes;
    std::vector<std::string> originals; // each landmark file's bytes as written here
};

// The one field every landmark file of a corpus differs in: the study id, of a fixed width so
// that it can be put into a copy of one landmark file without moving anything else.
inline std::string studyCode(char writer, int number)
{
    char code[16];
    std::snprintf(code, sizeof code, "%c-%05d", writer, number);
    return code;
}

// `count` pictures named <prefix>-<n>.bmp in `folder`: hard links of one 2000 x 1600 bitmap
// (the size comes from its header; the pixels are never decoded), each with a landmark file of
// leftHip() with `points` head and rim points, whose result file is `datFile`.
inline Corpus makeCorpus(const std::filesystem::path &folder, char prefix, int count,
    const std::string &datFile, int points = 300)
{
    Corpus corpus;
    const std::string source = (folder / (std::string(1, prefix) + "-source.bmp")).string();
    const std::string templateFile = (folder / (std::string(1, prefix) + "-template.bin")).string();
    EXPECT_TRUE(writeGreyBmp(source, kPictureWidth, kPictureHeight));
    COxel oxel = leftHip(datFile, points, points);
    const std::string placeholder = studyCode(prefix, 0);
    oxel.Patient.Code = placeholder;
    std::string error;
    EXPECT_TRUE(BinFile::write(templateFile, oxel, &error)) << error;
    const std::string bytes = readBytes(templateFile);
    std::filesystem::remove(templateFile);
    const std::size_t at = bytes.find(placeholder);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(bytes.find(placeholder, at + 1), std::string::npos);

    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%c-%05d.bmp", prefix, i);
        const std::string picture = (folder / name).string();
        std::filesystem::create_hard_link(source, picture);
        std::string landmarks = bytes;
        const std::string code = studyCode(prefix, i);
        landmarks.replace(at, code.size(), code);
        const std::string landmarkFile = BinFile::landmarkPath(picture);
        writeBytes(landmarkFile, landmarks);
        corpus.pictures.push_back(picture);
        corpus.landmarkFiles.push_back(landmarkFile);
        corpus.codes.push_back(code);
        corpus.originals.push_back(landmarks);
    }
    std::filesystem::remove(source); // the links keep the picture
    return corpus;
}

// oxel-cli started with `args`, stdout thrown away and stderr into `errorFile`. Killed and
// reaped when the object goes, unless it was waited for.
class CliProcess : public ChildProcess
{
public:
    CliProcess(const std::vector<std::string> &args, const std::string &errorFile)
    {
        std::vector<std::string> all{OXEL_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(
            &actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid, OXEL_CLI, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
};

inline std::vector<std::string> evaluateArgs(const std::vector<std::string> &pictures)
{
    std::vector<std::string> args{"evaluate", "--accept-cup-check"};
    args.insert(args.end(), pictures.begin(), pictures.end());
    return args;
}

// How many times the text holds `what`.
inline int occurrences(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

// The study ids of the result file's blocks and how often each occurs; every problem the reader
// met is a test failure.
inline std::map<std::string, int> blocksByCode(const std::string &resultFile)
{
    const std::string bytes = readBytes(resultFile);
    if (bytes.empty())
        return {}; // not written yet, or created by an append that was killed before writing
    const ResultFileContents contents = ResultFileReader::parse(bytes);
    for (const ReadProblem &problem : contents.problems)
        ADD_FAILURE() << resultFile << ":" << problem.line << ": " << problem.reason;
    std::map<std::string, int> codes;
    for (const ResultEntry &entry : contents.entries)
        ++codes[entry.code];
    return codes;
}

inline int blockCount(const std::map<std::string, int> &codes)
{
    int n = 0;
    for (const auto &[code, times] : codes)
        n += times;
    return n;
}

// The names in the folder that are not in `expected`: what a write left behind.
inline std::vector<std::string> unexpectedFiles(
    const std::filesystem::path &folder, const std::set<std::string> &expected)
{
    std::vector<std::string> extra;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (!expected.count(entry.path().string()))
            extra.push_back(entry.path().filename().string());
    }
    return extra;
}

// A tmpfs of `size` (such as "1m") mounted over a folder of its own for the life of the object,
// so that a test can fill a disk for real. Only root may mount; when that or the mount itself is
// refused (as in some containers), skipReason says why and the test should skip.
class SmallDisk
{
public:
    explicit SmallDisk(const std::string &size)
    {
        if (::geteuid() != 0) {
            skipReason = "a tmpfs can only be mounted by root, and the tests run as another user";
            return;
        }
        if (::mount("tmpfs", dir.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                ("size=" + size + ",mode=0755").c_str())
            != 0) {
            skipReason = std::string("mounting a tmpfs was refused: ") + std::strerror(errno);
            return;
        }
        mounted = true;
    }

    ~SmallDisk()
    {
        // Detached, so that a file still open in a killed child cannot keep it mounted.
        if (mounted)
            ::umount2(dir.path().c_str(), MNT_DETACH);
    }

    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    const std::filesystem::path &path() const { return dir.path(); }

    std::string file(const std::string &name) const { return dir.file(name); }

    std::string skipReason;

private:
    TempDir dir; // unmounted before it is removed
    bool mounted = false;
};

// Writes a file into `folder` until the disk refuses more; the bytes written.
inline std::size_t fillDisk(const std::string &fillerFile)
{
    const int fd = ::open(fillerFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    std::size_t total = 0;
    const std::string chunk(4096, 'f');
    for (;;) {
        const ssize_t n = ::write(fd, chunk.data(), chunk.size());
        if (n <= 0)
            break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

} // namespace EvaluationRuns
