#include "net/announcement.h"

#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zorvane::net;
namespace text = zorvane::text;
using zorvane::testing::closedPort;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::SelfSignedCertificate;
using zorvane::testing::TempDir;

namespace {

class AnnouncementTest : public ::testing::Test {
protected:
    void serve(const std::string& page) {
        m_server.server().Get("/note",
                              [page](const httplib::Request&, httplib::Response& response) {
                                  response.set_content(page, "text/html; charset=utf-8");
                              });
        m_server.start();
    }
    std::string url() const { return m_server.base() + "/note"; }
    std::string pagePath() const { return (m_dir.path() / "1.htm").string(); }
    std::optional<std::string> pageFile() const { return text::readWholeFile(pagePath()); }
    int filesInDir() const {
        int count = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(m_dir.path())) {
            ++count;
        }
        return count;
    }

    TempDir m_dir;
    LocalHttpServer m_server;
};

} // namespace

TEST_F(AnnouncementTest, BracketedPartIsUnescapedAndWrittenAsGb18030) {
    serve("<html>intro 【<b>News</b> \\u5317\\u4eac <a href=\\\"x\\\">x</a>】 outro</html>");
    const std::string shown = fetchAnnouncement(url(), m_dir.path().string());
    EXPECT_EQ(shown, "<b>News</b> 北京 <a href=\"x\">x</a>");
    EXPECT_EQ(pageFile(), "<b>News</b> \xB1\xB1\xBE\xA9 <a href=\"x\">x</a>");
    EXPECT_EQ(filesInDir(), 1);
}

TEST_F(AnnouncementTest, OnlyTheFirstBracketedPartCounts) {
    serve("intro 【<b>News</b>】 middle 【second】 outro");
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string()), "<b>News</b>");
    EXPECT_EQ(pageFile(), "<b>News</b>");
}

TEST_F(AnnouncementTest, PagesWithoutTheMarkersOrTooLargeGiveAnEmptyFile) {
    ASSERT_TRUE(text::replaceFileAtomically(pagePath(), "old page"));
    serve("【unterminated");
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string()), "");
    EXPECT_EQ(pageFile(), "");

    LocalHttpServer large;
    large.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("【big】" + std::string(kAnnouncementMaxBytes, 'x'), "text/html");
    });
    large.start();
    ASSERT_TRUE(text::replaceFileAtomically(pagePath(), "old page"));
    EXPECT_EQ(fetchAnnouncement(large.base() + "/", m_dir.path()), "");
    EXPECT_EQ(pageFile(), "");
}

TEST_F(AnnouncementTest, NoServerGivesAnEmptyFile) {
    ASSERT_TRUE(text::replaceFileAtomically(pagePath(), "old page"));
    const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/note";
    EXPECT_EQ(fetchAnnouncement(url, m_dir.path()), "");
    EXPECT_EQ(pageFile(), "");
    EXPECT_EQ(filesInDir(), 1);
}

TEST_F(AnnouncementTest, UnwritablePageLeavesNoTemporaryFiles) {
    serve("【fresh】");
    // A directory in the page's place cannot be replaced by a file.
    std::filesystem::create_directory(pagePath());
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string()), "");
    EXPECT_TRUE(std::filesystem::is_directory(pagePath()));
    EXPECT_EQ(filesInDir(), 1);

    // A directory that does not exist.
    EXPECT_EQ(fetchAnnouncement(url(), (m_dir.path() / "missing").string()), "");
}

TEST_F(AnnouncementTest, CancelledFetchLeavesThePageAlone) {
    serve("【fresh】");
    ASSERT_TRUE(text::replaceFileAtomically(pagePath(), "old page"));
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string(), &cancel), "");
    EXPECT_EQ(pageFile(), "old page");
}

TEST(AnnouncementSecure, UntrustedCertificateGivesAnEmptyPage) {
    const SelfSignedCertificate certificate;
    ASSERT_TRUE(certificate.ok());
    LocalHttpServer server(certificate.certFile(), certificate.keyFile());
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("【secure】", "text/html");
    });
    server.start();
    const TempDir dir;
    EXPECT_EQ(fetchAnnouncement(server.base() + "/", dir.path().string()), "");
    EXPECT_EQ(fetchAnnouncement(server.base() + "/", dir.path().string(), nullptr,
                                certificate.certFile()),
              "secure");
    EXPECT_EQ(text::readWholeFile(dir.path() / "1.htm"), "secure");
}

TEST_F(AnnouncementTest, FailuresSayWhyAndStillWriteAsBefore) {
    serve("no markers here");
    zorvane::text::Message error = zorvane::text::Message::literal("stale");
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string(), nullptr, {}, &error), "");
    EXPECT_EQ(error, zorvane::text::Message(zorvane::text::MessageId::AnnouncementNoMarkers));
    EXPECT_EQ(pageFile(), "");

    const std::string closed = "http://127.0.0.1:" + std::to_string(closedPort()) + "/note";
    EXPECT_EQ(fetchAnnouncement(closed, m_dir.path().string(), nullptr, {}, &error), "");
    EXPECT_EQ(zorvane::text::defaultText(error).rfind("下载失败：Couldn't connect to server", 0),
              0u)
        << zorvane::text::defaultText(error);

    // Both the download and the write fail: both reasons are kept.
    const std::string missing = (m_dir.path() / "missing").string();
    EXPECT_EQ(fetchAnnouncement(closed, missing, nullptr, {}, &error), "");
    EXPECT_NE(zorvane::text::defaultText(error).find("下载失败："), std::string::npos);
    EXPECT_NE(zorvane::text::defaultText(error).find("；无法写入 "), std::string::npos)
        << zorvane::text::defaultText(error);
    // With the system's reason.
    EXPECT_NE(zorvane::text::defaultText(error).find("1.htm: No such file or directory"),
              std::string::npos)
        << zorvane::text::defaultText(error);

    const std::atomic<bool> cancel{true};
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string(), &cancel, {}, &error), "");
    EXPECT_EQ(error, zorvane::text::Message(zorvane::text::MessageId::AnnouncementCancelled));
}

TEST_F(AnnouncementTest, ASuccessfulFetchReportsNoError) {
    serve("【<b>ok</b>】");
    zorvane::text::Message error = zorvane::text::Message::literal("stale");
    EXPECT_EQ(fetchAnnouncement(url(), m_dir.path().string(), nullptr, {}, &error), "<b>ok</b>");
    EXPECT_TRUE(error.empty());
}
