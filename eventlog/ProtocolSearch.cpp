#include "ProtocolSearch.h"

#include "Oracle.h"
#include "ProtocolQuery.h"

#include <array>

TProtocolSearch::TProtocolSearch(const QStringList& sql, TQueryFactory factory, std::function<void()> news,
                                 int readBuffer)
    : FSql(sql), FFactory(std::move(factory)), FReadBuffer(readBuffer),
      FTask([this](TBackgroundTask& task) { FOutcome = Search(task); }, std::move(news)) {}

TProtocolSearch::TOutcome TProtocolSearch::TakeOutcome() {
    return Finished() ? std::move(FOutcome) : TOutcome{};
}

// Search thread.
TProtocolSearch::TOutcome TProtocolSearch::Search(TBackgroundTask& task) const {
    TOutcome outcome;
    auto records = std::make_shared<TProtocolRecords>();
    try {
        std::unique_ptr<TOracleQuery> query = FFactory();
        query->SetReadBuffer(FReadBuffer);
        query->SQL() = FSql;
        // Fired when the rows have run out (or a call failed); a query closed under us by a
        // log-off of its session ends without it.
        bool ended = false;
        query->AfterQuery = [&ended](TOracleQuery*) { ended = true; };
        try {
            query->Execute();
        } catch (const std::exception& e) {
            outcome.Result = srNotOpened;
            outcome.Error = QString::fromUtf8(e.what()).trimmed();
            return outcome;
        }
        std::array<int, TProtocolRecords::ColumnCount> columns{};
        for (int i = 0; i < TProtocolRecords::ColumnCount; ++i) {
            columns[size_t(i)] = query->FieldIndex(QLatin1String(ProtocolColumns[i]));
            if (columns[size_t(i)] < 0) {
                outcome.Result = srNotOpened;
                outcome.Error = QStringLiteral("Field '%1' not found").arg(QLatin1String(ProtocolColumns[i]));
                return outcome;
            }
        }
        try {
            std::array<QString, TProtocolRecords::ColumnCount> texts;
            while (!query->Eof()) {
                if (task.Cancelled()) {
                    outcome.Result = srCancelled;
                    return outcome;
                }
                for (size_t i = 0; i < texts.size(); ++i)
                    texts[i] = query->FieldAsString(columns[i]);
                records->Append(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]);
                task.AddProgress();
                query->Next();
            }
        } catch (const std::exception& e) {
            outcome.Result = srIncomplete;
            outcome.Error = QString::fromUtf8(e.what()).trimmed();
            outcome.Records = std::move(records);
            return outcome;
        }
        outcome.Result = ended ? srComplete : srIncomplete;
        if (!ended)
            outcome.Error = QStringLiteral("Not logged on");
        outcome.Records = std::move(records);
    } catch (const std::exception& e) {
        // The query could not even be made (no session): nothing was read.
        outcome.Result = srNotOpened;
        outcome.Error = QString::fromUtf8(e.what()).trimmed();
    }
    return outcome;
}
