#include "StatementKind.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* sql;
    bool read;
};

class IsReadStatementTest : public ::testing::TestWithParam<Case> {};

TEST_P(IsReadStatementTest, Classifies) {
    EXPECT_EQ(IsReadStatement(QString::fromUtf8(GetParam().sql)), GetParam().read) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Statements, IsReadStatementTest,
    ::testing::Values(Case{"SELECT * FROM SRV", true}, Case{"  \t\r\n select 1 from dual", true},
                      Case{"\x01\x1f SeLeCt x", true}, Case{"SELECT", true}, Case{"select\r\n", true},
                      Case{"SELEC", false}, Case{"", false}, Case{"   ", false},
                      Case{"UPDATE SRV SET RO = 1", false}, Case{"DELETE FROM KMR_USER_PSW", false},
                      Case{"INSERT INTO T VALUES (1)", false},
                      Case{"WITH a AS (SELECT 1 FROM dual) SELECT * FROM a", false},
                      Case{"/* c */ SELECT 1 FROM dual", false}, Case{"-- c\nSELECT 1 FROM dual", false},
                      Case{"begin null; end;", false}, Case{"begin AUTO_HOUR.run; end;", true},
                      Case{"begin auto_hour.run; end;", false}, Case{"begin Auto_Hour.run; end;", false},
                      Case{"UPDATE X SET A = 1 -- RMT_QUERY", true},
                      Case{"update rmt_query set a = 1", false},
                      // Only ASCII letters are folded; the Cyrillic "С" is not a Latin "S".
                      Case{"\xd0\xa1"
                           "ELECT 1",
                           false},
                      Case{"ВЫБРАТЬ", false}));

} // namespace
