// Misuses a lenient server would forgive and a real client library does not: the embedded server
// makes them fail at once.
#include "OciTestSupport.h"

#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KMR_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(KMR_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#define KMR_TEST_ASAN 1
#endif

using namespace ocitest;

namespace {

TEST(OciMisuse, CredentialsAreReadWhenTheSessionBegins) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    const auto begin = [](Conn& c, char* user, char* password, const char* userLater,
                          const char* passwordLater) {
        const std::string db = "srv";
        EXPECT_EQ(OCIServerAttach(c.srv, c.err, reinterpret_cast<const OraText*>(db.c_str()),
                                  static_cast<sb4>(db.size()), OCI_DEFAULT),
                  OCI_SUCCESS);
        OCIAttrSet(c.svc, OCI_HTYPE_SVCCTX, c.srv, 0, OCI_ATTR_SERVER, c.err);
        OCIAttrSet(c.ses, OCI_HTYPE_SESSION, user, static_cast<ub4>(std::strlen(user)), OCI_ATTR_USERNAME,
                   c.err);
        OCIAttrSet(c.ses, OCI_HTYPE_SESSION, password, static_cast<ub4>(std::strlen(password)),
                   OCI_ATTR_PASSWORD, c.err);
        OCIAttrSet(c.svc, OCI_HTYPE_SVCCTX, c.ses, 0, OCI_ATTR_SESSION, c.err);
        // The buffers change between OCIAttrSet and OCISessionBegin: what counts is their content now.
        std::memcpy(user, userLater, std::strlen(userLater));
        std::memcpy(password, passwordLater, std::strlen(passwordLater));
        const sword rc = OCISessionBegin(c.svc, c.err, c.ses, OCI_CRED_RDBMS, OCI_DEFAULT);
        c.loggedOn = rc == OCI_SUCCESS;
        return rc;
    };
    {
        Conn c;
        char user[] = "scott", password[] = "Tiger";
        EXPECT_EQ(begin(c, user, password, "xxxxx", "xxxxx"), OCI_ERROR);
        EXPECT_EQ(c.error(), "ORA-01017: invalid username/password; logon denied\n");
    }
    {
        Conn c;
        char user[] = "xxxxx", password[] = "xxxxx";
        EXPECT_EQ(begin(c, user, password, "scott", "Tiger"), OCI_SUCCESS) << c.error();
        // Once begun, the session keeps its own copy of the name.
        std::memcpy(user, "ZZZZZ", 5);
        const OraText* name = nullptr;
        ub4 size = 0;
        ASSERT_EQ(OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &name, &size, OCI_ATTR_USERNAME, c.err), OCI_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), size), "scott");
    }
}

TEST(OciMisuse, AFreedDescriptorsNameIsNoLongerTheName) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    Conn c;
    ASSERT_EQ(c.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << c.error();
    OCIStmt* st = c.prepare("SELECT 1 A_VERY_LONG_COLUMN_ALIAS_NAME FROM DUAL");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    void* param = nullptr;
    ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1), OCI_SUCCESS);
    const OraText* name = nullptr;
    ub4 size = 0;
    ASSERT_EQ(OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &size, OCI_ATTR_NAME, c.err), OCI_SUCCESS);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(name), size), "A_VERY_LONG_COLUMN_ALIAS_NAME");
    ASSERT_EQ(OCIDescriptorFree(param, OCI_DTYPE_PARAM), OCI_SUCCESS);
#if defined(OCISQLITE_POISON_FREED) && defined(KMR_TEST_ASAN)
    // Reading it now is reported by AddressSanitizer.
    EXPECT_TRUE(__asan_address_is_poisoned(name));
    EXPECT_TRUE(__asan_address_is_poisoned(name + size - 1));
#elif defined(OCISQLITE_POISON_FREED)
    // Overwritten, and kept out of reuse so that it stays so.
    for (ub4 i = 0; i < size; ++i)
        EXPECT_EQ(static_cast<unsigned char>(name[i]), 0xDB) << i;
#else
    GTEST_SKIP() << "a release build leaves freed descriptors alone";
#endif
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

} // namespace
