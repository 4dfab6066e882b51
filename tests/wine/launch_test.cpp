// The whole program in normal mode: temporary placement, the file, the client start.
#include "harness.h"

#include <windows.h>

#include <regex>

namespace {

using namespace harness;

// The default values: the run then writes the default lines, whose title holds blanks.
const std::string kTitle = "Remote Desktop Connection";
const std::string kOptions =
    R"(-u Administrator -p "" -h 127.0.0.1 -t "Remote Desktop Connection")";

// The file the client got, with the password line cut out since its blob varies.
std::string withoutPassword(const std::string& file) {
    const std::size_t start = file.find("password 51:b:");
    return start == std::string::npos
               ? file
               : file.substr(0, start) + file.substr(file.find("\r\n", start) + 2);
}

const std::string kExpected = withoutPassword(testfiles::kDefaultFile);

// The quoted path the client was started with, checked against the name pattern.
std::string startedPath(const ClientRecord& record, const std::string& dir,
                        const std::string& title) {
    const std::string prefix = "mstsc.exe \"" + dir + "\\" + title + "_";
    EXPECT_EQ(record.commandLine.rfind(prefix, 0), 0u) << record.commandLine;
    const std::string rest =
        record.commandLine.substr(std::min(prefix.size(), record.commandLine.size()));
    EXPECT_TRUE(std::regex_match(rest, std::regex("[a-y]{10}\\.tmp\""))) << record.commandLine;
    return record.commandLine.substr(11, record.commandLine.size() - 12);
}

class Launch : public Scratch {};

TEST_F(Launch, WritesTheFileInThePrivateFolderAndStartsTheClientOnIt) {
    const Result run = this->run(kOptions);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    const auto record = client();
    ASSERT_TRUE(record);
    const std::string path = startedPath(*record, (temp / "morvelan").string(), kTitle);
    EXPECT_EQ(withoutPassword(record->file), kExpected);
    // The file stays for the client; only a later run removes it.
    EXPECT_EQ(readFile(path), record->file);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "morvelan"), {}), 1);
}

TEST_F(Launch, DeletesOldTmpFilesAndKeepsEverythingElse) {
    const fs::path priv = temp / "morvelan";
    fs::create_directories(priv / "folder.tmp");
    for (const char* name : {"old_abcdefghij.tmp", "OTHER.TMP", "keep.txt", "keep.tmpx", "tmp"}) {
        writeFile(priv / name, "x");
    }
    ASSERT_EQ(run(kOptions).exitCode, 0u);
    ASSERT_TRUE(client());
    EXPECT_FALSE(fs::exists(priv / "old_abcdefghij.tmp"));
    EXPECT_FALSE(fs::exists(priv / "OTHER.TMP"));
    for (const char* name : {"keep.txt", "keep.tmpx", "tmp", "folder.tmp"}) {
        EXPECT_TRUE(fs::exists(priv / name)) << name;
    }
}

TEST_F(Launch, WithoutTempUsesTheRootOfDriveC) {
    EnvChanges changes = env();
    changes["TEMP"] = std::nullopt;
    const Result run = runMorvelan(kOptions, changes, dir);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "TEMP dir not found. Assuming C:\\\r\n");
    const auto record = client();
    ASSERT_TRUE(record);
    const std::string path = startedPath(*record, "c:", kTitle);
    EXPECT_EQ(withoutPassword(readFile(path)), kExpected);
    fs::remove(path);
}

TEST_F(Launch, TempEndingInABackslashIsUsedUnchanged) {
    EnvChanges changes = env();
    changes["TEMP"] = temp.string() + "\\";
    ASSERT_EQ(runMorvelan(kOptions, changes, dir).exitCode, 0u);
    const auto record = client();
    ASSERT_TRUE(record);
    startedPath(*record, temp.string() + "\\\\morvelan", kTitle);
    EXPECT_EQ(withoutPassword(record->file), kExpected);
}

TEST_F(Launch, FileThatCannotBeWrittenEndsTheRunWithoutAClient) {
    writeFile(temp / "morvelan", "a plain file where the folder should be");
    const Result run = this->run(kOptions);
    EXPECT_EQ(run.exitCode, 1u);
    const std::string expected = "Error: Cannot write the connection file " +
                                 (temp / "morvelan").string() + "\\" + kTitle + "_";
    EXPECT_EQ(run.output.rfind(expected, 0), 0u) << run.output;
    EXPECT_TRUE(noClient());
}

TEST_F(Launch, PathLongerThanWindowsAllowsIsRefusedUntouched) {
    EnvChanges changes = env();
    const fs::path longTemp = temp / std::string(240, 'd');
    changes["TEMP"] = longTemp.string();
    const Result run = runMorvelan(kOptions, changes, dir);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.output.rfind("Error: Cannot write the connection file " + longTemp.string() +
                                   "\\morvelan\\" + kTitle + "_",
                               0),
              0u)
        << run.output;
    EXPECT_TRUE(noClient());
    EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(Launch, MissingClientEndsTheRunWithAnError) {
    char windir[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windir, MAX_PATH), 0u);
    const fs::path mstsc = fs::path(windir) / "system32" / "mstsc.exe";
    const fs::path aside = mstsc.string() + ".aside";
    fs::rename(mstsc, aside);
    const Result run = this->run(kOptions);
    fs::rename(aside, mstsc);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(
        run.output.rfind("Error: Cannot start the Remote Desktop client " + mstsc.string(), 0), 0u)
        << run.output;
    // The file nobody will read is not left behind.
    EXPECT_TRUE(fs::is_empty(temp / "morvelan"));
}

} // namespace
