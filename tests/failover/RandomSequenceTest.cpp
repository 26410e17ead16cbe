// Random sequences of server faults, SRV rows switched and an administrator's actions, from a fixed
// seed. Each sequence starts the program over fresh demo servers, runs its steps, checks every action
// as it ends (FailoverRig::Judge), then brings both servers back and requires the window to follow,
// every thread to be idle and a grant tick to reach both servers.
//
// KMR_FAILOVER_SEED replays another seed, KMR_FAILOVER_SEQUENCES sets how many sequences run and
// KMR_FAILOVER_FIRST the first one (a failure names both, so it can be replayed alone).
#include "FailoverRig.h"
#include "OracleBase.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#ifndef KMR_FAILOVER_SEQUENCES_DEFAULT
#define KMR_FAILOVER_SEQUENCES_DEFAULT 200
#endif

namespace {

constexpr unsigned DefaultSeed = 20261209;

unsigned EnvNumber(const char* name, unsigned fallback) {
    bool ok = false;
    const unsigned value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

TServer AnyServer(std::mt19937& rng) {
    return rng() % 2 == 0 ? TServer::A : TServer::B;
}

// One step of a sequence, chosen by weight: most are an administrator's actions, the rest faults,
// SRV rows switched and the passing of time.
void RunStep(TFailoverRig& rig, std::mt19937& rng, int sequence, int step) {
    const unsigned roll = rng() % 100;
    const int a = int(rng() % 1000), b = int(rng() % 1000), c = int(rng() % 1000);
    const QString tag = QStringLiteral("%1_%2").arg(sequence).arg(step);
    if (roll < 12) {
        rig.EditUser(a, QStringLiteral("10.%1.%2.%3").arg(sequence % 250).arg(step).arg(a % 250));
    } else if (roll < 18) {
        rig.ToggleUserPermission(a);
    } else if (roll < 23) {
        rig.AddUser(QStringLiteral("u") + tag);
    } else if (roll < 27) {
        rig.DeleteUser(a);
    } else if (roll < 43) {
        rig.TickGrant(a, b);
    } else if (roll < 53) {
        rig.PickGroup(a, b, c);
    } else if (roll < 57) {
        rig.RegisterProgram(QStringLiteral("Программа ") + tag);
    } else if (roll < 63) {
        rig.Down(AnyServer(rng));
    } else if (roll < 71) {
        rig.Up(AnyServer(rng));
    } else if (roll < 78) {
        rig.DownAfter(AnyServer(rng), int(rng() % 14));
    } else if (roll < 79) {
        // A silent network for a moment: cut short by the call timeout, then it answers again.
        const TServer s = AnyServer(rng);
        rig.Hang(s, 3);
        rig.TickGrant(a, b);
        rig.Up(s);
    } else if (roll < 84) {
        // Main and reserve change places.
        const TServer main = rig.MainFile();
        rig.SetSrv(main, 1, 0, 0);
        rig.SetSrv(main == TServer::A ? TServer::B : TServer::A, 0, 1, 0);
        rig.Tick();
    } else if (roll < 89) {
        // View mode, or edit mode again, on both rows.
        const int ro = rng() % 2 == 0 ? 2 : 0;
        const TServer main = rig.MainFile();
        rig.SetSrv(main, 0, 1, ro);
        rig.SetSrv(main == TServer::A ? TServer::B : TServer::A, 1, 0, ro);
        rig.Tick();
    } else if (roll < 92) {
        // Mirroring switched off or on by the main server's row.
        rig.SetSrv(rig.MainFile(), 0, rng() % 2 == 0 ? 3 : 1, 0);
        rig.Tick();
    } else {
        rig.Log(QStringLiteral("ticks"));
        const int ticks = 1 + int(rng() % 3);
        for (int i = 0; i < ticks; ++i)
            rig.Tick();
        rig.ThreadsIdle(3000);
    }
}

TEST(FailoverSequences, RandomSequencesLoseNothing) {
    const unsigned seed = EnvNumber("KMR_FAILOVER_SEED", DefaultSeed);
    const unsigned count = EnvNumber("KMR_FAILOVER_SEQUENCES", KMR_FAILOVER_SEQUENCES_DEFAULT);
    const unsigned first = EnvNumber("KMR_FAILOVER_FIRST", 0);
    std::printf("failover sequences: seed %u, sequences %u..%u (replay with KMR_FAILOVER_SEED, "
                "KMR_FAILOVER_FIRST, KMR_FAILOVER_SEQUENCES)\n",
                seed, first, first + count - 1);
    int actions = 0, done = 0, failed = 0;
    for (unsigned n = first; n < first + count; ++n) {
        std::mt19937 rng(seed ^ (n * 2654435761u));
        TFailoverRig rig;
        ASSERT_TRUE(rig.Start()) << "sequence " << n << ":\n" << rig.Report().toStdString();
        const int steps = 5 + int(rng() % 9);
        for (int step = 0; step < steps && rig.Violations.isEmpty(); ++step)
            RunStep(rig, rng, int(n), step);
        if (rig.Violations.isEmpty())
            rig.HealAndProve();
        rig.Finish();
        const QString log = rig.Report();
        if (qEnvironmentVariableIsSet("KMR_FAILOVER_VERBOSE"))
            std::printf("-- sequence %u\n%s\n", n, qPrintable(log));
        actions += int(log.count(QStringLiteral(": done;")) + log.count(QStringLiteral(": not done;")));
        done += int(log.count(QStringLiteral(": done;")));
        failed += int(log.count(QStringLiteral(": not done;")));
        ASSERT_TRUE(rig.Violations.isEmpty())
            << "seed " << seed << ", sequence " << n << " (KMR_FAILOVER_SEED=" << seed
            << " KMR_FAILOVER_FIRST=" << n << " KMR_FAILOVER_SEQUENCES=1):\n"
            << rig.Violations.join(u'\n').toStdString() << "\n--\n"
            << log.toStdString();
    }
    std::printf("failover sequences: %u run, %d actions judged (%d done, %d reported failed)\n", count,
                actions, done, failed);
}

} // namespace
