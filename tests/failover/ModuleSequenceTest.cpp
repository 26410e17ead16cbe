// The thread part of the failover suite: the database module alone (its watchers, the auto-connect
// tick, the gate and the commit of both sessions) under random server faults and SRV rows switched,
// with grants written as the windows write them. It runs under ThreadSanitizer as well: the windows'
// own worker threads hand their results over through Qt's event queue, which ThreadSanitizer cannot
// follow in an uninstrumented Qt, so they are left to the window suite.
//
// KMR_FAILOVER_SEED and KMR_FAILOVER_SEQUENCES as for the window sequences.
#include "FailoverRig.h"
#include "OracleBase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#ifndef KMR_FAILOVER_MODULE_SEQUENCES_DEFAULT
#define KMR_FAILOVER_MODULE_SEQUENCES_DEFAULT 100
#endif

namespace {

unsigned EnvNumber(const char* name, unsigned fallback) {
    bool ok = false;
    const unsigned value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

void RunModuleStep(TFailoverRig& rig, std::mt19937& rng) {
    const unsigned roll = rng() % 100;
    const TServer any = rng() % 2 == 0 ? TServer::A : TServer::B;
    if (roll < 50) {
        const int tabNum = 800 + int(rng() % 6), programId = 1 + int(rng() % 3);
        const QStringList held = rig.FileRows(
            rig.MainFile(),
            QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
                .arg(tabNum)
                .arg(programId));
        rig.ChangeGrant(tabNum, programId, held == QStringList{QStringLiteral("0")});
    } else if (roll < 56) {
        rig.Down(any);
    } else if (roll < 66) {
        rig.Up(any);
    } else if (roll < 76) {
        rig.DownAfter(any, int(rng() % 8));
    } else if (roll < 77) {
        rig.Hang(any, 2);
        rig.Tick();
        rig.Up(any);
    } else if (roll < 82) {
        const TServer main = rig.MainFile();
        rig.SetSrv(main, 1, 0, 0);
        rig.SetSrv(main == TServer::A ? TServer::B : TServer::A, 0, 1, 0);
        rig.Tick();
    } else if (roll < 86) {
        const int ro = rng() % 2 == 0 ? 2 : 0;
        const TServer main = rig.MainFile();
        rig.SetSrv(main, 0, 1, ro);
        rig.SetSrv(main == TServer::A ? TServer::B : TServer::A, 1, 0, ro);
        rig.Tick();
    } else if (roll < 89) {
        rig.SetSrv(rig.MainFile(), 0, rng() % 2 == 0 ? 3 : 1, 0);
        rig.Tick();
    } else {
        rig.Log(QStringLiteral("ticks"));
        for (int i = 0, n = 1 + int(rng() % 3); i < n; ++i)
            rig.Tick();
    }
}

TEST(FailoverModuleSequences, RandomSequencesLoseNothing) {
    const unsigned seed = EnvNumber("KMR_FAILOVER_SEED", 20261210);
    const unsigned count = EnvNumber("KMR_FAILOVER_SEQUENCES", KMR_FAILOVER_MODULE_SEQUENCES_DEFAULT);
    const unsigned first = EnvNumber("KMR_FAILOVER_FIRST", 0);
    std::printf("failover module sequences: seed %u, sequences %u..%u\n", seed, first, first + count - 1);
    for (unsigned n = first; n < first + count; ++n) {
        std::mt19937 rng(seed ^ (n * 2654435761u));
        TFailoverRig rig;
        ASSERT_TRUE(rig.StartModule()) << "sequence " << n << ":\n" << rig.Report().toStdString();
        const int steps = 6 + int(rng() % 10);
        for (int step = 0; step < steps && rig.Violations.isEmpty(); ++step)
            RunModuleStep(rig, rng);
        if (rig.Violations.isEmpty())
            rig.HealAndProve();
        rig.Finish();
        ASSERT_TRUE(rig.Violations.isEmpty())
            << "seed " << seed << ", sequence " << n << " (KMR_FAILOVER_SEED=" << seed
            << " KMR_FAILOVER_FIRST=" << n << " KMR_FAILOVER_SEQUENCES=1):\n"
            << rig.Violations.join(u'\n').toStdString() << "\n--\n"
            << rig.Report().toStdString();
    }
}

} // namespace
