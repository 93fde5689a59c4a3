#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include <QTemporaryDir>

#include "tools/password.h"

TEST(Password, ComesFromOneSourceOrAFileOnlyItsOwnerCanReadAndIsNeverEchoed)
{
    QTemporaryDir dir;
    const auto file = [&](const std::string& name, const std::string& content, mode_t mode) {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path) << content;
        ::chmod(path.c_str(), mode);
        return path;
    };
    const struct {
        tocli::PasswordSources sources;
        std::optional<std::string> password;
        std::string errorPart;
    } cases[] = {
        { { std::nullopt, file("ok", "s3cret\r\nnext line\n", 0600), "env" }, "s3cret", "" },
        { { std::nullopt, file("open", "s3cret\n", 0640), std::nullopt }, std::nullopt, "0640" },
        { { std::nullopt, file("empty", "\nx", 0400), std::nullopt }, std::nullopt, "empty" },
        { { "arg", file("both", "s3cret", 0600), std::nullopt }, std::nullopt, "not both" },
        { { "arg", std::nullopt, "env" }, "arg", "" },
        { { std::nullopt, std::nullopt, "env" }, "env", "" },
        { { std::nullopt, std::nullopt, std::nullopt }, std::nullopt, "TOC_PASSWORD" },
    };
    for (const auto& c : cases) {
        const tocli::PasswordResult r = tocli::ReadPassword(c.sources);
        EXPECT_EQ(r.password, c.password) << r.error;
        EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find("s3cret"), std::string::npos) << r.error;
    }
    // Replies quoting a password typed on stdin mask it, raw and as JSON escapes it.
    EXPECT_EQ(tocli::HidePassword(R"({"error":"unknown method: a\"b\\c a\"b\\c"})", "a\"b\\c"),
        R"({"error":"unknown method: ******** ********"})");
}
