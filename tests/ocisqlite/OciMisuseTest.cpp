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

// As in Oracle, a column name belongs to the statement's describe: it outlives the parameter
// descriptor (drivers read it late) but not the statement's next prepare or the statement itself.
TEST(OciMisuse, ADescribedNameLivesAsLongAsItsStatement) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    Conn c;
    ASSERT_EQ(c.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << c.error();
    const std::string expected = "A_VERY_LONG_COLUMN_ALIAS_NAME";
    const auto describe = [&](OCIStmt* st, ub4& size) {
        EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
            << c.error();
        void* param = nullptr;
        EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1), OCI_SUCCESS);
        const OraText* name = nullptr;
        EXPECT_EQ(OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &size, OCI_ATTR_NAME, c.err), OCI_SUCCESS);
        EXPECT_EQ(OCIDescriptorFree(param, OCI_DTYPE_PARAM), OCI_SUCCESS);
        return name;
    };
    const auto retired = [](const OraText* name, ub4 size) {
#if defined(OCISQLITE_POISON_FREED) && defined(KMR_TEST_ASAN)
        // Reading it is reported by AddressSanitizer.
        EXPECT_TRUE(__asan_address_is_poisoned(name));
        EXPECT_TRUE(__asan_address_is_poisoned(name + size - 1));
#elif defined(OCISQLITE_POISON_FREED)
        // Overwritten, and kept out of reuse so that it stays so.
        for (ub4 i = 0; i < size; ++i)
            EXPECT_EQ(static_cast<unsigned char>(name[i]), 0xDB) << i;
#else
        (void)name;
        (void)size;
#endif
    };

    const std::string sql = "SELECT 1 " + expected + " FROM DUAL";
    OCIStmt* st = c.prepare(sql);
    ub4 size = 0;
    const OraText* name = describe(st, size);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(name), size), expected) << "after OCIDescriptorFree";
    // Executed again, the statement keeps the name.
    const OraText* again = describe(st, size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), size), expected);
    EXPECT_EQ(again, name);
    // Prepared anew: the old describe is gone.
    OCIStmtPrepare(st, c.err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    retired(name, size);
    // Freed: so is the new one.
    name = describe(st, size);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(name), size), expected);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    retired(name, size);
}

} // namespace
