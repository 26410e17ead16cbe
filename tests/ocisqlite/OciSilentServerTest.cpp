// A silent server (the hang marker) and the call timeout, through libocisqlite's entry points alone.
#include "OciTestSupport.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace ocitest;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class SilentServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
        ASSERT_EQ(c.logon("SRV", "scott", "Tiger"), OCI_SUCCESS) << c.error();
        c.ok("CREATE TABLE H (ID NUMBER(9))");
        c.ok("INSERT INTO H VALUES (1)");
        ASSERT_EQ(c.commit(), OCI_SUCCESS);
    }
    void TearDown() override { data.admin("up srv"); }

    static sword SetCallTimeout(Conn& conn, ub4 ms) {
        return OCIAttrSet(conn.svc, OCI_HTYPE_SVCCTX, &ms, sizeof ms, OCI_ATTR_CALL_TIMEOUT, conn.err);
    }

    TempData data;
    Conn c;
};

TEST_F(SilentServer, AttachesAndCallsWaitTheMarkersSecondsThenFail) {
    c.ok("INSERT INTO H VALUES (2)");
    ASSERT_EQ(data.admin("hang srv 1"), 0);

    // A new attach waits and then times out as the network would.
    Conn other;
    auto start = Clock::now();
    EXPECT_EQ(other.logon("srv", "scott", "Tiger"), OCI_ERROR);
    EXPECT_GE(MsSince(start), 950);
    EXPECT_EQ(other.error(), "ORA-12170: TNS:Connect timeout occurred\n");

    // A connected session's call waits as long, then the channel is gone and so is the uncommitted row.
    start = Clock::now();
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_GE(MsSince(start), 950);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
    start = Clock::now();
    EXPECT_EQ(c.commit(), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03114: not connected to ORACLE\n");
    EXPECT_LT(MsSince(start), 950) << "a lost session makes no round trip";

    ASSERT_EQ(data.admin("up srv"), 0);
    Conn again;
    ASSERT_EQ(again.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << again.error();
    EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM H"), "1");
}

TEST_F(SilentServer, CallTimeoutEndsTheWaitWithOra03156) {
    ub4 read = 1;
    ASSERT_EQ(OCIAttrGet(c.svc, OCI_HTYPE_SVCCTX, &read, nullptr, OCI_ATTR_CALL_TIMEOUT, c.err), OCI_SUCCESS);
    EXPECT_EQ(read, 0u) << "no timeout until one is set";
    ASSERT_EQ(SetCallTimeout(c, 300), OCI_SUCCESS) << c.error();
    ASSERT_EQ(OCIAttrGet(c.svc, OCI_HTYPE_SVCCTX, &read, nullptr, OCI_ATTR_CALL_TIMEOUT, c.err), OCI_SUCCESS);
    EXPECT_EQ(read, 300u);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM H"), "1") << "an answering server is not affected";

    ASSERT_EQ(data.admin("hang srv 30"), 0);
    const auto start = Clock::now();
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    const long long waited = MsSince(start);
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 10000) << "the call timeout, not the marker's 30 s, ends the call";
    sb4 code = 0;
    EXPECT_EQ(c.error(&code), "ORA-03156: OCI call timed out\n");
    EXPECT_EQ(code, 3156);
    EXPECT_EQ(OCIPing(c.svc, c.err, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03114: not connected to ORACLE\n");
}

TEST_F(SilentServer, CallTimeoutBoundsSessionBeginButNotTheAttach) {
    ASSERT_EQ(data.admin("hang srv 1"), 0);
    Conn other;
    ASSERT_EQ(SetCallTimeout(other, 200), OCI_SUCCESS);
    auto start = Clock::now();
    EXPECT_EQ(other.logon("srv", "scott", "Tiger"), OCI_ERROR);
    EXPECT_GE(MsSince(start), 950) << "the attach waits for the network, whatever the call timeout";
    EXPECT_EQ(other.error(), "ORA-12170: TNS:Connect timeout occurred\n");

    // Attached before the silence began: the session begin is bounded by the call timeout.
    ASSERT_EQ(data.admin("up srv"), 0);
    Conn late;
    ASSERT_EQ(SetCallTimeout(late, 200), OCI_SUCCESS);
    const std::string db = "srv";
    ASSERT_EQ(OCIServerAttach(late.srv, late.err, reinterpret_cast<const OraText*>(db.c_str()),
                              static_cast<sb4>(db.size()), OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(data.admin("hang srv 30"), 0);
    OCIAttrSet(late.svc, OCI_HTYPE_SVCCTX, late.srv, 0, OCI_ATTR_SERVER, late.err);
    OCIAttrSet(late.ses, OCI_HTYPE_SESSION, const_cast<char*>("scott"), 5, OCI_ATTR_USERNAME, late.err);
    OCIAttrSet(late.ses, OCI_HTYPE_SESSION, const_cast<char*>("Tiger"), 5, OCI_ATTR_PASSWORD, late.err);
    OCIAttrSet(late.svc, OCI_HTYPE_SVCCTX, late.ses, 0, OCI_ATTR_SESSION, late.err);
    start = Clock::now();
    EXPECT_EQ(OCISessionBegin(late.svc, late.err, late.ses, OCI_CRED_RDBMS, OCI_DEFAULT), OCI_ERROR);
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_EQ(late.error(), "ORA-03156: OCI call timed out\n");
}

TEST_F(SilentServer, UpEndsTheSilenceAndTheWaitingCallGoesOn) {
    ASSERT_EQ(data.admin("hang srv 30"), 0);
    std::thread upLater([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        data.admin("up srv");
    });
    const auto start = Clock::now();
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM H"), "1");
    EXPECT_GE(MsSince(start), 250);
    upLater.join();
    EXPECT_EQ(c.commit(), OCI_SUCCESS) << c.error();
}

TEST_F(SilentServer, AdminCommandChecksItsArguments) {
    const auto exitStatus = [&](const std::string& args) { return data.admin(args); };
    EXPECT_EQ(exitStatus("hang srv"), 2);
    EXPECT_EQ(exitStatus("hang srv soon"), 2);
    EXPECT_EQ(exitStatus("hang srv -1"), 2);
    EXPECT_EQ(exitStatus("hang nosuch 5"), 1);
    ASSERT_EQ(data.admin("hang srv 0"), 0);
    EXPECT_TRUE(std::filesystem::exists(data.file("srv") + ".hang"));
    // Zero seconds: the server is silent and every call gives up at once.
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
    ASSERT_EQ(data.admin("up srv"), 0);
    EXPECT_FALSE(std::filesystem::exists(data.file("srv") + ".hang"));
}

// Round trips in a folder that has not changed for long take a shortcut past the markers; a marker
// made by any means, even by hand without the admin tool, still reaches the very next call.
class StillFolder : public SilentServer {
protected:
    void SetUp() override {
        SilentServer::SetUp();
        MakeStill();
    }
    // The folder's last change long ago (each time a different moment, as a real change would leave).
    void MakeStill(int hoursAgo = 1) const {
        const timespec then{::time(nullptr) - 3600 * hoursAgo, 0};
        const timespec times[2] = {then, then};
        ASSERT_EQ(::utimensat(AT_FDCWD, data.dir().c_str(), times, 0), 0);
    }
    void WriteByHand(const std::string& suffix, const std::string& text) const {
        FILE* f = std::fopen((data.file("srv") + suffix).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    void RoundTripsAnswer() {
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(c.scalar("SELECT COUNT(*) FROM H"), "1") << c.error();
    }
};

TEST_F(StillFolder, AMarkerMadeByHandStopsTheNextCall) {
    RoundTripsAnswer();
    WriteByHand(".down", "");
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
}

TEST_F(StillFolder, AHangMarkerMadeByHandSilencesTheNextCall) {
    RoundTripsAnswer();
    WriteByHand(".hang", "1\n");
    const auto start = Clock::now();
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_GE(MsSince(start), 950);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
}

TEST_F(StillFolder, ACountdownCountsEveryRoundTripWhileTheFolderIsStill) {
    RoundTripsAnswer();
    ASSERT_EQ(data.admin("down srv --after 2"), 0);
    MakeStill(2);
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_SUCCESS) << c.error();
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_SUCCESS) << c.error();
    EXPECT_EQ(c.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
}

} // namespace
