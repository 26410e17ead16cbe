// One event log search running on a thread of its own, so the window stays responsive however long
// the server takes. The rows are read into a TProtocolRecords; the window learns of the end through
// the news callback (which must only post) and then takes the outcome on its own thread.
//
// Threads: the constructor, Cancel, RowsRead, Finished, TakeOutcome and the destructor are called
// on the owner's thread; the query is created, run and freed on the search thread. The session the
// query uses must be thread-safe.
#pragma once

#include "BackgroundTask.h"
#include "ProtocolRecords.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TOracleQuery;

class TProtocolSearch {
public:
    enum TResult {
        srComplete,   // every record was read
        srIncomplete, // reading stopped on an error: the records read so far, and the error
        srNotOpened,  // the statement failed: no records, and the error
        srCancelled   // stopped on request: no records
    };
    struct TOutcome {
        TResult Result = srCancelled;
        QString Error; // the server's or the layer's message
        std::shared_ptr<TProtocolRecords> Records;
    };
    // Makes the query on the search thread, bound to its session.
    using TQueryFactory = std::function<std::unique_ptr<TOracleQuery>()>;

    // Starts at once. news runs on the search thread once, when the search has ended.
    TProtocolSearch(const QStringList& sql, TQueryFactory factory, std::function<void()> news,
                    int readBuffer = DefaultReadBuffer);
    // Freeing the search asks it to stop and waits for the thread: at most the server call under way.
    TProtocolSearch(const TProtocolSearch&) = delete;
    TProtocolSearch& operator=(const TProtocolSearch&) = delete;

    // The search stops before the next record; its outcome becomes srCancelled.
    void Cancel() { FTask.Cancel(); }
    bool Cancelled() const { return FTask.Cancelled(); }
    qint64 RowsRead() const { return FTask.Progress(); }
    bool Finished() const { return FTask.Finished(); }
    // The outcome, once Finished(); taken once.
    TOutcome TakeOutcome();

    // Rows per round trip: on a slow link a month of changes comes in a few round trips, as the user
    // list does; progress and cancel still answer between blocks.
    static constexpr int DefaultReadBuffer = 1000;

private:
    TOutcome Search(TBackgroundTask& task) const;

    const QStringList FSql;
    const TQueryFactory FFactory;
    const int FReadBuffer;
    // Written by the search thread before it is finished, read by the owner after.
    TOutcome FOutcome;
    TBackgroundTask FTask; // last: starts when everything above is ready, stops first
};
