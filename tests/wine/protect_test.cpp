// Password protection: what the blob opens to, and that no plain password reaches a file.
#include "harness.h"

#include "connfile/connfile.h"

#include <windows.h>

namespace {

using namespace harness;

struct ProtectCase {
    const char* name;
    std::string password; // in the ANSI code page
    std::wstring expected;
};

class Protect : public ::testing::TestWithParam<ProtectCase> {};

TEST_P(Protect, BlobOpensToTheUtf16PasswordAndItsTerminator) {
    ASSERT_EQ(GetACP(), 1252u) << "the cases assume Windows-1252";
    const ProtectCase& c = GetParam();
    CONFIG_DATA data;
    initDefaultData(data);
    data.password = c.password;
    ASSERT_EQ(cryptPassword(data), 0u);

    const std::string& hex = data.password;
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    const std::string blob = fromHex(hex);
    EXPECT_EQ(hex.size(), 2 * blob.size());
    EXPECT_EQ(blob.substr(0, 4), std::string("\x01\0\0\0", 4));
    std::string plain;
    std::wstring description;
    ASSERT_TRUE(unprotect(hex, plain, description));
    EXPECT_EQ(plain, utf16Bytes(c.expected));
    EXPECT_EQ(description, L"psw");
}

std::string name(const ::testing::TestParamInfo<ProtectCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, Protect,
    ::testing::Values(ProtectCase{"Empty", "", L""},
                      ProtectCase{"BlanksAndQuotes", "a \"b\" c", L"a \"b\" c"},
                      ProtectCase{"AnsiCodePage", "\x80\xE9", L"\u20AC\u00E9"},
                      ProtectCase{"Long", std::string(3000, 'k'), std::wstring(3000, L'k')}),
    name);

// Every file a run wrote, searched for the password as 8-bit and as UTF-16 text.
void expectNoPlainPassword(const fs::path& dir, const std::string& password,
                           const std::wstring& wide) {
    const std::string utf16(reinterpret_cast<const char*>(wide.data()),
                            wide.size() * sizeof(wchar_t));
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().filename() != "client.cmdline") {
            const std::string bytes = readFile(entry.path());
            EXPECT_EQ(bytes.find(password), std::string::npos) << entry.path();
            EXPECT_EQ(bytes.find(utf16), std::string::npos) << entry.path();
        }
    }
}

class ProtectedRun : public Scratch {
  protected:
    const std::string tail = "-u me -h host -t Lab -p Pa\xE9ss-w0rd";
    const std::string password = "Pa\xE9ss-w0rd";
    const std::wstring wide = L"Pa\u00E9ss-w0rd";

    void expectOpensToPassword(const std::string& file) {
        std::string plain;
        std::wstring description;
        ASSERT_TRUE(unprotect(fileValue(file, "password 51:b:").value_or(""), plain, description));
        EXPECT_EQ(plain, utf16Bytes(wide));
    }
};

TEST_F(ProtectedRun, BothModesWriteOnlyTheProtectedPassword) {
    ASSERT_EQ(run(tail).exitCode, 0u);
    const auto record = client();
    ASSERT_TRUE(record);
    expectOpensToPassword(record->file);
    ASSERT_EQ(run(tail + " -s saved").exitCode, 0u);
    expectOpensToPassword(readFile(dir / "saved.rdp"));
    expectNoPlainPassword(dir, password, wide);
}

TEST_F(ProtectedRun, FailedProtectionWritesNothingAndStartsNothing) {
    // The test prefix runs this name without Wine's crypto provider.
    const fs::path noCrypto = dir / "morvelan-nocrypt.exe";
    fs::copy_file(morvelanExe(), noCrypto);
    for (const std::string& line : {tail, tail + " -s saved"}) {
        const Result run = runMorvelan(line, env(), dir, noCrypto);
        EXPECT_EQ(run.exitCode, 1u) << line;
        EXPECT_EQ(run.output.rfind("Error: Cannot protect the password for the current user", 0),
                  0u)
            << run.output;
    }
    EXPECT_TRUE(noClient());
    EXPECT_FALSE(fs::exists(dir / "saved.rdp"));
    EXPECT_FALSE(fs::exists(temp / "morvelan"));
}

} // namespace
